#include "host/host.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "framework/registry.h"
#include "host/fp_state.h"

#if defined(_WIN32)
#include <share.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

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

// Instances open at the same time in one working folder (in this process or another) that get
// trace files of their own.
constexpr int kMaxTracedInstances = 99;
constexpr int kTraceNameLen = 80;

// The trace file of the k-th instance open at the same time: the described name for the
// first, "<stem>_<k><extension>" for the others (TravikDLLinput_2.txt).
void TraceName(char (&out)[kTraceNameLen], const char* name, int k) {
    if (k == 1) {
        std::snprintf(out, sizeof out, "%s", name);
        return;
    }
    const char* dot = std::strrchr(name, '.');
    const int stem =
        dot != nullptr ? static_cast<int>(dot - name) : static_cast<int>(std::strlen(name));
    std::snprintf(out, sizeof out, "%.*s_%d%s", stem, name, k, dot != nullptr ? dot : "");
}

// Opens `name` for writing, emptied, unless another open instance writes it: the file stays
// locked against other writers for as long as it is open. Null when it is taken or cannot be
// opened. The lock is taken before the file is emptied, so a taken file is never touched.
std::FILE* OpenUnshared(const char* name) {
#if defined(_WIN32)
    return _fsopen(name, "wb", _SH_DENYWR);
#else
    const int fd = open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        close(fd);
    }
    return file;
#endif
}

// The two trace files of an instance: the first pair of names that no other open instance
// writes, so several instances in one working folder never write into each other's traces.
void OpenTraces(LibraryInstance* instance, const HostConfig& config) {
    char input[kTraceNameLen];
    char output[kTraceNameLen];
    for (int k = 1; k <= kMaxTracedInstances && instance->input_trace == nullptr; ++k) {
        TraceName(input, config.input_trace_name, k);
        TraceName(output, config.output_trace_name, k);
        instance->input_trace = OpenUnshared(input);
    }
    if (instance->input_trace == nullptr) {
        TraceName(input, config.input_trace_name, 1);
        TraceName(output, config.output_trace_name, 1);
    } else {
        instance->output_trace = OpenUnshared(output);
    }
    // Not fatal: the run goes on untraced, but the user learns why a file is missing.
    for (const auto& [file, name] :
         {std::pair{instance->input_trace, input}, std::pair{instance->output_trace, output}}) {
        if (file == nullptr) {
            std::fprintf(stderr, "%s: cannot be opened for writing; this trace is not written\n",
                         name);
        }
    }
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
    const FloatingPointScope fp_state;
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
    // The counts only size the trace lines, and a trace never reads further into the host's
    // arrays than a step does: at most the inputs a step reads and the outputs it writes.
    const int outputs_written =
        !kReducedBuild ? kHostChannels : (instance->built ? env->variables->entry_count : 0);
    instance->input_count = input_count < 0               ? 0
                            : input_count > kHostChannels ? kHostChannels
                                                          : input_count;
    instance->output_count = output_count < 0                 ? 0
                             : output_count > outputs_written ? outputs_written
                                                              : output_count;
    OpenTraces(instance, config);
    TraceStep(instance, time, inputs, outputs);
    return result;
}

int HostStep(void* handle, const double* inputs, double* outputs, const void* storage,
             double time) noexcept {
    const FloatingPointScope fp_state;
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
    const FloatingPointScope fp_state;
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
