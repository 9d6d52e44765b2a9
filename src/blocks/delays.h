// Fractional delay line (a fraction of the fundamental period, following the grid frequency)
// and fixed delay line.
#pragma once

#include <cstdint>

#include "blocks/build.h"

namespace svg {

#if !SVG_REDUCED_BUILD  // the reduced controller's library has no fractional delay line
inline constexpr std::int32_t kFracDelayLen = 156;
// Longest delay the buffer holds, in samples: after the newest sample is written the buffer
// holds the samples 0 to 155 steps old.
inline constexpr float kFracDelayMaxSamples = 155.0f;

// The sample buffer is held inside the record, so the owner keeps the delay line in its own
// instance data and nothing is allocated.
struct FracDelay {
    float Buf[kFracDelayLen];  // circular sample buffer
    std::int32_t Pos;          // next write position, wrapped at the start of a step
    std::int32_t N;            // whole-sample part of the delay
    float DelayTime;           // frac / freq, s
    float Xa;                  // sample N steps old
    float Xb;                  // sample N + 1 steps old
    float Out;                 // last output
};

// Clears the buffer and the state.
void FracDelayCreate(FracDelay& d) noexcept;

// Delays x by `frac` of a period of `freq` (Hz) at sample time `ts` (s), interpolating
// linearly between whole samples:
//   DelayTime = frac * SafeRcp(freq),  D = Limit(DelayTime * SafeRcp(ts), 0, 155),
//   N = trunc(D),  phi = D - N,  Out = (1 - phi) * Xa + phi * Xb  (double, rounded).
// The limit keeps every read inside the buffer: a delay longer than 155 samples (a frequency
// or sample time of zero, an infinite delay, a very low frequency) gives 155 samples, a
// negative or NaN delay gives no delay. Delays from 0 to 155 samples are not changed by it.
float FracDelayStep(FracDelay& d, float x, float freq, float ts, float frac) noexcept;
#endif

// Delay of Len samples on storage owned by the caller.
struct RingDelay {
    std::uint32_t Pos;
    std::uint32_t Len;
    float* Data;
};

// Binds `storage` (len floats) and fills it with `fill` when len > 1; len 0 or 1 makes a
// one-sample delay and leaves the storage as it is. Does nothing when storage is null.
void RingDelayInit(RingDelay& r, float* storage, std::uint32_t len, float fill) noexcept;
// Returns the input of Len steps earlier; -1 when no storage is bound.
float RingDelayStep(RingDelay& r, float x) noexcept;

// Running sum of the last Len inputs on a RingDelay: each step the sample that leaves the
// window is subtracted and the new one added, sum <- (sum - x[n - Len]) + x[n]. A sum that
// leaves the finite range (a NaN or overflowing sample) is recomputed from the stored
// samples, so it is right again as soon as the bad samples have left the window; so is a sum
// from which a sample beyond 2^24 in magnitude has just left (the cancellation would have
// lost the rest of it). Sums of ordinary samples are exactly the running sums.
struct MovingSum {
    RingDelay ring;
    float sum;
};

// Binds `storage` (len floats), fills it with 0 and clears the sum.
void MovingSumInit(MovingSum& s, float* storage, std::uint32_t len) noexcept;
// Takes x into the window and returns the new sum.
float MovingSumStep(MovingSum& s, float x) noexcept;

}  // namespace svg
