// Test-only control library: Step echoes host inputs 0..189 to outputs 0..189 and reports on
// outputs 190..199 what the host passed, so that svghost's loading and calling path can be
// checked without the real controller. FAKE_WORD selects the entry-point prefix. Like the real
// library, a run with a non-zero id writes allDescriptions_<id>.tsv at Terminate (here: the
// parameters of the full build's channels at their registered values); the hosts' registry
// probe reads it.
#include <cstdio>
#include <cstring>
#include <string>

#include "registry_defaults.h"
#include "variants/travik/host_channels.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#define FAKE_JOIN(a, b, c) a##b##c
#define FAKE_ENTRY(kind, word) FAKE_JOIN(kind, word, DLL)
#define FAKE_INIT FAKE_ENTRY(Init, FAKE_WORD)
#define FAKE_STEP FAKE_ENTRY(Step, FAKE_WORD)
#define FAKE_TERMINATE FAKE_ENTRY(Terminate, FAKE_WORD)

namespace {

constexpr int kStorageBytes = 100;

struct FakeInstance {
    unsigned char storage[kStorageBytes];
    double record[4];
    double init_input0;  // host input 0 as passed to Init
    int input_count;
    int output_count;
    int steps;
    int storage_changes;  // steps whose storage block differed from the one given to Init
};

}  // namespace

// Output channels that report on the host's calls.
enum FakeReport {
    kTime = 190,            // time argument of this step
    kSteps = 191,           // steps so far, this one included
    kStorageChanges = 192,  // steps that saw a storage block unlike Init's
    kRecord = 193,          // 193..196: the host parameter record
    kInputCount = 197,
    kOutputCount = 198,
    kInitInput0 = 199,
};

// A negative run identifier makes Init fail, after creating the instance as the real one does.
FAKE_EXPORT int FAKE_INIT(void** instance, int, int input_count, int output_count,
                          double* host_params, double* inputs, double* outputs, int, void* storage,
                          double, double) {
    if (instance == nullptr || host_params == nullptr || inputs == nullptr || outputs == nullptr ||
        storage == nullptr) {
        return 1;
    }
    auto* self = new FakeInstance{};
    *instance = self;
    std::memcpy(self->storage, storage, kStorageBytes);
    std::memcpy(self->record, host_params, sizeof self->record);
    self->init_input0 = inputs[0];
    self->input_count = input_count;
    self->output_count = output_count;
    return self->record[0] < 0.0 ? 1 : 0;
}

FAKE_EXPORT int FAKE_STEP(void* instance, int, double* inputs, double* outputs, int, void* storage,
                          double time) {
    auto* self = static_cast<FakeInstance*>(instance);
    if (self == nullptr || inputs == nullptr || outputs == nullptr || storage == nullptr) return 0;
    ++self->steps;
    if (std::memcmp(self->storage, storage, kStorageBytes) != 0) ++self->storage_changes;
    for (int i = 0; i < kTime; ++i) outputs[i] = inputs[i];
    outputs[kTime] = time;
    outputs[kSteps] = self->steps;
    outputs[kStorageChanges] = self->storage_changes;
    for (int i = 0; i < 4; ++i) outputs[kRecord + i] = self->record[i];
    outputs[kInputCount] = self->input_count;
    outputs[kOutputCount] = self->output_count;
    outputs[kInitInput0] = self->init_input0;
    return 0;
}

// Reports on standard error, so a test can see that the host terminated the instance; the
// hosts' registry probe terminates quietly.
FAKE_EXPORT int FAKE_TERMINATE(void* instance) {
    auto* self = static_cast<FakeInstance*>(instance);
    if (self == nullptr) return 0;
    const auto id = static_cast<int>(self->record[0]);
    if (id > 0) {
        const std::string name = "allDescriptions_" + std::to_string(id) + ".tsv";
        if (std::FILE* file = std::fopen(name.c_str(), "wb")) {
            for (const svg::ParameterChannel& row : svg::kTravikParameterChannels) {
                std::fprintf(file, "%.*s\t\ttype=f\t\tdefault=%f\n",
                             static_cast<int>(row.target.size()), row.target.data(),
                             row.registered);
            }
            std::fclose(file);
        }
    }
    if (id != svghost::kProbeRunId) {
        std::fprintf(stderr, "fake: terminated after %d steps\n", self->steps);
    }
    delete self;
    return 0;
}
