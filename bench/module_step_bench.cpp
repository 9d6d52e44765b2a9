// Cost of each module's step routines in the running state: one benchmark per task-list
// node, named after the module instance and its task list, calling that routine on its module
// over and over. The counter `divider` is the number of host steps per call of the list (1 for
// task list 1), so a routine's share of one host step is its time per call over the divider.
#include <benchmark/benchmark.h>

#include <string>

#include "running_controller.h"

namespace svg {
namespace {

// Host steps between two runs of task list `list` (index 0..3), as the scheduler divides them.
int Divider(const TaskScheduler& s, int list) {
    const int dividers[kTaskLists] = {1, s.task2_divider, s.task3_divider, s.task4_divider};
    return dividers[list] > 0 ? dividers[list] : 1;
}

// The node at `position` of task list `list`; the build is deterministic, so the same position
// names the same routine in every controller built.
const TaskNode* NodeAt(const Environment* env, int list, int position) {
    const TaskNode* node = env->scheduler->lists[list]->first;
    for (int i = 0; i < position && node != nullptr; ++i) {
        node = node->next;
    }
    return node;
}

void ModuleStep(benchmark::State& state, int list, int position) {
    bench::RunningController controller;
    if (!controller.running()) {
        state.SkipWithError("the controller did not reach its running state");
        return;
    }
    const TaskNode* node = NodeAt(controller.env(), list, position);
    if (node == nullptr) {
        state.SkipWithError("task list changed between builds");
        return;
    }
    const TaskRoutine routine = node->routine;
    ModuleHeader* module = node->module;
    for (auto _ : state) {
        routine(module);
        benchmark::ClobberMemory();
    }
    state.counters["divider"] = Divider(*controller.env()->scheduler, list);
}

// Walks the task lists of one built controller and registers a benchmark per node. A module
// with more than one routine on the same list gets "#2", "#3" ... after the second and later.
bool RegisterModuleSteps() {
    Environment* env = nullptr;
    if (BuildEnvironment(bench::BenchVariant(), SystemAllocator(), &env) != 0) {
        TearDownEnvironment(env, false);
        return false;
    }
    for (int list = 0; list < kTaskLists; ++list) {
        int position = 0;
        for (const TaskNode* node = env->scheduler->lists[list]->first; node != nullptr;
             node = node->next, ++position) {
            int same = 1;
            for (const TaskNode* before = env->scheduler->lists[list]->first; before != node;
                 before = before->next) {
                same += before->module == node->module ? 1 : 0;
            }
            std::string name = std::string("BM_ModuleStep/") + node->module->instance_name +
                               "/list" + std::to_string(list + 1);
            if (same > 1) {
                name.append(1, '#').append(std::to_string(same));
            }
            benchmark::RegisterBenchmark(name.c_str(), &ModuleStep, list, position);
        }
    }
    TearDownEnvironment(env, false);
    return true;
}

[[maybe_unused]] const bool kModuleStepsRegistered = RegisterModuleSteps();

}  // namespace
}  // namespace svg
