# Header-only packages of the build machine (CLI11, toml++, nlohmann-json) for the tools.
# Each package folder under /usr/include is exposed through an INTERFACE target whose include
# directory is a build-tree folder holding only a symlink to that one folder, so a cross
# compiler sees these headers and never the rest of the host's /usr/include.
#
#   svg_header_only_package(<target> <folder under the include root> <header that must exist>)
#
# creates <target> when the package is installed; the caller tests `if(TARGET <target>)`.

set(SVG_HEADER_ONLY_ROOT "/usr/include" CACHE PATH
    "Folder holding the header-only packages CLI, toml++ and nlohmann")

function(svg_header_only_package target folder probe)
  if(TARGET ${target})
    return()
  endif()
  set(source "${SVG_HEADER_ONLY_ROOT}/${folder}")
  if(NOT EXISTS "${source}/${probe}")
    message(STATUS "Header-only package ${folder}: not found under ${SVG_HEADER_ONLY_ROOT}")
    return()
  endif()
  set(shelf "${CMAKE_BINARY_DIR}/header_only/${target}")
  file(MAKE_DIRECTORY "${shelf}")
  file(CREATE_LINK "${source}" "${shelf}/${folder}" SYMBOLIC)
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE "${shelf}")
endfunction()

svg_header_only_package(svg_cli11 CLI CLI.hpp)
svg_header_only_package(svg_tomlplusplus toml++ toml.h)
svg_header_only_package(svg_nlohmann_json nlohmann json.hpp)
