// One simulated host run of the full deliverable: the arrays, the storage block and the
// instance, driven through the exported functions.
#pragma once

#include <array>

#include "support/library.h"
#include "support/registered_inputs.h"

namespace svg::testing {

inline constexpr int kChannels = 200;

inline Library& Travik() {
    static Library library(SVG_TRAVIK_LIBRARY, "Travik");
    return library;
}

// One host run: the arrays, the storage block and the instance. The inputs start with the
// parameter channels at their registered values.
class HostRun {
  public:
    explicit HostRun(std::array<double, 4> record = {0, 10, 10, 1}) : record_(record) {
        for (int i = 0; i < 100; ++i) {
            storage_[i] = static_cast<unsigned char>(i * 7);
        }
        SetRegisteredParameters(in);
    }
    int Init(int input_count = kChannels, int output_count = kChannels, double time = 0.0) {
        return Travik().init(&instance_, 0, input_count, output_count, record_.data(), in.data(),
                             out.data(), 0, storage_, time, 0.0);
    }
    int Step(double time) {
        return Travik().step(instance_, 0, in.data(), out.data(), 0, storage_, time);
    }
    int Terminate() {
        const int result = Travik().terminate(instance_);
        instance_ = nullptr;
        return result;
    }
    ~HostRun() {
        if (instance_ != nullptr) {
            Terminate();
        }
    }
    unsigned char* storage() { return storage_; }
    void* instance() { return instance_; }

    std::array<double, kChannels> in{};
    std::array<double, kChannels> out{};

  private:
    std::array<double, 4> record_;
    unsigned char storage_[100];
    void* instance_ = nullptr;
};

}  // namespace svg::testing
