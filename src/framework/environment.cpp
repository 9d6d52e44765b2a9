#include "framework/environment.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "blocks/numeric.h"
#include "framework/registry.h"
#include "framework/registry_files.h"
#include "framework/type_codes.h"

namespace svg {
namespace {

template <class T>
T* AllocateBlock(const Allocator& allocator, std::size_t count = 1) {
    return static_cast<T*>(AllocateZeroed(allocator, sizeof(T) * count));
}

// Product of two dividers as the 32-bit target computes it: formed in 64 bits, then wrapped
// to 32 bits, so no signed overflow can occur.
std::int32_t WrappedProduct(std::int32_t a, std::int32_t b) {
    const auto product = static_cast<std::uint64_t>(static_cast<std::int64_t>(a) * b);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(product & 0xFFFFFFFFu));
}

// n modulo d with the sign rules of C, free of the INT32_MIN % -1 trap. d is never 0 here.
std::int32_t Modulo(std::int64_t n, std::int32_t d) {
    return static_cast<std::int32_t>(n % static_cast<std::int64_t>(d));
}

void RunList(const TaskList* list) {
    for (const TaskNode* node = list != nullptr ? list->first : nullptr; node != nullptr;
         node = node->next) {
        node->routine(node->module);
    }
}

int CreateModules(Environment* env, const Variant& variant) {
    env->modules = AllocateBlock<ModuleHeader*>(env->allocator, kModuleSlots);
    if (env->modules == nullptr) {
        return 1;
    }
    auto allocate = [env](const ModuleSpec& row) {
        if (row.slot < 0 || row.slot >= kModuleSlots || env->modules[row.slot] != nullptr) {
            return false;
        }
        env->modules[row.slot] =
            static_cast<ModuleHeader*>(AllocateZeroed(env->allocator, row.size));
        return env->modules[row.slot] != nullptr;
    };
    auto create = [env](const ModuleSpec& row) {
        return row.create(env, env->modules[row.slot], row.instance_name) != nullptr;
    };
    // The input and output modules come with the module table, the others are all allocated
    // before any of them is created.
    for (int i = 0; i < variant.module_count; ++i) {
        const ModuleSpec& row = variant.modules[i];
        if (row.early && !(allocate(row) && create(row))) {
            return 1;
        }
    }
    for (int i = 0; i < variant.module_count; ++i) {
        if (!variant.modules[i].early && !allocate(variant.modules[i])) {
            return 1;
        }
    }
    for (int i = 0; i < variant.module_count; ++i) {
        if (!variant.modules[i].early && !create(variant.modules[i])) {
            return 1;
        }
    }
    return 0;
}

void RegisterModuleTasks(Environment* env, const Variant& variant) {
    int last_rank = 0;
    for (int i = 0; i < variant.module_count; ++i) {
        last_rank =
            variant.modules[i].task_rank > last_rank ? variant.modules[i].task_rank : last_rank;
    }
    for (int rank = 1; rank <= last_rank; ++rank) {
        for (int i = 0; i < variant.module_count; ++i) {
            const ModuleSpec& row = variant.modules[i];
            ModuleHeader* module = env->modules[row.slot];
            if (row.task_rank == rank && module->register_tasks != nullptr) {
                module->register_tasks(module, row.task_list);
            }
        }
    }
}

}  // namespace

ModuleHeader* ModuleInSlot(const Environment* env, int slot) noexcept {
    if (env == nullptr || env->modules == nullptr || slot < 0 || slot >= kModuleSlots) {
        return nullptr;
    }
    return env->modules[slot];
}

ModuleOwner ModuleOwning(const Environment* env, const void* address) noexcept {
    if (env == nullptr || env->variant == nullptr) {
        return {nullptr, 0};
    }
    const auto a = reinterpret_cast<std::uintptr_t>(address);
    const Variant& variant = *env->variant;
    for (int i = 0; i < variant.module_count; ++i) {
        const auto start =
            reinterpret_cast<std::uintptr_t>(ModuleInSlot(env, variant.modules[i].slot));
        if (start != 0 && a >= start && a < start + variant.modules[i].size) {
            return {&variant.modules[i], a - start};
        }
    }
    return {nullptr, 0};
}

int BuildEnvironment(const Variant& variant, const Allocator& allocator, Environment** out,
                     const RowObserver* observer) noexcept {
    Environment* env = AllocateBlock<Environment>(allocator);
    *out = env;
    if (env == nullptr) {
        return 1;
    }
    env->allocator = allocator;
    env->variant = &variant;
    env->observer = observer;
    env->parameters = AllocateBlock<SignalRegistry>(allocator);
    env->io = env->parameters != nullptr ? AllocateBlock<float>(allocator, kIoBufferSize) : nullptr;
    env->scheduler = env->io != nullptr ? AllocateBlock<TaskScheduler>(allocator) : nullptr;
    env->variables = env->scheduler != nullptr ? AllocateBlock<SignalRegistry>(allocator) : nullptr;
    if (env->variables == nullptr) {
        return 1;
    }
    ReadDescriptions(env->parameters);
    for (TaskList*& list : env->scheduler->lists) {
        list = AllocateBlock<TaskList>(allocator);
        if (list == nullptr) {
            return 1;
        }
    }
    if (CreateModules(env, variant) != 0) {
        return 1;
    }
    if (variant.wire != nullptr) {
        variant.wire(env);
    }
    RegisterModuleTasks(env, variant);
    ReportUnclaimedDescriptions(env->parameters);
    return 0;
}

