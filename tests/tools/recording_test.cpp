#include "recording.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace svghost {
namespace {

const Layout& kFull = LayoutOf(Entry::kTravik);

Recording ParseOk(std::string_view text, const Layout& layout = kFull) {
    Recording recording;
    std::string error;
    EXPECT_TRUE(ParseRecording(text, "rec.csv", layout, recording, error)) << error;
    return recording;
}

TEST(RecordingFile, ColumnsByNumberOrName) {
    const Recording r = ParseOk(
        "time,5,U_PT1_a,Parameter.parm_Qn_Mvar,deblock,Udcbal_div_c\n"
        "0,1,2,3,4,5\n"
        "0.5,-1e3,+2,.25,1,0\n");
    EXPECT_EQ(r.channels, (std::vector<int>{5, 0, 60, 42, 38}));
    EXPECT_EQ(r.times, (std::vector<double>{0.0, 0.5}));
    EXPECT_EQ(r.values, (std::vector<double>{1, 2, 3, 4, 5, -1e3, 2, 0.25, 1, 0}));
}

TEST(RecordingFile, NamesFollowTheLayout) {
    // The command bytes sit at 42/43 in the full build and at 60/61 in the reduced build.
    const Recording reduced =
        ParseOk("time,deblock,running,Parameter.sim_Qn_Mvar\n", LayoutOf(Entry::kPellum));
    EXPECT_EQ(reduced.channels, (std::vector<int>{60, 61, 43}));
    Recording unused;
    std::string error;
    EXPECT_FALSE(ParseRecording("time,Parameter.parm_Qn_Mvar\n", "r.csv", LayoutOf(Entry::kPellum),
                                unused, error));
    EXPECT_EQ(error, "r.csv:1:6: unknown input channel 'Parameter.parm_Qn_Mvar'");
}

TEST(RecordingFile, ToleratesWindowsFilesBlanksAndBlankLines) {
    const Recording r = ParseOk("\xEF\xBB\xBFtime , 7\r\n\r\n 0 ,  1.5 \r\n\n0.1,2\r\n\n");
    EXPECT_EQ(r.channels, (std::vector<int>{7}));
    EXPECT_EQ(r.times, (std::vector<double>{0.0, 0.1}));
    EXPECT_EQ(r.values, (std::vector<double>{1.5, 2.0}));
}

TEST(RecordingFile, HeaderOnlyAndEqualTimesAreValid) {
    EXPECT_TRUE(ParseOk("time,3").times.empty());
    EXPECT_EQ(ParseOk("time,3\n0.1,1\n0.1,2\n").times.size(), 2u);
}

TEST(RecordingFile, RejectsMalformedInputAtItsPosition) {
    struct Case {
        const char* what;
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"empty file", "", "bad.csv:1:1: first column must be 'time', found ''"},
        {"first column", "t,1\n", "bad.csv:1:1: first column must be 'time', found 't'"},
        {"unknown name", "time,U_PT1_a,U_PT9_a\n", "bad.csv:1:14: unknown input channel 'U_PT9_a'"},
        {"channel too high", "time,200\n", "bad.csv:1:6: input channel 200 out of range 0..199"},
        {"negative channel", "time,1, -1\n", "bad.csv:1:9: input channel -1 out of range 0..199"},
        {"huge channel", "time,99999999999\n",
         "bad.csv:1:6: input channel 99999999999 out of range 0..199"},
        {"empty name", "time,1,,2\n", "bad.csv:1:8: empty column name"},
        {"duplicate number", "time,4,5,4\n",
         "bad.csv:1:10: duplicate column: input channel 4 is already given by '4' at 1:6"},
        {"duplicate by name", "time,U_PT1_b,1\n",
         "bad.csv:1:14: duplicate column: input channel 1 is already given by 'U_PT1_b' at 1:6"},
        {"too many cells", "time,1\n0,1\n0.1,2,3\n", "bad.csv:3:7: expected 2 cells, found 3"},
        {"too few cells", "time,1,2\n0,1\n", "bad.csv:2:4: expected 3 cells, found 2"},
        {"empty cell", "time,1,2\n0,,3\n", "bad.csv:2:3: empty cell in column '1'"},
        {"blank cell", "time,1,2\n0,1,  \n", "bad.csv:2:5: empty cell in column '2'"},
        {"not a number", "time,U_PT1_a\n0,1\n0.1,1.5x\n",
         "bad.csv:3:5: '1.5x' is not a finite number (column 'U_PT1_a')"},
        {"text value", "time,U_PT1_a\n0, abc\n",
         "bad.csv:2:4: 'abc' is not a finite number (column 'U_PT1_a')"},
        {"decimal comma", "time;U_PT1_a\n",
         "bad.csv:1:1: first column must be 'time', found 'time;U_PT1_a'"},
        {"bad time", "time,1\n0,1\nx,2\n",
         "bad.csv:3:1: 'x' is not a finite number (column 'time')"},
        {"infinite value", "time,1\n0,inf\n",
         "bad.csv:2:3: 'inf' is not a finite number (column '1')"},
        {"time backwards", "time,1\n0,1\n0.2,1\n0.1,1\n",
         "bad.csv:4:1: time 0.1 goes back before the previous row's time 0.2"},
    };
    for (const Case& c : cases) {
        Recording recording;
        recording.times = {42.0};
        std::string error;
        EXPECT_FALSE(ParseRecording(c.text, "bad.csv", kFull, recording, error)) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(recording.times, std::vector<double>{42.0}) << c.what << ": output untouched";
    }
}

TEST(RecordingReplay, HoldsEachRowUntilTheNext) {
    const Recording r = ParseOk("time,3,7\n0.1,1,10\n0.2,2,20\n0.2,3,30\n0.5,4,40\n");
    struct Case {
        double t;
        double ch3, ch7;  // -1: untouched
    };
    const Case cases[] = {{0.0, -1, -1}, {0.0999, -1, -1}, {0.1, 1, 10}, {0.15, 1, 10},
                          {0.2, 3, 30},  {0.4999, 3, 30},  {0.5, 4, 40}, {99.0, 4, 40}};
    for (const Case& c : cases) {
        std::array<double, kChannels> inputs;
        inputs.fill(-1.0);
        ApplyRecording(r, c.t, inputs);
        EXPECT_EQ(inputs[3], c.ch3) << "t = " << c.t;
        EXPECT_EQ(inputs[7], c.ch7) << "t = " << c.t;
        EXPECT_EQ(inputs[4], -1.0) << "channels not recorded stay as generated";
    }
}

}  // namespace
}  // namespace svghost
