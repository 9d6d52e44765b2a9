// The reduced build as an IEEE/Cigre DLL model: the eight entry points, the host input
// channels it reads as input ports (the ride-through settings and the reactive current limit
// among them, which this build takes from the host instead of its parameters), and the texts
// of the model description. The outputs are its wave channels, as the three-function library
// gives them.
#include "cigre/exports.h"
#include "variants/pellum/host_inputs.h"
#include "variants/pellum/pellum.h"

namespace {

// Registered, but read by no step: the input ports named in their meanings stand for them.
constexpr const char* kUnreadParameters[] = {
    "HLVRTCtrl.parm_HVRT_k",        "HLVRTCtrl.parm_LVRT_k",        "HLVRTCtrl.parm_Iq0_k",
    "HLVRTCtrl.parm_HVRT_in",       "HLVRTCtrl.parm_HVRT_out",      "HLVRTCtrl.parm_LVRT_in",
    "HLVRTCtrl.parm_LVRT_out",      "HLVRTCtrl.parm_Iqpos_ref_min", "ModeCtrl.parm_Iqpos_ref_lim",
    "CurRefCal.parm_Iqpos_ref_lim",
};

svg::cigre::ModelConfig Config() {
    return svg::cigre::FirstRelease({
        .variant = nullptr,
        .model_name = "Pellum",
        .model_description = "Control of a cascaded-H-bridge static var generator (reduced build)",
        .general_information =
            "EMT only; one call of Model_Outputs per 100 us task-1 period. Inputs: measurements "
            "in volts and amperes, ratings, commands and ride-through settings as the host "
            "gives them; outputs are the controller's recorded signals. Parameters are the "
            "controller's registered parameters and take effect at t = 0.",
        .inputs = svg::kPellumHostInputs.data(),
        .input_count = static_cast<int>(svg::kPellumHostInputs.size()),
        .unread_parameters = kUnreadParameters,
        .unread_count = static_cast<int>(sizeof kUnreadParameters / sizeof kUnreadParameters[0]),
        .period_parameter = "Parameter.parm_TsTask1_us",
        .input_trace_name = "PellumDLLinput.txt",
        .output_trace_name = "PellumDLLoutput.txt",
    });
}

}  // namespace

SVG_CIGRE_ENTRY_POINTS((svg::cigre::OnceMade<&Config, &svg::PellumVariant>()))
