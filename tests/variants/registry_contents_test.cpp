// A whole deliverable: its task lists in run order, its registry (full build: 466 parameters
// and 601 variables; reduced build: 331 and 57, modules in creation order) and the three files
// written from the registry at tear-down, each equal byte for byte to the entries formatted
// here (addresses, which differ per run, compared as a placeholder). The same source is
// compiled against each build.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "framework/environment.h"
#include "framework/registry.h"
#include "support/registry_names.h"
#include "support/temp_dir.h"
#if SVG_REDUCED_BUILD
#include "variants/pellum/pellum.h"
#else
#include "variants/travik/travik.h"
#endif

namespace svg::testing {
namespace {

struct Expected {
    const Variant& variant;
    int parameters;
    int variables;
    std::vector<std::vector<std::string>> task_lists;
};

const Expected& Build() {
#if !SVG_REDUCED_BUILD
    static const Expected kBuild{
        TravikVariant(),
        466,
        601,
        {{"SimInput", "Parameter",  "MeterCtrl",      "PLL",          "UFedCtrl",  "CurTrans",
          "PQCal",    "UdcVolCtrl", "HLVRTCtrl",      "CurRef",       "CurRefCal", "GfmCtrl",
          "CurCtrl",  "HarCurCtrl", "InPhaseVolCtrl", "ThreeHarCtrl", "ModCal",    "HallOC",
          "DCPro",    "OFPro",      "UFPro",          "OVPro",        "UVPro",     "SimOutput"},
         {"MeterCtrl", "HarCurCtrl", "ModeCtrl", "AppModeCtrl"},
         {"MeterCtrl", "MeterCtrl", "ModCal"},
         {}}};
#else
    // The full build's order without grid-forming control and the protection elements.
    static const Expected kBuild{
        PellumVariant(),
        331,
        57,
        {{"SimInput", "Parameter", "MeterCtrl", "PLL", "UFedCtrl", "CurTrans", "PQCal",
          "UdcVolCtrl", "HLVRTCtrl", "CurRef", "CurRefCal", "CurCtrl", "HarCurCtrl",
          "InPhaseVolCtrl", "ThreeHarCtrl", "ModCal", "SimOutput"},
         {"MeterCtrl", "HarCurCtrl", "ModeCtrl", "AppModeCtrl"},
         {"MeterCtrl", "MeterCtrl", "ModCal"},
         {}}};
#endif
    return kBuild;
}

std::vector<std::string> Names(const SignalRegistry& r) {
    std::vector<std::string> names;
    for (int i = 0; i < r.entry_count; ++i) {
        names.emplace_back(r.entries[i].name);
    }
    return names;
}

std::string Format(const char* format, auto... args) {
    char line[512];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

// Pointers print in a platform format; the files are compared with every address replaced.
std::string MaskAddresses(const std::string& text) {
    static const std::regex kAddress("=0x[0-9A-Fa-fx]+");
    return std::regex_replace(text, kAddress, "=0x?");
}

// Equal texts; otherwise the first line that differs.
void ExpectSameLines(const std::string& written, const std::string& expected) {
    if (written == expected) {
        return;
    }
    std::size_t line = 1;
    std::size_t k = 0;
    while (k < written.size() && k < expected.size() && written[k] == expected[k]) {
        line += written[k] == '\n' ? 1 : 0;
        ++k;
    }
    const std::size_t from = expected.rfind('\n', k == 0 ? 0 : k - 1);
    const std::size_t start = from == std::string::npos ? 0 : from + 1;
    ADD_FAILURE() << "line " << line << " differs: written\n"
                  << written.substr(start, written.find('\n', k) - start) << "\nexpected\n"
                  << expected.substr(start, expected.find('\n', k) - start);
}

TEST(Registry, TheBuildRegistersEverySignalAndWritesItInCreationOrder) {
    TempWorkDir dir;
    Environment* env = nullptr;
    ASSERT_EQ(BuildEnvironment(Build().variant, SystemAllocator(), &env), 0);
    const SignalRegistry& params = *env->parameters;
    const SignalRegistry& vars = *env->variables;
    EXPECT_EQ(params.entry_count, Build().parameters);
    EXPECT_EQ(vars.entry_count, Build().variables);
    const std::vector<std::string> order(std::begin(kCreationOrder), std::end(kCreationOrder));
    const std::vector<std::string> var_owners = Owners(Names(vars));
    EXPECT_EQ(var_owners, InCreationOrder(var_owners));
    const std::vector<std::string> owners = Owners(Names(params));  // ModCal has no parameter
    EXPECT_EQ(owners, InCreationOrder(owners));
    if constexpr (!kReducedBuild) {
        EXPECT_EQ(var_owners, order);
        EXPECT_EQ(owners.size(), order.size() - 1);
    } else {
        EXPECT_EQ(owners.size(), 16u);  // the seventeen control modules but ModCal
    }

    std::string descriptions;
    std::string table = "STATIC CONST param params_tbl[] = {\n";
    for (int i = 0; i < params.entry_count; ++i) {
        const RegistryEntry& e = params.entries[i];
        const auto value = static_cast<double>(e.default_value);
        descriptions +=
            Format("%s\t\ttype=%s\t\tdefault=%f\n", e.name, TypeText(e.type_code), value);
        const bool last = i + 1 == params.entry_count;
        table += Format(
            "\t{.name=\"%s\", .addr=0x?, .type=%d, .default_value=%f, {.uv=%u}, "
            ".next=0x?}%s\n",
            e.name, static_cast<int>(e.type_code), value, e.default_bits, last ? "\n};" : ",");
    }
    std::string waves;
    for (int i = 0; i < vars.entry_count; ++i) {
        waves += Format("\xE5\xBD\x95\xE6\xB3\xA2\xE9\x80\x9A\xE9\x81\x93%d:\t\t%s\n", i + 1,
                        vars.entries[i].name);
    }
    ASSERT_EQ(TearDownEnvironment(env, true), 0);
    ExpectSameLines(ReadFile("allDescriptions_0.tsv"), descriptions);
    ExpectSameLines(MaskAddresses(ReadFile("allParams_0.tbl")), table);
    ExpectSameLines(ReadFile("RecordWaves_0.tsv"), waves);
}

TEST(TaskLists, TheBuildRunsEveryModuleInItsListAndOrder) {
    TempWorkDir dir;
    Environment* env = nullptr;
    ASSERT_EQ(BuildEnvironment(Build().variant, SystemAllocator(), &env), 0);
    const std::vector<std::vector<std::string>>& expected = Build().task_lists;
    for (int list = 0; list < kTaskLists; ++list) {
        std::vector<std::string> names;
        for (const TaskNode* n = env->scheduler->lists[list]->first; n != nullptr; n = n->next) {
            names.emplace_back(n->module->instance_name);
        }
        EXPECT_EQ(names, expected[static_cast<std::size_t>(list)]) << "task list " << list + 1;
    }
    EXPECT_EQ(TearDownEnvironment(env, false), 0);
}

}  // namespace
}  // namespace svg::testing
