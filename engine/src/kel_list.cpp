#include "plugin_frame/kel_list.h"

bool Kel_List::RemoveItem(int i) {
    if (i < 0 || i >= int(items_.size())) return false;
    items_.erase(items_.begin() + i);
    return true;
}

bool Kel_List::SetItem(void* item, int i) {
    if (i < 0 || i >= int(items_.size())) return false;
    items_[i] = item;
    return true;
}
