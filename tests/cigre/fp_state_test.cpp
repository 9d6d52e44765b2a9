// The host's floating-point state does not reach the model's results: every call of a run
// (the description, start, samples, end) made with the x87 unit or the SSE unit set otherwise
// gives outputs bit-identical to a run in the default state, and every call hands the host its
// control words back unchanged.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "cigre/cigre_run.h"
#include "support/fp_states.h"
#include "support/temp_dir.h"

#if defined(__i386__) || defined(__x86_64__)

namespace svg::testing {
namespace {

// 900 samples through start-up and deblocking, every call made in `state`; the bit patterns
// of every output of every sample.
std::vector<std::uint64_t> RunInState(const CigreModel& m, const FpState& state) {
    TempWorkDir dir;
    InState(state, [&] { EXPECT_NE(m.library().get_info(), nullptr); });
    CigreRun run(m);
    int result = 0;
    for (auto call : {run.lib.first_call, run.lib.check_parameters, run.lib.initialize}) {
        InState(state, [&] { result |= call(&run.instance); });
    }
    EXPECT_EQ(result, 0) << run.Error();
    std::vector<std::uint64_t> outputs;
    for (long k = 0; k < 900; ++k) {
        DriveGrid(run, k);
        InState(state, [&] { result |= run.Step(); });
        InState(state, [&] { result |= run.lib.iterate(&run.instance); });
        for (int port = 0; port < run.info.NumOutputPorts; ++port) {
            outputs.push_back(std::bit_cast<std::uint64_t>(run.Output(port)));
        }
    }
    InState(state, [&] { result |= run.Terminate(); });
    EXPECT_EQ(result, 0) << run.Error();
    return outputs;
}

class CigreFpState
    : public ::testing::TestWithParam<std::tuple<const CigreModel*, const FpState*>> {};

TEST_P(CigreFpState, OutputsAreBitIdenticalToTheDefaultStateAndTheStateIsHandedBack) {
    const CigreModel& m = *std::get<0>(GetParam());
    static std::vector<std::uint64_t> reference[2];
    std::vector<std::uint64_t>& expected = reference[m.reference->reduced() ? 1 : 0];
    if (expected.empty()) {
        expected = RunInState(m, kDefault);
    }
    const std::vector<std::uint64_t> got = RunInState(m, *std::get<1>(GetParam()));
    ASSERT_EQ(got.size(), expected.size());
    std::size_t first_difference = got.size();
    for (std::size_t i = 0; i < got.size() && first_difference == got.size(); ++i) {
        first_difference = got[i] != expected[i] ? i : first_difference;
    }
    const auto ports = static_cast<std::size_t>(m.library().get_info()->NumOutputPorts);
    EXPECT_EQ(first_difference, got.size())
        << "sample " << first_difference / ports << ", output port " << first_difference % ports;
}

INSTANTIATE_TEST_SUITE_P(States, CigreFpState,
                         ::testing::Combine(::testing::ValuesIn(kCigreModels),
                                            ::testing::ValuesIn(FpStates())),
                         [](const auto& param_info) {
                             return std::string(std::get<0>(param_info.param)->name) + "_" +
                                    std::get<1>(param_info.param)->name;
                         });

}  // namespace
}  // namespace svg::testing
#endif
