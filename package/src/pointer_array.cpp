#include "package/pointer_array.h"

#include <cstring>
#include <new>

PointerArray::~PointerArray() { delete[] storage_; }

void PointerArray::Grow(int32_t hint) {
    if (hint < -1) hint = -1;
    int32_t capacity = capacity_ < 0 ? 0 : capacity_;
    double wanted = double(hint == -1 ? capacity : hint) * 1.25 + 32.0;
    // Beyond this the size in bytes would not fit; the array simply stops growing.
    if (wanted > double(INT32_MAX / int32_t(sizeof(void*)))) return;
    auto newCapacity = int32_t(wanted);
    if (newCapacity < count_) return;
    void** storage = new (std::nothrow) void*[size_t(newCapacity)];
    if (!storage) return;
    if (count_ > 0) std::memcpy(storage, storage_, size_t(count_) * sizeof(void*));
    delete[] storage_;
    storage_ = storage;
    capacity_ = newCapacity;
}

int32_t PointerArray::Add(void* p) {
    if (capacity_ <= count_) Grow(-1);
    if (capacity_ <= count_) return -1;
    storage_[count_] = p;
    return count_++;
}

void* PointerArray::Get(int32_t i) const {
    if (i < 0 || i >= count_) return nullptr;
    return storage_[i];
}

void PointerArray::Set(void* p, int32_t i) {
    if (i < 0) return;
    if (i >= count_ && (i == INT32_MAX || !SetCount(i + 1))) return;
    storage_[i] = p;
}

bool PointerArray::SetCount(int32_t n) {
    if (n < 0) return false;
    if (n >= capacity_ - 1) Grow(n);
    if (n >= capacity_) return false;
    for (int32_t i = count_; i < n; ++i) storage_[i] = nullptr;
    count_ = n;
    return true;
}

void PointerArray::Clear() {
    delete[] storage_;
    storage_ = nullptr;
    count_ = 0;
    capacity_ = 0;
}