void ApplyHostParameters(Environment* env, const double* record) noexcept {
    if (env == nullptr || env->parameters == nullptr || env->scheduler == nullptr) {
        return;
    }
    const double none[4] = {0.0, 0.0, 0.0, 0.0};
    const double* r = record != nullptr ? record : none;
    env->parameters->run_id = TruncToInt32(r[0]);
    const std::int32_t a = TruncToInt32(r[1]);
    const std::int32_t ab = WrappedProduct(a, TruncToInt32(r[2]));
    const std::int32_t abc = WrappedProduct(ab, TruncToInt32(r[3]));
    TaskScheduler& s = *env->scheduler;
    s.task2_divider = a != 0 ? a : 10;
    s.task3_divider = ab != 0 ? ab : 10;
    s.task4_divider = abc != 0 ? abc : 1;
    s.tick = 0;
    s.time_increment = 100;
}

float HostToBuffer(double value) noexcept {
    if (!std::isfinite(value)) {
        return 0.0f;
    }
    if (value > static_cast<double>(FLT_MAX)) {
        return FLT_MAX;
    }
    if (value < -static_cast<double>(FLT_MAX)) {
        return -FLT_MAX;
    }
    return static_cast<float>(value);
}

void SchedulerTick(Environment* env) noexcept {
    TaskScheduler& s = *env->scheduler;
    // Dividers are 0 only before the host record is applied; treat that as "every tick".
    auto due = [&s](std::int32_t divider) { return divider == 0 || Modulo(s.tick, divider) == 0; };
    RunList(s.lists[0]);
    if (due(s.task2_divider)) {
        RunList(s.lists[1]);
    }
    if (due(s.task3_divider)) {
        RunList(s.lists[2]);
    }
    if (due(s.task4_divider)) {
        RunList(s.lists[3]);
    }
    s.tick =
        s.task4_divider != 0 ? Modulo(static_cast<std::int64_t>(s.tick) + 1, s.task4_divider) : 0;
}

int StepEnvironment(Environment* env, const double* inputs, double* outputs) noexcept {
    for (int i = 0; i < kHostChannels; ++i) {
        env->io[i] = HostToBuffer(inputs[i]);
    }
    SchedulerTick(env);
    if constexpr (kReducedBuild) {
        const SignalRegistry& waves = *env->variables;
        for (int i = 0; i < waves.entry_count; ++i) {
            outputs[i] = ReadAsDouble(waves.entries[i].address, waves.entries[i].type_code);
        }
    } else {
        for (int i = 0; i < kHostChannels; ++i) {
            outputs[i] = static_cast<double>(env->io[kOutputBase + i]);
        }
    }
    return 0;
}

int TearDownEnvironment(Environment* env, bool write_files) noexcept {
    if (env == nullptr) {
        return 0;
    }
    const Allocator allocator = env->allocator;
    if (env->scheduler != nullptr) {
        for (TaskList*& list : env->scheduler->lists) {
            for (TaskNode* node = list != nullptr ? list->first : nullptr; node != nullptr;) {
                TaskNode* next = node->next;
                Release(allocator, node);
                node = next;
            }
            Release(allocator, list);
            list = nullptr;
        }
    }
    if (env->modules != nullptr) {
        for (int i = 0; env->variant != nullptr && i < env->variant->module_count; ++i) {
            const ModuleSpec& row = env->variant->modules[i];
            ModuleHeader* module = ModuleInSlot(env, row.slot);
            if (module != nullptr && row.release != nullptr) {
                row.release(env, module);
            }
        }
        for (int slot = 0; slot < kModuleSlots; ++slot) {
            Release(allocator, env->modules[slot]);
        }
        Release(allocator, env->modules);
        env->modules = nullptr;
    }
    int result = 0;
    if (write_files && env->parameters != nullptr && env->variables != nullptr) {
        result |= WriteParameterTable(*env->parameters, allocator);
        result |= WriteDescriptions(*env->parameters, allocator);
        ClearRegistry(env->parameters);
        result |= WriteWaveChannels(*env->variables, allocator);
    }
    Release(allocator, env->parameters);
    Release(allocator, env->io);
    Release(allocator, env->scheduler);
    Release(allocator, env->variables);
    Release(allocator, env);
    return result;
}

}  // namespace svg
