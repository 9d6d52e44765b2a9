// A parameter that two host channels write in the same step: its name addresses the channel
// written last, whose value the parameter keeps, and the earlier channel has a name of its own.
#include "channels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace svghost {
namespace {

TEST(ParameterChannelNames, AParameterWrittenTwiceIsSetByNameOnTheChannelThatWins) {
    const Layout& layout = LayoutOf(Entry::kTravik);
    std::string why;
    EXPECT_EQ(ResolveInputChannel(layout, "GfmCtrl.parm_GFM_Mode_Sel@125", why), 125);
    EXPECT_EQ(InputName(layout, 126), "GfmCtrl.parm_GFM_Mode_Sel");
    EXPECT_FALSE(ResolveInputChannel(layout, "GfmCtrl.parm_Uctrl_GFM", why));
    // --set by the parameter's name lands on the later channel, so the value reaches the
    // parameter instead of being overwritten by the other channel's registered value.
    const std::vector<ChannelSettingText> constants = {{"GfmCtrl.parm_GFM_Mode_Sel", 1.0}};
    std::vector<ChannelValue> resolved;
    std::string error;
    ASSERT_TRUE(ResolveConstants(layout, constants, resolved, error)) << error;
    ASSERT_EQ(resolved.size(), 1u);
    EXPECT_EQ(resolved[0].channel, 126);
}

}  // namespace
}  // namespace svghost
