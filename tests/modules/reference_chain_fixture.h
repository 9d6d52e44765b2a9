// A reference-chain bench: the input and output modules with UdcVolCtrl, HLVRTCtrl, CurRef
// and CurRefCal, wired to each other and to the host channels as the full build wires them.
// The inputs from modules outside the chain (voltages, ModeCtrl's reference, current
// feedback, nominal frequency, transformer type) read bench members; the task periods are
// constants. The reference-chain channels hold their defaults; ticks run the scheduler with
// the host record {0, 10, 10, 1}, so the environment time counter advances by 100 per tick.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "framework/environment.h"
#include "framework/registry.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "modules/CurRef.h"
#include "modules/CurRefCal.h"
#include "modules/HLVRTCtrl.h"
#include "modules/UdcVolCtrl.h"
#include "support/registry_names.h"
#include "support/temp_dir.h"
#include "variants/travik/host_channels.h"
#include "variants/travik/travik.h"

namespace svg::testing::refchain {

inline constexpr float kTask1 = 0.0001f;
inline constexpr float kTask2 = 0.001f;
inline constexpr float kTask3 = 0.01f;

inline void WireChain(Environment* env) noexcept {
    WireUdcVolCtrl(env);
    WireHLVRTCtrl(env);
    WireCurRef(env);
    WireCurRefCal(env);
    WireOutputs(env);
    UdcVolCtrl* udc = ModuleAt<UdcVolCtrl>(env, kSlotUdcVolCtrl);
    HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl);
    CurRefCal* cal = ModuleAt<CurRefCal>(env, kSlotCurRefCal);
    udc->Task1 = vrt->Task1 = cal->Task1 = &kTask1;
    udc->Task2 = vrt->Task2 = cal->Task2 = &kTask2;
    udc->Task3 = vrt->Task3 = cal->Task3 = &kTask3;
}

inline constexpr ModuleSpec kChainModules[] = {
    {kSlotSimInput, "SimInput", sizeof(SimInput), &CreateSimInput, nullptr, 1, 1, true},
    {kSlotSimOutput, "SimOutput", sizeof(SimOutput), &CreateSimOutput, nullptr, 6, 1, true},
    {kSlotCurRef, "CurRef", sizeof(CurRef), &CreateCurRef, nullptr, 4, 1, false},
    {kSlotCurRefCal, "CurRefCal", sizeof(CurRefCal), &CreateCurRefCal, nullptr, 5, 1, false},
    {kSlotHLVRTCtrl, "HLVRTCtrl", sizeof(HLVRTCtrl), &CreateHLVRTCtrl, nullptr, 3, 1, false},
    {kSlotUdcVolCtrl, "UdcVolCtrl", sizeof(UdcVolCtrl), &CreateUdcVolCtrl, nullptr, 2, 1, false},
};
inline constexpr Variant kChainVariant{kChainModules, 6, &WireChain};

class ChainBench : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(BuildEnvironment(kChainVariant, SystemAllocator(), &env_), 0);
        const double record[4] = {0, 10, 10, 1};
        ApplyHostParameters(env_, record);
        udc_ = ModuleAt<UdcVolCtrl>(env_, kSlotUdcVolCtrl);
        vrt_ = ModuleAt<HLVRTCtrl>(env_, kSlotHLVRTCtrl);
        ref_ = ModuleAt<CurRef>(env_, kSlotCurRef);
        cal_ = ModuleAt<CurRefCal>(env_, kSlotCurRefCal);
        for (const ParameterChannel& row : kTravikParameterChannels) {
            env_->io[row.channel] = static_cast<float>(row.registered);
        }
        // The cell voltages on channels 39..41 are per unit with this base.
        udc_->rcp_Udccmd = &rcp_udccmd_;
        udc_->FrqHzNom = &fnom_;
        udc_->trans_type = &trans_type_;
        udc_->GFM_Blk_OtLoop = &gfm_blk_;
        udc_->Idref_GFM = &idref_gfm_;
        vrt_->Upos_fil = &upos_;
        vrt_->Uneg_fil = &uneg_;
        vrt_->Iqpos_ref_ss = &iq_ss_;
        vrt_->Upos_PCC_pu = &upcc_;
        ref_->Upos_fil = &upos_;
        ref_->Udneg_fil = &udneg_;
        ref_->Uqneg_fil = &uqneg_;
        cal_->trans_type = &trans_type_;
        const float** fbk[] = {&cal_->Idpos_fbk, &cal_->Iqpos_fbk,  &cal_->Idneg_fbk,
                               &cal_->Iqneg_fbk, &cal_->Idzero_fbk, &cal_->Iqzero_fbk};
        for (int k = 0; k < 6; ++k) {
            *fbk[k] = &fbk_[k];
        }
    }
    void TearDown() override {
        if (env_ != nullptr) {
            EXPECT_EQ(TearDownEnvironment(env_, false), 0);
        }
    }

    void Channel(int channel, float value) { env_->io[channel] = value; }
    void CellDc(float a, float b, float c) {
        Channel(39, a);
        Channel(40, b);
        Channel(41, c);
    }
    void Commands(bool deblock, bool running) {
        Channel(42, deblock ? 1.0f : 0.0f);
        Channel(43, running ? 1.0f : 0.0f);
    }
    void Ticks(int count) {
        for (int n = 0; n < count; ++n) {
            SchedulerTick(env_);
        }
    }
    float Out(int channel) const { return env_->io[kOutputBase + channel]; }

    TempWorkDir dir_;
    Environment* env_ = nullptr;
    UdcVolCtrl* udc_ = nullptr;
    HLVRTCtrl* vrt_ = nullptr;
    CurRef* ref_ = nullptr;
    CurRefCal* cal_ = nullptr;

    float rcp_udccmd_ = 1.0f;
    float fnom_ = 50.0f;
    std::uint8_t trans_type_ = 0;
    std::uint8_t gfm_blk_ = 0;
    float idref_gfm_ = 0.0f;
    float upos_ = 1.0f;
    float uneg_ = 0.0f;
    float udneg_ = 0.0f;
    float uqneg_ = 0.0f;
    float upcc_ = 1.0f;
    float iq_ss_ = 0.0f;
    float fbk_[6] = {};
};

}  // namespace svg::testing::refchain
