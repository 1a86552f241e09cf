// A growable array of untyped pointers. It owns its storage, never the objects pointed to:
// whoever adds an owned object frees it. Capacity grows to 1.25 times the old capacity
// (or the requested size) plus 32.
#pragma once

#include <cstdint>

class PointerArray {
public:
    PointerArray() = default;
    virtual ~PointerArray();
    PointerArray(const PointerArray&) = delete;
    PointerArray& operator=(const PointerArray&) = delete;

    // Appends p; gives its index, or -1 when the array cannot grow.
    int32_t Add(void* p);
    // The pointer at i; null for an index outside the array.
    void* Get(int32_t i) const;
    // Stores p at i, extending the array with null slots when i is past the end.
    void Set(void* p, int32_t i);
    // Resizes to n; new slots are null. False when the storage cannot grow that far.
    bool SetCount(int32_t n);
    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }
    void Clear();

private:
    // -1 asks for growth from the current capacity.
    void Grow(int32_t hint);

    void** storage_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
};
