// The signal graph of the reduced deliverable: the shared module wiring over its seventeen
// modules, then the host channels it reads as module inputs where the full controller has
// parameters or module outputs. Nothing is bound to an output channel: the host outputs are
// the recorded variables themselves.
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "modules/CurRefCal.h"
#include "modules/HLVRTCtrl.h"
#include "modules/MeterCtrl.h"
#include "modules/ModeCtrl.h"
#include "modules/PQCal.h"
#include "modules/Parameter.h"
#include "modules/UdcVolCtrl.h"
#include "variants/common/signal_graph.h"
#include "variants/pellum/pellum.h"

namespace svg {

void WirePellum(Environment* env) noexcept {
    WireSharedModules(env);
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    if (in == nullptr) {
        return;
    }
    auto channel = [in](int k) -> const float* { return &in->input[k]; };
    // Ratings: rated reactive power (Mvar), rated voltage (kV), total inductance (mH).
    if (Parameter* par = ModuleAt<Parameter>(env, kSlotParameter); par != nullptr) {
        par->sim_Qn_Mvar = channel(43);
        par->sim_Un_kV = channel(44);
        par->sim_LTotCal = channel(45);
    }
    if (MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl); meter != nullptr) {
        meter->Qn_Mvar = channel(43);
        meter->Un_kV = channel(44);
        meter->LTotCal = channel(45);
    }
    if (PQCal* pq = ModuleAt<PQCal>(env, kSlotPQCal); pq != nullptr) {
        pq->Qn_Mvar = channel(43);
    }
    // Commands and the reactive current limit.
    if (ModeCtrl* mode = ModuleAt<ModeCtrl>(env, kSlotModeCtrl); mode != nullptr) {
        mode->Ucmd_pu = channel(46);
        mode->Qsvg_cmd_pu = channel(47);
        mode->sim_Iqpos_ref_lim = channel(56);
    }
    if (CurRefCal* cal = ModuleAt<CurRefCal>(env, kSlotCurRefCal); cal != nullptr) {
        cal->sim_Iqpos_ref_lim = channel(56);
    }
    // Ride-through gains and thresholds.
    if (HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl); vrt != nullptr) {
        vrt->sim_HVRT_k = channel(48);
        vrt->sim_LVRT_k = channel(49);
        vrt->sim_Iq0_k = channel(50);
        vrt->sim_HVRT_in = channel(51);
        vrt->sim_HVRT_out = channel(52);
        vrt->sim_LVRT_in = channel(53);
        vrt->sim_LVRT_out = channel(54);
        vrt->sim_Iqpos_ref_min = channel(55);
    }
    // The running flag (input 61) reaches the feed-forward, power calculation, harmonic, mode
    // and third-harmonic modules but not the DC voltage control, whose negative-sequence
    // regulator so stays disabled in this build.
    if (UdcVolCtrl* udc = ModuleAt<UdcVolCtrl>(env, kSlotUdcVolCtrl); udc != nullptr) {
        udc->flg_seq_running = ZeroCellByte();
    }
}

}  // namespace svg
