// The eight entry points of an IEEE/Cigre DLL model, handed to a deliverable's `Model`.
//
// Every entry point runs in the floating-point state the library was built and checked in,
// whatever state the host leaves (see host/fp_state.h), and hands the host's state back. That
// includes Model_GetInfo, whose first call surveys the controller.
#pragma once

#include "cigre/ieee_cigre_dll.h"
#include "cigre/model.h"
#include "host/fp_state.h"

namespace svg::cigre {

// A deliverable's model, made at the first call from its configuration (with the variant,
// which is known only at run time, filled in) and never changed after: the description a host
// reads.
// The release texts both models share, set in `c`.
constexpr ModelConfig FirstRelease(ModelConfig c) {
    c.model_version = "1.0.0.0";
    c.created = "2026-12-08";
    c.creator = "SVG control team";
    c.last_modified_date = "2026-12-08";
    c.last_modified_by = "SVG control team";
    c.modified_comment = "First release as an IEEE/Cigre DLL model";
    c.modified_history = "1.0.0.0: first release";
    return c;
}

template <ModelConfig (*kConfig)(), const Variant& (*kVariant)() noexcept>
const Model& OnceMade() noexcept {
    static const ModelConfig config = [] {
        ModelConfig c = kConfig();
        c.variant = &kVariant();
        return c;
    }();
    static const Model model(config);
    return model;
}

}  // namespace svg::cigre

// One entry point on an instance: `Export` hands the call to `Method` of `model`.
#define SVG_CIGRE_INSTANCE_CALL(model, Export, Method)                            \
    int32_T __cdecl Export(IEEE_Cigre_DLLInterface_Instance* instance) noexcept { \
        const svg::FloatingPointScope fp_state;                                   \
        return (model).Method(instance);                                          \
    }

// `model` is an expression giving the deliverable's `const svg::cigre::Model&`.
#define SVG_CIGRE_ENTRY_POINTS(model)                                                \
    const IEEE_Cigre_DLLInterface_Model_Info* __cdecl Model_GetInfo(void) noexcept { \
        const svg::FloatingPointScope fp_state;                                      \
        return (model).Info();                                                       \
    }                                                                                \
    int32_T __cdecl Model_PrintInfo(void) noexcept {                                 \
        const svg::FloatingPointScope fp_state;                                      \
        return (model).PrintInfo();                                                  \
    }                                                                                \
    SVG_CIGRE_INSTANCE_CALL(model, Model_FirstCall, FirstCall)                       \
    SVG_CIGRE_INSTANCE_CALL(model, Model_CheckParameters, CheckParameters)           \
    SVG_CIGRE_INSTANCE_CALL(model, Model_Initialize, Initialize)                     \
    SVG_CIGRE_INSTANCE_CALL(model, Model_Outputs, Outputs)                           \
    SVG_CIGRE_INSTANCE_CALL(model, Model_Iterate, Iterate)                           \
    SVG_CIGRE_INSTANCE_CALL(model, Model_Terminate, Terminate)
