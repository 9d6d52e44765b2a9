// Average-value model of the star-connected cascaded-H-bridge converter on a Thevenin grid.
//
// Per phase k the cluster of N cells makes the voltage m_k * N * Udc_k (m_k the modulation
// reference of the controller, Udc_k the mean cell voltage of that phase) behind the series
// reactor L_c with resistance R_c. When a coupling transformer is fitted (ratio HV/LV = k_t,
// star-star, no phase shift) the converter side is referred to the grid side: voltages times
// k_t, currents over k_t, the reactor times k_t^2. The grid is a source e_k behind R_g + jX_g;
// an optional star load R_l + jX_l hangs on the point of common coupling (PCC).
//
// The converter's and the load's star points float and the grid is a three-wire network, so no
// branch carries zero-sequence current: the zero-sequence part of every branch voltage is
// absorbed by the floating star points, and the PCC keeps the source's zero-sequence voltage.
// Per phase, with A = v_c - R_c i_c and B = e - R_g i_g (both without their zero sequence):
//     L_c di_c/dt = A - v_p,   L_g di_g/dt = B - v_p,   L_l (di_c + di_g)/dt = v_p - R_l (i_c +
//     i_g)
// which gives the PCC voltage
//     v_p = (L_l (A/L_c + B/L_g) + R_l (i_c + i_g)) / (1 + L_l/L_c + L_l/L_g)
// and, without a load (i_c + i_g = 0), v_p = (A/L_c + B/L_g) / (1/L_c + 1/L_g).
// Currents: i_c out of the converter, i_g from the source into the PCC, the load current
// i_c + i_g from the PCC into the load.
//
// The cells of one phase store E_k = N C Udc_k^2 / 2 and give the ac side the power v_c i_c:
//     dE_k/dt = -v_c,k i_c,k - P_loss,k,   P_loss,k = loss * (Qn/3) * (Udc_k / Udc_rated)^2
// (switching and bleed losses as a conductance across the cells). The reactor's copper loss is
// R_c i_c^2 on the ac side. A blocked converter (no pulses) is an open branch: with the cells
// charged above the grid's peak the diodes of the blocked bridges do not conduct.
//
// Integration: classical fourth-order Runge-Kutta at a fixed sub-step, 10 us by default (ten
// sub-steps per 100 us controller period). The modulation references are held over a host
// step, as a modulator holds the last reference, so inside a step the system is smooth and a
// high-order explicit method pays off; the fastest natural time constant is that of a resistive
// load in parallel with the series inductances (about 0.3 ms for a 1 pu load), well inside
// RK4's stability region at 10 us, and the 50 Hz source and its harmonics up to the 13th
// (ωh <= 0.04) are resolved to far below the controller's single-precision arithmetic. Halving
// the sub-step from 10 us to 5 us changes the currents at the host steps by a few nA (about
// 1e-11 of the rated current); from 40 us to 20 us to 10 us each halving shrinks the change
// about sevenfold. The source angle advances exactly with the sub-steps, so a frequency change
// keeps the phase continuous.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace svgsim {

inline constexpr int kPhases = 3;
using Abc = std::array<double, kPhases>;

// A harmonic of the source voltage: order h (2..50), amplitude in per unit of the fundamental's
// nominal phase peak, angle in degrees at t = 0. Phase b and c follow the natural sequence of
// the order (the 5th negative, the 7th positive sequence).
struct Harmonic {
    int order = 5;
    double pu = 0.0;
    double deg = 0.0;
};

// The source as the scenario sets it; changes take effect at the next sub-step, the angle stays
// continuous (a phase jump adds to it).
struct GridSource {
    double kv = 35.0;            // positive sequence, line-to-line RMS, kV
    double hz = 50.0;            // frequency
    double phase_deg = 0.0;      // angle offset of phase a
    double unbalance_pu = 0.0;   // negative-sequence amplitude over positive
    double unbalance_deg = 0.0;  // angle of the negative sequence at t = 0
    std::vector<Harmonic> harmonics;
};

