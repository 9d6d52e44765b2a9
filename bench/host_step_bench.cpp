// Cost of one full host step of the full deliverable in its running state: the input
// conversion, one scheduler tick over every task list due and the output conversion.
#include <benchmark/benchmark.h>

#include "running_controller.h"

namespace svg {
namespace {

void BM_TravikHostStep(benchmark::State& state) {
    bench::RunningController controller;
    if (!controller.running()) {
        state.SkipWithError("the controller did not reach its running state");
        return;
    }
    for (auto _ : state) {
        controller.Step();
        benchmark::DoNotOptimize(controller.outputs());
    }
}
BENCHMARK(BM_TravikHostStep);

}  // namespace
}  // namespace svg
