// The input and output modules between the I/O buffer and the control modules.
//
// SimInput runs first in task list 1: it advances the environment time counter, keeps a copy
// of the 200 host inputs for other modules' input slots, derives the deblock and running
// command bytes and writes host channels 44..149 into module parameters. SimOutput runs last:
// it converts every bound variable into its output channel and ORs the protection flags.
#pragma once

#include <cstdint>

#include "framework/environment.h"
#include "framework/module.h"
#include "framework/slots.h"

namespace svg {

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
    const std::uint8_t* flag_inputs[kProtectionFlagInputs];
    std::uint8_t prot_flag;  // OR of the flag inputs
};

ModuleHeader* CreateSimInput(Environment* env, ModuleHeader* module, const char* name) noexcept;
ModuleHeader* CreateSimOutput(Environment* env, ModuleHeader* module, const char* name) noexcept;

// Points host channel `channel` (44..149) at a parameter; false when the channel is not one of
// that kind (a byte channel given a float target or the reverse, or out of range).
bool SetChannelTarget(SimInput* in, int channel, std::uint8_t* target) noexcept;
bool SetChannelTarget(SimInput* in, int channel, float* target) noexcept;

// Binds output channel 0..199 to a source of the given type code. 1 when the source is null,
// the channel is out of range or already bound (the binding is unchanged then), else 0.
int BindOutput(Environment* env, const void* source, int type_code, int channel) noexcept;

void SimInputStep(ModuleHeader* module) noexcept;
void SimOutputStep(ModuleHeader* module) noexcept;

}  // namespace svg
