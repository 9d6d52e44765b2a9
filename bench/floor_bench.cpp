// The arithmetic floor of one host step: the same number of double-precision sine, cosine,
// sincos and fmod calls and of single-precision additions, subtractions, multiplications,
// divisions, square roots, maxima, conversions and compares as one running host step
// executes, counted from the executed instructions (scripts/op_mix.py), done with no
// control logic around them and spread over eight independent chains so the processor can
// overlap them. A host step reads as a ratio to this figure (docs/performance.md).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

namespace svg {
namespace {

struct OpMix {
    int cos, sin, sincos, fmod;
    int add, sub, mul, div, sqrt, max, convert, compare;
};

// Per running host step, the library's own work only (the benchmark's grid generation taken
// out): measured with callgrind on svg_bench and svg_bench_reduced.
constexpr OpMix kTravikMix{15, 15, 18, 2, 281, 167, 497, 81, 9, 44, 574, 1015};
constexpr OpMix kPellumMix{9, 9, 11, 1, 204, 120, 346, 62, 11, 28, 263, 442};

constexpr int kLanes = 8;

// Scalar like the controller's own arithmetic: the chains are not turned into vector operations.
__attribute__((optimize("no-tree-vectorize"))) void Floor(benchmark::State& state,
                                                          const OpMix& mix) {
    float v[kLanes];
    for (int i = 0; i < kLanes; ++i) {
        v[i] = 1.0f + 0.01f * static_cast<float>(i);
    }
    double angle = 0.1;
    int flags = 0;
    for (auto _ : state) {
        double trig = 0.0;
        for (int k = 0; k < mix.cos; ++k) {
            trig += std::cos(angle + 0.01 * k);
        }
        for (int k = 0; k < mix.sin; ++k) {
            trig += std::sin(angle + 0.01 * k);
        }
        for (int k = 0; k < mix.sincos; ++k) {
            const double a = angle + 0.02 * k;
            trig += std::sin(a) * std::cos(a);
        }
        for (int k = 0; k < mix.fmod; ++k) {
            trig += std::fmod(angle * 7.0 + k, 1.0);
        }
        angle = angle < 6.0 ? angle + 1e-3 : 0.1;
        benchmark::DoNotOptimize(trig);
        for (int k = 0; k < mix.add; ++k) {
            v[k % kLanes] = v[k % kLanes] + 1e-3f;
        }
        for (int k = 0; k < mix.sub; ++k) {
            v[k % kLanes] = v[k % kLanes] - 1e-3f;
        }
        for (int k = 0; k < mix.mul; ++k) {
            v[k % kLanes] = v[k % kLanes] * 0.9999f;
        }
        for (int k = 0; k < mix.div; ++k) {
            v[k % kLanes] = v[k % kLanes] / 0.9999f;
        }
        for (int k = 0; k < mix.sqrt; ++k) {
            v[k % kLanes] = std::sqrt(v[k % kLanes]) + 0.5f;
        }
        for (int k = 0; k < mix.max; ++k) {
            v[k % kLanes] = std::max(v[k % kLanes], 0.5f);
        }
        for (int k = 0; k < mix.convert / 2; ++k) {
            v[k % kLanes] = static_cast<float>(static_cast<double>(v[k % kLanes]) * 1.0);
        }
        for (int k = 0; k < mix.compare; ++k) {
            flags += v[k % kLanes] < 1.5f ? 1 : 0;
        }
        benchmark::DoNotOptimize(v);
        benchmark::DoNotOptimize(flags);
    }
}

void BM_TravikArithmeticFloor(benchmark::State& state) { Floor(state, kTravikMix); }
void BM_PellumArithmeticFloor(benchmark::State& state) { Floor(state, kPellumMix); }
BENCHMARK(BM_TravikArithmeticFloor);
BENCHMARK(BM_PellumArithmeticFloor);

}  // namespace
}  // namespace svg
