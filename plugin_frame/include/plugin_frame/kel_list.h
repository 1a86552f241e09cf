// The engine's list of untyped pointers. It never owns what it points to unless the
// caller asks with ReleaseItems.
#pragma once

#include <vector>

class Kel_List {
public:
    Kel_List() = default;
    Kel_List(const Kel_List&) = default;
    Kel_List& operator=(const Kel_List&) = default;
    ~Kel_List() = default;

    void AddItem(void* item) { items_.push_back(item); }
    // Removes item i, keeping the order of the rest; false when i is out of range.
    bool RemoveItem(int i);
    void* GetItem(int i) const { return i >= 0 && i < int(items_.size()) ? items_[i] : nullptr; }
    bool SetItem(void* item, int i);
    int GetItemCount() const { return int(items_.size()); }
    // Forgets every item (the items themselves belong to the caller).
    void ReleaseItems() { items_.clear(); }

private:
    std::vector<void*> items_;
};
