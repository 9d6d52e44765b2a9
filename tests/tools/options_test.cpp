#include "options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace svghost {
namespace {

bool Parse(std::vector<std::string_view> args, Options& options, std::string& error) {
    return ParseOptions(args, options, error);
}

Options ParseOk(std::vector<std::string_view> args) {
    Options options;
    std::string error;
    EXPECT_TRUE(Parse(args, options, error)) << error;
    return options;
}

std::string ParseError(std::vector<std::string_view> args) {
    Options options;
    std::string error;
    EXPECT_FALSE(Parse(args, options, error));
    return error;
}

TEST(CommandLine, DefaultsDescribeTheStandardRun) {
    const Options o = ParseOk({"lib.so"});
    EXPECT_EQ(o.library, "lib.so");
    EXPECT_FALSE(o.entry.has_value());
    EXPECT_EQ(o.duration, 0.2);
    EXPECT_EQ(o.dt, 0.0001);
    EXPECT_EQ(o.record, (std::array<double, 4>{0, 10, 10, 1}));
    EXPECT_TRUE(o.out_path.empty());
    EXPECT_EQ(o.outputs, OutputSelection::kWritten);
    EXPECT_EQ(o.scenario.pt, (std::array<bool, 4>{true, false, false, true}));
    EXPECT_EQ(o.scenario.grid_kv, 35.0);
    EXPECT_EQ(o.scenario.grid_hz, 50.0);
    for (int i = 0; i < kSettingCount; ++i) {
        EXPECT_EQ(o.scenario.settings[i], kSettings[i].default_value);
    }
}

TEST(CommandLine, ValuesFollowOrAreAttachedWithEquals) {
    const Options o = ParseOk({"--dt=0.00005", "--duration", "1.5", "--entry", "Pellum", "--record",
                               "7, 5,2,3", "--out=r.csv", "--input", "in.csv", "lib.so", "--pt",
                               "2,3", "--grid-kv=10.5", "--grid-hz", "60", "--outputs", "5,0,199"});
    EXPECT_EQ(o.dt, 0.00005);
    EXPECT_EQ(o.duration, 1.5);
    EXPECT_EQ(o.entry, Entry::kPellum);
    EXPECT_EQ(o.record, (std::array<double, 4>{7, 5, 2, 3}));
    EXPECT_EQ(o.out_path, "r.csv");
    EXPECT_EQ(o.input_path, "in.csv");
    EXPECT_EQ(o.library, "lib.so");
    EXPECT_EQ(o.scenario.pt, (std::array<bool, 4>{false, true, true, false}));
    EXPECT_EQ(o.scenario.grid_kv, 10.5);
    EXPECT_EQ(o.scenario.grid_hz, 60.0);
    EXPECT_EQ(o.outputs, OutputSelection::kList);
    EXPECT_EQ(o.output_list, (std::vector<int>{5, 0, 199}));
    EXPECT_EQ(ParseOk({"x", "--outputs", "all"}).outputs, OutputSelection::kAll);
    EXPECT_EQ(ParseOk({"x", "--outputs=bound"}).outputs, OutputSelection::kWritten);
    EXPECT_EQ(ParseOk({"--", "--odd-name.so"}).library, "--odd-name.so");
    const Options twice = ParseOk({"x", "--dt", "1", "--dt=0.5", "--grid-hz", "-50", "--out",
                                   "a.csv", "--out", "b.csv", "--pt", "1", "--pt", "3"});
    EXPECT_EQ(twice.dt, 0.5) << "of an option given twice the last one wins";
    EXPECT_EQ(twice.scenario.grid_hz, -50.0) << "a value may start with '-'";
    EXPECT_EQ(twice.out_path, "b.csv");
    EXPECT_EQ(twice.scenario.pt, (std::array<bool, 4>{false, false, true, false}));
}

TEST(CommandLine, RatingsAndCommandFlags) {
    const Options o =
        ParseOk({"lib", "--qn", "20", "--vn=10", "--cells", "36", "--deblock", "--running"});
    const auto value = [&](std::string_view option) {
        for (int i = 0; i < kSettingCount; ++i) {
            if (kSettings[i].option == option) return o.scenario.settings[i];
        }
        ADD_FAILURE() << option;
        return 0.0;
    };
    EXPECT_EQ(value("qn"), 20.0);
    EXPECT_EQ(value("vn"), 10.0);
    EXPECT_EQ(value("cells"), 36.0);
    EXPECT_EQ(value("deblock"), 1.0);
    EXPECT_EQ(value("running"), 1.0);
    EXPECT_EQ(value("fn"), 50.0);
}

TEST(CommandLine, HeldChannelsResolveByNumberOrName) {
    const Options o =
        ParseOk({"lib", "--set", "17=2.5", "--set=PLL.parm_pll_kp = 21.2", "--set", "running=1"});
    std::vector<ChannelValue> full, reduced;
    std::string error;
    ASSERT_TRUE(ResolveConstants(LayoutOf(Entry::kTravik), o.constants, full, error)) << error;
    ASSERT_EQ(full.size(), 3u);
    EXPECT_EQ(full[0].channel, 17);
    EXPECT_EQ(full[0].value, 2.5);
    EXPECT_EQ(full[1].channel, 84);
    EXPECT_EQ(full[1].value, 21.2);
    EXPECT_EQ(full[2].channel, 43);
    EXPECT_FALSE(ResolveConstants(LayoutOf(Entry::kPellum), o.constants, reduced, error));
    EXPECT_EQ(error, "--set PLL.parm_pll_kp: unknown input channel 'PLL.parm_pll_kp'");
    EXPECT_FALSE(ResolveConstants(LayoutOf(Entry::kTravik),
                                  ParseOk({"l", "--set", "200=1"}).constants, full, error));
    EXPECT_EQ(error, "--set 200: input channel 200 out of range 0..199");
}

TEST(CommandLine, RejectsBadArgumentsWithAMessage) {
    struct Case {
        std::vector<std::string_view> args;
        const char* error;
    };
    const Case cases[] = {
        {{}, "no library given"},
        {{"a.so", "b.so"}, "The following argument was not expected: b.so"},
        {{"l", "--speed", "2"}, "The following arguments were not expected: 2 --speed"},
        {{"l", "-x"}, "The following argument was not expected: -x"},
        {{"l", "--dt"}, "--dt: 1 required S missing"},
        {{"l", "--out"}, "--out: 1 required FILE missing"},
        {{"l", "--dt", "0"}, "--dt: must be positive"},
        {{"l", "--dt", "-1e-4"}, "--dt: must be positive"},
        {{"l", "--dt", "0", "--dt", "1"}, "--dt: must be positive"},
        {{"l", "--dt", "1e-4s"}, "--dt: '1e-4s' is not a finite number"},
        {{"l", "--dt", "inf"}, "--dt: 'inf' is not a finite number"},
        {{"l", "--dt", "0x1p-4"}, "--dt: '0x1p-4' is not a finite number"},
        {{"l", "--duration=-1"}, "--duration: must not be negative"},
        {{"l", "--duration", "nan"}, "--duration: 'nan' is not a finite number"},
        {{"l", "--duration", "1e6"}, "--duration/--dt: more than 1e+09 steps"},
        {{"l", "--record", "0,10,10"},
         "--record: expected 4 comma-separated numbers, not '0,10,10'"},
        {{"l", "--record", "0,10,x,1"}, "--record: 'x' is not a finite number"},
        {{"l", "--record", "0,1e999,10,1"}, "--record: '1e999' is not a finite number"},
        {{"l", "--entry", "travik"}, "--entry: expected Travik or Pellum, not 'travik'"},
        {{"l", "--pt", "5"}, "--pt: '5' is not a number from 1 to 4"},
        {{"l", "--pt", "1,1"}, "--pt: 1 given twice"},
        {{"l", "--outputs", "0,200"}, "--outputs: '200' is not a number from 0 to 199"},
        {{"l", "--outputs", "some"}, "--outputs: 'some' is not a number from 0 to 199"},
        {{"l", "--grid-kv", "-35"}, "--grid-kv: must not be negative"},
        {{"l", "--grid-hz", "-inf"}, "--grid-hz: '-inf' is not a finite number"},
        {{"l", "--set", "17"}, "--set: expected CH=VALUE, not '17'"},
        {{"l", "--set", "=1"}, "--set: expected CH=VALUE, not '=1'"},
        {{"l", "--set", "17=1,5"}, "--set: '1,5' is not a finite number"},
        {{"l", "--set", "17=NaN"}, "--set: 'NaN' is not a finite number"},
        {{"l", "--deblock=1"}, "deblock was given a disallowed flag override"},
        {{"l", "--list-channels=0"}, "list-channels was given a disallowed flag override"},
        {{"l", "--qn", "lots"}, "--qn: 'lots' is not a finite number"},
        {{"l", "--l", "nan"}, "--l: 'nan' is not a finite number"},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseError(c.args), c.error);
}

TEST(CommandLine, HelpAndChannelListNeedNoLibrary) {
    EXPECT_TRUE(ParseOk({"--help"}).help);
    EXPECT_TRUE(ParseOk({"-h", "--dt", "1"}).help);
    EXPECT_TRUE(ParseOk({"--list-channels", "--entry", "Pellum"}).list_channels);
}

TEST(CommandLine, EntryComesFromTheFileNameUnlessGiven) {
    EXPECT_EQ(EntryOf(ParseOk({"build/libPellum_DLL.so"})), Entry::kPellum);
    EXPECT_EQ(EntryOf(ParseOk({"C:\\sim\\pellum_dll.dll"})), Entry::kPellum);
    EXPECT_EQ(EntryOf(ParseOk({"Pellum/libTravik_DLL.so"})), Entry::kTravik)
        << "a directory name does not count";
    EXPECT_EQ(EntryOf(ParseOk({"libTravik_DLL.so"})), Entry::kTravik);
    EXPECT_EQ(EntryOf(ParseOk({"libPellum.so", "--entry", "Travik"})), Entry::kTravik);
}

TEST(CommandLine, UsageNamesEveryOption) {
    const std::string usage = UsageText();
    for (const char* option :
         {"--entry", "--duration", "--dt", "--record", "--out ", "--outputs", "--pt", "--grid-kv",
          "--grid-hz", "--set", "--input", "--list-channels", "--help"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    for (const Setting& setting : kSettings) {
        EXPECT_NE(usage.find("--" + std::string(setting.option) + " "), std::string::npos);
    }
    // Help texts are wrapped to their column: no line runs past a terminal of 96 characters.
    std::size_t start = 0;
    while (start < usage.size()) {
        const std::size_t end = std::min(usage.find('\n', start), usage.size());
        EXPECT_LE(end - start, 96u) << usage.substr(start, end - start);
        start = end + 1;
    }
}

}  // namespace
}  // namespace svghost
