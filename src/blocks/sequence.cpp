#include "blocks/sequence.h"

#include "blocks/guarded.h"

namespace svg {

void SequenceSplitCreate(SequenceSplit& s) noexcept {
    s = SequenceSplit{};
#if !SVG_REDUCED_BUILD
    FracDelayCreate(s.alpha_delay);
    FracDelayCreate(s.beta_delay);
#endif
}

void SequenceFilterDesign(SequenceSplit& s, float ts, float wc) noexcept {
    for (LpfFirst& f : s.fil) {
        LpfFirstDesign(f, ts, wc);
    }
}

SeqDq SequenceFeedback(SequenceSplit& s, const SeqDq& x) noexcept {
    return {LpfStepFinite(s.fil[0], x.dpos), LpfStepFinite(s.fil[1], x.qpos),
            LpfStepFinite(s.fil[2], x.dneg), LpfStepFinite(s.fil[3], x.qneg)};
}

SeqDq SplitDoubleFrame(const Dq& mix, const SeqDq& fil, float theta) noexcept {
    const float t = kTwoPi * (2.0f * theta);
    const float c = Cos(t);
    const float s = Sin(t);
    return {mix.d - c * fil.dneg - s * fil.qneg, mix.q + s * fil.dneg - c * fil.qneg,
            c * (mix.d - fil.dpos) - s * (mix.q - fil.qpos),
            c * (mix.q - fil.qpos) + s * (mix.d - fil.dpos)};
}

#if !SVG_REDUCED_BUILD
SeqDq SplitQuarterDelay(SequenceSplit& s, const Abc& x, float theta, float freq,
                        float ts) noexcept {
    s.ab = ClarkeAbc(x);
    s.alpha_d = FracDelayStep(s.alpha_delay, s.ab.alpha, freq, ts, 0.25f);
    s.beta_d = FracDelayStep(s.beta_delay, s.ab.beta, freq, ts, 0.25f);
    s.pos = {(s.ab.alpha - s.beta_d) * 0.5f, (s.alpha_d + s.ab.beta) * 0.5f};
    s.neg = {(s.ab.alpha + s.beta_d) * 0.5f, (s.ab.beta - s.alpha_d) * 0.5f};
    s.pos_dq = ParkAlphaBeta(s.pos, theta);
    s.neg_dq = ParkAlphaBeta(s.neg, -theta);
    return {s.pos_dq.d, s.pos_dq.q, s.neg_dq.d, s.neg_dq.q};
}
#endif

}  // namespace svg
