// A small IEEE/Cigre DLL model for testing the conformance host: a voltage regulator with
// three inputs (a three-phase voltage array, a reference, an enable), two outputs and two
// parameters. Built as is it meets every point; built with DEMO_FAULTY it keeps its
// integrator in a global, writes one state past its array and returns 3 from Terminate, and
// the host must say so.
#include <cmath>
#include <cstdio>

#include "cigre/ieee_cigre_dll.h"

namespace {

struct Inputs {
    real64_T Vabc[3];
    real64_T Vref;
    int32_T Enable;
};
struct Outputs {
    real64_T Bref;
    uint8_T AtLimit;
};
struct Parameters {
    real64_T Ki;
    int32_T Mode;
};

constexpr double kDt = 1e-4;

const IEEE_Cigre_DLLInterface_Signal kInputs[] = {
    {"Vabc", "phase voltages", "pu", IEEE_Cigre_DLLInterface_DataType_real64_T, 3},
    {"Vref", "voltage reference", "pu", IEEE_Cigre_DLLInterface_DataType_real64_T, 1},
    {"Enable", "1 runs the regulator", "-", IEEE_Cigre_DLLInterface_DataType_int32_T, 1},
};
const IEEE_Cigre_DLLInterface_Signal kOutputs[] = {
    {"Bref", "susceptance reference", "pu", IEEE_Cigre_DLLInterface_DataType_real64_T, 1},
    {"AtLimit", "1 at the limit", "-", IEEE_Cigre_DLLInterface_DataType_uint8_T, 1},
};
const IEEE_Cigre_DLLInterface_Parameter kParameters[] = {
    {"Ki",
     "Control",
     "integral gain",
     "1/s",
     IEEE_Cigre_DLLInterface_DataType_real64_T,
     0,
     {.Real64_Val = 20.0},
     {.Real64_Val = 0.0},
     {.Real64_Val = 1000.0}},
    {"Mode",
     "Control",
     "0 off, 1 integral, 2 integral with droop",
     "-",
     IEEE_Cigre_DLLInterface_DataType_int32_T,
     1,
     {.Int32_Val = 1},
     {.Int32_Val = 0},
     {.Int32_Val = 2}},
};

const IEEE_Cigre_DLLInterface_Model_Info kInfo = {
    .DLLInterfaceVersion = {1, 1, 0, 0},
    .ModelName = "DEMO_VREG",
    .ModelVersion = "0.1.0.0",
    .ModelDescription = "demonstration voltage regulator",
    .GeneralInformation = "",
    .ModelCreated = "",
    .ModelCreator = "",
    .ModelLastModifiedDate = "",
    .ModelLastModifiedBy = "",
    .ModelModifiedComment = "",
    .ModelModifiedHistory = "",
    .FixedStepBaseSampleTime = kDt,
    .EMT_RMS_Mode = 1,
    .NumInputPorts = 3,
    .InputPortsInfo = kInputs,
    .NumOutputPorts = 2,
    .OutputPortsInfo = kOutputs,
    .NumParameters = 2,
    .ParametersInfo = kParameters,
    .NumIntStates = 0,
    .NumFloatStates = 0,
    .NumDoubleStates = 2,  // integrator, previous error
};

#if defined(DEMO_FAULTY)
double g_integrator = 0.0;  // shared by every instance: the fault the host must find
double& Integrator(IEEE_Cigre_DLLInterface_Instance*) { return g_integrator; }
#else
double& Integrator(IEEE_Cigre_DLLInterface_Instance* m) { return m->DoubleStates[0]; }
#endif

int32_T Refuse(IEEE_Cigre_DLLInterface_Instance* m, const char* message) {
    m->LastErrorMessage = message;
    return IEEE_Cigre_DLLInterface_Return_Error;
}

}  // namespace

const IEEE_Cigre_DLLInterface_Model_Info* __cdecl Model_GetInfo(void) noexcept { return &kInfo; }

int32_T __cdecl Model_PrintInfo(void) noexcept { return 0; }

int32_T __cdecl Model_FirstCall(IEEE_Cigre_DLLInterface_Instance* m) noexcept {
    return m == nullptr ? IEEE_Cigre_DLLInterface_Return_Error : 0;
}

int32_T __cdecl Model_CheckParameters(IEEE_Cigre_DLLInterface_Instance* m) noexcept {
    if (m == nullptr) return IEEE_Cigre_DLLInterface_Return_Error;
    const auto* p = static_cast<const Parameters*>(m->Parameters);
    if (p->Mode < 0 || p->Mode > 2) return Refuse(m, "Mode out of range [0,2]");
    if (!(p->Ki >= 0.0 && p->Ki <= 1000.0)) return Refuse(m, "Ki out of range [0,1000]");
    return 0;
}

int32_T __cdecl Model_Initialize(IEEE_Cigre_DLLInterface_Instance* m) noexcept {
    if (m == nullptr) return IEEE_Cigre_DLLInterface_Return_Error;
    // Works back from the initial output the host wrote.
    Integrator(m) = static_cast<const Outputs*>(m->ExternalOutputs)->Bref;
    m->DoubleStates[1] = 0.0;
    return 0;
}

int32_T __cdecl Model_Outputs(IEEE_Cigre_DLLInterface_Instance* m) noexcept {
    if (m == nullptr) return IEEE_Cigre_DLLInterface_Return_Error;
    const auto* in = static_cast<const Inputs*>(m->ExternalInputs);
    const auto* p = static_cast<const Parameters*>(m->Parameters);
    auto* out = static_cast<Outputs*>(m->ExternalOutputs);
    const double v =
        (std::fabs(in->Vabc[0]) + std::fabs(in->Vabc[1]) + std::fabs(in->Vabc[2])) / 3.0;
    const double error = in->Enable != 0 && p->Mode != 0 ? in->Vref - v : 0.0;
    double& x = Integrator(m);
    x += p->Ki * kDt * 0.5 * (error + m->DoubleStates[1]);
    x = x > 1.0 ? 1.0 : (x < -1.0 ? -1.0 : x);
    m->DoubleStates[1] = error;
#if defined(DEMO_FAULTY)
    m->DoubleStates[2] = x;  // one past the declared states
#endif
    out->Bref = p->Mode == 2 ? x - 0.05 * v : x;
    out->AtLimit = std::fabs(x) >= 1.0 ? 1 : 0;
    return 0;
}

int32_T __cdecl Model_Iterate(IEEE_Cigre_DLLInterface_Instance* m) noexcept {
    return m == nullptr ? IEEE_Cigre_DLLInterface_Return_Error : 0;
}

int32_T __cdecl Model_Terminate(IEEE_Cigre_DLLInterface_Instance* m) noexcept {
#if defined(DEMO_FAULTY)
    return m == nullptr ? IEEE_Cigre_DLLInterface_Return_Error : 3;
#else
    return m == nullptr ? IEEE_Cigre_DLLInterface_Return_Error : 0;
#endif
}
