// The three functions a simulation host calls.
#include "host/export.h"
#include "host/host.h"
#include "variants/travik/travik.h"

namespace {

svg::HostConfig Config() noexcept {
    return {&svg::TravikVariant(), "TravikDLLinput.txt", "TravikDLLoutput.txt"};
}

}  // namespace

SVG_EXPORT int InitTravikDLL(void** instance, int, int input_count, int output_count,
                             double* host_parameters, double* inputs, double* outputs, int,
                             void* storage, double time, double) noexcept {
    return svg::HostInit(Config(), instance, input_count, output_count, host_parameters, inputs,
                         outputs, storage, time);
}

SVG_EXPORT int StepTravikDLL(void* instance, int, double* inputs, double* outputs, int,
                             void* storage, double time) noexcept {
    return svg::HostStep(instance, inputs, outputs, storage, time);
}

SVG_EXPORT int TerminateTravikDLL(void* instance) noexcept { return svg::HostTerminate(instance); }
