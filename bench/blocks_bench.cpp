// Per-call cost of the control blocks' step operations and of the design calls that modules
// repeat every task step.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "blocks/blocks.h"

namespace svg {
namespace {

// A slowly varying input so no call sees a constant.
float Next(float& x) {
    x += 1e-3f;
    if (x > 1.0f) {
        x = -1.0f;
    }
    return x;
}

void BM_PiRegStep(benchmark::State& state) {
    PiReg r{1e-4f, 2.0f, 50.0f, 1.0f, 1.0f, -1.0f, 1.2f, 0, 0, 0, 0, 0};
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PiRegStep(r, Next(x), 1));
    }
}
BENCHMARK(BM_PiRegStep);

void BM_LpfFirstDesign(benchmark::State& state) {
    LpfFirst f{};
    float wc = 100.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(wc);
        LpfFirstDesign(f, 1e-4f, wc);
        benchmark::DoNotOptimize(f);
    }
}
BENCHMARK(BM_LpfFirstDesign);

void BM_LpfFirstStep(benchmark::State& state) {
    LpfFirst f{};
    LpfFirstDesign(f, 1e-4f, 100.0f);
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(LpfFirstStep(f, Next(x)));
    }
}
BENCHMARK(BM_LpfFirstStep);

void BM_ButterLpfDesign(benchmark::State& state) {
    IirFilter f;
    IirFilterCreate(f, static_cast<std::int32_t>(state.range(0)));
    float wc = 600.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(wc);
        ButterLpfDesign(f, 1e-4f, wc);
        benchmark::DoNotOptimize(f);
    }
}
BENCHMARK(BM_ButterLpfDesign)->DenseRange(1, kIirMaxOrder);

void BM_StdFilterDesign(benchmark::State& state) {
    IirFilter f;
    IirFilterCreateKind(f, static_cast<std::int32_t>(state.range(0)));
    float w = 314.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(w);
        StdFilterDesign(f, 1e-4f, w, 0.5f);
        benchmark::DoNotOptimize(f);
    }
}
BENCHMARK(BM_StdFilterDesign)->Arg(kHighPass1)->Arg(kBandPass);

void BM_IirFilterStep(benchmark::State& state) {
    IirFilter f;
    IirFilterCreate(f, static_cast<std::int32_t>(state.range(0)));
    ButterLpfDesign(f, 1e-4f, 600.0f);
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(IirFilterStep(f, Next(x)));
    }
}
BENCHMARK(BM_IirFilterStep)->DenseRange(1, kIirMaxOrder);

void BM_ClarkeAbc(benchmark::State& state) {
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ClarkeAbc({Next(x), 0.3f, -0.5f}));
    }
}
BENCHMARK(BM_ClarkeAbc);

void BM_InvClarke(benchmark::State& state) {
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(InvClarke({Next(x), 0.3f}));
    }
}
BENCHMARK(BM_InvClarke);

void BM_ParkD(benchmark::State& state) {
    float theta = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParkD({0.9f, -0.4f, -0.5f}, Next(theta)));
    }
}
BENCHMARK(BM_ParkD);

void BM_ParkQ(benchmark::State& state) {
    float theta = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParkQ({0.9f, -0.4f, -0.5f}, Next(theta)));
    }
}
BENCHMARK(BM_ParkQ);

void BM_ParkAlphaBeta(benchmark::State& state) {
    float theta = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParkAlphaBeta({0.9f, -0.4f}, Next(theta)));
    }
}
BENCHMARK(BM_ParkAlphaBeta);

void BM_InvParkAbc(benchmark::State& state) {
    float theta = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(InvParkAbc({0.9f, -0.4f}, Next(theta)));
    }
}
BENCHMARK(BM_InvParkAbc);

void BM_PowerAlphaBeta(benchmark::State& state) {
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PowerAlphaBeta({Next(x), 0.2f}, {1.0f, 0.1f}));
    }
}
BENCHMARK(BM_PowerAlphaBeta);

void BM_PowerFactorCalc(benchmark::State& state) {
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PowerFactorCalc(Next(x), 0.4f));
    }
}
BENCHMARK(BM_PowerFactorCalc);

void BM_HystCmp(benchmark::State& state) {
    float x = 0.0f;
    bool s = false;
    for (auto _ : state) {
        s = HystCmp(Next(x), 0.5f, 0.45f, s);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_HystCmp);

void BM_TonTimer(benchmark::State& state) {
    std::int32_t prev = 0;
    float remaining = 0.0f;
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TonTimer(Next(x) > 0.0f, prev, 8e-4f, remaining, 1e-4f));
    }
}
BENCHMARK(BM_TonTimer);

void BM_FracDelayStep(benchmark::State& state) {
    FracDelay d;
    FracDelayCreate(d);
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FracDelayStep(d, Next(x), 49.7f, 1e-4f, 0.25f));
    }
}
BENCHMARK(BM_FracDelayStep);

void BM_RingDelayStep(benchmark::State& state) {
    float storage[64];
    RingDelay r{};
    RingDelayInit(r, storage, 64, 0.0f);
    float x = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(RingDelayStep(r, Next(x)));
    }
}
BENCHMARK(BM_RingDelayStep);

}  // namespace
}  // namespace svg
