#include "framework/sim_io.h"

#include "blocks/numeric.h"
#include "framework/type_codes.h"

namespace svg {
namespace {

int RegisterSimInputTasks(ModuleHeader* module, int list) {
    return RegisterTask(list, &SimInputStep, module);
}

int RegisterSimOutputTasks(ModuleHeader* module, int list) {
    return RegisterTask(list, &SimOutputStep, module);
}

#if !SVG_REDUCED_BUILD
template <class T, int N>
void PointAll(T* (&targets)[N], T* cell) {
    for (T*& target : targets) {
        target = cell;
    }
}

template <int N>
void WriteBytes(std::uint8_t* const (&targets)[N], const float* input, int first) {
    for (int k = 0; k < N; ++k) {
        *targets[k] = TruncToByte(input[first + k]);
    }
}

template <int N>
void WriteFloats(float* const (&targets)[N], const float* input, int first) {
    for (int k = 0; k < N; ++k) {
        *targets[k] = input[first + k];
    }
}

// Finds the target array element that serves `channel`, or null.
template <class T, int N>
T** TargetIn(T* (&targets)[N], int first, int channel) {
    return channel >= first && channel < first + N ? &targets[channel - first] : nullptr;
}
#endif

// Output channels carry c, i, l, f, cu, iu and lu sources; any other type code gives 0.
float ConvertBound(const OutputBinding& binding) {
    const int type = static_cast<int>(binding.type_word & 0xFFu);
    switch (type) {
        case kTypeC:
        case kTypeI:
        case kTypeL:
        case kTypeF:
        case kTypeCu:
        case kTypeIu:
        case kTypeLu:
            return static_cast<float>(ReadAsDouble(binding.source, type));
        default:
            return 0.0f;
    }
}

}  // namespace

ModuleHeader* CreateSimInput(Environment* env, ModuleHeader* module, const char* name) noexcept {
    InitHeader(module, env, "SimInput", name, &RegisterSimInputTasks);
#if !SVG_REDUCED_BUILD
    SimInput* in = As<SimInput>(module);
    PointAll(in->byte_targets1, &in->scratch_byte);
    PointAll(in->byte_targets2, &in->scratch_byte);
    PointAll(in->float_targets1, &in->scratch_float);
    PointAll(in->float_targets2, &in->scratch_float);
    PointAll(in->float_targets3, &in->scratch_float);
#endif
    env->time_counter = 0;
    return module;
}

ModuleHeader* CreateSimOutput(Environment* env, ModuleHeader* module, const char* name) noexcept {
    InitHeader(module, env, "SimOutput", name, &RegisterSimOutputTasks);
    SimOutput* out = As<SimOutput>(module);
    for (OutputBinding& binding : out->bindings) {
        binding = {nullptr, static_cast<std::uint32_t>(kTypeNo)};
    }
    out->bound_count = 0;
    for (const std::uint8_t*& flag : out->flag_inputs) {
        flag = ZeroCellByte();
    }
    return module;
}

#if !SVG_REDUCED_BUILD
bool SetChannelTarget(SimInput* in, int channel, std::uint8_t* target) noexcept {
    std::uint8_t** slot = TargetIn(in->byte_targets1, kByteTargets1First, channel);
    if (slot == nullptr) {
        slot = TargetIn(in->byte_targets2, kByteTargets2First, channel);
    }
    if (slot == nullptr || target == nullptr) {
        return false;
    }
    *slot = target;
    return true;
}

bool SetChannelTarget(SimInput* in, int channel, float* target) noexcept {
    float** slot = TargetIn(in->float_targets1, kFloatTargets1First, channel);
    if (slot == nullptr) {
        slot = TargetIn(in->float_targets2, kFloatTargets2First, channel);
    }
    if (slot == nullptr) {
        slot = TargetIn(in->float_targets3, kFloatTargets3First, channel);
    }
    if (slot == nullptr || target == nullptr) {
        return false;
    }
    *slot = target;
    return true;
}
#endif

int BindOutput(Environment* env, const void* source, int type_code, int channel) noexcept {
    SimOutput* out = ModuleAt<SimOutput>(env, kSlotSimOutput);
    if (out == nullptr || source == nullptr || channel < 0 || channel >= kHostChannels ||
        (out->bindings[channel].type_word & kOutputBound) != 0) {
        return 1;
    }
    out->bindings[channel] = {source,
                              (static_cast<std::uint32_t>(type_code) & 0xFFu) | kOutputBound};
    out->bound_channels[out->bound_count] = static_cast<std::uint8_t>(channel);
    ++out->bound_count;
    return 0;
}

void SimInputStep(ModuleHeader* module) noexcept {
    SimInput* in = As<SimInput>(module);
    Environment* env = module->env;
    env->time_counter += static_cast<std::uint32_t>(env->scheduler->time_increment);
    for (int i = 0; i < kHostChannels; ++i) {
        in->input[i] = env->io[i];
    }
#if SVG_REDUCED_BUILD
    for (int k = 0; k < kByteFlagCount; ++k) {
        in->byte_flag[k] = TruncToByte(in->input[kByteFlagFirst + k]);
    }
#else
    in->deblock_cmd = TruncToByte(in->input[kDeblockChannel]);
    in->running_cmd = TruncToByte(in->input[kRunningChannel]);
    WriteBytes(in->byte_targets1, in->input, kByteTargets1First);
    WriteFloats(in->float_targets1, in->input, kFloatTargets1First);
    WriteBytes(in->byte_targets2, in->input, kByteTargets2First);
    WriteFloats(in->float_targets2, in->input, kFloatTargets2First);
    WriteFloats(in->float_targets3, in->input, kFloatTargets3First);
#endif
}

void SimOutputStep(ModuleHeader* module) noexcept {
    SimOutput* out = As<SimOutput>(module);
    std::uint8_t flag = 0;
    for (const std::uint8_t* input : out->flag_inputs) {
        flag = static_cast<std::uint8_t>(flag | *input);
    }
    out->prot_flag = flag;
    // Only the bound channels: every other output channel keeps the 0 it was built with.
    float* io = module->env->io;
    for (int i = 0; i < out->bound_count; ++i) {
        const int channel = out->bound_channels[i];
        io[kOutputBase + channel] = ConvertBound(out->bindings[channel]);
    }
}

}  // namespace svg
