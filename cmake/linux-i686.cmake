# 32-bit x86 Linux with the host's multilib GCC: the library and every test run as i386
# programs. Single precision stays in SSE registers (the top-level list adds -msse2
# -mfpmath=sse for every 4-byte-pointer target), so results do not depend on x87 precision.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# The kernel runs i386 programs directly: no emulator, tests are discovered and run as usual.
