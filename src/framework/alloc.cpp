#include "framework/alloc.h"

#include <cstdlib>

namespace svg {
namespace {

void* SystemAllocate(void*, std::size_t bytes) { return std::calloc(1, bytes); }
void SystemRelease(void*, void* block) { std::free(block); }

constexpr Allocator kSystemAllocator{&SystemAllocate, &SystemRelease, nullptr};

}  // namespace

const Allocator& SystemAllocator() noexcept { return kSystemAllocator; }

}  // namespace svg
