// What every module is made of: the module header, the task routine type, and the
// registration operations a module calls from its create and task-registration operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace svg {

struct Environment;
struct ModuleHeader;

// A step routine takes its module as its only argument.
using TaskRoutine = void (*)(ModuleHeader* module);
// Appends the module's routines to task lists (the list index is the one the build gives)
// and does start-up work that needs wired inputs and final parameter values.
using TaskRegistration = int (*)(ModuleHeader* module, int list);

// Every module instance begins with this header and is zero-filled when allocated.
struct ModuleHeader {
    const char* type_name;
    const char* instance_name;  // prefixes every name the module registers
    TaskRegistration register_tasks;
    Environment* env;
};

// The module record behind a header. Modules are standard-layout records whose first member
// is the header, so the two addresses are interchangeable.
template <class M>
M* As(ModuleHeader* header) noexcept {
    static_assert(std::is_standard_layout_v<M>, "a module record must be standard-layout");
    static_assert(offsetof(M, hdr) == 0, "a module record must begin with its header");
    return reinterpret_cast<M*>(header);
}

// Fills the header; called first by every create operation.
void InitHeader(ModuleHeader* header, Environment* env, const char* type_name,
                const char* instance_name, TaskRegistration register_tasks) noexcept;

// Parameter: registers the field and writes its default (or the description file's value).
int RegisterParameter(ModuleHeader* module, void* field, const char* descriptor) noexcept;
// Variable: makes the field known as a recordable signal.
int RegisterVariable(ModuleHeader* module, void* field, const char* descriptor) noexcept;
// Input: records nothing; the slot is pointed at the zero cell until the wiring fills it, so
// an input without a producer reads 0 and no slot is ever null.
int DeclareInput(ModuleHeader* module, const float** slot, const char* descriptor) noexcept;
int DeclareInput(ModuleHeader* module, const std::uint8_t** slot, const char* descriptor) noexcept;
int DeclareInput(ModuleHeader* module, const std::uint32_t** slot, const char* descriptor) noexcept;

// One row of a module's registration table: what kind of signal, where its field sits in the
// module record, its descriptor, and its unit and meaning for the reference manual. A module
// registers all its signals from such tables, one line per signal in registration order.
//
// Variables: a kVariable row is recorded by the full controller only; a kSharedVariable row by
// both, and those rows are the reduced controller's wave channels, in its output order.
enum class SignalKind : std::uint8_t {
    kFloatInput,
    kByteInput,
    kWordInput,  // an unsigned 32-bit count
    kParameter,
    kVariable,
    kSharedVariable
};

// The deliverables a row belongs to. A parameter whose default differs between the two has one
// row of each kind, next to each other.
enum class Builds : std::uint8_t { kBoth, kFullOnly, kReducedOnly };

struct SignalRow {
    SignalKind kind;
    std::size_t offset;  // offsetof(<module record>, <field>)
    const char* descriptor;
    const char* unit;     // "pu", "rad/s", "V" ...; "-" for a pure number, a flag or a mode
    const char* meaning;  // what the signal is, in a few words
    Builds builds = Builds::kBoth;
};

// Sees every row of a module's tables, with the field the row names, so that a
// tool can describe the controller from its own registrations (units, meanings, producers and
// consumers). The deliverables build without one.
struct RowObserver {
    void* context;
    // `registered`: false for a row this build leaves out (its field still exists).
    void (*row)(void* context, const ModuleHeader* module, const SignalRow& row, void* field,
                bool registered);
};

// Registers every row of this build in order. Registration results are not reported: a
// refused row leaves its field at its zero-filled value.
void RegisterSignals(ModuleHeader* module, const SignalRow* rows, std::size_t count) noexcept;

template <std::size_t N>
void RegisterSignals(ModuleHeader* module, const SignalRow (&rows)[N]) noexcept {
    RegisterSignals(module, rows, N);
}

// Appends a routine to task list 1..4 of the module's environment. 1 when the list index is
// outside 1..4; 0 otherwise, also when no node could be allocated (nothing is appended then).
int RegisterTask(int list, TaskRoutine routine, ModuleHeader* module) noexcept;

// The zero cell: read by every input slot that has no producer. Never written (it is const).
const float* ZeroCellFloat() noexcept;
const std::uint8_t* ZeroCellByte() noexcept;
const std::uint32_t* ZeroCellUint32() noexcept;

}  // namespace svg
