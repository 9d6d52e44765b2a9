// The reference manual's source: what one build of the controller registers and how its
// wiring joins it, written as CSV tables. Built once per deliverable (the full and the reduced
// build differ in layouts and registrations).
#pragma once

#include <map>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "framework/environment.h"
#include "framework/module.h"
#include "framework/registry.h"
#include "variants/common/host_input.h"
#include "variants/common/parameter_channel.h"

namespace svg::reference {

// One registration row as the build saw it.
struct SeenRow {
    std::string module;
    SignalKind kind;
    std::string name;  // qualified: "<module>.<signal>"
    std::string type;
    std::string default_text;  // as the row writes it; empty for all but parameters
    std::string unit;
    std::string meaning;
    void* field;
    bool registered;  // false for a row this build leaves out
};

// Row observer that appends every row a build sees to `rows` (its context).
void Observe(void* rows, const ModuleHeader* module, const SignalRow& row, void* field,
             bool registered);

// What one deliverable offers its host, besides its registrations.
struct Deliverable {
    const char* name;                              // "Travik_DLL"
    std::span<const HostInput> host_inputs;        // named host input channels
    std::span<const ParameterChannel> parameters;  // host channels that write or stand for one
    bool channels_stand_for_parameters;            // read as inputs instead of written
};

class Reference {
  public:
    // `env` is a built controller whose rows `rows` holds; both outlive the reference.
    Reference(const Environment* env, const std::vector<SeenRow>& rows, const Deliverable& d);

    // Number of faults, each reported on `err` with its module and row: a row without a unit or
    // a meaning, a name registered twice, a host channel naming no registered parameter.
    int Check(std::ostream& err) const;

    // <folder>/<deliverable>_{inputs,outputs,parameters,signals,slots}.csv; false when a file
    // could not be written.
    bool Write(const std::string& folder) const;

  private:
    const RegistryEntry* ParameterNamed(std::string_view name) const;
    const SeenRow* RowOf(const RegistryEntry& e, bool variable) const;
    std::string SourceName(const void* source) const;
    bool WriteInputs(const std::string& folder) const;
    bool WriteOutputs(const std::string& folder) const;
    bool WriteParameters(const std::string& folder) const;
    bool WriteSignals(const std::string& folder) const;
    bool WriteSlots(const std::string& folder) const;

    const Environment* env_;
    const std::vector<SeenRow>& rows_;
    Deliverable d_;
    std::map<const void*, std::vector<const SeenRow*>> rows_by_field_;
    std::map<const void*, std::vector<std::string>> readers_;  // input slots by source address
};

}  // namespace svg::reference
