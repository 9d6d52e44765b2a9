// Hysteresis comparator, on-delay timer and the flag confirmed on the environment time counter.
// Their state lives with the caller.
#pragma once

#include <cstdint>

#include "blocks/numeric.h"

namespace svg {

// Schmitt trigger: with state set the result is x > off, otherwise x > on (both strict).
// Callers pass their previous result as state and an off-threshold below the on-threshold.
bool HystCmp(float x, float on, float off, bool state) noexcept;

// On-delay: a rising edge of `in` loads `remaining` with `preset`; while `remaining` is above
// 1e-5 s it counts down by `dt` and the output is 0; then the output follows `in`, falls
// included. A preset of k time steps gives the first non-zero output on the (k + 1)-th call
// after the edge; an edge while the timer runs reloads it; a preset not above 1e-5 s passes
// the input through at once.
std::int32_t TonTimer(std::int32_t in, std::int32_t& prev_in, float preset, float& remaining,
                      float dt) noexcept;

// A flag confirmed on the environment time counter (unsigned, wrapping): it sets once
// `condition` has held for `on_delay` counter units and clears once it has been absent for
// `off_delay`. While the condition holds the off stamp follows the counter, while it is absent
// the on stamp does; a change of the flag restamps its own side. Returns the new flag (0 or 1).
// Stamps and delays are either single-precision counter values or raw unsigned readings; each
// kind is tested with its own ElapsedAtLeast.
template <class Stamp>
std::uint8_t CounterConfirmedFlag(std::uint8_t flag, bool condition, Stamp& t_on, Stamp& t_off,
                                  std::uint32_t now, Stamp on_delay, Stamp off_delay) noexcept {
    const auto stamp = static_cast<Stamp>(now);
    if (condition) {
        if (flag == 0 && ElapsedAtLeast(now, t_on, on_delay)) {
            flag = 1;
            t_on = stamp;
        }
        t_off = stamp;
    } else {
        t_on = stamp;
        if (flag != 0 && ElapsedAtLeast(now, t_off, off_delay)) {
            flag = 0;
            t_off = stamp;
        }
    }
    return flag;
}

}  // namespace svg
