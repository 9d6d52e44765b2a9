#include "blocks/filters.h"

#include <array>
#include <bit>

#include "blocks/numeric.h"

namespace svg {
namespace {

using Coeffs = std::array<float, kIirMaxLen>;

// Normalised Butterworth polynomial coefficients c_0..c_N of each order.
constexpr std::array<Coeffs, kIirMaxLen> kButterworth{{
    {},
    {1.0f, 1.0f},
    {1.0f, 1.41421356f, 1.0f},
    {1.0f, 2.0f, 2.0f, 1.0f},
    {1.0f, 2.61312593f, 3.41421356f, 2.61312593f, 1.0f},
    {1.0f, 3.23606798f, 5.23606798f, 5.23606798f, 3.23606798f, 1.0f},
    {1.0f, 3.86370331f, 7.46410162f, 9.14162017f, 7.46410162f, 3.86370331f, 1.0f},
}};

// Per order N: the weights c_k 2^k (exact in single precision), and the coefficients of
// (z - 1)^k (z + 1)^(N - k) in falling powers of z (small integers, exact).
struct ButterTables {
    std::array<Coeffs, kIirMaxLen> weight;
    std::array<std::array<Coeffs, kIirMaxLen>, kIirMaxLen> poly;
};

constexpr ButterTables MakeButterTables() {
    ButterTables t{};
    for (std::int32_t n = 1; n <= kIirMaxOrder; ++n) {
        float pow2 = 1.0f;
        for (std::int32_t k = 0; k <= n; ++k) {
            t.weight[n][k] = kButterworth[n][k] * pow2;
            pow2 *= 2.0f;
            Coeffs p{};
            p[0] = 1.0f;
            for (std::int32_t m = 1; m <= n; ++m) {  // multiply by (z - 1) or (z + 1)
                const float root = m <= k ? -1.0f : 1.0f;
                for (std::int32_t i = m; i >= 1; --i) {
                    p[i] += root * p[i - 1];
                }
            }
            t.poly[n][k] = p;
        }
    }
    return t;
}

constexpr ButterTables kButterTables = MakeButterTables();

// Writes b and a over the whole storage, so entries beyond the order are always zero.
void WriteCoeffs(IirFilter& f, const Coeffs& num, const Coeffs& den) noexcept {
    for (std::uint32_t i = 0; i < kIirMaxLen; ++i) {
        f.Num[i] = num[i];
        f.Den[i] = den[i];
    }
    f.Den[0] = 1.0f;
    f.butter_valid = false;
}

void Reset(IirFilter& f, std::int32_t order, std::int32_t kind) noexcept {
    f = IirFilter{};
    f.Order = order;
    f.Len = static_cast<std::uint32_t>(order) + 1u;
    f.Den[0] = 1.0f;
    f.Kind = kind;
}

}  // namespace

void LpfFirstDesign(LpfFirst& f, float ts, float wc) noexcept {
    f.A = SafeRcp(1.0f + wc * ts);
    f.B = 1.0f - f.A;
}

float LpfFirstStep(LpfFirst& f, float x) noexcept {
    f.Y = f.A * f.Y + f.B * x;
    return f.Y;
}

bool IirFilterCreate(IirFilter& f, std::int32_t order) noexcept {
    if (order > kIirMaxOrder) {
        Reset(f, 0, 0);
        return false;
    }
    if (order < 1) {
        Reset(f, 0, 0);
        f.Num[0] = 1.0f;
        return true;
    }
    Reset(f, order, 0);
    return true;
}

void IirFilterCreateKind(IirFilter& f, std::int32_t kind) noexcept {
    Reset(f, kind == kLowPass1 || kind == kHighPass1 ? 1 : 2, kind);
}

void IirFilterSetCoeffs(IirFilter& f, const float* num, const float* den) noexcept {
    if (num == nullptr || den == nullptr) {
        return;
    }
    for (std::uint32_t i = 0; i < f.Len && i < kIirMaxLen; ++i) {
        f.Num[i] = num[i];
        f.Den[i] = den[i];
    }
    f.Den[0] = 1.0f;
    f.butter_valid = false;
}

float IirFilterStep(IirFilter& f, float x) noexcept {
    if (f.Order == 1) {
        f.Xh[0] = x;
        const float y = f.Num[0] * f.Xh[0] + f.Num[1] * f.Xh[1] - f.Den[1] * f.Yh[1];
        f.Yh[0] = y;
        f.Xh[1] = x;
        f.Yh[1] = y;
        return y;
    }
    if (f.Order == 2) {
        f.Xh[0] = x;
        const float y = f.Num[0] * f.Xh[0] + f.Num[1] * f.Xh[1] + f.Num[2] * f.Xh[2] -
                        f.Den[1] * f.Yh[1] - f.Den[2] * f.Yh[2];
        f.Yh[0] = y;
        f.Xh[2] = f.Xh[1];
        f.Xh[1] = x;
        f.Yh[2] = f.Yh[1];
        f.Yh[1] = y;
        return y;
    }
    // Circular histories: the sample i steps old sits at Pos - i, stepped down with an
    // explicit wrap so no index is ever negative.
    const std::int32_t len = static_cast<std::int32_t>(f.Len);
    const std::int32_t pos = f.Pos;
    f.Xh[pos] = x;
    float y = 0.0f + f.Num[0] * x;
    std::int32_t j = pos;
    for (std::int32_t i = 1; i <= f.Order; ++i) {
        j = j == 0 ? len - 1 : j - 1;
        y = y + f.Num[i] * f.Xh[j];
        y = y - f.Den[i] * f.Yh[j];
    }
    f.Yh[pos] = y;
    f.Pos = pos + 1 >= len ? 0 : pos + 1;
    return y;
}

void ButterLpfDesign(IirFilter& f, float ts, float wc) noexcept {
    const std::int32_t n = f.Order;
    Coeffs num{};
    Coeffs den{};
    if (n < 1 || n > kIirMaxOrder) {
        num[0] = 1.0f;
        WriteCoeffs(f, num, den);
        return;
    }
    const float x = wc * ts;
    if (f.butter_valid && f.butter_x_bits == std::bit_cast<std::uint32_t>(x)) {
        return;
    }
    Coeffs xpow{};  // x^m
    xpow[0] = 1.0f;
    for (std::int32_t m = 1; m <= n; ++m) {
        xpow[m] = xpow[m - 1] * x;
    }
    Coeffs w{};  // c_k 2^k x^(N-k)
    for (std::int32_t k = 0; k <= n; ++k) {
        w[k] = kButterTables.weight[n][k] * xpow[n - k];
    }
    for (std::int32_t i = 0; i <= n; ++i) {
        float sum = 0.0f;
        for (std::int32_t k = 0; k <= n; ++k) {
            sum = sum + w[k] * kButterTables.poly[n][k][i];
        }
        den[i] = sum;
    }
    const float r = SafeRcp(den[0]);
    for (std::int32_t i = 0; i <= n; ++i) {
        den[i] = den[i] * r;
        num[i] = xpow[n] * kButterTables.poly[n][0][i] * r;  // binomial coefficients
    }
    WriteCoeffs(f, num, den);
    f.butter_x_bits = std::bit_cast<std::uint32_t>(x);
    f.butter_valid = true;
}

void StdFilterDesign(IirFilter& f, float ts, float w, float zeta) noexcept {
    const float x = w * ts;
    Coeffs num{};
    Coeffs den{};
    if (f.Order == 1) {
        const float r = SafeRcp(x + 2.0f);
        den[1] = (x - 2.0f) * r;
        if (f.Kind == kLowPass1) {
            num[0] = x * r;
            num[1] = x * r;
        } else if (f.Kind == kHighPass1) {
            num[0] = 2.0f * r;
            num[1] = -2.0f * r;
        }
    } else if (f.Order == 2) {
        const float x2 = x * x;
        const float zx4 = 4.0f * zeta * x;
        const float r = SafeRcp(x2 + zx4 + 4.0f);
        den[1] = (2.0f * x2 - 8.0f) * r;
        den[2] = (x2 - zx4 + 4.0f) * r;
        switch (f.Kind) {
            case kLowPass2:
                num = {x2 * r, 2.0f * x2 * r, x2 * r};
                break;
            case kHighPass2:
                num = {4.0f * r, -8.0f * r, 4.0f * r};
                break;
            case kBandPass:
                num = {zx4 * r, 0.0f, -zx4 * r};
                break;
            case kBandStop:
                num = {(x2 + 4.0f) * r, (2.0f * x2 - 8.0f) * r, (x2 + 4.0f) * r};
                break;
            default:
                break;
        }
    }
    WriteCoeffs(f, num, den);
}

}  // namespace svg
