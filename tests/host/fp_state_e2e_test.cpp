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

#include "support/host_run.h"
#include "support/temp_dir.h"

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>

namespace svg::testing {
namespace {

struct FpState {
    const char* name;
    std::uint16_t x87;  // x87 control word
    unsigned mxcsr;
};

std::uint16_t X87Control() {
    std::uint16_t word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}
void SetX87Control(std::uint16_t word) { __asm__ volatile("fldcw %0" : : "m"(word)); }

// The state the test process computes its inputs in.
const FpState kDefault{"default", X87Control(), _mm_getcsr()};

constexpr unsigned kMaskAll = 0x1F80u;
const FpState kStates[] = {
    {"x87_24_bits", 0x007F, kMaskAll},
    {"x87_53_bits", 0x027F, kMaskAll},
    {"x87_64_bits", 0x037F, kMaskAll},
    {"x87_64_bits_round_down", 0x077F, kMaskAll},
    {"sse_round_down", kDefault.x87, kMaskAll | 0x2000u},
    {"sse_round_up", kDefault.x87, kMaskAll | 0x4000u},
    {"sse_round_to_zero", kDefault.x87, kMaskAll | 0x6000u},
    {"sse_flush_to_zero_and_denormals_are_zero", kDefault.x87, kMaskAll | 0x8040u},
};

// Calls `call` in `state` and returns to the default state; the library must have left the
// state as it found it.
template <class Call>
void InState(const FpState& state, Call call) {
    SetX87Control(state.x87);
    _mm_setcsr(state.mxcsr);
    call();
    const std::uint16_t x87 = X87Control();
    const unsigned mxcsr = _mm_getcsr() & 0xFFC0u;  // control bits; the flags are sticky
    SetX87Control(kDefault.x87);
    _mm_setcsr(kDefault.mxcsr);
    EXPECT_EQ(x87, state.x87);
    EXPECT_EQ(mxcsr, state.mxcsr & 0xFFC0u);
}

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
                                            ::testing::ValuesIn([] {
                                                std::vector<const FpState*> states;
                                                for (const FpState& s : kStates) {
                                                    states.push_back(&s);
                                                }
                                                return states;
                                            }())),
                         [](const auto& param_info) {
                             return std::string(std::get<0>(param_info.param)->prefix) + "_" +
                                    std::get<1>(param_info.param)->name;
                         });

}  // namespace
}  // namespace svg::testing
#endif
