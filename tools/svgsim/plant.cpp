#include "plant.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace svgsim {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kPhaseShift = kTwoPi / 3.0;  // b lags a, c lags b
constexpr double kDegree = std::numbers::pi / 180.0;

double Mean(const Abc& x) { return (x[0] + x[1] + x[2]) / 3.0; }

bool Positive(double x) { return std::isfinite(x) && x > 0.0; }
bool NonNegative(double x) { return std::isfinite(x) && x >= 0.0; }

}  // namespace

bool DesignCircuit(const PlantConfig& c, PlantCircuit& circuit, std::string& error) {
    struct Check {
        const char* name;
        double value;
        bool ok;
        const char* rule;
    };
    constexpr const char* kPos = "positive";
    constexpr const char* kNonNeg = "zero or positive";
    const Check checks[] = {
        {"qn_mvar", c.qn_mvar, Positive(c.qn_mvar), kPos},
        {"vn_kv", c.vn_kv, Positive(c.vn_kv), kPos},
        {"fn_hz", c.fn_hz, Positive(c.fn_hz), kPos},
        {"l_mh", c.l_mh, Positive(c.l_mh), kPos},
        {"cap_mf", c.cap_mf, Positive(c.cap_mf), kPos},
        {"cells", static_cast<double>(c.cells), c.cells > 0, kPos},
        {"transformer_ratio", c.transformer_ratio, Positive(c.transformer_ratio), kPos},
        {"reactor_x_over_r", c.reactor_x_over_r, Positive(c.reactor_x_over_r), kPos},
        {"udc_rated_v", c.udc_rated_v, Positive(c.udc_rated_v), kPos},
        {"udc_initial_v", c.udc_initial_v, NonNegative(c.udc_initial_v), kNonNeg},
        {"cell_loss_pu", c.cell_loss_pu, NonNegative(c.cell_loss_pu), kNonNeg},
        {"scr", c.scr, Positive(c.scr), kPos},
        {"grid_x_over_r", c.grid_x_over_r, Positive(c.grid_x_over_r), kPos},
        {"load_p_pu", c.load_p_pu, NonNegative(c.load_p_pu), kNonNeg},
        {"load_q_pu", c.load_q_pu, NonNegative(c.load_q_pu), kNonNeg},
        {"substep_s", c.substep_s, Positive(c.substep_s), kPos},
    };
    for (const Check& check : checks) {
        if (!check.ok) {
            error = std::string("plant ") + check.name + " must be " + check.rule + " (is " +
                    std::to_string(check.value) + ")";
            return false;
        }
    }
    const double omega = kTwoPi * c.fn_hz;
    const double un = c.vn_kv * 1000.0;
    const double qn = c.qn_mvar * 1.0e6;
    const double k2 = c.transformer_ratio * c.transformer_ratio;

    circuit.lc = c.l_mh * 1.0e-3 * k2;
    circuit.rc = omega * circuit.lc / c.reactor_x_over_r;
    // Short-circuit impedance of the source: Un^2 / (scr * Qn), split by X/R.
    const double zg = un * un / (c.scr * qn);
    circuit.rg = zg / std::sqrt(1.0 + c.grid_x_over_r * c.grid_x_over_r);
    circuit.lg = circuit.rg * c.grid_x_over_r / omega;
    // Load as a series R + jX that takes P + jQ at rated voltage: Z = Un^2 / conj(S).
    const double s2 = c.load_p_pu * c.load_p_pu + c.load_q_pu * c.load_q_pu;
    circuit.has_load = s2 > 0.0;
    if (circuit.has_load) {
        const double scale = un * un / (qn * s2);
        circuit.rl = scale * c.load_p_pu;
        circuit.ll = scale * c.load_q_pu / omega;
    }
    circuit.cell_c = c.cap_mf * 1.0e-3;
    circuit.loss_w = c.cell_loss_pu * qn / 3.0;
    return true;
}

Plant::Plant(const PlantConfig& config) : config_(config) {
    std::string ignored;
    DesignCircuit(config_, circuit_, ignored);
    source_.hz = config_.fn_hz;
    source_.kv = config_.vn_kv;
    const double energy =
        0.5 * config_.cells * circuit_.cell_c * config_.udc_initial_v * config_.udc_initial_v;
    state_.energy.fill(energy);
    Derivative(state_, 0.0, Abc{}, false, &out_);
}

void Plant::JumpPhase(double deg) { angle_ += deg * kDegree; }

Abc Plant::Source(double t) const {
    const double peak = source_.kv * 1000.0 * std::sqrt(2.0 / 3.0);
    const double theta = angle_ + kTwoPi * source_.hz * (t - time_) + source_.phase_deg * kDegree;
    Abc e{};
    for (int k = 0; k < kPhases; ++k) {
        const double shift = k * kPhaseShift;
        e[k] =
            peak * std::cos(theta - shift) +
            peak * source_.unbalance_pu * std::cos(theta + shift + source_.unbalance_deg * kDegree);
        for (const Harmonic& h : source_.harmonics) {
            e[k] += peak * h.pu * std::cos(h.order * (theta - shift) + h.deg * kDegree);
        }
    }
    return e;
}

