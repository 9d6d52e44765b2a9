// What one simulator run recorded: named signals sampled on a common time axis, and the
// scenario's events. The result writers (COMTRADE, summary) and the plots read only this.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace svgsim {

// One recorded signal. Units as an engineer reads them: "kV", "V", "A", "pu", "Hz", "turns",
// "s", or "" for a dimensionless index. A flag holds 0 or 1 (any non-zero value counts as 1).
struct Signal {
    std::string name;
    std::string unit;
    bool flag = false;
    std::vector<double> values;  // one per entry of Record::time
};

// A scenario event: when it happens and what changes, in words ("Q command 0 -> 1 pu").
// `kind` tells the summary which figures the event calls for.
enum class EventKind {
    kOther,
    kReactiveCommand,
    kVoltageCommand,
    kGridVoltage,
    kGridFrequency,
    kGridPhase,
    kDeblock,
    kRunning
};

struct Event {
    double time = 0.0;  // s
    EventKind kind = EventKind::kOther;
    std::string what;
};

struct Record {
    std::string station;       // the scenario's name
    double nominal_hz = 50.0;  // grid nominal frequency
    double sample_s = 1.0e-4;  // interval between samples
    std::vector<double> time;  // s, ascending, evenly spaced by sample_s
    std::vector<Signal> signals;
    std::vector<Event> events;  // ascending in time

    // The signal of that exact name, or null.
    const Signal* Find(std::string_view name) const {
        for (const Signal& signal : signals) {
            if (signal.name == name) return &signal;
        }
        return nullptr;
    }
};

// Names of the plant-side signals the simulator records beside the host channels (which keep
// their host names, e.g. "HLVRTCtrl.set_Iqpos_ref_sel" or "Urms_PT4_ab").
namespace plant_signal {
inline constexpr std::string_view kPccUa = "pcc_ua";  // kV, phase to neutral, grid side
inline constexpr std::string_view kPccUb = "pcc_ub";
inline constexpr std::string_view kPccUc = "pcc_uc";
inline constexpr std::string_view kPccUrmsPu = "pcc_urms_pu";  // RMS line voltage / nominal
inline constexpr std::string_view kConvIa = "conv_ia";         // A, out of the converter
inline constexpr std::string_view kConvIb = "conv_ib";
inline constexpr std::string_view kConvIc = "conv_ic";
inline constexpr std::string_view kConvIqPu = "conv_iq_pu";  // reactive current, pu of rated,
                                                             // controller sign convention
inline constexpr std::string_view kConvQPu = "conv_q_pu";    // reactive power, pu of rated
inline constexpr std::string_view kConvPPu = "conv_p_pu";    // active power, pu of rated
inline constexpr std::string_view kUdcA = "udc_a";           // V, mean cell voltage per phase
inline constexpr std::string_view kUdcB = "udc_b";
inline constexpr std::string_view kUdcC = "udc_c";
inline constexpr std::string_view kGridHz = "grid_hz";   // Hz, source frequency
inline constexpr std::string_view kUcmdPu = "u_cmd_pu";  // voltage command given to the
                                                         // controller, pu (voltage modes)
}  // namespace plant_signal

}  // namespace svgsim
