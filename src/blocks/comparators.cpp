#include "blocks/comparators.h"

#include "blocks/numeric.h"

namespace svg {

bool HystCmp(float x, float on, float off, bool state) noexcept { return state ? x > off : x > on; }

std::int32_t TonTimer(std::int32_t in, std::int32_t& prev_in, float preset, float& remaining,
                      float dt) noexcept {
    if (in != 0 && prev_in == 0) {
        remaining = preset;
    }
    prev_in = in;
    if (static_cast<double>(remaining) > 1e-5) {
        remaining -= dt;
        return 0;
    }
    remaining = 0.0f;
    return in;
}

std::uint8_t CounterConfirmedFlag(std::uint8_t flag, bool condition, float& t_on, float& t_off,
                                  std::uint32_t now, float on_delay, float off_delay) noexcept {
    const auto stamp = static_cast<float>(now);
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
