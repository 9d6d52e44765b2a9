// Reference selection and limiting: the negative-sequence references against the complex
// form I- = -(I+ / U+) V-, the zero-voltage case, the round-limit factor of every kind
// against its closed form, the rectangular limits and bad limit settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <string>

#include "reference_chain_fixture.h"

namespace svg::testing::refchain {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
using Cplx = std::complex<double>;

double Clamp1(double x) { return std::max(-1.0, std::min(1.0, x)); }

struct SelectionCase {
    std::string name;
    int ena_neg;
    int op_type;
    float upos, udneg, uqneg, idpos, iqsel;
};

class Selection : public ChainBench, public ::testing::WithParamInterface<SelectionCase> {};

// The negative-sequence current is to the negative-sequence voltage as minus the
// positive-sequence current (the reactive part only for type 0) is to the positive-sequence
// voltage, each component limited to 1 per unit.
TEST_P(Selection, NegativeSequenceFollowsTheNegativeSequenceVoltage) {
    const SelectionCase& c = GetParam();
    float id = c.idpos;
    float iq = c.iqsel;
    ref_->Idpos_ref = &id;
    ref_->Iqpos_ref_sel = &iq;
    ref_->ena_neg_cmp = static_cast<std::uint8_t>(c.ena_neg);
    ref_->parm_Ineg_op_type = static_cast<std::uint8_t>(c.op_type);
    upos_ = c.upos;
    udneg_ = c.udneg;
    uqneg_ = c.uqneg;
    CurRefStep(&ref_->hdr);
    Cplx expected{0.0, 0.0};
    if (c.ena_neg == 1) {
        const Cplx ipos{c.op_type == 0 ? 0.0 : c.idpos, c.iqsel};
        expected = -ipos * Cplx{c.udneg, c.uqneg} / static_cast<double>(c.upos);
    }
    EXPECT_NEAR(ref_->set_Idneg_op_ref, Clamp1(expected.real()), 1e-6);
    EXPECT_NEAR(ref_->set_Iqneg_op_ref, Clamp1(expected.imag()), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    ReferenceSelection, Selection,
    ::testing::Values(SelectionCase{"ReactiveOnly", 1, 0, 0.9f, 0.05f, -0.02f, 0.4f, 0.8f},
                      SelectionCase{"ActiveAndReactive", 1, 1, 0.9f, 0.05f, -0.02f, 0.4f, 0.8f},
                      SelectionCase{"AnyNonZeroTypeUsesBoth", 1, 7, 1.0f, -0.1f, 0.2f, -0.3f, 0.5f},
                      SelectionCase{"LimitedToOnePerUnit", 1, 1, 0.2f, 0.3f, -0.4f, 1.0f, 1.0f},
                      SelectionCase{"OnlyOneEnables", 2, 1, 0.9f, 0.05f, -0.02f, 0.4f, 0.8f},
                      SelectionCase{"Disabled", 0, 0, 0.9f, 0.05f, -0.02f, 0.4f, 0.8f}),
    CaseName<SelectionCase>);

// With no positive-sequence voltage the quotient is the numerator times 1e10: the limited
// reference takes the numerator's sign, and with no negative-sequence voltage either (a dead
// grid) it is 0 instead of a full-current command.
TEST_F(ChainBench, ZeroVoltageGivesTheNumeratorsSignOrNothing) {
    float iq = 0.5f;
    ref_->Iqpos_ref_sel = &iq;
    upos_ = 0.0f;
    udneg_ = 0.1f;
    uqneg_ = 0.1f;
    CurRefStep(&ref_->hdr);
    EXPECT_EQ(ref_->set_Idneg_op_ref, 1.0f);
    EXPECT_EQ(ref_->set_Iqneg_op_ref, -1.0f);
    udneg_ = 0.0f;
    uqneg_ = 0.0f;
    CurRefStep(&ref_->hdr);
    EXPECT_EQ(ref_->set_Idneg_op_ref, 0.0f);
    EXPECT_EQ(ref_->set_Iqneg_op_ref, 0.0f);
}

TEST_F(ChainBench, ZeroSequencePassesTheClosedLoopReferencesWhenEnabled) {
    float d = 0.3f;
    float q = -1.7f;
    ref_->Idneg_cl_ref = &d;
    ref_->Iqneg_cl_ref = &q;
    CurRefStep(&ref_->hdr);
    EXPECT_EQ(ref_->set_Idzero_ref, 0.0f);
    EXPECT_EQ(ref_->set_Iqzero_ref, 0.0f);
    ref_->ena_zero_cmp = 1;
    CurRefStep(&ref_->hdr);
    EXPECT_EQ(ref_->set_Idzero_ref, 0.3f);
    EXPECT_EQ(ref_->set_Iqzero_ref, -1.0f);
}

// The limiting module on references the test owns.
class Limiting : public ChainBench {
  protected:
    void SetUp() override {
        ChainBench::SetUp();
        const float** slots[] = {&cal_->Idpos_ref,      &cal_->Iqpos_ref_sel, &cal_->Idneg_op_ref,
                                 &cal_->Iqneg_op_ref,   &cal_->Idneg_cl_ref,  &cal_->Iqneg_cl_ref,
                                 &cal_->Idzero_ref,     &cal_->Iqzero_ref,    &cal_->Idpos_app_ref1,
                                 &cal_->Iqpos_app_ref2, &cal_->Idneg_app_ref, &cal_->Iqneg_app_ref};
        for (int k = 0; k < 12; ++k) {
            *slots[k] = &in_[k];
        }
    }
    enum Slot {
        kIdpos,
        kIqpos,
        kIdnegOp,
        kIqnegOp,
        kIdnegCl,
        kIqnegCl,
        kIdzero,
        kIqzero,
        kIdApp1,
        kIqApp2,
        kIdnegApp,
        kIqnegApp
    };
    void Step() { CurRefCalStep(&cal_->hdr); }
    float in_[12] = {};
};

// Round limit 1.1 / sqrt(S + 1e-6) from the previous step's sums (types 1, 2) or this step's
// feedback (3 and above), limited to [0, 1].
TEST_F(Limiting, RoundLimitFactorOfEveryKind) {
    struct Case {
        int type;
        double expected;  // from the sums below: d = (0.6, -0.5, 0.2), q = (1.5, 0.8, -0.3)
    };
    const double sq = 0.36 + 0.25 + 0.04 + 2.25 + 0.64 + 0.09;
    const double mag = std::pow(0.6 + 0.5 + 0.2, 2) + std::pow(1.5 + 0.8 + 0.3, 2);
    const Case cases[] = {{0, 1.0},
                          {1, 1.1 / std::sqrt(sq)},
                          {2, 1.1 / std::sqrt(mag)},
                          {3, 1.1 / std::sqrt(1.0 + 2.25)},
                          {255, 1.1 / std::sqrt(1.0 + 2.25)}};
    for (const Case& c : cases) {
        cal_->parm_round_lim_type = static_cast<std::uint8_t>(c.type);
        fbk_[0] = 1.0f;  // feedback: |d| sum 1.0, |q| sum 1.5
        fbk_[5] = -1.5f;
        for (float& x : in_) {
            x = 0.0f;
        }
        in_[kIdpos] = 0.6f;
        in_[kIqpos] = 1.5f;
        in_[kIdnegOp] = -0.3f;
        in_[kIdnegCl] = -0.2f;
        in_[kIqnegOp] = 0.8f;
        in_[kIdzero] = 0.2f;
        in_[kIqzero] = -0.3f;
        Step();
        // The factor of this first step came from the sums before them (all 0: 1100 -> 1).
        if (c.type == 1 || c.type == 2) {
            EXPECT_EQ(cal_->set_I_round_lim, 1.0f);
        }
        for (float& x : in_) {
            x = 0.0f;
        }
        Step();
        EXPECT_NEAR(cal_->set_I_round_lim, std::min(1.0, c.expected), 1e-6) << c.type;
        EXPECT_EQ(cal_->I_round_lim, cal_->set_I_round_lim);
        Step();  // clear the sums for the next case
    }
}

// A previous reactive sum of 2.2 halves the next factor; the sum itself is only limited to
// its own setting. Each component is limited on its own.
TEST_F(Limiting, SumsAreLimitedRectangularly) {
    cal_->parm_round_lim_type = 1;
    in_[kIqpos] = 2.2f;
    in_[kIdpos] = 0.7f;
    in_[kIdnegOp] = -0.8f;
    in_[kIdnegCl] = -0.4f;
    in_[kIqzero] = 0.45f;
    Step();
    EXPECT_EQ(cal_->set_Iqpos_ref_sum, 1.1f);
    EXPECT_EQ(cal_->set_Idpos_ref_sum, 0.5f);
    EXPECT_EQ(cal_->set_Idneg_ref_sum, -1.0f);
    EXPECT_EQ(cal_->set_Iqzero_ref_sum, 0.45f);
    in_[kIdpos] = 0.0f;
    in_[kIdnegOp] = 0.0f;
    in_[kIdnegCl] = 0.0f;
    in_[kIqzero] = 0.0f;
    Step();
    EXPECT_NEAR(cal_->set_I_round_lim, 1.1 / std::sqrt(0.49 + 4.84 + 1.44 + 0.2025), 1e-6);
    Step();
    EXPECT_NEAR(cal_->set_I_round_lim, 0.5, 1e-6);
}

// Transformer type 3 leaves the closed-loop negative-sequence references out; the auxiliary
// sums are this step's auxiliary inputs, not limited.
TEST_F(Limiting, TransformerType3AndAuxiliarySums) {
    in_[kIdnegOp] = 0.1f;
    in_[kIdnegCl] = 0.2f;
    in_[kIqnegCl] = 0.3f;
    in_[kIdApp1] = 0.7f;
    in_[kIqApp2] = -0.9f;
    in_[kIdnegApp] = 0.4f;
    in_[kIqnegApp] = 0.5f;
    Step();
    EXPECT_NEAR(cal_->set_Idneg_ref_sum, 0.7f, 1e-6);
    EXPECT_NEAR(cal_->set_Iqneg_ref_sum, 0.8f, 1e-6);
    EXPECT_NEAR(cal_->set_Idpos_ref_sum, 0.5f, 1e-6);
    EXPECT_NEAR(cal_->set_Idapp_ref_sum, 1.1f, 1e-6);
    EXPECT_NEAR(cal_->set_Iqapp_ref_sum, -0.4f, 1e-6);
    trans_type_ = 3;
    Step();
    EXPECT_NEAR(cal_->set_Idneg_ref_sum, 0.5f, 1e-6);
    EXPECT_NEAR(cal_->set_Iqneg_ref_sum, 0.5f, 1e-6);
}

// Limits from the host can be negative or NaN: they allow nothing instead of inverting the
// reference or making it NaN; NaN references give the lower limit and leave no trace.
TEST_F(Limiting, BadLimitsAndReferencesGiveDefinedSums) {
    in_[kIdpos] = 0.3f;
    in_[kIqpos] = -0.6f;
    for (float lim : {-0.5f, kNaN}) {
        cal_->parm_Idpos_ref_lim = lim;
        cal_->parm_Iqpos_ref_lim = lim;
        Step();
        EXPECT_EQ(cal_->set_Idpos_ref_sum, 0.0f) << lim;
        EXPECT_EQ(cal_->set_Iqpos_ref_sum, 0.0f) << lim;
    }
    cal_->parm_Idpos_ref_lim = 0.5f;
    cal_->parm_Iqpos_ref_lim = 1.1f;
    cal_->parm_round_lim_type = 1;
    in_[kIqpos] = kNaN;
    Step();
    EXPECT_EQ(cal_->set_Iqpos_ref_sum, -1.1f);
    Step();
    EXPECT_EQ(cal_->set_I_round_lim, 0.0f);  // NaN sums: the factor's lower limit
    in_[kIqpos] = -1.5f;
    Step();
    Step();
    EXPECT_NEAR(cal_->set_I_round_lim, 1.1 / std::sqrt(0.09 + 2.25 + 1e-6), 1e-6);
    EXPECT_EQ(cal_->set_Iqpos_ref_sum, -1.1f);
}

}  // namespace
}  // namespace svg::testing::refchain
