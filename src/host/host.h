// The host side of one library instance: what the exported Init/Step/Terminate entry points
// of a deliverable do, the trace files and the storage-block check.
#pragma once

#include <cstdint>
#include <cstdio>

#include "framework/environment.h"

namespace svg {

inline constexpr int kStorageBlockBytes = 100;

// Tracing happens only while the host's time is below one second.
inline constexpr double kTraceEnd = 1.0;

struct HostConfig {
    const Variant* variant;
    const char* input_trace_name;   // e.g. "TravikDLLinput.txt"
    const char* output_trace_name;  // e.g. "TravikDLLoutput.txt"
};

// What the host's handle points to.
struct LibraryInstance {
    Environment* environment;  // null when the environment could not be allocated
    std::FILE* input_trace;
    std::FILE* output_trace;
    std::uint8_t saved_storage[kStorageBlockBytes];
    std::int32_t input_count;
    std::int32_t output_count;
    bool built;  // the build succeeded: only then is the environment stepped
};

int HostInit(const HostConfig& config, void** handle, int input_count, int output_count,
             const double* host_parameters, const double* inputs, const double* outputs,
             const void* storage, double time) noexcept;
int HostStep(void* handle, const double* inputs, double* outputs, const void* storage,
             double time) noexcept;
int HostTerminate(void* handle) noexcept;

// One line of each trace file: the time, then the values, then LF; a null file is skipped.
void WriteTraceLines(std::FILE* input_trace, std::FILE* output_trace, double time,
                     const double* inputs, int input_count, const double* outputs,
                     int output_count) noexcept;

}  // namespace svg
