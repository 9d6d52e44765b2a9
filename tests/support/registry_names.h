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

// Instance names in the order the full build creates its modules, which is the order of the
// registry entries and of the lines of the registry files.
inline constexpr const char* kCreationOrder[] = {
    "Parameter",  "ModCal",     "CurCtrl",        "CurRef",      "CurRefCal",    "CurTrans",
    "HarCurCtrl", "HLVRTCtrl",  "InPhaseVolCtrl", "MeterCtrl",   "ModeCtrl",     "PLL",
    "PQCal",      "UdcVolCtrl", "UFedCtrl",       "AppModeCtrl", "ThreeHarCtrl", "GfmCtrl",
    "HallOC",     "DCPro",      "OFPro",          "UFPro",       "OVPro",        "UVPro"};

// The instance prefix of each run of qualified names ("PLL.set_grid_freq"), in order of
// appearance; a module whose names are not contiguous appears more than once.
inline std::vector<std::string> Owners(const std::vector<std::string>& qualified) {
    std::vector<std::string> owners;
    for (const std::string& name : qualified) {
        const std::string owner = name.substr(0, name.find('.'));
        if (owners.empty() || owners.back() != owner) {
            owners.push_back(owner);
        }
    }
    return owners;
}

// The creation order restricted to the modules named in `owners`: what `owners` must equal
// when every module registers its names in one run and the modules follow creation order.
inline std::vector<std::string> InCreationOrder(const std::vector<std::string>& owners) {
    std::vector<std::string> ordered;
    for (const char* name : kCreationOrder) {
        for (const std::string& owner : owners) {
            if (owner == name) {
                ordered.push_back(name);
                break;
            }
        }
    }
    return ordered;
}

// Qualified names of a registry, in entry order.
inline std::vector<std::string> EntryNames(const SignalRegistry& r) {
    std::vector<std::string> names;
    for (int i = 0; i < r.entry_count; ++i) {
        names.emplace_back(r.entries[i].name);
    }
    return names;
}

}  // namespace svg::testing
