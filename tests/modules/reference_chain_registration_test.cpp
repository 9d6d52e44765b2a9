// The reference-chain modules in the full build: slots, type names, registration order,
// start-up work and task order.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "framework/registry.h"
#include "modules/PQCal.h"
#include "reference_chain_fixture.h"

namespace svg::testing::refchain {
namespace {

struct Registration {
    const char* instance;
    int slot;
    const char* type_name;
    std::vector<std::string> variables;
    std::vector<std::string> parameters;
};

const Registration kRegistrations[] = {
    {"HLVRTCtrl",
     kSlotHLVRTCtrl,
     "HLVRTCtrl",
     {"set_Iqpos_ref_sel", "flg_HVRT_mod", "flg_LVRT_mod", "flg_ZVRT_mod", "set_Ipqref_lock",
      "Hysteresis_HVRT", "test3", "Hysteresis_LVRT_temp0", "Hysteresis_HVRT_temp",
      "Hysteresis_LVRT_temp1", "test1"},
     {"ena_VRT", "parm_VRT_mode", "parm_HVRT_k", "parm_LVRT_k", "parm_Iq0_k", "parm_HVRT_in",
      "parm_HVRT_out", "parm_LVRT_in", "parm_LVRT_out", "parm_HVRT_strong", "parm_LVRT_strong",
      "parm_Iqpos_ref_min", "parm_Iqpos_ref_lim", "parm_VRT_site", "parm_HLVRT_delay_time",
      "ena_Uneglim"}},
    {"UdcVolCtrl",
     kSlotUdcVolCtrl,
     "UdcVolCtrl",
     {"set_Udccmd_final",
      "set_Udc_mean",
      "set_Idpos_ref",
      "set_Idneg_cl_ref",
      "set_Iqneg_cl_ref",
      "set_Udcctrl_follow",
      "set_Idnegctrl_cl_follow",
      "set_Iqnegctrl_cl_follow",
      "udc_fbk_pu",
      "udc_ref_pu",
      "Udc_err",
      "Ineg_ena_temp",
      "Idnegctrl_err",
      "Iqnegctrl_err",
      "Udc_A_delay",
      "Udc_A_fil",
      "length",
      "index",
      "freq_temp",
      "temp5",
      "UdcASum_FPGA",
      "UdcBSum_FPGA",
      "UdcCSum_FPGA",
      "u16A",
      "u16B",
      "u16C",
      "test1"},
     {"parm_Udccmd", "parm_Udccmd_HVRT", "parm_Udccmd_LVRT", "parm_Udccmd_slope", "parm_Udcctrl_kp",
      "parm_Udcctrl_ki", "parm_Udcctrl_pilim", "parm_Udcctrl_kilim", "ena_Inegctrl_cl",
      "parm_Inegctrl_kp", "parm_Inegctrl_ki", "parm_Inegctrl_pilim", "parm_Inegctrl_kilim",
      "parm_CapPM"}},
    {"CurRef",
     kSlotCurRef,
     "Curref",
     {"set_Idneg_op_ref", "set_Iqneg_op_ref", "set_Idzero_ref", "set_Iqzero_ref", "test1", "test2",
      "test3"},
     {"ena_neg_cmp", "ena_zero_cmp", "parm_Ineg_op_type"}},
    {"CurRefCal",
     kSlotCurRefCal,
     "CURREFCAL",
     {"set_Idpos_ref_sum", "set_Iqpos_ref_sum", "set_Idneg_ref_sum", "set_Iqneg_ref_sum",
      "set_Idzero_ref_sum", "set_Iqzero_ref_sum", "set_Idapp_ref_sum", "set_Iqapp_ref_sum",
      "set_I_round_lim", "test1", "test2", "test3", "I_round_lim"},
     {"parm_Idpos_ref_lim", "parm_Iqpos_ref_lim", "parm_Idneg_ref_lim", "parm_Iqneg_ref_lim",
      "parm_Idzero_ref_lim", "parm_Iqzero_ref_lim", "parm_round_lim_type"}},
};

class FullBuild : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(BuildEnvironment(TravikVariant(), SystemAllocator(), &env_), 0);
    }
    void TearDown() override {
        if (env_ != nullptr) {
            EXPECT_EQ(TearDownEnvironment(env_, false), 0);
        }
    }
    TempWorkDir dir_;
    Environment* env_ = nullptr;
};

