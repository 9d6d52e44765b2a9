// The signal graph of the full deliverable: every input slot, every host-channel target and
// every output channel. Plain stores, run once after all modules are created.
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "framework/type_codes.h"
#include "variants/travik/travik.h"

namespace svg {

void WireTravik(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    SimOutput* out = ModuleAt<SimOutput>(env, kSlotSimOutput);

    // Output channels, in channel order.
    BindOutput(env, &in->deblock_cmd, kTypeC, 3);
    BindOutput(env, &in->running_cmd, kTypeC, 4);
    BindOutput(env, &out->prot_flag, kTypeCu, 20);
}

}  // namespace svg
