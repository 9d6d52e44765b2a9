// The host-channel table that stand-in hosts and test drivers fill channels 44..149 from,
// checked against a built controller: each channel reaches the parameter the table names,
// with the table's write kind and the parameter's registered default.
#include "variants/travik/host_channels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/environment.h"
#include "framework/registry.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "framework/type_codes.h"
#include "support/temp_dir.h"
#include "variants/travik/travik.h"

namespace svg::testing {
namespace {

// Where the input module writes a channel, and whether it writes a byte there.
struct Target {
    void* address;
    bool byte;
};

Target TargetOf(SimInput& in, int channel) {
    if (channel >= kByteTargets1First && channel < kByteTargets1First + kByteTargets1Count) {
        return {in.byte_targets1[channel - kByteTargets1First], true};
    }
    if (channel >= kByteTargets2First && channel < kByteTargets2First + kByteTargets2Count) {
        return {in.byte_targets2[channel - kByteTargets2First], true};
    }
    if (channel >= kFloatTargets1First && channel < kFloatTargets1First + kFloatTargets1Count) {
        return {in.float_targets1[channel - kFloatTargets1First], false};
    }
    if (channel >= kFloatTargets2First && channel < kFloatTargets2First + kFloatTargets2Count) {
        return {in.float_targets2[channel - kFloatTargets2First], false};
    }
    return {in.float_targets3[channel - kFloatTargets3First], false};
}

const RegistryEntry* Find(SignalRegistry& registry, std::string_view name) {
    std::memset(registry.name_slot, 0, kSlotLen);
    name.copy(registry.name_slot, kSlotLen);
    return Lookup(registry);
}

TEST(HostChannelTable, EveryParameterChannelReachesTheNamedParameterWithItsRegisteredDefault) {
    TempWorkDir dir;  // no description file: the registry holds the built-in defaults
    Environment* env = nullptr;
    ASSERT_EQ(BuildEnvironment(TravikVariant(), SystemAllocator(), &env), 0);
    SimInput& in = *ModuleAt<SimInput>(env, kSlotSimInput);

    int expected_channel = 44;
    int built = 0;
    for (const ParameterChannel& row : kTravikParameterChannels) {
        SCOPED_TRACE("channel " + std::to_string(row.channel) + " " + std::string(row.target));
        EXPECT_EQ(row.channel, expected_channel++);
        const Target target = TargetOf(in, row.channel);
        EXPECT_EQ(target.byte, row.write == ChannelWrite::kByte);
        const RegistryEntry* entry = Find(*env->parameters, row.target);
        ASSERT_NE(entry, nullptr);
        ++built;
        EXPECT_EQ(target.address, entry->address);
        EXPECT_EQ(entry->type_code, row.write == ChannelWrite::kByte ? kTypeCu : kTypeF);
        EXPECT_EQ(entry->default_value, static_cast<float>(row.registered));
    }
    EXPECT_EQ(expected_channel, 150);
    EXPECT_EQ(built, 106);
    // No channel is left writing the input module's scratch cells.
    for (int channel = 44; channel < 150; ++channel) {
        const Target target = TargetOf(in, channel);
        EXPECT_NE(target.address, &in.scratch_byte) << channel;
        EXPECT_NE(target.address, &in.scratch_float) << channel;
    }
    EXPECT_EQ(TearDownEnvironment(env, false), 0);
}

}  // namespace
}  // namespace svg::testing
