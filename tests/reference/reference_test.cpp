// The reference tables of the full build, written from a real build of the controller, and the
// refusals of rows and host channels that would make the manual wrong.
#include "reference.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/alloc.h"
#include "variants/travik/host_channels.h"
#include "variants/travik/host_inputs.h"
#include "variants/travik/travik.h"

namespace svg::reference {
namespace {

class ReferenceTables : public ::testing::Test {
  protected:
    void SetUp() override {
        const RowObserver observer{&rows_, &Observe};
        ASSERT_EQ(BuildEnvironment(TravikVariant(), SystemAllocator(), &env_, &observer), 0);
    }
    void TearDown() override { TearDownEnvironment(env_, false); }

    int Faults(const std::vector<SeenRow>& rows, std::span<const ParameterChannel> channels,
               std::string* messages) const {
        const Reference r(env_, rows, {"Travik_DLL", kTravikHostInputs, channels, false});
        std::ostringstream err;
        const int faults = r.Check(err);
        *messages = err.str();
        return faults;
    }

    static std::string Line(const std::string& file, const std::string& start) {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(start, 0) == 0) {
                return line;
            }
        }
        return {};
    }

    std::vector<SeenRow> rows_;
    Environment* env_ = nullptr;
};

TEST_F(ReferenceTables, TablesJoinChannelsParametersAndSignalsAsTheWiringDoes) {
    std::string messages;
    ASSERT_EQ(Faults(rows_, kTravikParameterChannels, &messages), 0) << messages;
    const auto folder = std::filesystem::temp_directory_path() / "svg_reference_test";
    std::filesystem::create_directories(folder);
    const Reference r(env_, rows_,
                      {"Travik_DLL", kTravikHostInputs, kTravikParameterChannels, false});
    ASSERT_TRUE(r.Write(folder.string()));
    const std::string base = (folder / "Travik_DLL_").string();
    // A parameter channel names its parameter, how it is written and the registered value,
    // and the parameter row names the channel back.
    EXPECT_EQ(Line(base + "inputs.csv", "84,"),
              "84,parm_pll_kp,Hz/pu,loop proportional gain per unit of normalised q-voltage,,"
              "PLL.parm_pll_kp,float,21.2");
    EXPECT_EQ(Line(base + "parameters.csv", "PLL,parm_pll_kp,"),
              "PLL,parm_pll_kp,f,21.2,Hz/pu,loop proportional gain per unit of normalised "
              "q-voltage,84");
    // A measurement channel lists every input the wiring points at it.
    EXPECT_NE(Line(base + "inputs.csv", "21,")
                  .find(",HarCurCtrl.Urms_PT4_ab_fund; MeterCtrl.Urms_PT4_ab; OVPro.an_input01; "
                        "UVPro.an_input01,,,"),
              std::string::npos);
    // A signal: wave channel, output channel and its consumers.
    const std::string freq = Line(base + "signals.csv", "");  // header
    EXPECT_EQ(freq, "wave,name,module,type,unit,meaning,output_channel,read_by");
    std::ifstream signals(base + "signals.csv");
    bool found = false;
    for (std::string line; std::getline(signals, line);) {
        if (line.find(",PLL.set_grid_freq,") != std::string::npos) {
            found = true;
            EXPECT_NE(line.find(",Hz,"), std::string::npos) << line;
            EXPECT_NE(line.find(",6,"), std::string::npos) << line;  // output channel 6
            EXPECT_NE(line.find("OFPro.an_input01"), std::string::npos) << line;
        }
    }
    EXPECT_TRUE(found);
    // Every output channel 0..39 is described.
    std::ifstream outputs(base + "outputs.csv");
    int described = 0;
    for (std::string line; std::getline(outputs, line);) {
        described += line.find(",,") == std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(described, 41);  // header and 40 channels
    std::filesystem::remove_all(folder);
}

TEST_F(ReferenceTables, RefusesRowsAndChannelsThatWouldMakeTheManualWrong) {
    const auto first_parameter = [&] {
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].kind == SignalKind::kParameter && rows_[i].registered) {
                return i;
            }
        }
        return rows_.size();
    }();
    ASSERT_LT(first_parameter, rows_.size());
    const SeenRow& p = rows_[first_parameter];
    const std::string row_name = p.name.substr(p.name.find('.') + 1);
    const ParameterChannel bogus[] = {{60, "Parameter.parm_no_such", ChannelWrite::kFloat, 1.0}};
    struct Case {
        const char* what;
        void (*spoil)(std::vector<SeenRow>&, std::size_t);
        bool bogus_channel;
        std::string expected;
    };
    const Case cases[] = {
        {"no meaning", [](std::vector<SeenRow>& r, std::size_t i) { r[i].meaning.clear(); }, false,
         "reference: " + p.module + ": row " + row_name + " has no meaning\n"},
        {"no unit", [](std::vector<SeenRow>& r, std::size_t i) { r[i].unit.clear(); }, false,
         "reference: " + p.module + ": row " + row_name + " has no unit\n"},
        {"name twice", [](std::vector<SeenRow>& r, std::size_t i) { r.push_back(r[i]); }, false,
         "reference: " + p.module + ": row " + row_name +
             " registers a name that is already registered\n"},
        {"channel to nothing", [](std::vector<SeenRow>&, std::size_t) {}, true,
         "reference: host channel 60 names Parameter.parm_no_such, which no module registers as "
         "a parameter\n"},
    };
    for (const Case& c : cases) {
        std::vector<SeenRow> rows = rows_;
        c.spoil(rows, first_parameter);
        std::string messages;
        EXPECT_EQ(
            Faults(rows,
                   c.bogus_channel ? std::span<const ParameterChannel>(bogus)
                                   : std::span<const ParameterChannel>(kTravikParameterChannels),
                   &messages),
            1)
            << c.what;
        EXPECT_EQ(messages, c.expected) << c.what;
    }
}

}  // namespace
}  // namespace svg::reference
