// Which of the two deliverables this code is compiled for.
//
// The control code is compiled twice from the same sources: once for the full controller and
// once for the reduced one, an earlier and smaller configuration. SVG_REDUCED_BUILD (0 or 1)
// is set by the build for every library of a configuration; code that differs between the
// two asks `kReducedBuild`, and a module says in one place what the reduced build leaves out.
#pragma once

#ifndef SVG_REDUCED_BUILD
#error "SVG_REDUCED_BUILD must be 0 (full controller) or 1 (reduced controller)"
#endif

namespace svg {

inline constexpr bool kReducedBuild = SVG_REDUCED_BUILD != 0;

}  // namespace svg