TEST_F(FullBuild, ReferenceChainModulesRegisterInOrderInTheirSlots) {
    for (const Registration& r : kRegistrations) {
        SCOPED_TRACE(r.instance);
        const ModuleHeader* h = ModuleInSlot(env_, r.slot);
        ASSERT_NE(h, nullptr);
        EXPECT_STREQ(h->instance_name, r.instance);
        EXPECT_STREQ(h->type_name, r.type_name);
        EXPECT_EQ(RegisteredNames(*env_->variables, r.instance), r.variables);
        EXPECT_EQ(RegisteredNames(*env_->parameters, r.instance), r.parameters);
    }
    // Registry order follows creation order.
    for (const SignalRegistry* registry : {env_->parameters, env_->variables}) {
        const std::vector<std::string> owners = Owners(EntryNames(*registry));
        EXPECT_EQ(owners, InCreationOrder(owners));
    }
}

// Start-up work sees the final task period and settings.
TEST_F(FullBuild, RegulatorsAndWindowsAreSetUpAtTaskRegistration) {
    const auto* udc = ModuleAt<UdcVolCtrl>(env_, kSlotUdcVolCtrl);
    EXPECT_EQ(udc->Udc_pi.Ts, 0.0001f);
    EXPECT_EQ(udc->Idneg_pi.IntMax, 0.5f);
    EXPECT_EQ(udc->length, 50u);
    const auto* vrt = ModuleAt<HLVRTCtrl>(env_, kSlotHLVRTCtrl);
    EXPECT_EQ(vrt->lock_long.ring.Len, 200u);
    EXPECT_EQ(vrt->lock_short.ring.Len, 100u);
    EXPECT_EQ(ModuleAt<CurRefCal>(env_, kSlotCurRefCal)->test1, 2);
}

// Task list 1 runs UdcVolCtrl, HLVRTCtrl, CurRef, CurRefCal right after PQCal, each once.
TEST_F(FullBuild, ReferenceChainRunsAfterPowerCalculationInTaskOrder) {
    std::vector<TaskRoutine> order;
    for (const TaskNode* n = env_->scheduler->lists[0]->first; n != nullptr; n = n->next) {
        order.push_back(n->routine);
    }
    const std::vector<TaskRoutine> chain = {&PQCalStep, &UdcVolCtrlStep, &HLVRTCtrlStep,
                                            &CurRefStep, &CurRefCalStep};
    auto at = std::search(order.begin(), order.end(), chain.begin(), chain.end());
    ASSERT_NE(at, order.end());
    for (TaskRoutine r : chain) {
        EXPECT_EQ(std::count(order.begin(), order.end(), r), 1);
    }
}

// A module created without wiring reads the zero cell everywhere: CurRefCal declares no
// inputs, so its create operation does that itself.
TEST(CurRefCalSlots, NoSlotIsNullBeforeTheWiring) {
    CurRefCal m{};
    Environment env{};
    SignalRegistry* none = nullptr;
    env.parameters = none;
    env.variables = none;
    ASSERT_NE(CreateCurRefCal(&env, &m.hdr, "CurRefCal"), nullptr);
    for (const float* slot : {m.Idpos_ref, m.Iqzero_ref, m.Iqzero_fbk, m.Task3}) {
        EXPECT_EQ(slot, ZeroCellFloat());
    }
    EXPECT_EQ(m.trans_type, ZeroCellByte());
}

}  // namespace
}  // namespace svg::testing::refchain
