// First-order low-pass filter and the general IIR filter with its two design procedures.
//
// Design calls replace coefficients only and never touch the state or the histories, so a
// module that follows on-line parameter changes runs the design at the start of every task
// step without disturbing the filter.
#pragma once

#include <cstdint>

namespace svg {

// Backward-Euler low-pass wc/(s + wc): Y <- A*Y + B*x.
struct LpfFirst {
    float Y;  // state and last output
    float A;  // feedback coefficient
    float B;  // input coefficient
};

// A = safe reciprocal of (1 + wc*Ts), B = 1 - A. wc = 0 gives A = 1, B = 0: the output holds.
void LpfFirstDesign(LpfFirst& f, float ts, float wc) noexcept;
float LpfFirstStep(LpfFirst& f, float x) noexcept;

// Highest order an IIR filter can hold; the Butterworth design covers orders 1 to 6.
inline constexpr std::int32_t kIirMaxOrder = 6;
inline constexpr std::uint32_t kIirMaxLen = kIirMaxOrder + 1;

// Direct-form-I IIR filter, a[0] = 1. The coefficient and history storage is held inside the
// record (sized for the highest order), so the owner keeps the filter in its own instance
// data and nothing is allocated. Orders 1 and 2 keep shifted histories (index 0 newest,
// 1 one step old, 2 two steps old); other orders use circular histories written at Pos.
struct IirFilter {
    std::int32_t Order;     // filter order N
    std::uint32_t Len;      // N + 1, the number of used entries of each array
    float Num[kIirMaxLen];  // b[0..N]
    float Den[kIirMaxLen];  // a[0..N], a[0] = 1
    float Xh[kIirMaxLen];   // input history
    float Yh[kIirMaxLen];   // output history
    std::int32_t Pos;       // circular write position (orders other than 1 and 2)
    std::int32_t Kind;      // StdFilterKind the filter was created for, 0 otherwise
    // The product wc*Ts of the Butterworth design the coefficients came from (valid only
    // while `butter_valid`), so a design with the same inputs, made again at every step by
    // the modules, is skipped: its coefficients would come out bit for bit the same.
    std::uint32_t butter_x_bits;
    bool butter_valid;
};

// Filter kinds of StdFilterDesign (bilinear transforms, no pre-warping, of the prototypes).
enum StdFilterKind : std::int32_t {
    kLowPass1 = 0,   // w/(s + w)
    kHighPass1 = 1,  // s/(s + w)
    kLowPass2 = 2,   // w^2/(s^2 + 2 zeta w s + w^2)
    kHighPass2 = 3,  // s^2/(s^2 + 2 zeta w s + w^2)
    kBandPass = 4,   // 2 zeta w s/(s^2 + 2 zeta w s + w^2), unity gain at w
    kBandStop = 5,   // (s^2 + w^2)/(s^2 + 2 zeta w s + w^2), notch at w
};

// Creates a zeroed filter of order N. An order below 1 creates an order-0 pass-through
// (y = x). An order above kIirMaxOrder does not fit the record: the result is false and the
// filter is left as an order-0 filter whose output is 0.
bool IirFilterCreate(IirFilter& f, std::int32_t order) noexcept;
// Creates a zeroed filter for a StdFilterDesign kind: order 1 for kinds 0 and 1, order 2 for
// any other kind. Cannot fail.
void IirFilterCreateKind(IirFilter& f, std::int32_t kind) noexcept;
// Copies b[0..N] and a[0..N] (N + 1 values each) and forces a[0] to 1. Null arrays are ignored.
void IirFilterSetCoeffs(IirFilter& f, const float* num, const float* den) noexcept;
float IirFilterStep(IirFilter& f, float x) noexcept;

// Butterworth low-pass of the filter's own order, corner wc (rad/s), bilinear transform
// without pre-warping, unity gain at zero frequency. With x = wc*Ts and the normalised
// Butterworth polynomial sum c_k (s/wc)^k, the denominator is
// sum c_k 2^k x^(N-k) (z-1)^k (z+1)^(N-k) and the numerator x^N (z+1)^N, both multiplied by
// the safe reciprocal of D = sum c_k 2^k x^(N-k). An order outside 1 to 6 gets pass-through
// coefficients (b0 = 1, all others 0).
void ButterLpfDesign(IirFilter& f, float ts, float wc) noexcept;

// First- and second-order filters of the filter's Kind, x = w*Ts, damping zeta.
// Order 1: r = safe reciprocal of (x + 2), a1 = (x - 2) r.
// Order 2: r = safe reciprocal of (x^2 + 4 zeta x + 4), a1 = (2x^2 - 8) r,
//          a2 = (x^2 - 4 zeta x + 4) r.
// The denominator follows the filter's order and the numerator its kind; a kind that is
// unknown or does not belong to the filter's order gets a zero numerator (output 0), so
// second-order coefficients never reach a first-order filter. A filter of any other order
// gets all coefficients but a[0] cleared and outputs 0.
void StdFilterDesign(IirFilter& f, float ts, float w, float zeta) noexcept;

}  // namespace svg
