// The run-time environment behind one library instance: module table, the two registries,
// the I/O buffer, the task scheduler and the environment time counter.
#pragma once

#include <cstddef>
#include <cstdint>

#include "blocks/build.h"
#include "framework/alloc.h"
#include "framework/module.h"

namespace svg {

struct SignalRegistry;
struct Variant;

inline constexpr int kModuleSlots = 50;
// Host inputs a step reads and output slots of the output module: 200 in the full controller,
// 64 in the reduced one, whose host outputs are its recorded variables instead.
inline constexpr int kHostChannels = kReducedBuild ? 64 : 200;
// I/O buffer: inputs from 0, outputs from kOutputBase. Full: 600 floats, outputs 200..399,
// the rest unused. Reduced: 192 floats, the output area from 64 on, never read by the step.
inline constexpr int kIoBufferSize = kReducedBuild ? 192 : 600;
inline constexpr int kOutputBase = kReducedBuild ? 64 : 200;
inline constexpr int kTaskLists = 4;

struct TaskNode {
    TaskRoutine routine;
    ModuleHeader* module;
    TaskNode* next;
};

struct TaskList {
    TaskNode* first;
    TaskNode* last;
};

struct TaskScheduler {
    TaskList* lists[kTaskLists];  // task lists 1..4 at index 0..3
    std::int32_t tick;            // 0 .. task-4 divider - 1
    std::int32_t time_increment;  // added to the environment time counter per host step
    std::int32_t task2_divider;
    std::int32_t task3_divider;
    std::int32_t task4_divider;  // also the wrap of the tick counter
};

struct Environment {
    ModuleHeader** modules;  // module table, kModuleSlots fixed slots
    SignalRegistry* parameters;
    float* io;  // kIoBufferSize values
    TaskScheduler* scheduler;
    SignalRegistry* variables;
    std::uint32_t time_counter;  // +time_increment per host step, wraps modulo 2^32
    Allocator allocator;
    const Variant* variant;
    const RowObserver* observer;  // null but in the tools that describe the controller
};

// One row of a deliverable's module list, in creation order.
struct ModuleSpec {
    int slot;                   // fixed module-table slot
    const char* instance_name;  // also the prefix of every registered name
    std::size_t size;           // bytes of the module record, allocated zero-filled
    // Fills the header and registers the module's signals; null on failure.
    ModuleHeader* (*create)(Environment* env, ModuleHeader* module, const char* instance_name);
    // Releases what the module allocated itself (filters, delay lines); may be null.
    void (*release)(Environment* env, ModuleHeader* module);
    int task_rank;  // position in the task-registration order, from 1
    int task_list;  // list index handed to the module's task-registration operation
    bool early;     // created together with the module table (the input and output modules)
};

// A module-list row for module record type M.
template <class M>
constexpr ModuleSpec ModuleRow(int slot, const char* name,
                               ModuleHeader* (*create)(Environment*, ModuleHeader*, const char*),
                               int task_rank, int task_list, bool early = false,
                               void (*release)(Environment*, ModuleHeader*) = nullptr) {
    return ModuleSpec{slot, name, sizeof(M), create, release, task_rank, task_list, early};
}

// What one deliverable is made of.
struct Variant {
    const ModuleSpec* modules;
    int module_count;
    void (*wire)(Environment* env);  // fills input slots and host-channel targets, binds outputs
};

// The module in a slot, or null when the slot is empty or out of range.
ModuleHeader* ModuleInSlot(const Environment* env, int slot) noexcept;

// The module-list row of the built module whose record holds `address`, and the offset of
// `address` into that record; the row is null when no module holds it.
struct ModuleOwner {
    const ModuleSpec* row;
    std::size_t offset;
};
ModuleOwner ModuleOwning(const Environment* env, const void* address) noexcept;

template <class M>
M* ModuleAt(const Environment* env, int slot) noexcept {
    ModuleHeader* header = ModuleInSlot(env, slot);
    return header != nullptr ? As<M>(header) : nullptr;
}

// Build: 0 on success. On failure `*env` holds what was built (null when the environment
// itself could not be allocated) and the result is 1.
int BuildEnvironment(const Variant& variant, const Allocator& allocator, Environment** env,
                     const RowObserver* observer = nullptr) noexcept;

// Run identifier and task dividers from the host parameter record (4 doubles; null means
// none given: identifier 0 and the default dividers).
void ApplyHostParameters(Environment* env, const double* record) noexcept;

// One host step: the host inputs into the I/O buffer, one scheduler tick, the outputs back.
// Full controller: 200 inputs, 200 outputs from the output area. Reduced controller: 64
// inputs, and one output per recorded variable in registration order, converted by its type
// (the host must provide that many).
int StepEnvironment(Environment* env, const double* inputs, double* outputs) noexcept;

// One scheduler tick (the part of a host step between the two conversions).
void SchedulerTick(Environment* env) noexcept;

// Writes the registry files and releases everything. `write_files` is false for an
// environment whose build failed, so a partial registry never overwrites a user's files.
// 0, or 1 when a writer could not allocate its text buffer (the others still run).
int TearDownEnvironment(Environment* env, bool write_files) noexcept;

// Host double to I/O-buffer float: NaN and infinities become 0, finite values beyond single
// precision saturate at +-FLT_MAX, every other value converts exactly as a plain cast.
float HostToBuffer(double value) noexcept;

}  // namespace svg
