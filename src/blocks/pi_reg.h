// PI regulator with output limit and back-calculation anti-windup.
#pragma once

#include <cstdint>

namespace svg {

// Parameters are written by the owner (Kp may be refreshed every step); the last five fields
// are written by the step.
struct PiReg {
    float Ts;      // integrator sample time, s
    float Kp;      // proportional gain
    float Ki;      // integral gain
    float Kaw;     // anti-windup back-calculation gain
    float IntMax;  // integrator upper limit
    float IntMin;  // integrator lower limit
    float OutLim;  // output stays within [-OutLim, +OutLim]
    float P;       // last proportional term
    float I;       // integrator state
    float U;       // last unsaturated sum P + I
    float Out;     // last saturated output
    float Aw;      // anti-windup feedback used by the next step
};

// Settings of a regulator: sample time, gains, anti-windup gain, output limit and integrator
// band. The state is left alone, so owners call it at start-up and wherever the settings
// are refreshed (every step, for limits that track another signal).
void PiRegDesign(PiReg& r, float ts, float kp, float ki, float kaw, float out_lim, float int_min,
                 float int_max) noexcept;

// Enabled (enable != 0):
//   I  <- Limit(I + Ki*Ts*(e + Aw), IntMin, IntMax)
//   P  <- Kp*e,  U <- P + I,  Out <- Limit(U, -OutLim, OutLim)
//   Aw <- (Out - U)*Kaw
// Disabled: Out, I, U and Aw are cleared (P keeps its value) and 0 is returned, so the next
// enabled step starts from an empty integrator.
float PiRegStep(PiReg& r, float e, std::int32_t enable) noexcept;

}  // namespace svg