Plant::State Plant::Derivative(const State& s, double t, const Abc& m, bool deblocked,
                               PlantOutputs* out) const {
    const PlantCircuit& c = circuit_;
    const double n = config_.cells;
    const double kt = config_.transformer_ratio;
    const Abc e = Source(t);

    Abc udc{}, vc{}, a{}, b{};
    for (int k = 0; k < kPhases; ++k) {
        udc[k] = std::sqrt(std::max(0.0, 2.0 * s.energy[k] / (n * c.cell_c)));
        vc[k] = m[k] * n * udc[k];  // valve side
        a[k] = vc[k] * kt - c.rc * s.ic[k];
        b[k] = e[k] - c.rg * s.ig[k];
    }
    const double a0 = Mean(a), b0 = Mean(b);
    for (int k = 0; k < kPhases; ++k) {
        a[k] -= a0;
        b[k] -= b0;
    }

    State d;
    Abc vp{};
    for (int k = 0; k < kPhases; ++k) {
        if (deblocked) {
            vp[k] = c.has_load ? (c.ll * (a[k] / c.lc + b[k] / c.lg) + c.rl * (s.ic[k] + s.ig[k])) /
                                     (1.0 + c.ll / c.lc + c.ll / c.lg)
                               : (a[k] / c.lc + b[k] / c.lg) / (1.0 / c.lc + 1.0 / c.lg);
            d.ic[k] = (a[k] - vp[k]) / c.lc;
        } else {
            // Open converter branch: the source feeds the load alone.
            vp[k] = c.has_load ? (c.ll * b[k] / c.lg + c.rl * s.ig[k]) / (1.0 + c.ll / c.lg) : b[k];
            d.ic[k] = 0.0;
        }
        d.ig[k] = (b[k] - vp[k]) / c.lg;
    }

    const double loss_scale = c.loss_w / (config_.udc_rated_v * config_.udc_rated_v);
    Abc p{}, loss{};
    for (int k = 0; k < kPhases; ++k) {
        // Referred voltage times referred current is the valve-side power.
        p[k] = vc[k] * kt * s.ic[k];
        loss[k] = loss_scale * udc[k] * udc[k];
        d.energy[k] = -p[k] - loss[k];
    }

    if (out != nullptr) {
        const double e0 = Mean(e);
        for (int k = 0; k < kPhases; ++k) {
            out->e[k] = e[k];
            out->pcc[k] = vp[k] + e0;
            out->i_conv[k] = s.ic[k] * kt;
            out->i_grid[k] = s.ig[k];
            out->i_load[k] = s.ic[k] + s.ig[k];
            out->udc[k] = udc[k];
            out->v_cluster[k] = vc[k];
            out->p_cells[k] = p[k];
            out->p_loss[k] = loss[k];
        }
    }
    return d;
}

void Plant::Advance(double dt, const Abc& modulation, bool deblocked) {
    Abc m{};
    for (int k = 0; k < kPhases; ++k) {
        // A NaN reference commands no voltage; the bridges cannot make more than N cells.
        m[k] = std::isnan(modulation[k]) ? 0.0 : std::clamp(modulation[k], -1.0, 1.0);
    }
    if (!deblocked) state_.ic.fill(0.0);

    const auto steps = std::max<long>(1, std::lround(std::ceil(dt / config_.substep_s - 1e-9)));
    const double h = dt / static_cast<double>(steps);
    const auto axpy = [](const State& x, const State& dx, double w) {
        State y;
        for (int k = 0; k < kPhases; ++k) {
            y.ic[k] = x.ic[k] + w * dx.ic[k];
            y.ig[k] = x.ig[k] + w * dx.ig[k];
            y.energy[k] = x.energy[k] + w * dx.energy[k];
        }
        return y;
    };
    for (long i = 0; i < steps; ++i) {
        const double t = time_;
        const State k1 = Derivative(state_, t, m, deblocked, nullptr);
        const State k2 = Derivative(axpy(state_, k1, 0.5 * h), t + 0.5 * h, m, deblocked, nullptr);
        const State k3 = Derivative(axpy(state_, k2, 0.5 * h), t + 0.5 * h, m, deblocked, nullptr);
        const State k4 = Derivative(axpy(state_, k3, h), t + h, m, deblocked, nullptr);
        for (int k = 0; k < kPhases; ++k) {
            state_.ic[k] += h / 6.0 * (k1.ic[k] + 2.0 * k2.ic[k] + 2.0 * k3.ic[k] + k4.ic[k]);
            state_.ig[k] += h / 6.0 * (k1.ig[k] + 2.0 * k2.ig[k] + 2.0 * k3.ig[k] + k4.ig[k]);
            state_.energy[k] +=
                h / 6.0 * (k1.energy[k] + 2.0 * k2.energy[k] + 2.0 * k3.energy[k] + k4.energy[k]);
            state_.energy[k] = std::max(0.0, state_.energy[k]);
        }
        angle_ = std::fmod(angle_ + kTwoPi * source_.hz * h, kTwoPi);
        time_ = t + h;
    }
    modulation_ = m;
    deblocked_ = deblocked;
    Derivative(state_, time_, m, deblocked, &out_);
}

void Plant::Refresh() { Derivative(state_, time_, modulation_, deblocked_, &out_); }

bool Plant::Finite() const {
    for (int k = 0; k < kPhases; ++k) {
        if (!std::isfinite(state_.ic[k]) || !std::isfinite(state_.ig[k]) ||
            !std::isfinite(state_.energy[k]) || !std::isfinite(out_.pcc[k])) {
            return false;
        }
    }
    return true;
}

}  // namespace svgsim
