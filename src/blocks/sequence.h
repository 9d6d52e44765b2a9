// Sequence separation of a three-phase quantity into positive-sequence dq components in the
// +theta frame and negative-sequence components in the -theta frame, by two methods: the
// decoupled double synchronous frame and the quarter-period delay in the stationary frame.
// The reduced controller has only the first: its block library lacks the delay line and the
// Park transform of a stationary vector.
// The phase-locked loop uses it for the voltage, the current transformation for the currents.
#pragma once

#include "blocks/delays.h"
#include "blocks/filters.h"
#include "blocks/transforms.h"

namespace svg {

// The four sequence components: positive sequence in the +theta frame, negative in -theta.
struct SeqDq {
    float dpos;
    float qpos;
    float dneg;
    float qneg;
};

// State of both sequence-separation methods: the four low-pass filters that feed the
// sequence components back into the decoupling, and the quarter-period delay lines of the
// stationary frame with their intermediate vectors.
struct SequenceSplit {
    LpfFirst fil[4];  // dpos, qpos, dneg, qneg
#if !SVG_REDUCED_BUILD
    AlphaBeta ab;   // stationary-frame vector of the input
    float alpha_d;  // alpha and beta a quarter period ago
    float beta_d;
    AlphaBeta pos;  // positive- and negative-sequence stationary-frame vectors
    AlphaBeta neg;
    Dq pos_dq;
    Dq neg_dq;
    FracDelay alpha_delay;
    FracDelay beta_delay;
#endif
};

void SequenceSplitCreate(SequenceSplit& s) noexcept;
void SequenceFilterDesign(SequenceSplit& s, float ts, float wc) noexcept;
// The four components of the previous step through their low-pass filters.
SeqDq SequenceFeedback(SequenceSplit& s, const SeqDq& x) noexcept;
// Decoupled double synchronous frame: the mixed dq components at +theta less the other
// sequence's filtered components turned by 2 theta.
SeqDq SplitDoubleFrame(const Dq& mix, const SeqDq& fil, float theta) noexcept;
// Quarter-period delay in the stationary frame: alpha +- beta delayed by a quarter of a period
// of `freq`, then Park transforms at +theta and -theta.
#if !SVG_REDUCED_BUILD
SeqDq SplitQuarterDelay(SequenceSplit& s, const Abc& x, float theta, float freq, float ts) noexcept;
#endif

}  // namespace svg
