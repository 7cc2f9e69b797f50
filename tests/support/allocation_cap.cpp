// The replaced global operator new and delete behind AllocationCap (malloc and free otherwise).
#include "allocation_cap.h"

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

}  // namespace

void* operator new(size_t bytes) { return allocate(bytes); }
void* operator new[](size_t bytes) { return allocate(bytes); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
