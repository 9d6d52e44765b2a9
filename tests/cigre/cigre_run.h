// One instance of an IEEE/Cigre DLL model in the test process: the library loaded like a host
// loads it, the blocks laid out from the model's own tables, the calls in the host's order.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "cigre/block_layout.h"
#include "cigre/ieee_cigre_dll.h"
#include "platform.h"
#include "support/host_run.h"
#include "variants/pellum/host_channels.h"
#include "variants/pellum/host_inputs.h"
#include "variants/travik/host_inputs.h"

namespace svg::testing {

// The library and its entry points, found by their plain names as a host finds them.
class CigreLibrary {
  public:
    explicit CigreLibrary(const std::string& path) {
        std::string error;
        if (!library_.Open(path, error)) {
            throw std::runtime_error(error);
        }
        get_info = Find<Model_GetInfo_Fn>("Model_GetInfo");
        first_call = Find<Model_InstanceFn>("Model_FirstCall");
        check_parameters = Find<Model_InstanceFn>("Model_CheckParameters");
        initialize = Find<Model_InstanceFn>("Model_Initialize");
        outputs = Find<Model_InstanceFn>("Model_Outputs");
        iterate = Find<Model_InstanceFn>("Model_Iterate");
        terminate = Find<Model_InstanceFn>("Model_Terminate");
    }

    Model_GetInfo_Fn get_info;
    Model_InstanceFn first_call, check_parameters, initialize, outputs, iterate, terminate;

  private:
    template <class F>
    F Find(const char* name) {
        std::string error;
        auto* function = library_.Find(name, error);
        if (function == nullptr) {
            throw std::runtime_error(error);
        }
        return reinterpret_cast<F>(function);
    }
    svghost::SharedLibrary library_;
};

inline CigreLibrary& TravikCigre() {
    static CigreLibrary library(SVG_TRAVIK_CIGRE_LIBRARY);
    return library;
}
inline CigreLibrary& PellumCigre() {
    static CigreLibrary library(SVG_PELLUM_CIGRE_LIBRARY);
    return library;
}

// A model, the three-function library of the same build, and the host channel each input
// port feeds.
struct CigreModel {
    const char* name;  // file name without extension
    CigreLibrary& (*library)();
    const char* path;
    const Deliverable* reference;
    const HostInput* inputs;
    int input_count;
    // The input port that feeds host channel `channel`, or -1.
    int PortOf(int channel) const {
        for (int i = 0; i < input_count; ++i) {
            if (inputs[i].channel == channel) {
                return i;
            }
        }
        return -1;
    }
};

inline const CigreModel kTravikCigre{
    "Travik_Cigre",           &TravikCigre,
    SVG_TRAVIK_CIGRE_LIBRARY, &kTravik,
    kTravikHostInputs.data(), static_cast<int>(kTravikHostInputs.size())};
inline const CigreModel kPellumCigre{
    "Pellum_Cigre",           &PellumCigre,
    SVG_PELLUM_CIGRE_LIBRARY, &kPellum,
    kPellumHostInputs.data(), static_cast<int>(kPellumHostInputs.size())};
inline const CigreModel* const kCigreModels[] = {&kTravikCigre, &kPellumCigre};

// An instance with its blocks; parameters start at their defaults.
class CigreRun {
  public:
    explicit CigreRun(CigreLibrary& library = TravikCigre())
        : lib(library), info(*library.get_info()) {
        Prepare();
    }
    explicit CigreRun(const CigreModel& m) : lib(m.library()), info(*lib.get_info()), model(&m) {
        Prepare();
    }
    void Prepare() {
        in_offsets.resize(static_cast<std::size_t>(info.NumInputPorts));
        out_offsets.resize(static_cast<std::size_t>(info.NumOutputPorts));
        parameter_offsets.resize(static_cast<std::size_t>(info.NumParameters));
        inputs.resize(
            cigre::LayOutPorts(info.InputPortsInfo, info.NumInputPorts, in_offsets.data()) / 8 + 1);
        outputs.resize(
            cigre::LayOutPorts(info.OutputPortsInfo, info.NumOutputPorts, out_offsets.data()) / 8 +
            1);
        parameters.resize(cigre::LayOutParameters(info.ParametersInfo, info.NumParameters,
                                                  parameter_offsets.data()) /
                              8 +
                          1);
        states.resize(static_cast<std::size_t>(info.NumDoubleStates));
        for (int i = 0; i < info.NumParameters; ++i) {
            std::memcpy(ParameterAt(i), &info.ParametersInfo[i].DefaultValue,
                        cigre::ElementSize(info.ParametersInfo[i].DataType));
        }
        Attach();
    }
    // Points the instance at the blocks (again, after a block has been replaced).
    void Attach() {
        instance.ExternalInputs = inputs.data();
        instance.ExternalOutputs = outputs.data();
        instance.Parameters = parameters.data();
        instance.DoubleStates = states.data();
    }
    // FirstCall, CheckParameters, Initialize; the first non-zero result, or 0.
    int Start() {
        for (auto call : {lib.first_call, lib.check_parameters, lib.initialize}) {
            if (const int r = call(&instance); r != 0) {
                return r;
            }
        }
        return 0;
    }
    // One sample at t = k dt.
    int Step() {
        instance.Time = static_cast<double>(steps++) * info.FixedStepBaseSampleTime;
        return lib.outputs(&instance);
    }
    int Terminate() { return lib.terminate(&instance); }

