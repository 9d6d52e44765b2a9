// Scenario files: what a good one gives, and the message for each kind of bad one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "scenario.h"
#include "support/temp_dir.h"

namespace svgsim {
namespace {

namespace fs = std::filesystem;

TEST(SvgsimScenario, BadScenariosAreRefusedWithFileLineAndReason) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"duration = nan\n", "bad.toml:1: 'duration' must be a finite number (is nan)"},
        {"duration = -1.0\n", "bad.toml:1: 'duration' must be positive"},
        {"duration = \"long\"\n", "bad.toml:1: 'duration' must be a number"},
        {"name = \"x\"\n", "bad.toml: needs a positive 'duration'"},
        {"duration = 1\nspeed = 3\n", "bad.toml:2: unknown key 'speed' in the scenario"},
        {"duration = 1\n[plant]\nscr = 20\ncells = 7\n",
         "bad.toml:4: unknown key 'cells' in [plant]"},
        {"duration = 1\n[grid]\nkv = inf\n", "bad.toml:3: 'kv' must be a finite number (is inf)"},
        {"duration = 1\n[channels]\n\"NoSuch.parm\" = 1\n",
         "bad.toml:3: channel 'NoSuch.parm': unknown input channel 'NoSuch.parm'"},
        {"duration = 1\n[channels]\n250 = 1\n",
         "bad.toml:3: channel '250': input channel 250 out of range 0..199"},
        {"duration = 1\n[channels]\ndeblock = true\n", "bad.toml:3: 'deblock' must be a number"},
        {"duration = 1\n[[events]]\ntime = 0.5\nchannels = { deblock = 1 }\n[[events]]\n"
         "time = 0.2\nchannels = { running = 1 }\n",
         "bad.toml:6: event at 0.2 s comes after one at 0.5 s: events must be in time order"},
        {"duration = 1\n[[events]]\ntime = 2\nchannels = { deblock = 1 }\n",
         "bad.toml: event at 2 s lies beyond the duration"},
        {"duration = 1\n[[events]]\ntime = 0.1\n",
         "bad.toml:2: an event must change a channel or the grid"},
        {"duration = 1\n[[events]]\ntime = 0.1\ngrid = { kv = 3, volts = 2 }\n",
         "bad.toml:4: unknown key 'volts' in an event's grid"},
        {"duration = 1\n[[events]]\ntime = 0.1\nkind = \"dip\"\ngrid = { kv = 3 }\n",
         "bad.toml:4: 'kind' must be one of other, reactive, voltage, grid_voltage, "
         "grid_frequency, grid_phase, deblock, running"},
        {"duration = 1\n[grid]\nharmonics = [{ order = 1, pu = 0.1 }]\n",
         "bad.toml:3: 'order' must be a whole number from 2 to 50"},
        {"duration = 1\n[host]\nrecord = [1, 10]\n",
         "bad.toml:3: 'record' must be an array of four numbers"},
        {"include = \"missing.toml\"\nduration = 1\n",
         "bad.toml:1: cannot include 'missing.toml': cannot open 'missing.toml': "},
        // Characters the TOML reader's whitespace test is undefined for never reach it,
        // wherever they stand.
        {"\xC4\xA3", "bad.toml:1:1: the character U+0123 cannot be read safely"},
        {"duration = 1\nname = \"x\xE3\x80\x81\"\n",
         "bad.toml:2:10: the character U+3001 cannot be read safely"},
        {"duration = 1 # \xEF\xBB\xB7\n", "bad.toml:1:16: the character U+FEF7 cannot be read"},
    };
    for (const Case& c : cases) {
        Scenario scenario;
        std::string error;
        EXPECT_FALSE(ParseScenario(c.text, "bad.toml", scenario, error)) << c.text;
        EXPECT_EQ(error.substr(0, std::string(c.message).size()), c.message) << c.text;
    }
    // Other non-ASCII text (CJK ideographs, the ideographic space) is read.
    Scenario scenario;
    std::string error;
    for (const char* text : {"duration = 1 # \xE4\xB8\xAD\nname = \"\xE4\xB8\xAD\xE3\x80\x80\"\n",
                             "duration = 1\nname = '\xE6\x96\x87'\n"}) {
        EXPECT_TRUE(ParseScenario(text, "good.toml", scenario, error)) << text << error;
    }
    // A syntax error names the file and line as well.
    EXPECT_FALSE(ParseScenario("duration = = 1\n", "bad.toml", scenario, error));
    EXPECT_EQ(error.rfind("bad.toml:1: ", 0), 0u) << error;
}

