#include "framework/sim_io.h"
#include "framework/slots.h"
#include "modules/AppModeCtrl.h"
#include "modules/CurCtrl.h"
#include "modules/CurRef.h"
#include "modules/CurRefCal.h"
#include "modules/CurTrans.h"
#include "modules/GfmCtrl.h"
#include "modules/HLVRTCtrl.h"
#include "modules/HarCurCtrl.h"
#include "modules/InPhaseVolCtrl.h"
#include "modules/MeterCtrl.h"
#include "modules/ModCal.h"
#include "modules/ModeCtrl.h"
#include "modules/PLL.h"
#include "modules/PQCal.h"
#include "modules/Parameter.h"
#include "modules/ProElement.h"
#include "modules/ThreeHarCtrl.h"
#include "modules/UFedCtrl.h"
#include "modules/UdcVolCtrl.h"
#include "variants/travik/travik.h"

namespace svg {
namespace {

// Creation order (the order of the registry entries and so of the registry files). The
// task rank is the position in the task-registration order, the list the one handed over.
constexpr ModuleSpec kModules[] = {
    ModuleRow<SimInput>(kSlotSimInput, "SimInput", &CreateSimInput, 1, 1, true),
    ModuleRow<SimOutput>(kSlotSimOutput, "SimOutput", &CreateSimOutput, 26, 1, true),
    ModuleRow<Parameter>(kSlotParameter, "Parameter", &CreateParameter, 2, 1),
    ModuleRow<ModCal>(kSlotModCal, "ModCal", &CreateModCal, 17, 1),
    ModuleRow<CurCtrl>(kSlotCurCtrl, "CurCtrl", &CreateCurCtrl, 13, 1),
    ModuleRow<CurRef>(kSlotCurRef, "CurRef", &CreateCurRef, 10, 1),
    ModuleRow<CurRefCal>(kSlotCurRefCal, "CurRefCal", &CreateCurRefCal, 11, 1),
    ModuleRow<CurTrans>(kSlotCurTrans, "CurTrans", &CreateCurTrans, 6, 1),
    ModuleRow<HarCurCtrl>(kSlotHarCurCtrl, "HarCurCtrl", &CreateHarCurCtrl, 14, 1),
    ModuleRow<HLVRTCtrl>(kSlotHLVRTCtrl, "HLVRTCtrl", &CreateHLVRTCtrl, 9, 1),
    ModuleRow<InPhaseVolCtrl>(kSlotInPhaseVolCtrl, "InPhaseVolCtrl", &CreateInPhaseVolCtrl, 15, 1),
    ModuleRow<MeterCtrl>(kSlotMeterCtrl, "MeterCtrl", &CreateMeterCtrl, 3, 1),
    ModuleRow<ModeCtrl>(kSlotModeCtrl, "ModeCtrl", &CreateModeCtrl, 18, 2),
    ModuleRow<PLL>(kSlotPLL, "PLL", &CreatePLL, 4, 1),
    ModuleRow<PQCal>(kSlotPQCal, "PQCal", &CreatePQCal, 7, 1),
    ModuleRow<UdcVolCtrl>(kSlotUdcVolCtrl, "UdcVolCtrl", &CreateUdcVolCtrl, 8, 1),
    ModuleRow<UFedCtrl>(kSlotUFedCtrl, "UFedCtrl", &CreateUFedCtrl, 5, 1),
    ModuleRow<AppModeCtrl>(kSlotAppModeCtrl, "AppModeCtrl", &CreateAppModeCtrl, 19, 2),
    ModuleRow<ThreeHarCtrl>(kSlotThreeHarCtrl, "ThreeHarCtrl", &CreateThreeHarCtrl, 16, 1),
    ModuleRow<GfmCtrl>(kSlotGfmCtrl, "GfmCtrl", &CreateGfmCtrl, 12, 1),
    ModuleRow<Pro002003>(kSlotHallOC, "HallOC", &CreatePro002003, 20, 1),
    ModuleRow<Pro002003>(kSlotDCPro, "DCPro", &CreatePro002003, 21, 1),
    ModuleRow<Pro002003>(kSlotOFPro, "OFPro", &CreatePro002003, 22, 1),
    ModuleRow<Pro002003>(kSlotUFPro, "UFPro", &CreatePro002003, 23, 1),
    ModuleRow<Pro002004>(kSlotOVPro, "OVPro", &CreatePro002004, 24, 1),
    ModuleRow<Pro002004>(kSlotUVPro, "UVPro", &CreatePro002004, 25, 1),
};

constexpr Variant kTravik{kModules, static_cast<int>(sizeof kModules / sizeof kModules[0]),
                          &WireTravik};

}  // namespace

const Variant& TravikVariant() noexcept { return kTravik; }

}  // namespace svg
