// The model description: made from the controller's registrations and wiring, laid out as a
// C compiler lays out the blocks, and unchanged by running.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "cigre/block_layout.h"
#include "cigre/twin_run.h"
#include "framework/environment.h"
#include "framework/registry.h"
#include "support/temp_dir.h"
#include "variants/travik/host_channels.h"
#include "variants/travik/travik.h"

namespace svg::testing {
namespace {

using cigre::LayOutParameters;
using cigre::LayOutPorts;

constexpr auto kReal64 = IEEE_Cigre_DLLInterface_DataType_real64_T;
constexpr auto kInt32 = IEEE_Cigre_DLLInterface_DataType_int32_T;
constexpr auto kUint8 = IEEE_Cigre_DLLInterface_DataType_uint8_T;

IEEE_Cigre_DLLInterface_Signal Port(IEEE_Cigre_DLLInterface_DataType type, int width) {
    return {"p", "", "", type, width};
}

struct LayoutCase {
    std::vector<IEEE_Cigre_DLLInterface_Signal> ports;
    std::vector<std::size_t> offsets;
    std::size_t size;
};

// The offsets a C compiler gives the members of the block's struct.
TEST(CigreInfo, BlocksAreLaidOutAsTheCompilerLaysOutTheirStructs) {
    const LayoutCase cases[] = {
        {{Port(kReal64, 3), Port(kReal64, 1), Port(kInt32, 1)}, {0, 24, 32}, 40},
        {{Port(kReal64, 1), Port(kUint8, 1)}, {0, 8}, 16},
        {{Port(kInt32, 1), Port(kInt32, 1), Port(kReal64, 1)}, {0, 4, 8}, 16},
        {{Port(kUint8, 3), Port(IEEE_Cigre_DLLInterface_DataType_uint16_T, 1)}, {0, 4}, 6},
        {{}, {}, 0},
    };
    for (const LayoutCase& c : cases) {
        std::vector<std::size_t> offsets(c.ports.size());
        EXPECT_EQ(LayOutPorts(c.ports.data(), static_cast<int>(c.ports.size()), offsets.data()),
                  c.size);
        EXPECT_EQ(offsets, c.offsets);
    }
    const IEEE_Cigre_DLLInterface_Parameter parameters[] = {
        {"Ki",
         "",
         "",
         "",
         kReal64,
         0,
         {.Real64_Val = 20.0},
         {.Real64_Val = 0.0},
         {.Real64_Val = 1000.0}},
        {"Mode", "", "", "", kInt32, 1, {.Int32_Val = 1}, {.Int32_Val = 0}, {.Int32_Val = 2}},
    };
    std::size_t offsets[2];
    EXPECT_EQ(LayOutParameters(parameters, 2, offsets), 16u);
    EXPECT_EQ(offsets[1], 8u);
}

// Every registered parameter of a built controller, with its type and default, except those
// the wiring sets itself: the six over/under selectors of the protection elements.
TEST(CigreInfo, ParametersAreTheRegisteredOnesWithTheirTypesAndDefaults) {
    const IEEE_Cigre_DLLInterface_Model_Info& info = *TravikCigre().get_info();
    TempWorkDir dir;
    Environment* env = nullptr;
    ASSERT_EQ(BuildEnvironment(TravikVariant(), SystemAllocator(), &env), 0);
    std::set<std::string> missing;
    int found = 0;
    for (int e = 0; e < env->parameters->entry_count; ++e) {
        const RegistryEntry& r = env->parameters->entries[e];
        // Found by the registered name its description begins with; named after it with '_'
        // for '.', without "parm_" where the name would be longer than 31 characters.
        const std::string registered = std::string(r.name) + " (";
        const IEEE_Cigre_DLLInterface_Parameter* p = nullptr;
        for (int i = 0; i < info.NumParameters; ++i) {
            const std::string description = info.ParametersInfo[i].Description;
            p = description.starts_with(registered) ? &info.ParametersInfo[i] : p;
        }
        const std::string full = IdentifierOf(r.name);
        std::string name = full;
        if (full.size() > 31) {
            name.erase(full.find('_') + 1, 5);
        }
        if (p == nullptr) {
            missing.insert(r.name);
            continue;
        }
        ++found;
        EXPECT_EQ(p->Name, name);
        EXPECT_LE(std::string(p->Name).size(), 31u) << name;
        EXPECT_EQ(p->GroupName, std::string(r.name).substr(0, std::string(r.name).find('.')));
        if (r.type_code == 4) {  // f
            EXPECT_EQ(p->DataType, IEEE_Cigre_DLLInterface_DataType_real32_T) << name;
            EXPECT_EQ(std::bit_cast<std::uint32_t>(p->DefaultValue.Real32_Val), r.default_bits)
                << name;
        } else if (r.type_code == 0 || r.type_code == 7) {  // b, cu
            EXPECT_EQ(p->DataType, kUint8) << name;
            EXPECT_EQ(p->DefaultValue.Uint8_Val, r.default_bits & 0xFFu) << name;
        } else {
            EXPECT_EQ(p->DefaultValue.Uint32_Val, r.default_bits) << name;
        }
    }
    TearDownEnvironment(env, false);
    EXPECT_EQ(missing, (std::set<std::string>{"HallOC.parm_obCn3L1_ob", "DCPro.parm_obCn3L1_ob",
                                              "OFPro.parm_obCn3L1_ob", "UFPro.parm_obCn3L1_ob",
                                              "OVPro.parm_obCn3L3_ob", "UVPro.parm_obCn3L3_ob"}));
    // Besides them: the file switch, the run identifier and the three task factors.
    EXPECT_EQ(found + 5, info.NumParameters);
    EXPECT_STREQ(info.ParametersInfo[0].Name, "WriteFiles");
    EXPECT_EQ(info.ParametersInfo[0].DefaultValue.Uint8_Val, 0);
}

// FixedValue 0 exactly for the parameters a host channel writes, with the registered value.
TEST(CigreInfo, ParametersOfTheHostChannelsMayChangeWhileRunning) {
    const IEEE_Cigre_DLLInterface_Model_Info& info = *TravikCigre().get_info();
    std::set<std::string> targets;
    for (const ParameterChannel& row : kTravikParameterChannels) {
        targets.insert(IdentifierOf(row.target));
        const CigreRun run;
        const int i = run.ParameterIndex(IdentifierOf(row.target));
        const IEEE_Cigre_DLLInterface_Parameter& p = info.ParametersInfo[i];
        EXPECT_EQ(p.FixedValue, 0) << p.Name;
        const double value =
            row.write == ChannelWrite::kByte ? p.DefaultValue.Uint8_Val : p.DefaultValue.Real32_Val;
        EXPECT_EQ(value, static_cast<double>(static_cast<float>(row.registered))) << p.Name;
    }
    int changeable = 0;
    for (int i = 0; i < info.NumParameters; ++i) {
        changeable += info.ParametersInfo[i].FixedValue == 0 ? 1 : 0;
    }
    EXPECT_EQ(changeable, static_cast<int>(targets.size()));
}

// Output channels 0..39, named after their sources, flags as bytes.
TEST(CigreInfo, OutputPortsAreTheBoundChannelsNamedAfterTheirSources) {
    const IEEE_Cigre_DLLInterface_Model_Info& info = *TravikCigre().get_info();
    ASSERT_EQ(info.NumOutputPorts, 40);
    struct Expect {
        int port;
        const char* name;
        int type;
    };
    const Expect expected[] = {
        {0, "ModCal_set_mod_a_sum", IEEE_Cigre_DLLInterface_DataType_real32_T},
        {3, "SimInput_deblock_cmd", IEEE_Cigre_DLLInterface_DataType_int8_T},
        {6, "PLL_set_grid_freq", IEEE_Cigre_DLLInterface_DataType_real32_T},
        {9, "HLVRTCtrl_flg_LVRT_mod", IEEE_Cigre_DLLInterface_DataType_int8_T},
        {20, "SimOutput_prot_flag", kUint8},
        {17, "InPhaseVolCtrl_Udca_bal_coef", IEEE_Cigre_DLLInterface_DataType_real32_T},
        {26, "GfmCtrl_grid_theta_GFM", IEEE_Cigre_DLLInterface_DataType_real32_T},
        {39, "UVPro_flg_obCn3L3_03", kUint8},
    };
    for (const Expect& e : expected) {
        EXPECT_STREQ(info.OutputPortsInfo[e.port].Name, e.name);
        EXPECT_EQ(info.OutputPortsInfo[e.port].DataType, e.type) << e.name;
    }
    EXPECT_EQ(info.NumInputPorts, 44);
    EXPECT_STREQ(info.InputPortsInfo[43].Name, "running");
    EXPECT_EQ(info.FixedStepBaseSampleTime, 1e-4);
    EXPECT_EQ(info.EMT_RMS_Mode, 1);
}

TEST(CigreInfo, DescriptionIsOneAndUnchangedByARun) {
    const IEEE_Cigre_DLLInterface_Model_Info* info = TravikCigre().get_info();
    const std::vector<unsigned char> before(
        reinterpret_cast<const unsigned char*>(info->ParametersInfo),
        reinterpret_cast<const unsigned char*>(info->ParametersInfo + info->NumParameters));
    unsigned char copy[sizeof *info];
    std::memcpy(copy, info, sizeof copy);
    {
        TempWorkDir dir;
        CigreRun run;
        run.SetParameter<float>("PLL_parm_pll_kp", 30.0f);
        ASSERT_EQ(run.Start(), 0);
        for (int k = 0; k < 100; ++k) {
            ASSERT_EQ(run.Step(), 0);
        }
        ASSERT_EQ(run.Terminate(), 0);
    }
    EXPECT_EQ(TravikCigre().get_info(), info);
    EXPECT_EQ(std::memcmp(copy, info, sizeof copy), 0);
    EXPECT_TRUE(std::equal(before.begin(), before.end(),
                           reinterpret_cast<const unsigned char*>(info->ParametersInfo)));
}

}  // namespace
}  // namespace svg::testing
