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

}  // namespace svg
