// A deliverable built in the benchmark process (the full one, or the reduced one when compiled
// for it) and brought into its running state, so every control path runs: every setting at its
// registered value (30 Mvar, 35 kV, 50 Hz), charged cells, deblocked and running on a balanced
// 35 kV grid, stepped past the 3 s confirmation of the running sequence.
#pragma once

#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include "framework/environment.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "modules/PQCal.h"
#if SVG_REDUCED_BUILD
#include "variants/pellum/host_channels.h"
#include "variants/pellum/pellum.h"
#else
#include "variants/travik/host_channels.h"
#include "variants/travik/travik.h"
#endif

namespace svg::bench {

#if SVG_REDUCED_BUILD
inline const Variant& BenchVariant() { return PellumVariant(); }
inline constexpr const char* kDeliverable = "Pellum";
inline constexpr auto& kSettingChannels = kPellumParameterChannels;
// Rated reactive power (Mvar), voltage (kV) and inductance (mH) on 43..45; the command bytes.
inline constexpr std::pair<int, double> kRunChannels[] = {
    {43, 30.0}, {44, 35.0}, {45, 13.0}, {kByteFlagFirst + kDeblockFlag, 1.0},
    {kByteFlagFirst + kRunningFlag, 1.0}};
#else
inline const Variant& BenchVariant() { return TravikVariant(); }
inline constexpr const char* kDeliverable = "Travik";
inline constexpr auto& kSettingChannels = kTravikParameterChannels;
inline constexpr std::pair<int, double> kRunChannels[] = {{kDeblockChannel, 1.0},
                                                          {kRunningChannel, 1.0}};
#endif

class RunningController {
  public:
    RunningController() {
        if (BuildEnvironment(BenchVariant(), SystemAllocator(), &env_) != 0) {
            return;
        }
        // Task dividers 10, 10 and 1: task list 2 every 10th host step, lists 3 and 4 every
        // 100th.
        const double record[4] = {0, 10, 10, 1};
        ApplyHostParameters(env_, record);
        for (const ParameterChannel& row : kSettingChannels) {
            in_[row.channel] = row.registered;
        }
        for (int ph = 0; ph < 3; ++ph) {
            in_[kCellDcFirst + ph] = kCellVolts;
        }
        for (const auto& [channel, value] : kRunChannels) {
            in_[channel] = value;
        }
        for (long k = 0; k < kWarmUpSteps; ++k) {
            Step();
        }
        const PQCal* pq = ModuleAt<PQCal>(env_, kSlotPQCal);
        running_ = pq != nullptr && pq->flg_run_delay == 1;
    }
    ~RunningController() { TearDownEnvironment(env_, false); }
    RunningController(const RunningController&) = delete;
    RunningController& operator=(const RunningController&) = delete;

    // Built and past the running confirmation.
    bool running() const { return running_; }
    Environment* env() const { return env_; }

    // One host step with the grid advanced by one host step.
    void Step() {
        grid_turns_ += kGridHz * kHostDt;
        grid_turns_ -= std::floor(grid_turns_);
        for (int ph = 0; ph < 3; ++ph) {
            in_[kPt4PhaseFirst + ph] =
                kPhasePeak * std::cos(kTwoPi * (grid_turns_ - static_cast<double>(ph) / 3.0));
            in_[kPt4LineFirst + ph] = kLineVolts;
        }
        StepEnvironment(env_, in_.data(), out_.data());
    }
    const double* outputs() const { return out_.data(); }

  private:
    static constexpr double kTwoPi = 2.0 * std::numbers::pi;
    static constexpr double kHostDt = 1e-4;  // s, the default task-1 period
    static constexpr double kGridHz = 50.0;
    static constexpr double kLineVolts = 35000.0;  // RMS, line to line
    static inline const double kPhasePeak = kLineVolts * std::sqrt(2.0 / 3.0);
    static constexpr double kCellVolts = 1050.0;  // mean cell DC voltage of each phase
    static constexpr long kWarmUpSteps = 35000;   // 3.5 s: past the 3 s running confirmation
    // Host input channels of phase a: PT4 phase voltage, PT4 line RMS voltage, cell DC voltage.
    static constexpr int kPt4PhaseFirst = 9;
    static constexpr int kPt4LineFirst = 21;
    static constexpr int kCellDcFirst = 39;

    Environment* env_ = nullptr;
    std::array<double, kHostChannels> in_{};
    std::array<double, kHostChannels> out_{};
    double grid_turns_ = 0.0;
    bool running_ = false;
};

}  // namespace svg::bench
