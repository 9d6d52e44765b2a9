// Cost of one full host step of the full deliverable: the input conversion, one scheduler
// tick over every task list due and the output conversion.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

#include "framework/environment.h"
#include "variants/travik/host_channels.h"
#include "variants/travik/travik.h"

namespace svg {
namespace {

void BM_TravikHostStep(benchmark::State& state) {
    Environment* env = nullptr;
    if (BuildEnvironment(TravikVariant(), SystemAllocator(), &env) != 0) {
        state.SkipWithError("build failed");
        TearDownEnvironment(env, false);
        return;
    }
    const double record[4] = {0, 10, 10, 1};
    ApplyHostParameters(env, record);
    std::array<double, kHostChannels> in{};
    std::array<double, kHostChannels> out{};
    // Every setting at its registered value (30 Mvar, 35 kV, 50 Hz), the device deblocked and
    // running with charged cells, so every control path runs.
    for (const ParameterChannel& row : kTravikParameterChannels) {
        in[row.channel] = row.registered;
    }
    for (int ph = 0; ph < 3; ++ph) {
        in[39 + ph] = 1050.0;
    }
    in[42] = 1.0;
    in[43] = 1.0;
    const double peak = 35000.0 * std::sqrt(2.0 / 3.0);
    long k = 0;
    for (auto _ : state) {
        const double t = static_cast<double>(k++) * 1e-4;
        for (int ph = 0; ph < 3; ++ph) {
            in[9 + ph] = peak * std::cos(2.0 * M_PI * (50.0 * t - ph / 3.0));
            in[21 + ph] = 35000.0;
        }
        StepEnvironment(env, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    TearDownEnvironment(env, false);
}
BENCHMARK(BM_TravikHostStep);

}  // namespace
}  // namespace svg
