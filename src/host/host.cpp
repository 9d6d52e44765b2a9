#include "host/host.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace svg {
namespace {

// "存储区错误!" in GBK, the encoding the host console of the device tools expects.
constexpr char kStorageMessage[] = "\xB4\xE6\xB4\xA2\xC7\xF8\xB4\xED\xCE\xF3\x21";
constexpr char kEnvAllocFailed[] = "Allocate memory for simulink run-time environment failed!";
constexpr char kEnvBuildFailed[] = "the initial run time environment failed!";

void PrintFailure(const char* message) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%s\n", message);
    std::fputs(buffer, stdout);
    std::fflush(stdout);
}

std::FILE* OpenTrace(const char* name) {
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        // Not fatal: the run goes on untraced, but the user learns why the file is missing.
        std::fprintf(stderr, "%s: cannot be opened for writing; this trace is not written\n", name);
    }
    return file;
}

// One traced value. Non-finite values are spelled out so every platform writes the same text
// (C runtimes differ on the sign of a NaN: "-nan" on one, "nan" on another).
void TraceValue(std::FILE* file, double value) {
    if (std::isnan(value)) {
        std::fputs("nan,", file);
    } else if (std::isinf(value)) {
        std::fputs(value > 0.0 ? "inf," : "-inf,", file);
    } else {
        std::fprintf(file, "%.8e,", value);
    }
}

// One trace line: the time with its column separator, then `count` values, then LF. With no
// array only the time column is written.
void TraceLine(std::FILE* file, const char* time_format, double time, const double* values,
               int count) {
    if (file == nullptr) {
        return;
    }
    std::fprintf(file, time_format, time);
    for (int i = 0; values != nullptr && i < count; ++i) {
        TraceValue(file, values[i]);
    }
    std::fputc('\n', file);
}

void TraceStep(LibraryInstance* instance, double time, const double* inputs,
               const double* outputs) {
    WriteTraceLines(instance->input_trace, instance->output_trace, time, inputs,
                    instance->input_count, outputs, instance->output_count);
}

}  // namespace

void WriteTraceLines(std::FILE* input_trace, std::FILE* output_trace, double time,
                     const double* inputs, int input_count, const double* outputs,
                     int output_count) noexcept {
    TraceLine(input_trace, "%.8f,  ", time, inputs, input_count);
    TraceLine(output_trace, "%.8f,", time, outputs, output_count);
}

int HostInit(const HostConfig& config, void** handle, int input_count, int output_count,
             const double* host_parameters, const double* inputs, const double* outputs,
             const void* storage, double time) noexcept {
    if (handle == nullptr) {
        return 1;
    }
    auto* instance = static_cast<LibraryInstance*>(std::calloc(1, sizeof(LibraryInstance)));
    *handle = instance;
    if (instance == nullptr) {
        PrintFailure(kEnvAllocFailed);
        return 1;
    }
    Environment* env = nullptr;
    int result = BuildEnvironment(*config.variant, SystemAllocator(), &env);
    instance->environment = env;
    if (env == nullptr) {
        PrintFailure(kEnvAllocFailed);
    } else if (result != 0) {
        PrintFailure(kEnvBuildFailed);
    } else {
        ApplyHostParameters(env, host_parameters);
        instance->built = true;
    }
    if (storage != nullptr) {
        std::memcpy(instance->saved_storage, storage, kStorageBlockBytes);
    }
    instance->input_count = input_count > 0 ? input_count : 0;
    instance->output_count = output_count > 0 ? output_count : 0;
    instance->input_trace = OpenTrace(config.input_trace_name);
    instance->output_trace = OpenTrace(config.output_trace_name);
    TraceStep(instance, time, inputs, outputs);
    return result;
}

int HostStep(void* handle, const double* inputs, double* outputs, const void* storage,
             double time) noexcept {
    auto* instance = static_cast<LibraryInstance*>(handle);
    if (instance == nullptr) {
        return 0;
    }
    const bool tracing = time < kTraceEnd;
    if (tracing && storage != nullptr &&
        std::memcmp(instance->saved_storage, storage, kStorageBlockBytes) != 0) {
        std::printf("Tnow:");
        std::printf("%f,  ", time);
        std::printf("%s\n", kStorageMessage);
        std::fflush(stdout);
    }
    if (instance->built && inputs != nullptr && outputs != nullptr) {
        StepEnvironment(instance->environment, inputs, outputs);
    }
    if (tracing) {
        if (storage != nullptr) {
            std::memcpy(instance->saved_storage, storage, kStorageBlockBytes);
        }
        TraceStep(instance, time, inputs, outputs);
    }
    return 0;
}

int HostTerminate(void* handle) noexcept {
    auto* instance = static_cast<LibraryInstance*>(handle);
    if (instance == nullptr) {
        return 0;
    }
    TearDownEnvironment(instance->environment, instance->built);
    if (instance->input_trace != nullptr) {
        std::fclose(instance->input_trace);
    }
    if (instance->output_trace != nullptr) {
        std::fclose(instance->output_trace);
    }
    std::free(instance);
    return 0;
}

}  // namespace svg
