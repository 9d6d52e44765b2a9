// No heap allocation may happen while the host steps the library: the replaced allocation
// functions below count every call made anywhere in the process, the library included.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <string>

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

class StepAllocations : public ::testing::TestWithParam<const Deliverable*> {};

// A million host steps (100 s) of a running device: no allocation, every output finite at
// every step, and the loop still locked at the end.
TEST_P(StepAllocations, AMillionTracedAndUntracedStepsAllocateNothingAndStayFinite) {
    TempWorkDir dir;
    const Deliverable& d = *GetParam();
    HostRun run(d);
    const long at_start = g_allocations.load();
    ASSERT_EQ(run.Init(), 0);
    // The build allocates: proof that the counting replacement is in effect.
    ASSERT_GT(g_allocations.load(), at_start);
    // Every setting at its registered value, the device deblocked and running with charged
    // cells, so every control path runs.
    if (d.reduced()) {
        run.in[43] = 30.0;
        run.in[44] = 35.0;
        run.in[45] = 13.0;
    }
    run.in[39] = run.in[40] = run.in[41] = 1050.0;
    run.in[d.deblock_channel] = run.in[d.running_channel] = 1.0;
    const double peak = 35000.0 * std::sqrt(2.0 / 3.0);
    const long before = g_allocations.load();
    long non_finite = 0;
    for (int k = 1; k <= 1000000; ++k) {  // 100 s at 100 us: traced below 1 s, then untraced
        const double t = k * 1e-4;
        for (int ph = 0; ph < 3; ++ph) {
            run.in[9 + ph] = peak * std::cos(2.0 * M_PI * (50.0 * t - ph / 3.0));
            run.in[21 + ph] = 35000.0;
        }
        run.Step(t);
        for (int ch = 0; ch < d.outputs; ++ch) {
            non_finite += std::isfinite(run.out[ch]) ? 0 : 1;
        }
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
    EXPECT_EQ(non_finite, 0);
    EXPECT_NEAR(run.out[d.frequency_output], 50.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Deliverables, StepAllocations, ::testing::Values(&kTravik, &kPellum),
                         [](const auto& param_info) {
                             return std::string(param_info.param->prefix);
                         });

}  // namespace
}  // namespace svg::testing
