// The replaced global operator new and delete behind AllocationCap (malloc and free otherwise).
#include "allocation_cap.h"

#include <algorithm>
#include <cstdlib>
#include <new>

size_t AllocationCap::limit = 0;
size_t AllocationCap::refused = 0;

namespace {

void* allocate(size_t bytes) {
    if (AllocationCap::limit != 0 && bytes >= AllocationCap::limit) {
        ++AllocationCap::refused;
        throw std::bad_alloc();
    }
    void* p = std::malloc(bytes != 0 ? bytes : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* allocateAligned(size_t bytes, std::align_val_t alignment) {
    size_t align = static_cast<size_t>(alignment);
    size_t rounded = (std::max<size_t>(bytes, 1) + align - 1) / align * align;  // aligned_alloc wants a multiple
    if (AllocationCap::limit != 0 && bytes >= AllocationCap::limit) {
        ++AllocationCap::refused;
        throw std::bad_alloc();
    }
    void* p = std::aligned_alloc(align, rounded);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

// Every form is replaced, so that every block the program's libraries take from operator new (the GL
// driver's compiler among them) comes from malloc and goes back with free, whichever form frees it.
void* operator new(size_t bytes) { return allocate(bytes); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept {
    try {
        return allocate(bytes);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t bytes, const std::nothrow_t& tag) noexcept { return operator new(bytes, tag); }
void* operator new(size_t bytes, std::align_val_t alignment) { return allocateAligned(bytes, alignment); }
void* operator new[](size_t bytes, std::align_val_t alignment) { return allocateAligned(bytes, alignment); }
void* operator new(size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return allocateAligned(bytes, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t bytes, std::align_val_t alignment, const std::nothrow_t& tag) noexcept {
    return operator new(bytes, alignment, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void* operator new[](size_t bytes) { return allocate(bytes); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
