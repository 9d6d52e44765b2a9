// The environment time counter wraps modulo 2^32 after about 4295 s of simulated time. A run
// whose counter starts just before the wrap, so that every timed behaviour spans it, acts
// like the same run started at 0: the running confirmation, the ride-through flags, the
// feed-forward relay and the protection stages rise and fall at the same steps (delays kept
// as single-precision stamps may move by the stamp's resolution near 2^32, 512 counts, so by
// at most a few steps). The counter is set directly, so the wrap is reached in seconds.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/slots.h"
#include "modules/PQCal.h"
#include "modules/UFedCtrl.h"
#include "support/env_run.h"
#include "support/grid_signals.h"

namespace svg::testing {
namespace {

struct Observed {
    const char* name;
    std::function<double(EnvRun&)> read;
    int tolerance_steps;  // 0: counter stamps, exact
};

// Steps at which each observed signal changes over a run with a dip from 2.495 s to 2.7 s
// and the device running from 0.1 s; the counter starts at `start`.
std::vector<std::vector<int>> Changes(std::uint32_t start, const std::vector<Observed>& observed) {
    BasicGridDrive<EnvRun> drive;
    EnvRun& run = drive.run;
    EXPECT_EQ(run.Init(), 0);
    for (int k = 0; k < 3; ++k) {  // under-voltage stages at 0.9, 0.8, 0.5 after 10, 5, 0 ms
        run.in[115 + 3 * k] = (0.9 - 0.1 * k - (k == 2 ? 0.2 : 0.0)) * 35e3;
        run.in[116 + 3 * k] = run.in[115 + 3 * k] + 0.05 * 35e3;
        run.in[117 + 3 * k] = 0.01 - 0.005 * k;
    }
    run.env()->time_counter = start;
    std::vector<std::vector<int>> changes(observed.size());
    std::vector<double> last(observed.size(), 0.0);
    for (int k = 0; k < 36000; ++k) {
        run.in[42] = run.in[43] = k >= 1000 ? 1.0 : 0.0;
        const double kv = k >= 24950 && k < 27000 ? 0.45 * 35.0 : 35.0;
        drive.Step(50.0, kv);
        for (std::size_t i = 0; i < observed.size(); ++i) {
            const double v = observed[i].read(run);
            if (v != last[i]) {
                changes[i].push_back(k);
                last[i] = v;
            }
        }
    }
    return changes;
}

TEST(TimeCounterWrap, EveryDelayAndLatchActsAcrossTheWrapAsItDoesFromZero) {
    const std::vector<Observed> observed = {
        {"PQCal.flg_run_delay",
         [](EnvRun& r) { return r.Module<PQCal>(kSlotPQCal)->flg_run_delay; }, 5},
        {"UFedCtrl.flg_ffsw", [](EnvRun& r) { return r.Module<UFedCtrl>(kSlotUFedCtrl)->flg_ffsw; },
         5},
        {"low-voltage ride-through flag", [](EnvRun& r) { return r.out[9]; }, 5},
        {"under-voltage stage 1", [](EnvRun& r) { return r.out[37]; }, 0},
        {"under-voltage stage 2", [](EnvRun& r) { return r.out[38]; }, 0},
        {"under-voltage stage 3", [](EnvRun& r) { return r.out[39]; }, 0},
        {"combined protection flag", [](EnvRun& r) { return r.out[20]; }, 0},
    };
    const auto from_zero = Changes(0, observed);
    // 2.5 s of counts before the wrap: it falls inside the running confirmation (0.1 s to
    // 3.1 s) and inside the pick-up delays of the dip that starts 5 ms earlier.
    const auto across = Changes(UINT32_MAX - 2500000u + 1u, observed);
    for (std::size_t i = 0; i < observed.size(); ++i) {
        SCOPED_TRACE(observed[i].name);
        ASSERT_FALSE(from_zero[i].empty()) << "the scenario must move every observed signal";
        ASSERT_EQ(across[i].size(), from_zero[i].size());
        for (std::size_t c = 0; c < from_zero[i].size(); ++c) {
            EXPECT_NEAR(across[i][c], from_zero[i][c], observed[i].tolerance_steps)
                << "change " << c;
        }
    }
}

}  // namespace
}  // namespace svg::testing
