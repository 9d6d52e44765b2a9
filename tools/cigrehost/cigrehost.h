// The cigrehost program: command line, conformance check, recording replay, model table.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cigre/ieee_cigre_dll.h"

namespace cigrehost {

// The ports and parameters of a model as Markdown tables.
std::string ModelTable(const IEEE_Cigre_DLLInterface_Model_Info& info);

// `args` without the program name; the process exit code.
int Main(std::span<const std::string_view> args);

}  // namespace cigrehost
