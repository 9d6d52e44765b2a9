// The module-to-module wiring the two deliverables share (see signal_graph.cpp).
#pragma once

#include <cstdint>

#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// The producer's variable, or the zero cell when the producing module is not built.
template <class M>
const float* From(const M* producer, const float M::*field) {
    return producer != nullptr ? &(producer->*field) : ZeroCellFloat();
}
template <class M>
const std::uint8_t* From(const M* producer, const std::uint8_t M::*field) {
    return producer != nullptr ? &(producer->*field) : ZeroCellByte();
}
template <class M>
const std::uint32_t* From(const M* producer, const std::uint32_t M::*field) {
    return producer != nullptr ? &(producer->*field) : ZeroCellUint32();
}

// The wiring of one receiving module.
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

// All seventeen, in task order.
void WireSharedModules(Environment* env) noexcept;

}  // namespace svg
