// The three exported functions of a control library, found by their undecorated names.
#pragma once

#include <string>
#include <string_view>

#include "platform.h"

// The exported functions use the C calling convention, caller cleans the stack; spelled out on
// Windows, where 32-bit code has other conventions, and the default everywhere else.
#ifdef _WIN32
#define SVGHOST_CDECL __cdecl
#else
#define SVGHOST_CDECL
#endif

namespace svghost {

using InitFunction = int(SVGHOST_CDECL*)(void** instance, int, int input_count, int output_count,
                                         double* host_params, double* inputs, double* outputs, int,
                                         void* storage, double time, double);
using StepFunction = int(SVGHOST_CDECL*)(void* instance, int, double* inputs, double* outputs, int,
                                         void* storage, double time);
using TerminateFunction = int(SVGHOST_CDECL*)(void* instance);

inline constexpr std::size_t kStorageBytes = 100;  // the block the host keeps for the library

struct EntryPoints {
    std::string init_name, step_name, terminate_name;
    InitFunction init = nullptr;
    StepFunction step = nullptr;
    TerminateFunction terminate = nullptr;
};

// Init<prefix>DLL, Step<prefix>DLL, Terminate<prefix>DLL; false with `error` on the first one
// missing.
bool FindEntryPoints(const SharedLibrary& library, std::string_view prefix, EntryPoints& entry,
                     std::string& error);

}  // namespace svghost
