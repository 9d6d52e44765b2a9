# Shared part of the MinGW-w64 toolchains; the including file sets SVG_MINGW_TRIPLE (the
# compiler prefix) and SVG_WINE_ARCH (win32 or win64, the architecture of the Wine prefix).
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: GoogleTest needs std::mutex, which GCC 12 offers only there. Every
# binary links its runtimes statically (below, and in the deliverables' link options), so
# nothing needs libwinpthread-1.dll at run time; the export check of each DLL proves it.
foreach(lang C CXX)
  if(lang STREQUAL "C")
    set(driver gcc)
  else()
    set(driver g++)
  endif()
  find_program(SVG_MINGW_${lang} NAMES ${SVG_MINGW_TRIPLE}-${driver}-posix REQUIRED)
  set(CMAKE_${lang}_COMPILER ${SVG_MINGW_${lang}})
endforeach()
set(CMAKE_RC_COMPILER ${SVG_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SVG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program, test executables included, carries its compiler runtimes, so Wine (and a
# Windows machine) finds nothing missing.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test executables run under Wine, each tree in its own prefix, created once by the wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR
    sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${SVG_WINE_ARCH} ${CMAKE_BINARY_DIR}/wineprefix)
