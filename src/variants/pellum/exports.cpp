// The three functions a simulation host calls.
#include "host/export.h"
#include "host/host.h"
#include "variants/pellum/pellum.h"

namespace {

svg::HostConfig Config() noexcept {
    return {&svg::PellumVariant(), "PellumDLLinput.txt", "PellumDLLoutput.txt"};
}

}  // namespace

SVG_EXPORT int InitPellumDLL(void** instance, int, int input_count, int output_count,
                             double* host_parameters, double* inputs, double* outputs, int,
                             void* storage, double time, double) noexcept {
    return svg::HostInit(Config(), instance, input_count, output_count, host_parameters, inputs,
                         outputs, storage, time);
}

SVG_EXPORT int StepPellumDLL(void* instance, int, double* inputs, double* outputs, int,
                             void* storage, double time) noexcept {
    return svg::HostStep(instance, inputs, outputs, storage, time);
}

SVG_EXPORT int TerminatePellumDLL(void* instance) noexcept { return svg::HostTerminate(instance); }
