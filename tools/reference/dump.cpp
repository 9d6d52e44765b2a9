// Writes the reference tables of one deliverable (full or reduced build, by how it is compiled)
// into the folder given, from one build of the controller. Refuses, naming module and row, a
// row without a unit or a meaning, a name registered twice, or a host channel that names no
// registered parameter. Run it in a folder without a description file, so the defaults it
// reports are the code's own.
#include <iostream>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "reference.h"
#if SVG_REDUCED_BUILD
#include "variants/pellum/host_channels.h"
#include "variants/pellum/host_inputs.h"
#include "variants/pellum/pellum.h"
#else
#include "variants/travik/host_channels.h"
#include "variants/travik/host_inputs.h"
#include "variants/travik/travik.h"
#endif

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " FOLDER\n";
        return 2;
    }
#if SVG_REDUCED_BUILD
    const svg::Variant& variant = svg::PellumVariant();
    const svg::reference::Deliverable deliverable{"Pellum_DLL", svg::kPellumHostInputs,
                                                  svg::kPellumParameterChannels, true};
#else
    const svg::Variant& variant = svg::TravikVariant();
    const svg::reference::Deliverable deliverable{"Travik_DLL", svg::kTravikHostInputs,
                                                  svg::kTravikParameterChannels, false};
#endif
    std::vector<svg::reference::SeenRow> rows;
    const svg::RowObserver observer{&rows, &svg::reference::Observe};
    svg::Environment* env = nullptr;
    int status = 0;
    if (svg::BuildEnvironment(variant, svg::SystemAllocator(), &env, &observer) != 0) {
        std::cerr << "reference: the controller could not be built\n";
        status = 1;
    } else {
        const svg::reference::Reference reference(env, rows, deliverable);
        if (reference.Check(std::cerr) != 0) {
            status = 1;
        } else if (!reference.Write(argv[1])) {
            std::cerr << "reference: cannot write the tables into " << argv[1] << "\n";
            status = 1;
        }
    }
    svg::TearDownEnvironment(env, false);
    return status;
}
