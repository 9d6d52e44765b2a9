// A host run against a generated grid: the ratings on their host channels, a balanced grid on
// the PT4 channels, Hall currents, cell DC voltages and the run commands, for any host that
// offers the 200 input values as `in` and a `Step(time)`. End-to-end tests of every module
// drive the library through this one helper.
#pragma once

#include <cmath>
#include <numbers>

#include "support/temp_dir.h"

namespace svg::testing {

inline constexpr double kHostDt = 1e-4;  // host step, equal to the default task-1 period
inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Host channels a host sets for a run: rated 30 Mvar, 35 kV, 13 mH, 4.1 mF, 77 cells; PCC
// 220 kV, coupling transformer 35/10 kV; PCC site PT1 and the loop gains of the PLL.
template <class Run>
void SetRatings(Run& run, double nominal_hz = 50.0) {
    run.in[60] = 30.0;
    run.in[61] = 35.0;
    run.in[62] = nominal_hz;
    run.in[63] = 13.0;
    run.in[64] = 4.1;
    run.in[65] = 77.0;
    run.in[68] = 220.0;
    run.in[71] = 35.0;
    run.in[72] = 10.0;
    run.in[47] = 1.0;   // PCC site PT1, the parameter's default; 0 is outside its range
    run.in[84] = 21.2;  // loop gains: the host writes them at every step
    run.in[85] = 1413.7;
}

// Balanced line voltage `kv` (RMS, line to line) on PT4 at angle `phase` (radians) of phase a.
template <class Run>
void SetPt4(Run& run, double kv, double phase) {
    const double peak = kv * 1000.0 * std::sqrt(2.0 / 3.0);
    for (int ph = 0; ph < 3; ++ph) {
        run.in[9 + ph] = peak * std::cos(phase - ph * kTwoPi / 3.0);
        run.in[21 + ph] = kv * 1000.0;
    }
}

// Hall currents of `amps` peak at angle `phase` (radians) of phase a.
template <class Run>
void SetHall(Run& run, double amps, double phase) {
    for (int ph = 0; ph < 3; ++ph) {
        run.in[33 + ph] = amps * std::cos(phase - ph * kTwoPi / 3.0);
    }
}

// Mean cell DC voltage of each phase (host channels 39..41), volts.
template <class Run>
void SetCellDc(Run& run, double volts) {
    for (int ph = 0; ph < 3; ++ph) {
        run.in[39 + ph] = volts;
    }
}

// Deblock and running commands (host channels 42 and 43).
template <class Run>
void SetCommands(Run& run, bool deblock, bool running) {
    run.in[42] = deblock ? 1.0 : 0.0;
    run.in[43] = running ? 1.0 : 0.0;
}

// Wraps a difference of angles in turns into [-0.5, 0.5).
inline double TurnError(double a, double b) {
    double d = std::fmod(a - b, 1.0);
    if (d < -0.5) {
        d += 1.0;
    }
    if (d >= 0.5) {
        d -= 1.0;
    }
    return d;
}

// Peak current of the rated reactive power at 35 kV: 30 MVA / (sqrt(3) 35 kV) RMS.
inline const double kRatedPeakAmps = 30e6 / (std::sqrt(3.0) * 35e3) * std::sqrt(2.0);

// A run in a temporary working directory. The grid keeps its phase across calls, so steps of
// frequency or voltage are continuous. `Host` is the host: the library through its exported
// functions (GridDrive), or the full environment built in the test process (tests that read
// module records).
template <class Host>
class BasicGridDrive {
  public:
    // Runs for `seconds` from the current time with a grid of `kv` and `hz`; `current_shift`
    // (radians) places the Hall currents against the voltage, `current_amps` 0 leaves them at
    // zero. Every other channel keeps what the test put there.
    void Run(double seconds, double hz = 50.0, double kv = 35.0, double current_amps = 0.0,
             double current_shift = 0.0) {
        const long steps = std::lround(seconds / kHostDt);
        for (long k = 0; k < steps; ++k) {
            Step(hz, kv, current_amps, current_shift);
        }
    }
    // One host step with the grid advanced by one step.
    void Step(double hz = 50.0, double kv = 35.0, double current_amps = 0.0,
              double current_shift = 0.0) {
        AdvanceGrid(hz);
        SetPt4(run, kv, phase_);
        SetHall(run, current_amps, phase_ + current_shift);
        StepAsSet();
    }
    // One host step against an average-value converter: per phase the cluster voltage (the
    // modulation reference of the last step, output channels 0..2 of the full build, times
    // `cluster_volts`, the
    // cell count times the cell voltage) behind the series reactor `henry` on the grid of the
    // last step. The reactor currents, counted out of the converter as the Hall sensors count
    // them, go to channels 33..35.
    void StepConverter(double cluster_volts, double henry, double hz = 50.0, double kv = 35.0) {
        for (int ph = 0; ph < 3; ++ph) {
            reactor_amps_[ph] +=
                kHostDt / henry *
                (run.out[modulation_output + ph] * cluster_volts - grid_volts_[ph]);
            run.in[33 + ph] = reactor_amps_[ph];
        }
        AdvanceGrid(hz);
        SetPt4(run, kv, phase_);
        for (int ph = 0; ph < 3; ++ph) {
            grid_volts_[ph] = run.in[9 + ph];  // what the reactor sees, whatever the PT reads
        }
        StepAsSet();
    }
    // One host step with every channel as the test left it (the grid does not advance).
    void StepAsSet() {
        time_ += kHostDt;
        run.Step(time_);
    }
    // The loop publishes the angle it predicts for the next step (the angle integrates the
    // loop frequency over one task period), so the reference is the grid one step ahead.
    double NextGridTurns(double hz) const { return phase_ / kTwoPi + hz * kHostDt; }
    double time() const { return time_; }

    TempWorkDir dir;
    Host run;
    int modulation_output = 0;  // first of the three modulation outputs: 25 in the reduced build

  private:
    void AdvanceGrid(double hz) {
        phase_ += kTwoPi * hz * kHostDt;
        if (phase_ >= kTwoPi) {
            phase_ -= kTwoPi;
        }
    }

    double phase_ = 0.0;
    double time_ = 0.0;
    double reactor_amps_[3] = {};
    double grid_volts_[3] = {};
};

}  // namespace svg::testing
