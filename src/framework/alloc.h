// Zero-filled allocation for the build of a run-time environment.
//
// Every block of an environment is taken through one allocator during the build and given
// back through it at tear-down; nothing is allocated while stepping. The allocator is a value
// passed in, not a global, so tests can make any allocation fail without touching others.
#pragma once

#include <cstddef>

namespace svg {

struct Allocator {
    // Returns `bytes` zero-filled bytes, or null.
    void* (*allocate)(void* context, std::size_t bytes);
    void (*release)(void* context, void* block);
    void* context;
};

// calloc/free.
const Allocator& SystemAllocator() noexcept;

inline void* AllocateZeroed(const Allocator& a, std::size_t bytes) noexcept {
    return a.allocate(a.context, bytes);
}

inline void Release(const Allocator& a, void* block) noexcept {
    if (block != nullptr) {
        a.release(a.context, block);
    }
}

}  // namespace svg
