// svghost run as a program on the stand-in libraries: loading, the calls a host makes, the
// result file and the failure paths.
// These tests start svghost as a child process through a POSIX shell; Windows builds check
// svghost through the runs registered in tests/host instead.
#if !defined(_WIN32)
#include "host.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "text.h"

namespace svghost {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out;  // the result file
    std::string err;  // standard error
};

class SvghostRun : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("svghost_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Path(const std::string& name) const { return dir_ / name; }

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }

    static std::string Read(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // Runs svghost with the arguments (already quoted where needed), result file in the test's
    // directory unless the arguments name another.
    Result Run(const std::string& args, bool to_file = true) const {
        const fs::path out = Path("out.csv"), err = Path("err.txt");
        std::string command = "'" SVGHOST_EXE "' " + args;
        if (to_file) command += " --out '" + out.string() + "'";
        command += " 2> '" + err.string() + "'";
        if (!to_file) command += " > '" + out.string() + "'";
        const int raw = std::system(command.c_str());
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return {status, Read(out), Read(err)};
    }

    fs::path dir_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<double> Numbers(const std::string& line) {
    std::vector<double> values;
    for (const auto field : SplitCommas(line)) {
        double v = 0.0;
        EXPECT_TRUE(ParseNumber(field, v)) << field;
        values.push_back(v);
    }
    return values;
}

TEST(StepTimes, WholeNumberOfStepsWhateverTheRounding) {
    EXPECT_EQ(StepCount(0.2, 0.0001), 2000);
    EXPECT_EQ(StepCount(0.9, 0.3), 3) << "3 * 0.3 rounds to just below 0.9";
    EXPECT_EQ(StepCount(0.25, 0.1), 3);
    EXPECT_EQ(StepCount(0.0, 0.1), 0);
    EXPECT_EQ(StepCount(1e-9, 0.1), 1);
    EXPECT_EQ(StepCount(1e-12, 0.1), 0) << "within a billionth of a step of the end";
}

TEST_F(SvghostRun, StepsTheLibraryAndWritesOneRowPerStep) {
    const Result r = Run("'" FAKE_SVG_LIB
                         "' --duration 0.001 --dt 0.0001 --record 3,5,2,1 "
                         "--outputs 0,9,12,24,60,190,191,192,193,194,195,196,197,198,199");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "fake: terminated after 10 steps\n");
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0],
              "time,ModCal.set_mod_a_sum,HLVRTCtrl.flg_LVRT_mod,"
              "UdcVolCtrl.set_Udccmd_final,GfmCtrl.set_Iq_fbk_GFM,out60,out190,out191,"
              "out192,out193,out194,out195,out196,out197,out198,out199");
    const double peak = 35000.0 * std::sqrt(2.0 / 3.0);
    for (int k = 0; k < 10; ++k) {
        const auto v = Numbers(lines[1 + k]);
        ASSERT_EQ(v.size(), 16u);
        const double t = k * 0.0001;
        EXPECT_EQ(v[0], std::stod(FormatNumber(t)));
        EXPECT_NEAR(v[1], peak * std::cos(2 * std::numbers::pi * 50 * t), 1e-4 * peak)
            << "U_PT1_a echoed";
        EXPECT_NEAR(v[2], peak * std::cos(2 * std::numbers::pi * 50 * t), 1e-4 * peak)
            << "U_PT4_a echoed";
        EXPECT_EQ(v[3], 35000.0) << "Urms_PT1_ab";
        EXPECT_EQ(v[4], 0.0) << "currents are not generated";
        EXPECT_EQ(v[5], 30.0) << "rated Mvar on channel 60";
        EXPECT_EQ(v[6], v[0]) << "the step's time argument is the row's time";
        EXPECT_EQ(v[7], k + 1.0);
        EXPECT_EQ(v[8], 0.0) << "the storage block never changes";
        EXPECT_EQ((std::vector<double>(v.begin() + 9, v.begin() + 13)),
                  (std::vector<double>{3, 5, 2, 1}));
        EXPECT_EQ(v[13], 200.0) << "input count";
        EXPECT_EQ(v[14], 200.0) << "output count";
        EXPECT_EQ(v[15], std::stod(FormatNumber(peak))) << "Init saw the inputs at t = 0";
    }
}

TEST_F(SvghostRun, RecordingOverridesSetWhichOverridesGenerated) {
    Write("rec.csv", "time,U_PT1_a,running\n0.0002,5,1\n0.0004,6,0\n");
    const Result r = Run("'" FAKE_SVG_LIB
                         "' --duration 0.0006 --set U_PT1_a=7 --set 60=12 --pt 4 "
                         "--deblock --outputs 0,42,43,60 --input '" +
                         Path("rec.csv").string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "time,ModCal.set_mod_a_sum,out42,out43,out60\n"
              "0,7,1,0,12\n"
              "0.0001,7,1,0,12\n"
              "0.0002,5,1,1,12\n"
              "0.0003,5,1,1,12\n"
              "0.0004,6,1,0,12\n"
              "0.0005,6,1,0,12\n");
}

