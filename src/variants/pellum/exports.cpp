// The three functions a simulation host calls.
#include "host/export.h"
#include "host/host.h"
#include "variants/pellum/pellum.h"

namespace {

svg::HostConfig Config() noexcept {
    return {&svg::PellumVariant(), "PellumDLLinput.txt", "PellumDLLoutput.txt"};
}

}  // namespace

SVG_ENTRY_POINTS(Pellum, Config())
