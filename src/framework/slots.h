// Fixed module-table slots; the wiring finds modules by slot.
#pragma once

namespace svg {

enum ModuleSlot : int {
    kSlotSimInput = 0,
    kSlotParameter = 1,
    kSlotModCal = 2,
    kSlotCurCtrl = 3,
    kSlotCurRef = 4,
    kSlotCurRefCal = 5,
    kSlotCurTrans = 6,
    kSlotHarCurCtrl = 7,
    kSlotHLVRTCtrl = 8,
    kSlotInPhaseVolCtrl = 9,
    kSlotMeterCtrl = 10,
    kSlotModeCtrl = 11,
    kSlotPLL = 12,
    kSlotPQCal = 13,
    kSlotUdcVolCtrl = 15,
    kSlotUFedCtrl = 16,
    kSlotThreeHarCtrl = 17,
    kSlotAppModeCtrl = 18,
    kSlotHallOC = 19,
    kSlotOFPro = 20,
    kSlotUFPro = 21,
    kSlotDCPro = 22,
    kSlotOVPro = 23,
    kSlotUVPro = 24,
    kSlotGfmCtrl = 25,
    kSlotSimOutput = 26,
};

}  // namespace svg
