// The full deliverable built in the test process, stepped through the environment with the
// host's 200 doubles in and out: what a host sees, with the module records in reach.
#pragma once

#include <array>

#include "framework/environment.h"
#include "support/registered_inputs.h"
#include "variants/travik/travik.h"

namespace svg::testing {

// The inputs start with the parameter channels at their registered values.
class EnvRun {
  public:
    explicit EnvRun(std::array<double, 4> record = {0, 10, 10, 1}) : record_(record) {
        SetRegisteredParameters(in);
    }
    int Init() {
        if (BuildEnvironment(TravikVariant(), SystemAllocator(), &env_) != 0) {
            return 1;
        }
        ApplyHostParameters(env_, record_.data());
        return 0;
    }
    int Step(double /*time*/) { return StepEnvironment(env_, in.data(), out.data()); }
    ~EnvRun() {
        if (env_ != nullptr) {
            TearDownEnvironment(env_, false);
        }
    }
    EnvRun(const EnvRun&) = delete;
    EnvRun& operator=(const EnvRun&) = delete;

    Environment* env() { return env_; }
    template <class M>
    M* Module(int slot) {
        return ModuleAt<M>(env_, slot);
    }

    std::array<double, kHostChannels> in{};
    std::array<double, kHostChannels> out{};

  private:
    std::array<double, 4> record_;
    Environment* env_ = nullptr;
};

}  // namespace svg::testing
