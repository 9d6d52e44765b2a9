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

template <class M>
constexpr ModuleSpec Row(int slot, const char* name,
                         ModuleHeader* (*create)(Environment*, ModuleHeader*, const char*),
                         int task_rank, int task_list, bool early = false,
                         void (*release)(Environment*, ModuleHeader*) = nullptr) {
    return ModuleSpec{slot, name, sizeof(M), create, release, task_rank, task_list, early};
}

// Creation order (the order of the registry entries and so of the registry files). The
// task rank is the position in the task-registration order, the list the one handed over.
constexpr ModuleSpec kModules[] = {
    Row<SimInput>(kSlotSimInput, "SimInput", &CreateSimInput, 1, 1, true),
    Row<SimOutput>(kSlotSimOutput, "SimOutput", &CreateSimOutput, 26, 1, true),
    Row<Parameter>(kSlotParameter, "Parameter", &CreateParameter, 2, 1),
    Row<ModCal>(kSlotModCal, "ModCal", &CreateModCal, 17, 1),
    Row<CurCtrl>(kSlotCurCtrl, "CurCtrl", &CreateCurCtrl, 13, 1),
    Row<CurRef>(kSlotCurRef, "CurRef", &CreateCurRef, 10, 1),
    Row<CurRefCal>(kSlotCurRefCal, "CurRefCal", &CreateCurRefCal, 11, 1),
    Row<CurTrans>(kSlotCurTrans, "CurTrans", &CreateCurTrans, 6, 1),
    Row<HarCurCtrl>(kSlotHarCurCtrl, "HarCurCtrl", &CreateHarCurCtrl, 14, 1),
    Row<HLVRTCtrl>(kSlotHLVRTCtrl, "HLVRTCtrl", &CreateHLVRTCtrl, 9, 1),
    Row<InPhaseVolCtrl>(kSlotInPhaseVolCtrl, "InPhaseVolCtrl", &CreateInPhaseVolCtrl, 15, 1),
    Row<MeterCtrl>(kSlotMeterCtrl, "MeterCtrl", &CreateMeterCtrl, 3, 1),
    Row<ModeCtrl>(kSlotModeCtrl, "ModeCtrl", &CreateModeCtrl, 18, 2),
    Row<PLL>(kSlotPLL, "PLL", &CreatePLL, 4, 1),
    Row<PQCal>(kSlotPQCal, "PQCal", &CreatePQCal, 7, 1),
    Row<UdcVolCtrl>(kSlotUdcVolCtrl, "UdcVolCtrl", &CreateUdcVolCtrl, 8, 1),
    Row<UFedCtrl>(kSlotUFedCtrl, "UFedCtrl", &CreateUFedCtrl, 5, 1),
    Row<AppModeCtrl>(kSlotAppModeCtrl, "AppModeCtrl", &CreateAppModeCtrl, 19, 2),
    Row<ThreeHarCtrl>(kSlotThreeHarCtrl, "ThreeHarCtrl", &CreateThreeHarCtrl, 16, 1),
    Row<GfmCtrl>(kSlotGfmCtrl, "GfmCtrl", &CreateGfmCtrl, 12, 1),
    Row<Pro002003>(kSlotHallOC, "HallOC", &CreatePro002003, 20, 1),
    Row<Pro002003>(kSlotDCPro, "DCPro", &CreatePro002003, 21, 1),
    Row<Pro002003>(kSlotOFPro, "OFPro", &CreatePro002003, 22, 1),
    Row<Pro002003>(kSlotUFPro, "UFPro", &CreatePro002003, 23, 1),
    Row<Pro002004>(kSlotOVPro, "OVPro", &CreatePro002004, 24, 1),
    Row<Pro002004>(kSlotUVPro, "UVPro", &CreatePro002004, 25, 1),
};

constexpr Variant kTravik{kModules, static_cast<int>(sizeof kModules / sizeof kModules[0]),
                          &WireTravik};

}  // namespace

const Variant& TravikVariant() noexcept { return kTravik; }

}  // namespace svg
