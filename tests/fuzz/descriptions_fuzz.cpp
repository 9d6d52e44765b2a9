// Any bytes as the description file, then a whole build and tear-down of the controller (the
// registry, every module's registrations, the three registry files written back).
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "framework/environment.h"
#include "fuzz_folder.h"
#if SVG_REDUCED_BUILD
#include "variants/pellum/pellum.h"
#else
#include "variants/travik/travik.h"
#endif

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svg::fuzz::EnterScratchFolder(SVG_REDUCED_BUILD ? "descriptions_reduced" : "descriptions");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (std::FILE* f = std::fopen("allDescriptions_0.tsv", "wb"); f != nullptr) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
#if SVG_REDUCED_BUILD
    const svg::Variant& variant = svg::PellumVariant();
#else
    const svg::Variant& variant = svg::TravikVariant();
#endif
    svg::Environment* env = nullptr;
    const int built = svg::BuildEnvironment(variant, svg::SystemAllocator(), &env);
    svg::TearDownEnvironment(env, built == 0);
    return 0;
}
