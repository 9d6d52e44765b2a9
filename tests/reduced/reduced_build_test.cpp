// What only the reduced build has, checked on a controller built in the test process: its
// command bytes, the parameters it lacks, and the channels that stand for parameters.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "framework/environment.h"
#include "framework/registry.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "modules/CurTrans.h"
#include "modules/HLVRTCtrl.h"
#include "modules/PLL.h"
#include "modules/Parameter.h"
#include "modules/UFedCtrl.h"
#include "support/temp_dir.h"
#include "variants/pellum/host_channels.h"
#include "variants/pellum/pellum.h"

namespace svg::testing {
namespace {

class ReducedBuild : public ::testing::Test {
  protected:
    void Build() { ASSERT_EQ(BuildEnvironment(PellumVariant(), SystemAllocator(), &env_), 0); }
    ~ReducedBuild() override { TearDownEnvironment(env_, false); }
    const RegistryEntry* Find(const char* name) const {
        for (int i = 0; i < env_->parameters->entry_count; ++i) {
            if (std::strcmp(env_->parameters->entries[i].name, name) == 0) {
                return &env_->parameters->entries[i];
            }
        }
        return nullptr;
    }

    TempWorkDir dir_;
    Environment* env_ = nullptr;
};

// Inputs 60..63 become the four byte flags through the one truncation: toward zero, the low
// byte of the integer, and 0 for what is not a number or beyond the integer range.
TEST_F(ReducedBuild, InputsSixtyToSixtyThreeAreTruncatedToBytes) {
    Build();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double input;
        std::uint8_t flag;
    };
    const Case cases[] = {{0.9, 0},   {1.0, 1},   {1.7, 1},    {-0.5, 0},  {255.9, 255},
                          {256.0, 0}, {257.0, 1}, {-1.0, 255}, {1e30, 0},  {-1e30, 0},
                          {nan, 0},   {inf, 0},   {-inf, 0},   {4e-310, 0}};
    std::array<double, kHostChannels> in{};
    std::array<double, kHostChannels> out{};
    const SimInput& sim = *ModuleAt<SimInput>(env_, kSlotSimInput);
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        for (int flag = 0; flag < kByteFlagCount; ++flag) {  // each channel another case
            in[kByteFlagFirst + flag] = cases[(k + flag) % std::size(cases)].input;
        }
        StepEnvironment(env_, in.data(), out.data());
        for (int flag = 0; flag < kByteFlagCount; ++flag) {
            const Case& c = cases[(k + flag) % std::size(cases)];
            EXPECT_EQ(sim.byte_flag[flag], c.flag) << "input " << 60 + flag << " = " << c.input;
        }
    }
    EXPECT_EQ(DeblockCommand(&sim), &sim.byte_flag[0]);
    EXPECT_EQ(RunningCommand(&sim), &sim.byte_flag[1]);
}

// A parameter the reduced build lacks holds the full build's default and is out of reach of
// the description file; a parameter it registers with another type takes values of that type.
TEST_F(ReducedBuild, ParametersItLacksHoldTheFullDefaultsWhateverTheDescriptionFileSays) {
    WriteFile("allDescriptions_0.tsv",
              "CurTrans.parm_HALL_wc_lpf_kp\t\ttype=f\t\tdefault=9\n"
              "PLL.parm_transtype_u\t\ttype=cu\t\tdefault=1\n"
              "UFedCtrl.parm_ffsw_relaytime\t\ttype=f\t\tdefault=2\n"
              "Parameter.parm_Auto_Uadjust_Cellnum\t\ttype=iu\t\tdefault=5\n");
    Build();
    EXPECT_EQ(ModuleAt<CurTrans>(env_, kSlotCurTrans)->parm_HALL_wc_lpf_kp, 3.0f);
    EXPECT_EQ(ModuleAt<CurTrans>(env_, kSlotCurTrans)->parm_IZero_wc_lpf, 3140.0f);
    EXPECT_EQ(ModuleAt<CurTrans>(env_, kSlotCurTrans)->ena_HALL_lpf_transient, 1);
    EXPECT_EQ(ModuleAt<UFedCtrl>(env_, kSlotUFedCtrl)->parm_ffsw_relaytime, 0.625f);
    EXPECT_EQ(ModuleAt<HLVRTCtrl>(env_, kSlotHLVRTCtrl)->parm_Iqpos_ref_lim, 1.1f);
    const PLL& pll = *ModuleAt<PLL>(env_, kSlotPLL);
    EXPECT_EQ(pll.parm_transtype_u, 0) << "the double synchronous frame is the only method";
    EXPECT_EQ(pll.parm_PllParmGain, 1.0f);
    EXPECT_EQ(ModuleAt<Parameter>(env_, kSlotParameter)->parm_Auto_Uadjust_Cellnum, 5u);
    EXPECT_EQ(Find("CurTrans.parm_HALL_wc_lpf_kp")->address, nullptr);  // the file's own line
}

// Channels 48..56 stand for registered parameters: each is in the registry with the value the
// table gives the channel, and the module input it feeds reads it.
TEST_F(ReducedBuild, SettingChannelsStandForRegisteredParametersAndFeedTheirInputs) {
    Build();
    for (const ParameterChannel& row : kPellumParameterChannels) {
        const RegistryEntry* entry = Find(std::string(row.target).c_str());
        ASSERT_NE(entry, nullptr) << row.target;
        EXPECT_NE(entry->address, nullptr) << row.target;
        EXPECT_EQ(entry->default_value, static_cast<float>(row.registered)) << row.target;
    }
    const SimInput* in = ModuleAt<SimInput>(env_, kSlotSimInput);
    const HLVRTCtrl& vrt = *ModuleAt<HLVRTCtrl>(env_, kSlotHLVRTCtrl);
    const float* const settings[] = {vrt.sim_HVRT_k,   vrt.sim_LVRT_k,       vrt.sim_Iq0_k,
                                     vrt.sim_HVRT_in,  vrt.sim_HVRT_out,     vrt.sim_LVRT_in,
                                     vrt.sim_LVRT_out, vrt.sim_Iqpos_ref_min};
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(settings[k], &in->input[48 + k]) << "channel " << 48 + k;
    }
    const Parameter& par = *ModuleAt<Parameter>(env_, kSlotParameter);
    EXPECT_EQ(par.sim_Qn_Mvar, &in->input[43]);
    EXPECT_EQ(par.sim_Un_kV, &in->input[44]);
    EXPECT_EQ(par.sim_LTotCal, &in->input[45]);
}

}  // namespace
}  // namespace svg::testing
