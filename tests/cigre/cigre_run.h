// One instance of an IEEE/Cigre DLL model in the test process: the library loaded like a host
// loads it, the blocks laid out from the model's own tables, the calls in the host's order.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "cigre/block_layout.h"
#include "cigre/ieee_cigre_dll.h"
#include "platform.h"

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

// An instance with its blocks; parameters start at their defaults.
class CigreRun {
  public:
    explicit CigreRun(CigreLibrary& library = TravikCigre())
        : lib(library), info(*library.get_info()) {
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
    // Output port i as a double, whatever its type.
    double Output(int port) const {
        const unsigned char* at = reinterpret_cast<const unsigned char*>(outputs.data()) +
                                  out_offsets[static_cast<std::size_t>(port)];
        switch (info.OutputPortsInfo[port].DataType) {
            case IEEE_Cigre_DLLInterface_DataType_uint8_T:
                return *at;
            case IEEE_Cigre_DLLInterface_DataType_int8_T:
                return static_cast<signed char>(*at);
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
    IEEE_Cigre_DLLInterface_Instance instance{nullptr, nullptr, nullptr, 0.0,     1,
                                              nullptr, nullptr, nullptr, nullptr, nullptr};
    std::vector<std::size_t> in_offsets, out_offsets, parameter_offsets;
    std::vector<double> inputs, outputs, parameters, states;
    long steps = 0;
};

}  // namespace svg::testing
