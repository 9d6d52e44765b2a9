#include "output_csv.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

namespace svghost {
namespace {

TEST(ResultColumns, BoundChannelsCarryTheirSourceNames) {
    const auto full = SelectOutputs(LayoutOf(Entry::kTravik), OutputSelection::kWritten, {});
    ASSERT_EQ(full.size(), 40u);
    EXPECT_EQ(full[0].name, "ModCal.set_mod_a_sum");
    EXPECT_EQ(full[3].name, "SimInput.deblock_cmd");
    EXPECT_EQ(full[4].name, "SimInput.running_cmd");
    EXPECT_EQ(full[20].name, "SimOutput.prot_flag");
    EXPECT_EQ(full[39].name, "UVPro.flg_obCn3L3_03");
    const auto reduced = SelectOutputs(LayoutOf(Entry::kPellum), OutputSelection::kWritten, {});
    ASSERT_EQ(reduced.size(), 57u);
    EXPECT_EQ(reduced[0].name, "Parameter.Task1");
    EXPECT_EQ(reduced[25].name, "ModCal.set_mod_a_sum");
    EXPECT_EQ(reduced[56].name, "ThreeHarCtrl.threehar_a_neg");
    for (std::size_t i = 0; i < reduced.size(); ++i) EXPECT_EQ(reduced[i].channel, int(i));
}

TEST(ResultColumns, AllIsNumberedAndAListIsNamedWhereKnown) {
    const auto all = SelectOutputs(LayoutOf(Entry::kTravik), OutputSelection::kAll, {});
    ASSERT_EQ(all.size(), 200u);
    EXPECT_EQ(all[0].name, "out0");
    EXPECT_EQ(all[199].name, "out199");
    const int list[] = {6, 0, 150};
    const auto chosen = SelectOutputs(LayoutOf(Entry::kTravik), OutputSelection::kList, list);
    ASSERT_EQ(chosen.size(), 3u);
    EXPECT_EQ(chosen[0].name, "PLL.set_grid_freq");
    EXPECT_EQ(chosen[1].name, "ModCal.set_mod_a_sum");
    EXPECT_EQ(chosen[2].name, "out150");
    EXPECT_EQ(chosen[2].channel, 150);
}

TEST(ResultColumns, NamesAreUniqueInEveryLayout) {
    for (const Entry entry : {Entry::kTravik, Entry::kPellum}) {
        const Layout& layout = LayoutOf(entry);
        std::set<std::string_view> outputs, inputs;
        for (const ChannelName& c : layout.outputs)
            EXPECT_TRUE(outputs.insert(c.name).second) << c.name;
        std::set<int> channels;
        for (const auto& group : layout.inputs) {
            for (const ChannelName& c : group) {
                EXPECT_TRUE(inputs.insert(c.name).second) << c.name;
                EXPECT_TRUE(channels.insert(c.channel).second) << c.channel;
                std::string why;
                EXPECT_EQ(ResolveInputChannel(layout, c.name, why), c.channel) << c.name;
            }
        }
    }
    // Full build: every channel up to the last parameter channel has a name.
    for (int ch = 0; ch < 150; ++ch)
        EXPECT_FALSE(InputName(LayoutOf(Entry::kTravik), ch).empty()) << ch;
}

TEST(ResultRows, TimeThenValuesAsPercentNineG) {
    std::array<double, kChannels> outputs{};
    outputs[0] = 0.1f;  // a float widened to double prints back as the float's nine digits
    outputs[5] = -1234567890.0;
    outputs[6] = 1e-7;
    const std::vector<OutputColumn> columns = {{0, "a"}, {5, "b"}, {6, "c"}, {7, "d"}};
    std::string text;
    AppendHeader(columns, text);
    AppendRow(0.0003, outputs, columns, text);
    EXPECT_EQ(text, "time,a,b,c,d\n0.0003,0.100000001,-1.23456789e+09,1e-07,0\n");
}

}  // namespace
}  // namespace svghost