    int ParameterIndex(const std::string& name) const {
        for (int i = 0; i < info.NumParameters; ++i) {
            if (name == info.ParametersInfo[i].Name) {
                return i;
            }
        }
        throw std::runtime_error("no parameter " + name);
    }
    unsigned char* ParameterAt(int i) {
        return reinterpret_cast<unsigned char*>(parameters.data()) +
               parameter_offsets[static_cast<std::size_t>(i)];
    }
    template <class T>
    void SetParameter(const std::string& name, T value) {
        std::memcpy(ParameterAt(ParameterIndex(name)), &value, sizeof value);
    }
    // Input port i (all real64).
    void SetInput(int port, double value) {
        std::memcpy(reinterpret_cast<unsigned char*>(inputs.data()) +
                        in_offsets[static_cast<std::size_t>(port)],
                    &value, sizeof value);
    }
    // The input port that feeds host channel `channel` (no port: nothing).
    void SetChannel(int channel, double value) {
        const int port = model != nullptr ? model->PortOf(channel) : channel;
        if (port >= 0) {
            SetInput(port, value);
        }
    }
    // Output port i as a double, whatever its type.
    double Output(int port) const {
        const unsigned char* at = reinterpret_cast<const unsigned char*>(outputs.data()) +
                                  out_offsets[static_cast<std::size_t>(port)];
        switch (info.OutputPortsInfo[port].DataType) {
            case IEEE_Cigre_DLLInterface_DataType_uint8_T:
                return *at;
            case IEEE_Cigre_DLLInterface_DataType_int8_T:
                return static_cast<signed char>(*at);
            case IEEE_Cigre_DLLInterface_DataType_int32_T: {
                std::int32_t n;
                std::memcpy(&n, at, sizeof n);
                return n;
            }
            case IEEE_Cigre_DLLInterface_DataType_uint32_T: {
                std::uint32_t n;
                std::memcpy(&n, at, sizeof n);
                return n;
            }
            default: {
                float f;
                std::memcpy(&f, at, sizeof f);
                return f;
            }
        }
    }
    std::string Error() const {
        return instance.LastErrorMessage != nullptr ? instance.LastErrorMessage : "";
    }

    CigreLibrary& lib;
    const IEEE_Cigre_DLLInterface_Model_Info& info;
    const CigreModel* model = nullptr;  // null: ports are numbered as their channels
    IEEE_Cigre_DLLInterface_Instance instance{nullptr, nullptr, nullptr, 0.0,     1,
                                              nullptr, nullptr, nullptr, nullptr, nullptr};
    std::vector<std::size_t> in_offsets, out_offsets, parameter_offsets;
    std::vector<double> inputs, outputs, parameters, states;
    long steps = 0;
};

// A balanced 35 kV grid on PT4, Hall currents lagging by a quarter cycle, cells at 1050 V,
// running and (after 0.05 s) deblocked: enough to move every regulator. The reduced build
// takes its ratings and settings from input ports too.
inline void DriveGrid(CigreRun& run, long k) {
    constexpr double kTurn = 6.283185307179586;  // radians
    const double t = static_cast<double>(k) * 1e-4;
    const double peak = 35e3 * std::sqrt(2.0 / 3.0);
    for (int ph = 0; ph < 3; ++ph) {
        const double angle = kTurn * 50.0 * t - ph * kTurn / 3.0;
        run.SetChannel(9 + ph, peak * std::cos(angle));
        run.SetChannel(21 + ph, 35e3);
        run.SetChannel(33 + ph, 300.0 * std::sin(angle));
        run.SetChannel(39 + ph, 1050.0);
    }
    const Deliverable& d = *run.model->reference;
    if (d.reduced()) {
        run.SetChannel(43, 30.0);
        run.SetChannel(44, 35.0);
        run.SetChannel(45, 13.0);
        for (const ParameterChannel& row : kPellumParameterChannels) {
            run.SetChannel(row.channel, row.registered);
        }
    }
    run.SetChannel(d.running_channel, 1.0);
    run.SetChannel(d.deblock_channel, k >= 500 ? 1.0 : 0.0);
}

}  // namespace svg::testing
