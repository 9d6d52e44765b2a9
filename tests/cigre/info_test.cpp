// The model description: made from the controller's registrations and wiring, laid out as a
// C compiler lays out the blocks, and unchanged by running.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <regex>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "cigre/block_layout.h"
#include "cigre/twin_run.h"
#include "support/temp_dir.h"
#include "variants/pellum/host_channels.h"
#include "variants/travik/host_channels.h"

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

// A registered parameter as the three-function library's parameter table lists it.
struct Registered {
    std::string name;
    int type_code;
    std::uint32_t default_bits;
};

// The parameter table (allParams_0.tbl) the three-function library of `d` writes at the end of
// a run with no description file: every registered parameter with its registered default.
std::vector<Registered> RegisteredParameters(const Deliverable& d) {
    TempWorkDir dir;
    {
        HostRun run(d);
        EXPECT_EQ(run.Init(), 0);
    }
    std::vector<Registered> rows;
    const std::regex line(R"re(\.name="([^"]*)".*\.type=([0-9]+),.*\{\.uv=([0-9]+)\})re");
    std::istringstream table(ReadFile("allParams_0.tbl"));
    for (std::string text; std::getline(table, text);) {
        std::smatch m;
        if (std::regex_search(text, m, line)) {
            rows.push_back({m[1], std::stoi(m[2]), static_cast<std::uint32_t>(std::stoul(m[3]))});
        }
    }
    return rows;
}

// What each model offers besides its ports: the registered parameters it does not offer (the
// full build: the six over/under selectors the wiring sets itself; the reduced build: the
// settings that input ports stand for) and the parameters host channels write.
struct Offer {
    const CigreModel* model;
    std::set<std::string> not_offered;
    std::span<const ParameterChannel> channel_parameters;
    int output_ports;
};

const Offer kOffers[] = {
    {&kTravikCigre,
     {"HallOC.parm_obCn3L1_ob", "DCPro.parm_obCn3L1_ob", "OFPro.parm_obCn3L1_ob",
      "UFPro.parm_obCn3L1_ob", "OVPro.parm_obCn3L3_ob", "UVPro.parm_obCn3L3_ob"},
     kTravikParameterChannels,
     40},
    {&kPellumCigre,
     {"HLVRTCtrl.parm_HVRT_k", "HLVRTCtrl.parm_LVRT_k", "HLVRTCtrl.parm_Iq0_k",
      "HLVRTCtrl.parm_HVRT_in", "HLVRTCtrl.parm_HVRT_out", "HLVRTCtrl.parm_LVRT_in",
      "HLVRTCtrl.parm_LVRT_out", "HLVRTCtrl.parm_Iqpos_ref_min", "ModeCtrl.parm_Iqpos_ref_lim",
      "CurRefCal.parm_Iqpos_ref_lim"},
     {},
     57},
};

class CigreInfo : public ::testing::TestWithParam<const Offer*> {
  protected:
    const Offer& offer_ = *GetParam();
    const CigreModel& model_ = *offer_.model;
    const IEEE_Cigre_DLLInterface_Model_Info& info_ = *model_.library().get_info();
};

// Every registered parameter of the controller, with its type and default, except those it
// does not offer.
TEST_P(CigreInfo, ParametersAreTheRegisteredOnesWithTheirTypesAndDefaults) {
    const IEEE_Cigre_DLLInterface_Model_Info& info = info_;
    std::set<std::string> missing;
    int found = 0;
    const std::vector<Registered> registered_parameters = RegisteredParameters(*model_.reference);
    ASSERT_GT(registered_parameters.size(), 100u);
    for (const Registered& r : registered_parameters) {
        // Found by the registered name its description begins with; named after it with '_'
        // for '.', without "parm_" where the name would be longer than 31 characters.
        const std::string registered = r.name + " (";
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
        EXPECT_EQ(p->GroupName, r.name.substr(0, r.name.find('.')));
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
    EXPECT_EQ(missing, offer_.not_offered);
    // Besides them: the file switch, the run identifier and the three task factors.
    EXPECT_EQ(found + 5, info.NumParameters);
    EXPECT_STREQ(info.ParametersInfo[0].Name, "WriteFiles");
    EXPECT_EQ(info.ParametersInfo[0].DefaultValue.Uint8_Val, 0);
}

// FixedValue 0 exactly for the parameters a host channel writes, with the registered value.
TEST_P(CigreInfo, ParametersOfTheHostChannelsMayChangeWhileRunning) {
    const IEEE_Cigre_DLLInterface_Model_Info& info = info_;
    std::set<std::string> targets;
    for (const ParameterChannel& row : offer_.channel_parameters) {
        targets.insert(IdentifierOf(row.target));
        const CigreRun run(model_);
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

// The input ports are the host input channels the build reads, in its table's order and words;
// the reduced build's settings ports name the parameter they stand for and its registered
// value, which is what a host gives them unless told otherwise.
TEST_P(CigreInfo, InputPortsAreTheHostInputChannelsTheBuildReads) {
    ASSERT_EQ(info_.NumInputPorts, model_.input_count);
    for (int i = 0; i < model_.input_count; ++i) {
        const IEEE_Cigre_DLLInterface_Signal& port = info_.InputPortsInfo[i];
        EXPECT_STREQ(port.Name, model_.inputs[i].name);
        EXPECT_STREQ(port.Unit, model_.inputs[i].unit);
        EXPECT_STREQ(port.Description, model_.inputs[i].meaning);
        EXPECT_EQ(port.DataType, kReal64);
        EXPECT_EQ(port.Width, 1);
        EXPECT_TRUE(i == 0 || model_.inputs[i].channel > model_.inputs[i - 1].channel);
    }
    EXPECT_STREQ(info_.InputPortsInfo[model_.PortOf(model_.reference->running_channel)].Name,
                 "running");
    EXPECT_STREQ(info_.InputPortsInfo[model_.PortOf(model_.reference->deblock_channel)].Name,
                 "deblock");
    if (model_.reference->reduced()) {
        for (const ParameterChannel& row : kPellumParameterChannels) {
            const int port = model_.PortOf(row.channel);
            ASSERT_GE(port, 0) << row.target;
            const std::string meaning = info_.InputPortsInfo[port].Description;
            std::ostringstream value;
            value << "registered value " << row.registered;
            EXPECT_NE(meaning.find(row.target), std::string::npos) << meaning;
            EXPECT_NE(meaning.find(value.str()), std::string::npos) << meaning;
        }
    }
}

struct ExpectedPort {
    const CigreModel* model;
    int port;
    const char* name;
    int type;
};

// Full build: output channels 0..39, named after their sources, flags as bytes. Reduced build:
// its wave channels, with the types they are recorded in.
TEST(CigreInfo, OutputPortsAreTheHostOutputsNamedAfterTheirSources) {
    constexpr auto kReal32 = IEEE_Cigre_DLLInterface_DataType_real32_T;
    constexpr auto kInt8 = IEEE_Cigre_DLLInterface_DataType_int8_T;
    const ExpectedPort expected[] = {
        {&kTravikCigre, 0, "ModCal_set_mod_a_sum", kReal32},
        {&kTravikCigre, 3, "SimInput_deblock_cmd", kInt8},
        {&kTravikCigre, 6, "PLL_set_grid_freq", kReal32},
        {&kTravikCigre, 9, "HLVRTCtrl_flg_LVRT_mod", kInt8},
        {&kTravikCigre, 20, "SimOutput_prot_flag", kUint8},
        {&kTravikCigre, 17, "InPhaseVolCtrl_Udca_bal_coef", kReal32},
        {&kTravikCigre, 26, "GfmCtrl_grid_theta_GFM", kReal32},
        {&kTravikCigre, 39, "UVPro_flg_obCn3L3_03", kUint8},
        {&kPellumCigre, 0, "Parameter_Task1", kReal32},
        {&kPellumCigre, 10, "Parameter_trans_type", kUint8},
        {&kPellumCigre, 16, "Parameter_cellnum", IEEE_Cigre_DLLInterface_DataType_uint32_T},
        {&kPellumCigre, 25, "ModCal_set_mod_a_sum", kReal32},
        {&kPellumCigre, 31, "HLVRTCtrl_flg_HVRT_mod", kUint8},
        {&kPellumCigre, 48, "PLL_set_grid_freq", kReal32},
        {&kPellumCigre, 53, "UFedCtrl_flg_ffsw", kUint8},
        {&kPellumCigre, 56, "ThreeHarCtrl_threehar_a_neg", kReal32},
    };
    for (const ExpectedPort& e : expected) {
        const IEEE_Cigre_DLLInterface_Model_Info& info = *e.model->library().get_info();
        EXPECT_STREQ(info.OutputPortsInfo[e.port].Name, e.name);
        EXPECT_EQ(info.OutputPortsInfo[e.port].DataType, e.type) << e.name;
    }
    for (const Offer& offer : kOffers) {
        const IEEE_Cigre_DLLInterface_Model_Info& info = *offer.model->library().get_info();
        EXPECT_EQ(info.NumOutputPorts, offer.output_ports) << offer.model->name;
        EXPECT_EQ(info.FixedStepBaseSampleTime, 1e-4);
        EXPECT_EQ(info.EMT_RMS_Mode, 1);
    }
}

TEST_P(CigreInfo, DescriptionIsOneAndUnchangedByARun) {
    const IEEE_Cigre_DLLInterface_Model_Info* info = model_.library().get_info();
    const std::vector<unsigned char> before(
        reinterpret_cast<const unsigned char*>(info->ParametersInfo),
        reinterpret_cast<const unsigned char*>(info->ParametersInfo + info->NumParameters));
    unsigned char copy[sizeof *info];
    std::memcpy(copy, info, sizeof copy);
    {
        TempWorkDir dir;
        CigreRun run(model_);
        run.SetParameter<float>("PLL_parm_pll_kp", 30.0f);
        ASSERT_EQ(run.Start(), 0);
        for (int k = 0; k < 100; ++k) {
            ASSERT_EQ(run.Step(), 0);
        }
        ASSERT_EQ(run.Terminate(), 0);
    }
    EXPECT_EQ(model_.library().get_info(), info);
    EXPECT_EQ(std::memcmp(copy, info, sizeof copy), 0);
    EXPECT_TRUE(std::equal(before.begin(), before.end(),
                           reinterpret_cast<const unsigned char*>(info->ParametersInfo)));
}

INSTANTIATE_TEST_SUITE_P(Models, CigreInfo, ::testing::ValuesIn([] {
                             std::vector<const Offer*> offers;
                             for (const Offer& o : kOffers) {
                                 offers.push_back(&o);
                             }
                             return offers;
                         }()),
                         [](const auto& param_info) {
                             return std::string(param_info.param->model->name);
                         });

}  // namespace
}  // namespace svg::testing
