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

// Blocks taken one after another from one fixed memory region, for an environment that must
// live inside memory the caller owns. The region starts right after the Arena record; offsets
// are kept rather than addresses, so the record and its region can be copied elsewhere as a
// whole. Every block is zero-filled and aligned to 8 bytes from the start of the region;
// releasing a block does nothing.
struct Arena {
    std::size_t capacity;  // bytes of the region
    std::size_t used;      // bytes handed out, alignment gaps included
};

inline constexpr std::size_t kArenaAlignment = 8;

// Bytes the Arena record takes before its region, a multiple of kArenaAlignment.
inline constexpr std::size_t kArenaRecordBytes =
    (sizeof(Arena) + kArenaAlignment - 1) / kArenaAlignment * kArenaAlignment;

// Sets up an arena in `memory` (at least kArenaRecordBytes, 8-aligned) and zero-fills its
// whole region, gaps between blocks included, so that two arenas built alike hold the same
// bytes. Null when `bytes` is too small for the record.
Arena* MakeArena(void* memory, std::size_t bytes) noexcept;

// The allocator taking its blocks from `arena`; null when the region is exhausted.
Allocator ArenaAllocator(Arena* arena) noexcept;

}  // namespace svg
