#include "blocks/delays.h"

#include <cmath>

#include "blocks/numeric.h"

namespace svg {

#if !SVG_REDUCED_BUILD
void FracDelayCreate(FracDelay& d) noexcept { d = FracDelay{}; }

float FracDelayStep(FracDelay& d, float x, float freq, float ts, float frac) noexcept {
    d.DelayTime = frac * SafeRcp(freq);
    const float samples = Limit(d.DelayTime * SafeRcp(ts), 0.0f, kFracDelayMaxSamples);
    d.N = TruncToInt32(samples);
    const float phi = samples - static_cast<float>(d.N);

    if (static_cast<std::uint32_t>(d.Pos) >= static_cast<std::uint32_t>(kFracDelayLen)) {
        d.Pos = 0;
    }
    d.Buf[d.Pos] = x;
    const std::int32_t k = d.Pos - d.N;
    d.Xa = k >= 0 ? d.Buf[k] : d.Buf[k + kFracDelayLen];
    d.Xb = k > 0 ? d.Buf[k - 1] : d.Buf[k + kFracDelayLen - 1];
    ++d.Pos;

    const double p = static_cast<double>(phi);
    d.Out =
        static_cast<float>((1.0 - p) * static_cast<double>(d.Xa) + p * static_cast<double>(d.Xb));
    return d.Out;
}
#endif

void RingDelayInit(RingDelay& r, float* storage, std::uint32_t len, float fill) noexcept {
    if (storage == nullptr) {
        return;
    }
    r.Pos = 0;
    r.Data = storage;
    if (len > 1) {
        r.Len = len;
        for (std::uint32_t i = 0; i < len; ++i) {
            storage[i] = fill;
        }
    } else {
        r.Len = 1;
    }
}

float RingDelayStep(RingDelay& r, float x) noexcept {
    if (r.Data == nullptr) {
        return -1.0f;
    }
    const float y = r.Data[r.Pos];
    r.Data[r.Pos] = x;
    ++r.Pos;
    if (r.Pos >= r.Len) {
        r.Pos = 0;
    }
    return y;
}

void MovingSumInit(MovingSum& s, float* storage, std::uint32_t len) noexcept {
    RingDelayInit(s.ring, storage, len, 0.0f);
    s.sum = 0.0f;
}

// Beyond 2^24 single precision no longer holds whole units: a sample that large leaving the
// window takes the rest of the sum with it by cancellation.
constexpr float kMovingSumExactLimit = 16777216.0f;

float MovingSumStep(MovingSum& s, float x) noexcept {
    const float leaving = RingDelayStep(s.ring, x);
    s.sum -= leaving;
    s.sum += x;
    const bool lost = !std::isfinite(s.sum) || !(std::fabs(leaving) <= kMovingSumExactLimit);
    if (lost && s.ring.Data != nullptr) {
        float sum = 0.0f;
        for (std::uint32_t i = 0; i < s.ring.Len; ++i) {
            sum += s.ring.Data[i];
        }
        s.sum = sum;
    }
    return s.sum;
}

}  // namespace svg
