// Cost of one host step of a deliverable in its running state: the input conversion, one
// scheduler tick over every task list due and the output conversion. Named after the
// deliverable the benchmark program is built for.
#include <benchmark/benchmark.h>

#include <string>

#include "running_controller.h"

namespace svg {
namespace {

void BM_HostStep(benchmark::State& state) {
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
BENCHMARK(BM_HostStep)->Name(std::string("BM_") + bench::kDeliverable + "HostStep");

}  // namespace
}  // namespace svg
