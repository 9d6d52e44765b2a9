// One simulated host run of a deliverable: the arrays, the storage block and the instance,
// driven through the exported functions.
#pragma once

#include <array>
#include <string>

#include "support/library.h"
#include "support/registered_inputs.h"

namespace svg::testing {

inline constexpr int kChannels = 200;  // the arrays of a run: room for either deliverable

// What a host must know of a deliverable: its library and entry prefix, how many inputs it
// reads and outputs it writes, and where its command bytes sit.
struct Deliverable {
    const char* prefix;  // "Travik": InitTravikDLL, TravikDLLinput.txt, ...
    Library& (*library)();
    int inputs;
    int outputs;
    int deblock_channel;
    int running_channel;
    // An input whose value the next step's outputs carry unchanged, and that output.
    int echo_input;
    int echo_output;
    int frequency_output;  // the phase-locked loop's frequency, Hz
    std::string InputTrace() const { return std::string(prefix) + "DLLinput.txt"; }
    std::string OutputTrace() const { return std::string(prefix) + "DLLoutput.txt"; }
    bool reduced() const { return inputs != kChannels; }
};

inline Library& Travik() {
    static Library library(SVG_TRAVIK_LIBRARY, "Travik");
    return library;
}
inline Library& Pellum() {
    static Library library(SVG_PELLUM_LIBRARY, "Pellum");
    return library;
}

// Full build: the running command (43) reaches output 4. Reduced build: the rated voltage
// (44) reaches output 12, Parameter.Un_kV.
inline const Deliverable kTravik{"Travik", &Travik, kChannels, kChannels, 42, 43, 43, 4, 6};
inline const Deliverable kPellum{"Pellum", &Pellum, 64, 57, 60, 61, 44, 12, 48};

// One host run: the arrays, the storage block and the instance. The inputs start with the
// parameter channels at their registered values.
class HostRun {
  public:
    explicit HostRun(const Deliverable& deliverable = kTravik,
                     std::array<double, 4> record = {0, 10, 10, 1})
        : deliverable_(deliverable), record_(record) {
        for (int i = 0; i < 100; ++i) {
            storage_[i] = static_cast<unsigned char>(i * 7);
        }
        if (deliverable.reduced()) {
            SetRegisteredSettings(in);
        } else {
            SetRegisteredParameters(in);
        }
    }
    explicit HostRun(std::array<double, 4> record) : HostRun(kTravik, record) {}
    int Init(int input_count = -1, int output_count = -1, double time = 0.0) {
        return lib().init(&instance_, 0, input_count < 0 ? deliverable_.inputs : input_count,
                          output_count < 0 ? deliverable_.outputs : output_count, record_.data(),
                          in.data(), out.data(), 0, storage_, time, 0.0);
    }
    int Step(double time) {
        return lib().step(instance_, 0, in.data(), out.data(), 0, storage_, time);
    }
    int Terminate() {
        const int result = lib().terminate(instance_);
        instance_ = nullptr;
        return result;
    }
    ~HostRun() {
        if (instance_ != nullptr) {
            Terminate();
        }
    }
    HostRun(const HostRun&) = delete;
    HostRun& operator=(const HostRun&) = delete;
    unsigned char* storage() { return storage_; }
    void* instance() { return instance_; }
    const Deliverable& deliverable() const { return deliverable_; }

    std::array<double, kChannels> in{};
    std::array<double, kChannels> out{};

  private:
    Library& lib() const { return deliverable_.library(); }

    const Deliverable& deliverable_;
    std::array<double, 4> record_;
    unsigned char storage_[100];
    void* instance_ = nullptr;
};

}  // namespace svg::testing
