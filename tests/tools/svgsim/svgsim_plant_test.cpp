// The converter-and-grid plant against closed forms: the RL current step, the cells' energy
// balance, the PCC voltage of a known reactive current on a known Thevenin impedance, and the
// convergence of the integration when the sub-step is halved.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>

#include "plant.h"

namespace svgsim {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kThird = 2.0 * kPi / 3.0;

// Series impedance of the reactor referred to the grid side and of the source, from the
// ratings alone: reactor L k^2 with X/R, source |Z| = Un^2 / (scr Qn) with X/R.
struct Impedances {
    std::complex<double> reactor, grid;
    double l_total, r_total;
};
Impedances FromRatings(const PlantConfig& c) {
    const double w = 2.0 * kPi * c.fn_hz;
    const double lc = c.l_mh * 1e-3 * c.transformer_ratio * c.transformer_ratio;
    const double rc = w * lc / c.reactor_x_over_r;
    const double zg = std::pow(c.vn_kv * 1e3, 2) / (c.scr * c.qn_mvar * 1e6);
    const double rg = zg / std::sqrt(1.0 + c.grid_x_over_r * c.grid_x_over_r);
    const double lg = rg * c.grid_x_over_r / w;
    return {{rc, w * lc}, {rg, w * lg}, lc + lg, rc + rg};
}

// Cells so large that the cluster voltage stays put, and without losses.
PlantConfig StiffCells() {
    PlantConfig config;
    config.cap_mf = 1e12;
    config.cell_loss_pu = 0.0;
    return config;
}

TEST(SvgsimPlant, ClusterVoltageStepDrivesTheRlCurrentOfReactorAndSource) {
    struct Case {
        double ratio, scr, reactor_xr;
    };
    for (const Case& c : {Case{1.0, 20.0, 50.0}, Case{3.5, 5.0, 10.0}, Case{0.5, 50.0, 20.0}}) {
        PlantConfig config = StiffCells();
        config.transformer_ratio = c.ratio;
        config.scr = c.scr;
        config.reactor_x_over_r = c.reactor_xr;
        config.cells = 10;
        config.udc_initial_v = 1000.0;
        Plant plant(config);
        GridSource dead;
        dead.kv = 0.0;
        plant.SetSource(dead);
        const Abc m{0.5, -0.25, -0.25};  // a zero-sum set: no star-point shift
        const Impedances z = FromRatings(config);
        const double tau = z.l_total / z.r_total;
        double t = 0.0;
        for (int k = 1; k <= 4; ++k) {
            const double dt = 0.25 * tau;
            plant.Advance(dt, m, true);
            t += dt;
            for (int ph = 0; ph < kPhases; ++ph) {
                // Grid-side current V k / R (1 - e^(-t/tau)), times k on the valve side.
                const double v = m[ph] * config.cells * config.udc_initial_v * c.ratio;
                const double expected = c.ratio * v / z.r_total * (1.0 - std::exp(-t / tau));
                EXPECT_NEAR(plant.outputs().i_conv[ph], expected, 1e-6 * std::abs(expected) + 1e-9)
                    << "ratio " << c.ratio << " phase " << ph << " t " << t;
                EXPECT_NEAR(plant.outputs().i_grid[ph], -expected / c.ratio,
                            1e-6 * std::abs(expected));
            }
        }
    }
}

TEST(SvgsimPlant, PowerTheClustersGiveEqualsTheCellEnergyLostPlusLosses) {
    PlantConfig config;
    config.cell_loss_pu = 0.01;
    Plant plant(config);
    auto stored = [&](int ph) {
        const double u = plant.outputs().udc[ph];
        return 0.5 * config.cells * config.cap_mf * 1e-3 * u * u;
    };
    Abc e0{}, drawn{};
    for (int ph = 0; ph < kPhases; ++ph) e0[ph] = stored(ph);
    const double h = config.substep_s;
    const double w = 2.0 * kPi * config.fn_hz;
    for (int i = 0; i < 20000; ++i) {  // 0.2 s
        // A cluster voltage 10 degrees off the grid's: active power flows both ways in turn.
        const double t = (i + 0.5) * h;
        Abc m{};
        for (int ph = 0; ph < kPhases; ++ph) {
            m[ph] = 0.36 * std::cos(w * t - ph * kThird + 0.17) + 0.05 * std::cos(3.0 * w * t);
        }
        // Trapezoid over the step, both ends with this step's references: the cluster power
        // jumps with the references between steps.
        Abc left{};
        for (int ph = 0; ph < kPhases; ++ph) {
            const PlantOutputs& o = plant.outputs();
            left[ph] = m[ph] * config.cells * o.udc[ph] * o.i_conv[ph] + o.p_loss[ph];
        }
        plant.Advance(h, m, true);
        for (int ph = 0; ph < kPhases; ++ph) {
            const double right = plant.outputs().p_cells[ph] + plant.outputs().p_loss[ph];
            drawn[ph] += 0.5 * h * (left[ph] + right);
        }
    }
    for (int ph = 0; ph < kPhases; ++ph) {
        const double change = stored(ph) - e0[ph];
        EXPECT_GT(std::abs(change), 1e4) << "the test must move energy";
        EXPECT_NEAR(change, -drawn[ph], 1e-5 * std::abs(change)) << "phase " << ph;
    }
}

// Phasor of phase a over the last whole cycle of `samples` taken every h.
std::complex<double> Phasor(const std::vector<double>& samples, double h, double hz) {
    const auto per_cycle = static_cast<std::size_t>(std::lround(1.0 / (hz * h)));
    std::complex<double> sum;
    const std::size_t start = samples.size() - per_cycle;
    for (std::size_t i = start; i < samples.size(); ++i) {
        const double angle = 2.0 * kPi * hz * static_cast<double>(i + 1) * h;
        sum += samples[i] * std::polar(1.0, -angle);
    }
    return 2.0 * sum / static_cast<double>(per_cycle);
}

TEST(SvgsimPlant, ReactiveCurrentRaisesThePccVoltageAcrossTheSourceImpedance) {
    struct Case {
        double scr, grid_xr, m_amplitude;
    };
    for (const Case& c : {Case{20.0, 5.0, 0.38}, Case{5.0, 3.0, 0.33}, Case{10.0, 5.0, 0.30}}) {
        PlantConfig config = StiffCells();
        config.scr = c.scr;
        config.grid_x_over_r = c.grid_xr;
        config.reactor_x_over_r = 5.0;  // fast decay of the switching-on transient
        config.substep_s = 2e-6;
        Plant plant(config);
        const double w = 2.0 * kPi * config.fn_hz;
        const double h = config.substep_s;
        std::vector<double> pcc, current;
        const int steps = static_cast<int>(0.4 / h);
        for (int i = 0; i < steps; ++i) {
            const double t = (i + 0.5) * h;  // the mid-step value of a sinusoidal reference
            Abc m{};
            for (int ph = 0; ph < kPhases; ++ph)
                m[ph] = c.m_amplitude * std::cos(w * t - ph * kThird);
            plant.Advance(h, m, true);
            pcc.push_back(plant.outputs().pcc[0]);
            current.push_back(plant.outputs().i_conv[0]);
        }
        // Phasors: E on the source, Vc in phase with it; Ic = (Vc - E) / (Zc + Zg) out of the
        // converter, and the PCC sits at E + Zg Ic.
        const Impedances z = FromRatings(config);
        const double peak = config.vn_kv * 1e3 * std::sqrt(2.0 / 3.0);
        const std::complex<double> e(peak, 0.0);
        const std::complex<double> vc(c.m_amplitude * config.cells * config.udc_initial_v, 0.0);
        const std::complex<double> ic = (vc - e) / (z.reactor + z.grid);
        const std::complex<double> vp = e + z.grid * ic;
        const std::complex<double> vp_sim = Phasor(pcc, h, config.fn_hz);
        const std::complex<double> ic_sim = Phasor(current, h, config.fn_hz);
        EXPECT_NEAR(std::abs(ic_sim - ic), 0.0, 1e-4 * std::abs(ic)) << "scr " << c.scr;
        // The PCC follows the cluster voltage at once, and the references are held over each
        // step: the sampled PCC lags by half a step on that part, some parts in a thousand of
        // the voltage change.
        EXPECT_NEAR(std::abs((vp_sim - e) - (vp - e)), 0.0, 1e-2 * std::abs(vp - e))
            << "scr " << c.scr;
        // Mostly reactive: the voltage changes by about -X_g Im(Ic) + R_g Re(Ic).
        const double rise = z.grid.real() * ic.real() - z.grid.imag() * ic.imag();
        EXPECT_NEAR(std::abs(vp_sim) - peak, rise, 0.02 * std::abs(rise)) << "scr " << c.scr;
    }
}

// Converter current of phase a at every host step of a run whose references follow a
// sinusoid held over each 100 us host step, for a sub-step h.
std::vector<double> HostStepCurrents(double h) {
    PlantConfig config;
    config.substep_s = h;
    config.load_p_pu = 0.5;
    config.load_q_pu = 0.3;
    Plant plant(config);
    GridSource source;
    source.harmonics = {{5, 0.03, 0.0}, {7, 0.02, 30.0}};
    plant.SetSource(source);
    const double dt = 1e-4, w = 2.0 * kPi * config.fn_hz;
    std::vector<double> result;
    for (int k = 0; k < 600; ++k) {
        Abc m{};
        for (int ph = 0; ph < kPhases; ++ph) m[ph] = 0.37 * std::cos(w * k * dt - ph * kThird);
        plant.Advance(dt, m, true);
        result.push_back(plant.outputs().i_conv[0]);
    }
    return result;
}

double MaxDifference(const std::vector<double>& a, const std::vector<double>& b) {
    double worst = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

TEST(SvgsimPlant, HalvingTheSubStepConvergesAndTheChosenStepIsConverged) {
    const auto s40 = HostStepCurrents(4e-5);
    const auto s20 = HostStepCurrents(2e-5);
    const auto s10 = HostStepCurrents(1e-5);  // the default sub-step
    const auto s5 = HostStepCurrents(5e-6);
    const double rated_peak = 30e6 / 35e3 * std::sqrt(2.0 / 3.0);
    // Each halving shrinks the change by well over the factor 2 of a first-order method
    // (about 7 here), and from 10 us to 5 us nothing is left above rounding.
    EXPECT_GT(MaxDifference(s40, s20) / MaxDifference(s20, s10), 4.0);
    EXPECT_LT(MaxDifference(s10, s5), 1e-8 * rated_peak);
}

TEST(SvgsimPlant, BlockedConverterCarriesNoCurrentAndTheLoadTakesItsRatedPower) {
    PlantConfig config;
    config.load_p_pu = 0.6;
    config.load_q_pu = 0.2;
    config.scr = 1e6;  // a stiff source: the load sees the rated voltage
    config.reactor_x_over_r = 5.0;
    Plant plant(config);
    double p = 0.0, q = 0.0;
    const int per_cycle = 200;
    for (int i = 0; i < 30 * per_cycle; ++i) {
        plant.Advance(1e-4, Abc{0.3, -0.3, 0.0}, false);
        const PlantOutputs& o = plant.outputs();
        for (int ph = 0; ph < kPhases; ++ph) EXPECT_EQ(o.i_conv[ph], 0.0);
        if (i >= 29 * per_cycle) {
            // Instantaneous three-phase power of a balanced set is constant.
            p = o.pcc[0] * o.i_load[0] + o.pcc[1] * o.i_load[1] + o.pcc[2] * o.i_load[2];
            const double va = o.pcc[0], vb = (o.pcc[1] - o.pcc[2]) / std::sqrt(3.0);
            const double ia = o.i_load[0], ib = (o.i_load[1] - o.i_load[2]) / std::sqrt(3.0);
            q = 1.5 * (vb * ia - va * ib);
        }
    }
    EXPECT_NEAR(p / 30e6, 0.6, 1e-3);
    EXPECT_NEAR(q / 30e6, 0.2, 1e-3);  // the load absorbs vars: lagging current
}

TEST(SvgsimPlant, ConfigurationsThatDescribeNoCircuitAreRefused) {
    struct Case {
        void (*spoil)(PlantConfig&);
        const char* message;
    };
    const Case cases[] = {
        {[](PlantConfig& c) { c.l_mh = 0.0; }, "plant l_mh must be positive (is 0.000000)"},
        {[](PlantConfig& c) { c.cells = 0; }, "plant cells must be positive (is 0.000000)"},
        {[](PlantConfig& c) { c.vn_kv = std::nan(""); }, "plant vn_kv must be positive (is nan)"},
        {[](PlantConfig& c) { c.cell_loss_pu = -1.0; },
         "plant cell_loss_pu must be zero or positive (is -1.000000)"},
    };
    for (const Case& c : cases) {
        PlantConfig config;
        c.spoil(config);
        PlantCircuit circuit;
        std::string error;
        EXPECT_FALSE(DesignCircuit(config, circuit, error));
        EXPECT_EQ(error, c.message);
    }
}

}  // namespace
}  // namespace svgsim
