// The host's floating-point state does not reach the results: a run whose every call is made
// with the x87 unit at 24, 53 or 64 bits, or the SSE unit in another rounding mode or with
// flush-to-zero and denormals-are-zero on, gives outputs bit-identical to a run in the
// default state, and every call hands the host its control words back unchanged.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "support/fp_states.h"
#include "support/host_run.h"
#include "support/temp_dir.h"

#if defined(__i386__) || defined(__x86_64__)

namespace svg::testing {
namespace {

// A run through a dip, deblocked and running, with every call made in `state`; the outputs of
// every step.
std::vector<double> RunInState(const Deliverable& d, const FpState& state) {
    TempWorkDir dir;
    HostRun run(d);
    if (d.reduced()) {
        run.in[43] = 30.0;
        run.in[44] = 35.0;
        run.in[45] = 13.0;
    }
    std::vector<double> outputs;
    int init = -1;
    InState(state, [&] { init = run.Init(); });
    EXPECT_EQ(init, 0);
    for (int k = 1; k <= 1500; ++k) {
        const double t = k * 1e-4;
        const double kv = k > 800 && k < 1100 ? 20.0 : 35.0;
        for (int ph = 0; ph < 3; ++ph) {
            const double u = kv * 1000.0 * std::sqrt(2.0 / 3.0) *
                             std::cos(2.0 * 3.141592653589793 * (50.0 * t - ph / 3.0));
            for (int pt = 0; pt < 4; ++pt) {
                run.in[3 * pt + ph] = u;
                run.in[12 + 3 * pt + ph] = kv * 1000.0;
            }
            run.in[33 + ph] = 100.0 * std::sin(2.0 * 3.141592653589793 * (50.0 * t - ph / 3.0));
            run.in[39 + ph] = 950.0;
        }
        run.in[d.deblock_channel] = run.in[d.running_channel] = k > 200 ? 1.0 : 0.0;
        InState(state, [&] { run.Step(t); });
        outputs.insert(outputs.end(), run.out.begin(), run.out.begin() + d.outputs);
    }
    InState(state, [&] { run.Terminate(); });
    return outputs;
}

class HostFpState
    : public ::testing::TestWithParam<std::tuple<const Deliverable*, const FpState*>> {};

TEST_P(HostFpState, OutputsAreBitIdenticalToTheDefaultStateAndTheStateIsHandedBack) {
    const Deliverable& d = *std::get<0>(GetParam());
    static std::vector<double> reference[2];
    std::vector<double>& expected = reference[d.reduced() ? 1 : 0];
    if (expected.empty()) {
        expected = RunInState(d, kDefault);
    }
    const std::vector<double> got = RunInState(d, *std::get<1>(GetParam()));
    ASSERT_EQ(got.size(), expected.size());
    std::size_t first_difference = got.size();
    for (std::size_t i = 0; i < got.size() && first_difference == got.size(); ++i) {
        if (std::memcmp(&got[i], &expected[i], sizeof(double)) != 0) {
            first_difference = i;
        }
    }
    EXPECT_EQ(first_difference, got.size())
        << "step " << first_difference / static_cast<std::size_t>(d.outputs) + 1 << ", output "
        << first_difference % static_cast<std::size_t>(d.outputs);
}

INSTANTIATE_TEST_SUITE_P(States, HostFpState,
                         ::testing::Combine(::testing::Values(&kTravik, &kPellum),
                                            ::testing::ValuesIn(FpStates())),
                         [](const auto& param_info) {
                             return std::string(std::get<0>(param_info.param)->prefix) + "_" +
                                    std::get<1>(param_info.param)->name;
                         });

}  // namespace
}  // namespace svg::testing
#endif
