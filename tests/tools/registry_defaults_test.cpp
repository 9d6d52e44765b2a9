// The parameter values a host takes from the description file the library writes.
#include "registry_defaults.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace svghost {
namespace {

TEST(RegistryDefaults, DescriptionLinesGiveValuesAndBadLinesAreNamed) {
    RegistryValues registry;
    std::string error;
    ASSERT_TRUE(
        ParseDescriptions("PLL.parm_pll_kp\t\ttype=f\t\tdefault=30.500000\r\n\n"
                          "ModeCtrl.parm_Qctrl_mode\t\ttype=cu\t\tdefault=1\n",
                          registry, error))
        << error;
    EXPECT_EQ(registry.Find("PLL.parm_pll_kp"), 30.5);
    EXPECT_EQ(registry.Find("ModeCtrl.parm_Qctrl_mode"), 1.0);
    EXPECT_FALSE(registry.Find("PLL.parm_pll_ki"));

    struct Case {
        const char* text;
        const char* message;
    };
    for (const Case& c : {Case{"a\t\ttype=f\n\nb c\n", "line 1: not a parameter description"},
                          Case{"a\t\ttype=f\t\tdefault=1\nb\t\ttype=f\t\tdefault=x1\n",
                               "line 2: 'x1' is not a finite number"}}) {
        RegistryValues bad;
        EXPECT_FALSE(ParseDescriptions(c.text, bad, error));
        EXPECT_EQ(error, c.message);
    }
}

TEST(RegistryDefaults, ChannelsTakeTheProbedValuesAndTheTableOnlyWhereTheRegistryIsSilent) {
    svg::testing::TempWorkDir dir;
    RegistryValues registry;
    std::string error;
    ASSERT_TRUE(ProbeRegistry(FAKE_SVG_LIB, Entry::kTravik, dir.path().string(), registry, error))
        << error;
    EXPECT_EQ(std::filesystem::current_path(), dir.path());  // restored
    registry.values.erase("PLL.parm_pll_ki");
    std::vector<std::string> missing;
    const auto values = ParameterChannelValues(LayoutOf(Entry::kTravik), registry, missing);
    ASSERT_EQ(values.size(), std::size(svg::kTravikParameterChannels));
    ASSERT_EQ(missing, std::vector<std::string>{"PLL.parm_pll_ki"});
    for (const ChannelValue& v : values) {
        // The fake registers the table's values; 85 falls back to the table itself.
        const double table = v.channel == 85 ? 1413.7 : v.value;
        EXPECT_NEAR(v.value, table, 1e-5 * std::abs(table)) << v.channel;
        if (v.channel == 84) {
            EXPECT_NEAR(v.value, 21.2, 1e-6);
        }
    }

    RegistryValues none;
    EXPECT_FALSE(ProbeRegistry("no-such-library.so", Entry::kTravik, ".", none, error));
    EXPECT_TRUE(none.values.empty());
}

}  // namespace
}  // namespace svghost