// Everything the plant is built from. Ratings come from the host channels that give them to the
// controller (Qn, Vn, f, LTotCal, CapPM, cell count, transformer ratings), so 1 pu in the
// controller is 1 pu in the plant; the rest describes the grid and the cells.
struct PlantConfig {
    double qn_mvar = 30.0;           // rated reactive power
    double vn_kv = 35.0;             // rated line voltage at the converter's connection point
    double fn_hz = 50.0;             // nominal frequency
    double l_mh = 13.0;              // series reactor, mH, on the converter (valve) side
    double cap_mf = 4.1;             // capacitance of one cell, mF
    int cells = 77;                  // cells per phase
    double transformer_ratio = 1.0;  // HV/LV; 1 without a coupling transformer
    double reactor_x_over_r = 50.0;
    double udc_rated_v = 1050.0;    // rated cell voltage
    double udc_initial_v = 1050.0;  // pre-charge of every cell
    double cell_loss_pu = 0.003;    // cell losses at rated cell voltage, pu of Qn
    double scr = 20.0;              // short-circuit power over Qn at the connection point
    double grid_x_over_r = 10.0;
    double load_p_pu = 0.0;     // optional star load, at rated voltage, pu of Qn
    double load_q_pu = 0.0;     // inductive positive
    double substep_s = 1.0e-5;  // integration step
};

// Derived circuit constants, all referred to the grid side (ohm, henry, farad).
struct PlantCircuit {
    double lc = 0.0, rc = 0.0;  // reactor (referred)
    double lg = 0.0, rg = 0.0;  // grid Thevenin impedance
    double ll = 0.0, rl = 0.0;  // load; has_load false when none
    bool has_load = false;
    double cell_c = 0.0;  // one cell, F
    double loss_w = 0.0;  // loss per phase at rated cell voltage, W
};

// False with `error` when the configuration cannot describe a circuit (non-positive ratings,
// inductance or step, a NaN anywhere).
bool DesignCircuit(const PlantConfig& config, PlantCircuit& circuit, std::string& error);

// What the measurements and the record read after a step.
struct PlantOutputs {
    Abc e{};          // V, source phase voltages
    Abc pcc{};        // V, PCC phase-to-ground voltages (grid side)
    Abc i_conv{};     // A, converter (valve-side) currents, out of the converter
    Abc i_grid{};     // A, from the source into the PCC
    Abc i_load{};     // A, from the PCC into the load
    Abc udc{};        // V, mean cell voltage per phase
    Abc v_cluster{};  // V, cluster voltages (valve side)
    Abc p_cells{};    // W, power the cells of each phase give the ac side
    Abc p_loss{};     // W, cell losses per phase
};

class Plant {
  public:
    // `config` must have passed DesignCircuit.
    explicit Plant(const PlantConfig& config);

    void SetSource(const GridSource& source) { source_ = source; }
    const GridSource& source() const { return source_; }
    // Adds `deg` to the source angle at once (a phase jump).
    void JumpPhase(double deg);

    // Advances by `dt` (a whole number of sub-steps, the last one shortened if needed) with the
    // modulation references held (limited to -1..1) and the pulses on or off.
    void Advance(double dt, const Abc& modulation, bool deblocked);
    // Recomputes the outputs at the present state, after a change of the source.
    void Refresh();
    // False once a current, a voltage or the stored energy is no longer finite.
    bool Finite() const;

    double time() const { return time_; }
    const PlantOutputs& outputs() const { return out_; }
    const PlantConfig& config() const { return config_; }
    const PlantCircuit& circuit() const { return circuit_; }

  private:
    struct State {
        Abc ic{}, ig{}, energy{};
    };
    State Derivative(const State& s, double t, const Abc& m, bool deblocked,
                     PlantOutputs* out) const;
    Abc Source(double t) const;

    PlantConfig config_;
    PlantCircuit circuit_;
    GridSource source_;
    State state_;
    double time_ = 0.0;
    double angle_ = 0.0;  // rad, source angle of phase a at time_ (without phase_deg)
    Abc modulation_{};    // of the last Advance, limited
    bool deblocked_ = false;
    PlantOutputs out_;
};

}  // namespace svgsim
