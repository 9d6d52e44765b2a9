// The cost of a library instance over its life: building and tearing down the controller
// (what Init and Terminate do, the registry files included), and the cost per host step over
// runs of 10^3, 10^5 and 10^6 steps in a row, which must stay flat.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "running_controller.h"

namespace svg {
namespace {

// Runs in a folder of its own, so the registry files land there and not in the caller's.
class ScratchFolder {
  public:
    ScratchFolder()
        : old_(std::filesystem::current_path()),
          path_(std::filesystem::temp_directory_path() / "svg_bench_lifetime") {
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
    }
    ~ScratchFolder() {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

  private:
    std::filesystem::path old_;
    std::filesystem::path path_;
};

void BM_InitTerminate(benchmark::State& state) {
    ScratchFolder folder;
    const double record[4] = {0, 10, 10, 1};
    for (auto _ : state) {
        Environment* env = nullptr;
        if (BuildEnvironment(bench::BenchVariant(), SystemAllocator(), &env) != 0) {
            state.SkipWithError("the controller could not be built");
            break;
        }
        ApplyHostParameters(env, record);
        TearDownEnvironment(env, true);
    }
}
BENCHMARK(BM_InitTerminate)->Name(std::string("BM_") + bench::kDeliverable + "InitTerminate");

void BM_StepsInARow(benchmark::State& state) {
    const long steps = state.range(0);
    bench::RunningController controller;
    if (!controller.running()) {
        state.SkipWithError("the controller did not reach its running state");
        return;
    }
    for (auto _ : state) {
        for (long k = 0; k < steps; ++k) {
            controller.Step();
        }
        benchmark::DoNotOptimize(controller.outputs());
    }
    state.counters["per_step"] = benchmark::Counter(
        static_cast<double>(steps),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StepsInARow)
    ->Name(std::string("BM_") + bench::kDeliverable + "StepsInARow")
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace svg