TEST(SvgsimScenario, IncludedBaseIsOverriddenAndEventsGetKindsAndDescriptions) {
    svg::testing::TempWorkDir dir;
    svg::testing::WriteFile(dir.path() / "base.toml",
                            "duration = 3\n[plant]\nscr = 7\ncell_voltage = 900\n"
                            "[channels]\n\"MeterCtrl.parm_Udccmd\" = 900\ndeblock = 0\n");
    svg::testing::WriteFile(
        dir.path() / "run.toml",
        "include = \"base.toml\"\nduration = 0.5\n[plant]\nscr = 12\n[channels]\n"
        "deblock = 1\n69 = 950\n"
        "[[events]]\ntime = 0.1\nchannels = { \"MeterCtrl.parm_Qsvg_cmd\" = 30 }\n"
        "[[events]]\ntime = 0.2\ngrid = { kv = 7 }\n"
        "[[events]]\ntime = 0.2\ngrid = { hz = 51 }\n"
        "[[events]]\ntime = 0.3\ngrid = { phase_jump_deg = 20 }\nwhat = \"jump\"\n"
        "[[events]]\ntime = 0.4\nkind = \"other\"\nchannels = { 43 = 1 }\n");
    Scenario s;
    std::string error;
    ASSERT_TRUE(LoadScenario((dir.path() / "run.toml").string(), s, error)) << error;
    EXPECT_EQ(s.name, "run");
    EXPECT_EQ(s.duration_s, 0.5);
    EXPECT_EQ(s.plant.scr, 12.0);
    EXPECT_EQ(s.plant.cell_voltage_v, 900.0);
    ASSERT_EQ(s.channels.size(), 2u);  // channel 69 once, deblock once: the file's values
    for (const ChannelSet& c : s.channels) {
        EXPECT_EQ(c.value, c.channel == 69 ? 950.0 : 1.0) << c.channel;
    }
    EXPECT_LT(s.grid.kv, 0.0);  // the rated voltage of the run
    ASSERT_EQ(s.events.size(), 5u);
    const EventKind kinds[] = {EventKind::kReactiveCommand, EventKind::kGridVoltage,
                               EventKind::kGridFrequency, EventKind::kGridPhase, EventKind::kOther};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(s.events[i].kind, kinds[i]) << i;
    EXPECT_EQ(s.events[0].what, "MeterCtrl.parm_Qsvg_cmd = 30");
    EXPECT_EQ(s.events[1].what, "grid kV = 7");
    EXPECT_EQ(s.events[3].what, "jump");
    EXPECT_EQ(s.events[4].what, "running = 1");
}

TEST(SvgsimScenario, EveryShippedScenarioReads) {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(SCENARIO_DIR)) {
        // common/ holds the included base files, which are no scenarios of their own.
        if (entry.path().extension() != ".toml" ||
            entry.path().parent_path().filename() == "common") {
            continue;
        }
        Scenario s;
        std::string error;
        EXPECT_TRUE(LoadScenario(entry.path().string(), s, error)) << error;
        EXPECT_FALSE(s.events.empty()) << entry.path();
        ++count;
    }
    EXPECT_GE(count, 12);
}

}  // namespace
}  // namespace svgsim
