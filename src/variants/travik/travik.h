// The full deliverable: its module list and its wiring.
#pragma once

#include "framework/environment.h"

namespace svg {

const Variant& TravikVariant() noexcept;

// The whole signal graph: every receiving module's inputs and host-channel targets, then the
// output channels.
void WireTravik(Environment* env) noexcept;

// The wiring of one receiving module. Each does nothing when its module is not in the
// environment, and feeds an input from the zero cell when its producer is not, so tests can
// build an environment from a few modules with the very wiring of the deliverable.
void WireParameter(Environment* env) noexcept;
void WireMeterCtrl(Environment* env) noexcept;
void WirePLL(Environment* env) noexcept;
void WireUFedCtrl(Environment* env) noexcept;
void WireCurTrans(Environment* env) noexcept;
void WirePQCal(Environment* env) noexcept;
void WireUdcVolCtrl(Environment* env) noexcept;
void WireHLVRTCtrl(Environment* env) noexcept;
void WireCurRef(Environment* env) noexcept;
void WireCurRefCal(Environment* env) noexcept;
void WireCurCtrl(Environment* env) noexcept;
void WireHarCurCtrl(Environment* env) noexcept;
void WireModeCtrl(Environment* env) noexcept;
void WireAppModeCtrl(Environment* env) noexcept;
void WireInPhaseVolCtrl(Environment* env) noexcept;
void WireThreeHarCtrl(Environment* env) noexcept;
void WireModCal(Environment* env) noexcept;
void WireGfmCtrl(Environment* env) noexcept;
void WireProtection(Environment* env) noexcept;
void WireOutputs(Environment* env) noexcept;

}  // namespace svg
