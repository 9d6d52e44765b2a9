#include "framework/alloc.h"

#include <cstdlib>
#include <cstring>

namespace svg {
namespace {

void* SystemAllocate(void*, std::size_t bytes) { return std::calloc(1, bytes); }
void SystemRelease(void*, void* block) { std::free(block); }

constexpr Allocator kSystemAllocator{&SystemAllocate, &SystemRelease, nullptr};

unsigned char* Region(Arena* arena) {
    return reinterpret_cast<unsigned char*>(arena) + kArenaRecordBytes;
}

void* ArenaAllocate(void* context, std::size_t bytes) {
    auto* arena = static_cast<Arena*>(context);
    const std::size_t start =
        (arena->used + kArenaAlignment - 1) / kArenaAlignment * kArenaAlignment;
    if (start > arena->capacity || bytes > arena->capacity - start) {
        return nullptr;
    }
    arena->used = start + bytes;
    unsigned char* block = Region(arena) + start;
    std::memset(block, 0, bytes);
    return block;
}

void ArenaRelease(void*, void*) {}

}  // namespace

const Allocator& SystemAllocator() noexcept { return kSystemAllocator; }

Arena* MakeArena(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr || bytes < kArenaRecordBytes) {
        return nullptr;
    }
    std::memset(memory, 0, bytes);
    auto* arena = static_cast<Arena*>(memory);
    arena->capacity = bytes - kArenaRecordBytes;
    arena->used = 0;
    return arena;
}

Allocator ArenaAllocator(Arena* arena) noexcept {
    return Allocator{&ArenaAllocate, &ArenaRelease, arena};
}

}  // namespace svg
