#include "model_host.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "blocks/numeric.h"
#include "cigre/block_layout.h"

namespace cigrehost {
namespace {

constexpr std::size_t kGuardBytes = 16;
constexpr unsigned char kGuardByte = 0xA5;

template <class F>
F Find(const svghost::SharedLibrary& library, const char* name) {
    std::string ignored;
    return reinterpret_cast<F>(library.Find(name, ignored));
}

std::size_t StateBytes(int count, std::size_t element) {
    return count > 0 ? static_cast<std::size_t>(count) * element : 0;
}

template <class T>
T* PointerOr(GuardedBlock& block) {
    return block.size() == 0 ? nullptr : reinterpret_cast<T*>(block.data());
}

}  // namespace

bool LoadedModel::Load(const std::string& path, std::string& error) {
    if (!library.Open(path, error)) {
        return false;
    }
    get_info = Find<Model_GetInfo_Fn>(library, "Model_GetInfo");
    print_info = Find<Model_PrintInfo_Fn>(library, "Model_PrintInfo");
    first_call = Find<Model_InstanceFn>(library, "Model_FirstCall");
    check_parameters = Find<Model_InstanceFn>(library, "Model_CheckParameters");
    initialize = Find<Model_InstanceFn>(library, "Model_Initialize");
    outputs = Find<Model_InstanceFn>(library, "Model_Outputs");
    iterate = Find<Model_InstanceFn>(library, "Model_Iterate");
    terminate = Find<Model_InstanceFn>(library, "Model_Terminate");
    const std::pair<bool, const char*> core[] = {
        {get_info != nullptr, "Model_GetInfo"},
        {check_parameters != nullptr, "Model_CheckParameters"},
        {initialize != nullptr, "Model_Initialize"},
        {outputs != nullptr, "Model_Outputs"},
        {terminate != nullptr, "Model_Terminate"}};
    for (const auto& [found, name] : core) {
        if (!found) {
            error = std::string("the library exports no ") + name;
            return false;
        }
    }
    const std::pair<bool, const char*> optional[] = {{print_info != nullptr, "Model_PrintInfo"},
                                                     {first_call != nullptr, "Model_FirstCall"},
                                                     {iterate != nullptr, "Model_Iterate"}};
    for (const auto& [found, name] : optional) {
        if (!found) {
            missing_optional.emplace_back(name);
        }
    }
    info = get_info();
    if (info == nullptr) {
        error = "Model_GetInfo returned null";
        return false;
    }
    return true;
}

double ReadTyped(const void* at, int data_type) {
    auto get = [at]<class T>(T) {
        T v;
        std::memcpy(&v, at, sizeof v);
        return static_cast<double>(v);
    };
    switch (data_type) {
        case IEEE_Cigre_DLLInterface_DataType_char_T:
        case IEEE_Cigre_DLLInterface_DataType_int8_T:
            return get(static_cast<signed char>(0));
        case IEEE_Cigre_DLLInterface_DataType_uint8_T:
            return get(static_cast<unsigned char>(0));
        case IEEE_Cigre_DLLInterface_DataType_int16_T:
            return get(static_cast<std::int16_t>(0));
        case IEEE_Cigre_DLLInterface_DataType_uint16_T:
            return get(static_cast<std::uint16_t>(0));
        case IEEE_Cigre_DLLInterface_DataType_int32_T:
            return get(std::int32_t{0});
        case IEEE_Cigre_DLLInterface_DataType_uint32_T:
            return get(std::uint32_t{0});
        case IEEE_Cigre_DLLInterface_DataType_real32_T:
            return get(0.0f);
        case IEEE_Cigre_DLLInterface_DataType_real64_T:
            return get(0.0);
        default:
            return 0.0;
    }
}

void WriteTyped(void* at, int data_type, double value) {
    auto put = [at](auto v) { std::memcpy(at, &v, sizeof v); };
    const std::int32_t whole = svg::TruncToInt32(value);
    switch (data_type) {
        case IEEE_Cigre_DLLInterface_DataType_char_T:
        case IEEE_Cigre_DLLInterface_DataType_int8_T:
        case IEEE_Cigre_DLLInterface_DataType_uint8_T:
            put(svg::TruncToByte(value));
            break;
        case IEEE_Cigre_DLLInterface_DataType_int16_T:
        case IEEE_Cigre_DLLInterface_DataType_uint16_T:
            put(static_cast<std::uint16_t>(static_cast<std::uint32_t>(whole) & 0xFFFFu));
            break;
        case IEEE_Cigre_DLLInterface_DataType_int32_T:
            put(whole);
            break;
        case IEEE_Cigre_DLLInterface_DataType_uint32_T:
            put(value < 0.0 ? static_cast<std::uint32_t>(whole) : svg::TruncToUint32(value));
            break;
        case IEEE_Cigre_DLLInterface_DataType_real32_T:
            put(static_cast<float>(value));
            break;
        case IEEE_Cigre_DLLInterface_DataType_real64_T:
            put(value);
            break;
        default:
            break;
    }
}

double MinOf(const IEEE_Cigre_DLLInterface_Parameter& p) {
    return ReadTyped(&p.MinValue, p.DataType);
}
double MaxOf(const IEEE_Cigre_DLLInterface_Parameter& p) {
    return ReadTyped(&p.MaxValue, p.DataType);
}
double DefaultOf(const IEEE_Cigre_DLLInterface_Parameter& p) {
    return ReadTyped(&p.DefaultValue, p.DataType);
}

GuardedBlock::GuardedBlock(std::size_t bytes)
    : bytes_(bytes), words_((bytes + kGuardBytes + 7) / 8, 0.0) {
    std::memset(Bytes() + bytes_, kGuardByte, kGuardBytes);
}

bool GuardedBlock::GuardIntact() const {
    for (std::size_t i = 0; i < kGuardBytes; ++i) {
        if (Bytes()[bytes_ + i] != kGuardByte) {
            return false;
        }
    }
    return true;
}

void GuardedBlock::CopyFrom(const GuardedBlock& other) {
    if (other.bytes_ == bytes_ && bytes_ > 0) {
        std::memcpy(Bytes(), other.Bytes(), bytes_);
    }
}

Instance::Instance(const LoadedModel& model, std::uint8_t mode)
    : record{nullptr, nullptr, nullptr, 0.0, mode, nullptr, nullptr, nullptr, nullptr, nullptr},
      model_(model),
      input_offsets_(static_cast<std::size_t>(std::max(model.info->NumInputPorts, 0))),
      output_offsets_(static_cast<std::size_t>(std::max(model.info->NumOutputPorts, 0))),
      parameter_offsets_(static_cast<std::size_t>(std::max(model.info->NumParameters, 0))),
      inputs_(svg::cigre::LayOutPorts(model.info->InputPortsInfo, model.info->NumInputPorts,
                                      input_offsets_.data())),
      outputs_(svg::cigre::LayOutPorts(model.info->OutputPortsInfo, model.info->NumOutputPorts,
                                       output_offsets_.data())),
      parameters_(svg::cigre::LayOutParameters(
          model.info->ParametersInfo, model.info->NumParameters, parameter_offsets_.data())),
      int_states_(StateBytes(model.info->NumIntStates, sizeof(int32_T))),
      float_states_(StateBytes(model.info->NumFloatStates, sizeof(real32_T))),
      double_states_(StateBytes(model.info->NumDoubleStates, sizeof(real64_T))) {
    record.ExternalInputs = inputs_.data();
    record.ExternalOutputs = outputs_.data();
    record.Parameters = parameters_.data();
    record.IntStates = PointerOr<int32_T>(int_states_);
    record.FloatStates = PointerOr<real32_T>(float_states_);
    record.DoubleStates = PointerOr<real64_T>(double_states_);
    for (int i = 0; i < model.info->NumParameters; ++i) {
        const IEEE_Cigre_DLLInterface_Parameter& p = model.info->ParametersInfo[i];
        unsigned char* at = parameters_.data() + parameter_offsets_[static_cast<std::size_t>(i)];
        if (p.DataType == IEEE_Cigre_DLLInterface_DataType_c_string_T) {
            // The text must outlive the run: the host keeps its own copy.
            parameter_texts_.emplace_back(
                p.DefaultValue.Char_Ptr != nullptr ? p.DefaultValue.Char_Ptr : "");
            const char* text = parameter_texts_.back().c_str();
            std::memcpy(at, &text, sizeof text);
        } else {
            WriteTyped(at, p.DataType, DefaultOf(p));
        }
    }
}

int Instance::Call(Model_InstanceFn function, const char* name) {
    if (function == nullptr) {
        return 0;
    }
    record.LastErrorMessage = nullptr;
    record.LastGeneralMessage = nullptr;
    const int result = function(&record);
    auto problem = [&](const std::string& what) {
        problems.push_back(std::string(name) + ": " + what);
    };
    if (result < 0 || result > 2) {
        problem("returned " + std::to_string(result) + ", not 0, 1 or 2");
    }
    if (result == 1 && record.LastGeneralMessage == nullptr) {
        problem("returned 1 without a general message");
    }
    if (result == 2 && (record.LastErrorMessage == nullptr || record.LastErrorMessage[0] == '\0')) {
        problem("returned 2 without an error message");
    }
    const std::pair<const GuardedBlock*, const char*> blocks[] = {
        {&inputs_, "input block"},         {&outputs_, "output block"},
        {&parameters_, "parameter block"}, {&int_states_, "IntStates"},
        {&float_states_, "FloatStates"},   {&double_states_, "DoubleStates"}};
    for (const auto& [block, what] : blocks) {
        if (!block->GuardIntact()) {
            problem(std::string("wrote past the end of the ") + what);
        }
    }
    return result;
}

void Instance::SetInput(int port, double value) {
    WriteTyped(inputs_.data() + input_offsets_[static_cast<std::size_t>(port)],
               model_.info->InputPortsInfo[port].DataType, value);
}

double Instance::Output(int port) const {
    return ReadTyped(outputs_.data() + output_offsets_[static_cast<std::size_t>(port)],
                     model_.info->OutputPortsInfo[port].DataType);
}

double Instance::Parameter(int index) const {
    return ReadTyped(parameters_.data() + parameter_offsets_[static_cast<std::size_t>(index)],
                     model_.info->ParametersInfo[index].DataType);
}

bool Instance::SetParameter(int index, double value, std::string& why) {
    const IEEE_Cigre_DLLInterface_Parameter& p = model_.info->ParametersInfo[index];
    if (p.DataType == IEEE_Cigre_DLLInterface_DataType_c_string_T) {
        why = std::string(p.Name) + " is a text parameter";
        return false;
    }
    if (!std::isfinite(value) || value < MinOf(p) || value > MaxOf(p)) {
        why = std::string(p.Name) + " = " + std::to_string(value) + " is outside [" +
              std::to_string(MinOf(p)) + ", " + std::to_string(MaxOf(p)) + "]";
        return false;
    }
    ForceParameter(index, value);
    return true;
}

void Instance::ForceParameter(int index, double value) {
    WriteTyped(parameters_.data() + parameter_offsets_[static_cast<std::size_t>(index)],
               model_.info->ParametersInfo[index].DataType, value);
}

void Instance::CopyStateFrom(const Instance& other) {
    int_states_.CopyFrom(other.int_states_);
    float_states_.CopyFrom(other.float_states_);
    double_states_.CopyFrom(other.double_states_);
    outputs_.CopyFrom(other.outputs_);
}

void Instance::ZeroOutputs() {
    if (outputs_.size() > 0) {
        std::memset(outputs_.data(), 0, outputs_.size());
    }
}

std::vector<double> Instance::Outputs() const {
    std::vector<double> values;
    for (int i = 0; i < model_.info->NumOutputPorts; ++i) {
        values.push_back(Output(i));
    }
    return values;
}

}  // namespace cigrehost
