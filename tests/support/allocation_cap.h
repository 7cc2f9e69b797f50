// Test-only cap on operator new: while set, requests of at least the cap throw std::bad_alloc.
#pragma once

#include <cstddef>

// Link allocation_cap.cpp into a test program to replace its global operator new and delete.
struct AllocationCap {
    static size_t limit;    // bytes; requests of this size or more are refused (0: no cap)
    static size_t refused;  // requests refused since the program started
};

// Sets the cap for the life of the object.
class ScopedAllocationCap {
public:
    explicit ScopedAllocationCap(size_t bytes) { AllocationCap::limit = bytes; }
    ~ScopedAllocationCap() { AllocationCap::limit = 0; }
    ScopedAllocationCap(const ScopedAllocationCap&) = delete;
    ScopedAllocationCap& operator=(const ScopedAllocationCap&) = delete;
};
