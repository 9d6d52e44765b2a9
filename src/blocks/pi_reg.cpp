#include "blocks/pi_reg.h"

#include "blocks/numeric.h"

namespace svg {

void PiRegDesign(PiReg& r, float ts, float kp, float ki, float kaw, float out_lim, float int_min,
                 float int_max) noexcept {
    r.Ts = ts;
    r.Kp = kp;
    r.Ki = ki;
    r.Kaw = kaw;
    r.OutLim = out_lim;
    r.IntMin = int_min;
    r.IntMax = int_max;
}

float PiRegStep(PiReg& r, float e, std::int32_t enable) noexcept {
    if (enable == 0) {
        r.Out = 0.0f;
        r.I = 0.0f;
        r.U = 0.0f;
        r.Aw = 0.0f;
        return 0.0f;
    }
    r.I = Limit(r.I + r.Ki * r.Ts * (e + r.Aw), r.IntMin, r.IntMax);
    r.P = r.Kp * e;
    r.U = r.P + r.I;
    r.Out = Limit(r.U, -r.OutLim, r.OutLim);
    r.Aw = (r.Out - r.U) * r.Kaw;
    return r.Out;
}

}  // namespace svg
