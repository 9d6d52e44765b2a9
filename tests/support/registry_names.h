// Helpers of module tests: names of table-driven cases, and the names a module registered.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/registry.h"

namespace svg::testing {

// Test names of table-driven cases: the case's `name` field.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// Names registered under "<instance>." in registration order, without the prefix.
inline std::vector<std::string> RegisteredNames(const SignalRegistry& r, const std::string& inst) {
    std::vector<std::string> names;
    const std::string prefix = inst + ".";
    for (int i = 0; i < r.entry_count; ++i) {
        if (std::strncmp(r.entries[i].name, prefix.c_str(), prefix.size()) == 0) {
            names.emplace_back(r.entries[i].name + prefix.size());
        }
    }
    return names;
}

}  // namespace svg::testing
