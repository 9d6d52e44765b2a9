// Recurring numeric rules shared by the control blocks, the modules and the framework.
//
// Every conversion from a floating-point value to an integer goes through these helpers so
// that NaN and out-of-range values give one defined result on every platform instead of
// undefined behaviour.
#pragma once

#include <cstdint>
#include <limits>

namespace svg {

// Truncation toward zero to a signed 32-bit integer with the result the x86 conversion
// instruction gives: NaN and values outside the int32 range yield INT32_MIN (0x80000000,
// whose low byte is 0).
constexpr std::int32_t TruncToInt32(double x) noexcept {
    if (x > -2147483649.0 && x < 2147483648.0) {
        return static_cast<std::int32_t>(x);
    }
    return INT32_MIN;
}

// Truncation toward zero to a byte: the low byte of TruncToInt32. Used for flag and
// selector bytes that a host channel writes.
constexpr std::uint8_t TruncToByte(double x) noexcept {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(TruncToInt32(x)) & 0xFFu);
}

// Truncation toward zero to an unsigned 32-bit integer, saturating: NaN and values below
// 1 give 0 (negative counts mean "none"), values at or above 2^32 give UINT32_MAX.
constexpr std::uint32_t TruncToUint32(double x) noexcept {
    if (!(x >= 1.0)) {
        return 0u;
    }
    if (x >= 4294967296.0) {
        return UINT32_MAX;
    }
    return static_cast<std::uint32_t>(x);
}

// What stands for the reciprocal of an exact zero: large enough to saturate whatever it scales.
inline constexpr float kRcpOfZero = 1e10f;

// Safe reciprocal: 1/x, and kRcpOfZero when x is exactly zero.
constexpr float SafeRcp(float x) noexcept { return x == 0.0f ? kRcpOfZero : 1.0f / x; }

// Division where the divisor can be zero: num / den, and num times the safe reciprocal of
// zero (1e10) instead of a division by zero. Normal divisors divide, so results stay exact.
constexpr float SafeDiv(float num, float den) noexcept {
    return den != 0.0f ? num / den : num * SafeRcp(den);
}

// Limit a value: above the upper limit gives the upper limit, otherwise the larger of the
// lower limit and the value. Defined for any pair of limits (a lower limit above the upper
// one gives the upper limit for large values and the lower limit otherwise) and a NaN value
// yields the lower limit, so integrators recover from one bad sample.
constexpr float Limit(float x, float lo, float hi) noexcept {
    if (x > hi) {
        return hi;
    }
    return x > lo ? x : lo;
}

// Limit to the band [-mag, +mag] around zero. A magnitude that is negative or NaN (a bad
// setting) allows nothing and gives 0 instead of inverting or poisoning the signal; an
// infinite magnitude lets everything through. A NaN value yields -mag, as with Limit.
constexpr float LimitSym(float x, float mag) noexcept {
    const float m = Limit(mag, 0.0f, std::numeric_limits<float>::infinity());
    return Limit(x, -m, m);
}

// Limit a command handed to the converter to [-mag, +mag]. Unlike Limit, a NaN value gives 0:
// a command computed from a bad measurement must ask for nothing rather than for the full
// negative value. Finite and infinite values are limited exactly as by Limit.
constexpr float LimitCommand(float x, float mag) noexcept {
    return x != x ? 0.0f : Limit(x, -mag, mag);
}

// Elapsed-time test on the environment time counter (unsigned, +100 per host step, wraps
// modulo 2^32). Stamps are kept as single-precision values and the test is carried out in
// single precision. True when at least `delay` units have passed since `stamp`:
// now - stamp >= delay, or, after a wrap (now - stamp < 0), now >= delay - (2^32 - stamp).
constexpr bool ElapsedAtLeast(std::uint32_t now, float stamp, float delay) noexcept {
    const float n = static_cast<float>(now);
    const float diff = n - stamp;
    if (diff >= delay) {
        return true;
    }
    return diff < 0.0f && n >= delay - (4294967296.0f - stamp);
}

// The same test on raw counter readings, as the protection elements keep them: the unsigned
// difference now - stamp is the elapsed time across one wrap of the counter. A delay that no
// multiple of the counter increment reaches before the difference wraps (above 2^32 - 100
// units with the usual increment of 100) never elapses.
constexpr bool ElapsedAtLeast(std::uint32_t now, std::uint32_t stamp,
                              std::uint32_t delay) noexcept {
    return now - stamp >= delay;
}

}  // namespace svg
