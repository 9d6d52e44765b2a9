// Floating-point states a host may leave the processor in, and a way to make a call in one of
// them: the x87 unit at 24, 53 or 64 bits or rounding down, the SSE unit in another rounding
// mode or with flush-to-zero and denormals-are-zero on.
#pragma once

#if defined(__i386__) || defined(__x86_64__)
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cstdint>
#include <vector>

namespace svg::testing {

struct FpState {
    const char* name;
    std::uint16_t x87;  // x87 control word
    unsigned mxcsr;
};

inline std::uint16_t X87Control() {
    std::uint16_t word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}
inline void SetX87Control(std::uint16_t word) { __asm__ volatile("fldcw %0" : : "m"(word)); }

// The state the test process computes its inputs in.
inline const FpState kDefault{"default", X87Control(), _mm_getcsr()};

inline constexpr unsigned kMaskAll = 0x1F80u;
inline const FpState kStates[] = {
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

// The states as pointers, for a parameterised test.
inline std::vector<const FpState*> FpStates() {
    std::vector<const FpState*> states;
    for (const FpState& s : kStates) {
        states.push_back(&s);
    }
    return states;
}

}  // namespace svg::testing
#endif
