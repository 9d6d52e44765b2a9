# Windows x86 (32-bit) DLLs with MinGW-w64; tests run under Wine in a 32-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SVG_MINGW_TRIPLE i686-w64-mingw32)
set(SVG_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
