#include "framework/sim_io.h"
#include "framework/slots.h"
#include "modules/AppModeCtrl.h"
#include "modules/CurCtrl.h"
#include "modules/CurRef.h"
#include "modules/CurRefCal.h"
#include "modules/CurTrans.h"
#include "modules/HLVRTCtrl.h"
#include "modules/HarCurCtrl.h"
#include "modules/InPhaseVolCtrl.h"
#include "modules/MeterCtrl.h"
#include "modules/ModCal.h"
#include "modules/ModeCtrl.h"
#include "modules/PLL.h"
#include "modules/PQCal.h"
#include "modules/Parameter.h"
#include "modules/ThreeHarCtrl.h"
#include "modules/UFedCtrl.h"
#include "modules/UdcVolCtrl.h"
#include "variants/pellum/pellum.h"

namespace svg {
namespace {

// Creation order, which is also the order of the recorded variables and so of the host
// outputs: the control modules, then the input and output modules. The task rank is the full
// controller's task order without grid-forming control and the protection elements.
constexpr ModuleSpec kModules[] = {
    ModuleRow<Parameter>(kSlotParameter, "Parameter", &CreateParameter, 2, 1),
    ModuleRow<ModCal>(kSlotModCal, "ModCal", &CreateModCal, 16, 1),
    ModuleRow<CurCtrl>(kSlotCurCtrl, "CurCtrl", &CreateCurCtrl, 12, 1),
    ModuleRow<CurRef>(kSlotCurRef, "CurRef", &CreateCurRef, 10, 1),
    ModuleRow<CurRefCal>(kSlotCurRefCal, "CurRefCal", &CreateCurRefCal, 11, 1),
    ModuleRow<CurTrans>(kSlotCurTrans, "CurTrans", &CreateCurTrans, 6, 1),
    ModuleRow<HarCurCtrl>(kSlotHarCurCtrl, "HarCurCtrl", &CreateHarCurCtrl, 13, 1),
    ModuleRow<HLVRTCtrl>(kSlotHLVRTCtrl, "HLVRTCtrl", &CreateHLVRTCtrl, 9, 1),
    ModuleRow<InPhaseVolCtrl>(kSlotInPhaseVolCtrl, "InPhaseVolCtrl", &CreateInPhaseVolCtrl, 14, 1),
    ModuleRow<MeterCtrl>(kSlotMeterCtrl, "MeterCtrl", &CreateMeterCtrl, 3, 1),
    ModuleRow<ModeCtrl>(kSlotModeCtrl, "ModeCtrl", &CreateModeCtrl, 17, 2),
    ModuleRow<PLL>(kSlotPLL, "PLL", &CreatePLL, 4, 1),
    ModuleRow<PQCal>(kSlotPQCal, "PQCal", &CreatePQCal, 7, 1),
    ModuleRow<UdcVolCtrl>(kSlotUdcVolCtrl, "UdcVolCtrl", &CreateUdcVolCtrl, 8, 1),
    ModuleRow<UFedCtrl>(kSlotUFedCtrl, "UFedCtrl", &CreateUFedCtrl, 5, 1),
    ModuleRow<AppModeCtrl>(kSlotAppModeCtrl, "AppModeCtrl", &CreateAppModeCtrl, 18, 2),
    ModuleRow<ThreeHarCtrl>(kSlotThreeHarCtrl, "ThreeHarCtrl", &CreateThreeHarCtrl, 15, 1),
    ModuleRow<SimInput>(kSlotSimInput, "SimInput", &CreateSimInput, 1, 1),
    ModuleRow<SimOutput>(kSlotSimOutput, "SimOutput", &CreateSimOutput, 19, 1),
};

constexpr Variant kPellum{kModules, static_cast<int>(sizeof kModules / sizeof kModules[0]),
                          &WirePellum};

}  // namespace

const Variant& PellumVariant() noexcept { return kPellum; }

}  // namespace svg
