# Windows x64 DLLs with MinGW-w64; tests run under Wine in a 64-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SVG_MINGW_TRIPLE x86_64-w64-mingw32)
set(SVG_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
