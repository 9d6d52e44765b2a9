// The three functions a simulation host calls.
#include "host/export.h"
#include "host/host.h"
#include "variants/travik/travik.h"

namespace {

svg::HostConfig Config() noexcept {
    return {&svg::TravikVariant(), "TravikDLLinput.txt", "TravikDLLoutput.txt"};
}

}  // namespace

SVG_ENTRY_POINTS(Travik, Config())
