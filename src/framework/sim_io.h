// The input and output modules between the I/O buffer and the control modules.
//
// SimInput runs first in task list 1: it advances the environment time counter, keeps a copy
// of the host inputs for other modules' input slots and derives the command bytes. In the
// full controller it also writes host channels 44..149 into module parameters; the reduced
// controller reads its 64 inputs only through input slots, and its byte flags are inputs
// 60..63. SimOutput runs last: it converts every bound variable into its output channel and
// ORs the protection flags (the reduced controller binds none).
#pragma once

#include <cstdint>

#include "framework/environment.h"
#include "framework/module.h"
#include "framework/slots.h"

namespace svg {

#if SVG_REDUCED_BUILD
inline constexpr int kByteFlagFirst = 60;  // inputs 60..63
inline constexpr int kByteFlagCount = 4;
inline constexpr int kDeblockFlag = 0;  // input 60
inline constexpr int kRunningFlag = 1;  // input 61

struct SimInput {
    ModuleHeader hdr;
    float input[kHostChannels];              // copy of I/O buffer positions 0..63
    std::uint8_t byte_flag[kByteFlagCount];  // inputs 60..63 truncated to bytes
};
#else
inline constexpr int kByteTargets1First = 44;  // channels 44..59
inline constexpr int kByteTargets1Count = 16;
inline constexpr int kFloatTargets1First = 60;  // channels 60..123
inline constexpr int kFloatTargets1Count = 64;
inline constexpr int kByteTargets2First = 124;  // channels 124..126
inline constexpr int kByteTargets2Count = 3;
inline constexpr int kFloatTargets2First = 127;  // channels 127..142
inline constexpr int kFloatTargets2Count = 16;
inline constexpr int kFloatTargets3First = 143;  // channels 143..149
inline constexpr int kFloatTargets3Count = 7;
inline constexpr int kDeblockChannel = 42;
inline constexpr int kRunningChannel = 43;

struct SimInput {
    ModuleHeader hdr;
    float input[kHostChannels];  // copy of I/O buffer positions 0..199
    std::uint8_t deblock_cmd;    // low byte of the truncated input 42
    std::uint8_t running_cmd;    // low byte of the truncated input 43
    std::uint8_t* byte_targets1[kByteTargets1Count];
    std::uint8_t* byte_targets2[kByteTargets2Count];
    float* float_targets1[kFloatTargets1Count];
    float* float_targets2[kFloatTargets2Count];
    float* float_targets3[kFloatTargets3Count];
    // Where a channel's target does not exist in this build, it writes here: never into the
    // shared zero cell, never through a null pointer.
    std::uint8_t scratch_byte;
    float scratch_float;
};
#endif

inline constexpr std::uint32_t kOutputBound = 0x100u;
inline constexpr int kProtectionFlagInputs = 20;

struct OutputBinding {
    const void* source;
    std::uint32_t type_word;  // low 8 bits: type code; kOutputBound: channel is bound
};

struct SimOutput {
    ModuleHeader hdr;
    OutputBinding bindings[kHostChannels];
    std::int32_t bound_count;
    std::uint8_t bound_channels[kHostChannels];  // the bound channels, in binding order
    static_assert(kHostChannels <= 256, "a bound channel is kept as a byte");
    const std::uint8_t* flag_inputs[kProtectionFlagInputs];
    std::uint8_t prot_flag;  // OR of the flag inputs
};

ModuleHeader* CreateSimInput(Environment* env, ModuleHeader* module, const char* name) noexcept;
ModuleHeader* CreateSimOutput(Environment* env, ModuleHeader* module, const char* name) noexcept;

#if !SVG_REDUCED_BUILD
// Points host channel `channel` (44..149) at a parameter; false when the channel is not one of
// that kind (a byte channel given a float target or the reverse, or out of range).
bool SetChannelTarget(SimInput* in, int channel, std::uint8_t* target) noexcept;
bool SetChannelTarget(SimInput* in, int channel, float* target) noexcept;
#endif

#if SVG_REDUCED_BUILD
// The reduced controller has no parameter channels: its host inputs reach the modules through
// input slots only, so there is no target to point.
template <class T>
bool SetChannelTarget(SimInput*, int, T*) noexcept {
    return false;
}
#endif

// The deblock and running command bytes the modules read.
inline const std::uint8_t* DeblockCommand(const SimInput* in) noexcept {
#if SVG_REDUCED_BUILD
    return &in->byte_flag[kDeblockFlag];
#else
    return &in->deblock_cmd;
#endif
}
inline const std::uint8_t* RunningCommand(const SimInput* in) noexcept {
#if SVG_REDUCED_BUILD
    return &in->byte_flag[kRunningFlag];
#else
    return &in->running_cmd;
#endif
}

// Binds output channel 0..kHostChannels-1 to a source of the given type code. 1 when the source is
// null, the channel is out of range or already bound (the binding is unchanged then), else 0.
int BindOutput(Environment* env, const void* source, int type_code, int channel) noexcept;

void SimInputStep(ModuleHeader* module) noexcept;
void SimOutputStep(ModuleHeader* module) noexcept;

}  // namespace svg
