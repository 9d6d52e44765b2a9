// No heap allocation may happen while the host steps the library: the replaced allocation
// functions below count every call made anywhere in the process, the library included.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>

#include "support/host_run.h"
#include "support/temp_dir.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}

namespace {
std::atomic<long> g_allocations{0};
}

extern "C" void* malloc(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t count, std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, n);
}
extern "C" void* realloc(void* p, std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
extern "C" void free(void* p) { __libc_free(p); }

namespace svg::testing {
namespace {

TEST(StepAllocations, ThousandsOfTracedAndUntracedStepsAllocateNothing) {
    TempWorkDir dir;
    Library library(SVG_TRAVIK_LIBRARY, "Travik");
    std::array<double, 200> in{};
    std::array<double, 200> out{};
    double record[4] = {0, 10, 10, 1};
    unsigned char storage[100] = {};
    void* instance = nullptr;
    const long at_start = g_allocations.load();
    ASSERT_EQ(
        library.init(&instance, 0, 200, 200, record, in.data(), out.data(), 0, storage, 0.0, 0.0),
        0);
    // The build allocates: proof that the counting replacement is in effect.
    ASSERT_GT(g_allocations.load(), at_start);
    // Every setting at its registered value, the device deblocked and running with charged
    // cells, so every control path runs.
    SetRegisteredParameters(in);
    in[39] = in[40] = in[41] = 1050.0;
    in[42] = in[43] = 1.0;
    const double peak = 35000.0 * std::sqrt(2.0 / 3.0);
    const long before = g_allocations.load();
    for (int k = 1; k <= 12000; ++k) {  // 1.2 s at 100 us: traced, then untraced
        const double t = k * 1e-4;
        for (int ph = 0; ph < 3; ++ph) {
            in[9 + ph] = peak * std::cos(2.0 * M_PI * (50.0 * t - ph / 3.0));
            in[21 + ph] = 35000.0;
        }
        library.step(instance, 0, in.data(), out.data(), 0, storage, t);
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
    library.terminate(instance);
}

}  // namespace
}  // namespace svg::testing