TEST_F(SvghostRun, RecordingRunsToItsLastRowAndAMissingGridVoltageIsReported) {
    Write("rec.csv", "time,U_PT1_a\n0,5\n0.0003,6\n");
    const std::string input = " --outputs 0,9 --input '" + Path("rec.csv").string() + "'";
    struct Case {
        const char* options;
        std::size_t rows;
        bool warned;
    };
    for (const Case& c : {Case{" --pt 1", 4, true}, Case{" --pt 1 --duration 0.0002", 2, true},
                          Case{" --pt 4", 4, false}}) {
        const Result r = Run("'" FAKE_SVG_LIB "'" + std::string(c.options) + input);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Lines(r.out).size(), 1 + c.rows) << c.options;
        EXPECT_EQ(
            r.err.find("svghost: PT4 (channels 9-11) carried no voltage") != std::string::npos,
            c.warned)
            << c.options << r.err;
    }
}

TEST_F(SvghostRun, ReducedBuildChosenByFileName) {
    const Result r = Run("'" FAKE_PELLUM_LIB "' --duration 0.0001 --deblock", false);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 32), "time,Parameter.Task1,Parameter.T");
    const auto v = Numbers(lines[1]);
    ASSERT_EQ(v.size(), 58u) << "time and the 57 wave channels";
    EXPECT_EQ(v[1 + 43], 30.0) << "rated Mvar on the reduced build's channel 43";
    EXPECT_EQ(v[1 + 45], 13.0);
    EXPECT_EQ(v[1 + 42], 0.0) << "channel 42 carries nothing in the reduced build";
    // Channel 60 (deblock) lies beyond the 57 written outputs; look at it with a list.
    const Result listed = Run("'" FAKE_PELLUM_LIB "' --duration 0.0001 --deblock --outputs 60");
    EXPECT_EQ(listed.out, "time,out60\n0,1\n");
}

TEST_F(SvghostRun, BadRecordingStopsBeforeTheLibraryRuns) {
    Write("rec.csv", "time,U_PT1_a\n0,1\n0.1,abc\n");
    const std::string file = Path("rec.csv").string();
    const Result r = Run("'" FAKE_SVG_LIB "' --input '" + file + "'");
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(r.err, file + ":3:5: 'abc' is not a finite number (column 'U_PT1_a')\n");
    EXPECT_EQ(r.out, "") << "no result file is written";
}

TEST_F(SvghostRun, LoadFailuresNameTheLibraryOrTheFunction) {
    const std::string missing = Path("no_such_lib.so").string();
    const Result absent = Run("'" + missing + "'");
    EXPECT_EQ(absent.status, kExitLibrary);
    EXPECT_EQ(absent.err.rfind("svghost: cannot load library '" + missing + "': ", 0), 0u)
        << absent.err;
    const Result wrong = Run("'" FAKE_SVG_LIB "' --entry Pellum");
    EXPECT_EQ(wrong.status, kExitLibrary);
    EXPECT_EQ(wrong.err,
              "svghost: library '" FAKE_SVG_LIB "' exports no function 'InitPellumDLL'\n");
}

TEST_F(SvghostRun, FailedInitIsTerminatedAndReported) {
    const Result r = Run("'" FAKE_SVG_LIB "' --record -1,10,10,1");
    EXPECT_EQ(r.status, kExitLibrary);
    EXPECT_EQ(r.err, "fake: terminated after 0 steps\nsvghost: InitTravikDLL returned 1\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(SvghostRun, UsageErrorsExitWithStatusTwo) {
    const Result r = Run("'" FAKE_SVG_LIB "' --dt 0", false);
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(r.err, "svghost: --dt: must be positive\nTry 'svghost --help'.\n");
    const Result help = Run("--help", false);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, UsageText());
}

TEST_F(SvghostRun, UnwritableResultFileIsReported) {
    const std::string bad = Path("missing_dir/out.csv").string();
    const Result r = Run("'" FAKE_SVG_LIB "' --out '" + bad + "'", false);
    EXPECT_EQ(r.status, kExitOutput);
    EXPECT_EQ(r.err.rfind("svghost: cannot open '" + bad + "': ", 0), 0u) << r.err;
}

}  // namespace
}  // namespace svghost

#endif  // !defined(_WIN32)
