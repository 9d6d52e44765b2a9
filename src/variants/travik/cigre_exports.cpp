// The full build as an IEEE/Cigre DLL model: the eight entry points, the measuring and command
// channels as input ports, and the texts of the model description. Everything else (output
// ports, parameters, states) the wrapper learns from the controller's own registrations.
#include "cigre/exports.h"
#include "variants/travik/host_inputs.h"
#include "variants/travik/travik.h"

namespace {

svg::cigre::ModelConfig Config() {
    return svg::cigre::FirstRelease({
        .variant = nullptr,
        .model_name = "Travik",
        .model_description = "Control of a cascaded-H-bridge static var generator (full build)",
        .general_information =
            "EMT only; one call of Model_Outputs per 100 us task-1 period. Inputs in volts and "
            "amperes as measured; outputs are the modulation references and signals of the "
            "controller. Parameters are the controller's registered parameters; those with "
            "FixedValue 0 may be changed while running.",
        .inputs = svg::kTravikHostInputs.data(),
        .input_count = static_cast<int>(svg::kTravikHostInputs.size()),
        .unread_parameters = nullptr,
        .unread_count = 0,
        .period_parameter = "Parameter.parm_TsTask1_us",
        .input_trace_name = "TravikDLLinput.txt",
        .output_trace_name = "TravikDLLoutput.txt",
    });
}

}  // namespace

SVG_CIGRE_ENTRY_POINTS((svg::cigre::OnceMade<&Config, &svg::TravikVariant>()))
