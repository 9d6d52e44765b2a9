// Both deliverables driven through their exported functions, as a simulation host does: what
// a host sees of any of them (trace files, storage check, registry files, bad pointers and
// values, several instances), then what only the full build's channels show.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "support/host_run.h"
#include "support/temp_dir.h"

namespace svg::testing {
namespace {

class HostE2E : public ::testing::Test {
  protected:
    TempWorkDir dir_;
};

class EitherLibrary : public ::testing::TestWithParam<const Deliverable*> {
  protected:
    const Deliverable& d() const { return *GetParam(); }
    TempWorkDir dir_;
};

std::string TraceOf(const char* time, std::initializer_list<double> values) {
    std::string line = time;
    char number[32];
    for (const double v : values) {
        std::snprintf(number, sizeof number, "%.8e,", v);
        line += number;
    }
    return line + "\n";
}

TEST_P(EitherLibrary, TraceFilesHoldTheInitialisationLineAndOneLinePerStepBelowOneSecond) {
    HostRun run(d());
    run.in[0] = 1.5;
    run.in[1] = -2.0;
    run.in[2] = 0.0;
    ASSERT_EQ(run.Init(3, 2, 0.0), 0);
    const double init_out[2] = {run.out[0], run.out[1]};
    run.in[0] = 0.25;
    EXPECT_EQ(run.Step(0.5), 0);
    const double step_out[2] = {run.out[0], run.out[1]};
    EXPECT_EQ(run.Step(1.0), 0);  // at 1.0 s tracing has ended
    EXPECT_EQ(run.Step(1.5), 0);
    run.Terminate();
    EXPECT_EQ(ReadFile(d().InputTrace()),
              "0.00000000,  1.50000000e+00,-2.00000000e+00,0.00000000e+00,\n"
              "0.50000000,  2.50000000e-01,-2.00000000e+00,0.00000000e+00,\n");
    EXPECT_EQ(ReadFile(d().OutputTrace()), TraceOf("0.00000000,", {init_out[0], init_out[1]}) +
                                               TraceOf("0.50000000,", {step_out[0], step_out[1]}));
}

// Counts beyond what a step reads and writes trace no further into the host's arrays: the
// library cannot see their length, and a step never reads past its inputs or writes past its
// outputs.
TEST_P(EitherLibrary, CountsBeyondTheChannelsTraceOnlyTheChannels) {
    HostRun run(d());
    ASSERT_EQ(run.Init(100000, 100000, 0.0), 0);
    run.Terminate();
    const auto values = [](const std::string& line) {
        return std::count(line.begin(), line.end(), ',') - 1;  // the time column has one too
    };
    EXPECT_EQ(values(ReadFile(d().InputTrace())), d().inputs);
    EXPECT_EQ(values(ReadFile(d().OutputTrace())), d().outputs);
}

TEST_P(EitherLibrary, ZeroCountsTraceOnlyTheTimeColumn) {
    HostRun run(d());
    ASSERT_EQ(run.Init(0, 0, 0.125), 0);
    run.Terminate();
    EXPECT_EQ(ReadFile(d().InputTrace()), "0.12500000,  \n");
    EXPECT_EQ(ReadFile(d().OutputTrace()), "0.12500000,\n");
}

TEST_P(EitherLibrary, AChangedStorageBlockIsReportedOnceAtTheStepThatReceivesIt) {
    HostRun run(d());
    ASSERT_EQ(run.Init(), 0);
    ::testing::internal::CaptureStdout();
    run.Step(0.0001);
    run.storage()[17] ^= 0x40;
    run.Step(0.0002);
    run.Step(0.0003);
    run.storage()[3] ^= 0x01;
    run.Step(1.0);  // no check from one second on
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "Tnow:0.000200,  \xB4\xE6\xB4\xA2\xC7\xF8\xB4\xED\xCE\xF3!\n");
}

TEST_P(EitherLibrary, RegistryFilesAreWrittenWithTheRunIdentifierAndTheWaveFileWithZero) {
    {
        HostRun run(d(), {7, 10, 10, 1});
        ASSERT_EQ(run.Init(), 0);
        run.Step(0.0);
    }
    EXPECT_TRUE(std::filesystem::exists("allParams_7.tbl"));
    EXPECT_TRUE(std::filesystem::exists("allDescriptions_7.tsv"));
    EXPECT_TRUE(std::filesystem::exists("RecordWaves_0.tsv"));
    EXPECT_FALSE(std::filesystem::exists("allDescriptions_0.tsv"));
}

TEST_P(EitherLibrary, DescriptionFileLinesSurviveARunAndAreWrittenBack) {
    WriteFile("allDescriptions_0.tsv",
              "Nowhere.parm_x\t\ttype=f\t\tdefault=2.500000\n"
              "Nowhere.parm_n\t\ttype=iu\t\tdefault=4294967295\r\n");
    {
        HostRun run(d());
        ASSERT_EQ(run.Init(), 0);
    }
    // The file's own lines come first, in file order, then the modules' parameters.
    const std::string written = ReadFile("allDescriptions_0.tsv");
    EXPECT_EQ(written.substr(0, 92),
              "Nowhere.parm_x\t\ttype=f\t\tdefault=2.500000\n"
              "Nowhere.parm_n\t\ttype=iu\t\tdefault=4294967296.000000\n");
    EXPECT_NE(written.find("\nParameter.parm_TsTask1_us\t\ttype=f\t\tdefault=100.000000\n"),
              std::string::npos);
}

TEST_P(EitherLibrary, NullPointersFromTheHostNeverCrash) {
    Library& lib = d().library();
    EXPECT_EQ(lib.step(nullptr, 0, nullptr, nullptr, 0, nullptr, 0.0), 0);
    EXPECT_EQ(lib.terminate(nullptr), 0);
    EXPECT_EQ(lib.init(nullptr, 0, 1, 1, nullptr, nullptr, nullptr, 0, nullptr, 0.0, 0.0), 1);

    void* instance = nullptr;
    ASSERT_EQ(lib.init(&instance, 0, 5, 5, nullptr, nullptr, nullptr, 0, nullptr, 0.0, 0.0), 0);
    std::array<double, kChannels> out;
    out.fill(-7.0);
    EXPECT_EQ(lib.step(instance, 0, nullptr, out.data(), 0, nullptr, 0.1), 0);
    EXPECT_EQ(out[d().echo_output], -7.0);  // nothing computed without inputs, nothing written
    std::array<double, kChannels> in{};
    in[d().echo_input] = 3.0;
    EXPECT_EQ(lib.step(instance, 0, in.data(), out.data(), 0, nullptr, 0.2), 0);
    EXPECT_EQ(out[d().echo_output], 3.0);
    EXPECT_EQ(lib.step(instance, 0, in.data(), nullptr, 0, nullptr, 0.3), 0);
    EXPECT_EQ(lib.terminate(instance), 0);
    // Without arrays the trace lines hold the time column only.
    EXPECT_EQ(ReadFile(d().InputTrace()).substr(0, 13), "0.00000000,  ");
}

TEST_P(EitherLibrary, NonFiniteHostValuesNeverReachTheControlStates) {
    HostRun run(d());
    ASSERT_EQ(run.Init(), 0);
    run.in.fill(std::numeric_limits<double>::quiet_NaN());
    run.in[d().echo_input] = std::numeric_limits<double>::infinity();
    run.Step(0.1);
    for (int ch = 0; ch < d().outputs; ++ch) {
        EXPECT_TRUE(std::isfinite(run.out[ch])) << ch;
    }
    EXPECT_EQ(run.out[d().echo_output], 0.0);
}

TEST_P(EitherLibrary, NonFiniteHostValuesAreTracedAsTheHostPassedThem) {
    HostRun run(d());
    run.in[0] = -std::numeric_limits<double>::quiet_NaN();
    run.in[1] = std::numeric_limits<double>::quiet_NaN();
    run.in[2] = -std::numeric_limits<double>::infinity();
    run.in[3] = 1e300;
    ASSERT_EQ(run.Init(4, 0, 0.0), 0);
    run.Terminate();
    EXPECT_EQ(ReadFile(d().InputTrace()), "0.00000000,  nan,nan,-inf,1.00000000e+300,\n");
}

TEST_P(EitherLibrary, TwoInstancesInOneProcessStayIndependent) {
    HostRun a(d());
    HostRun b(d());
    ASSERT_EQ(a.Init(), 0);
    ASSERT_EQ(b.Init(), 0);
    a.in[d().echo_input] = 5.0;
    b.in[d().echo_input] = 9.0;
    a.Step(2.0);
    b.Step(2.0);
    a.in[d().echo_input] = 0.0;
    a.Step(2.1);
    EXPECT_EQ(a.out[d().echo_output], 0.0);
    EXPECT_EQ(b.out[d().echo_output], 9.0);
    EXPECT_NE(a.instance(), b.instance());
}

// The inputs of instance `n` at step k: a grid of its own amplitude, phase and settings, and
// a loop gain (full build) or ride-through level (reduced build) of its own, so no two
// instances compute the same thing.
void InstanceInputs(const Deliverable& d, int n, int k, std::array<double, kChannels>& in) {
    const double t = k * 1e-4;
    for (int ph = 0; ph < 3; ++ph) {
        const double u = (28000.0 + 500.0 * n) *
                         std::cos(2.0 * 3.141592653589793 * (50.0 * t - ph / 3.0) + 0.1 * n);
        for (int pt = 0; pt < 4; ++pt) {
            in[3 * pt + ph] = u;
            in[12 + 3 * pt + ph] = 35000.0 - 100.0 * n;
        }
        in[33 + ph] = 10.0 * n * std::sin(2.0 * 3.141592653589793 * 50.0 * t - ph * 2.0944);
        in[39 + ph] = 900.0 + 10.0 * n;
    }
    in[d.deblock_channel] = in[d.running_channel] = k > 100 ? 1.0 : 0.0;
    if (d.reduced()) {
        in[43] = 30.0;
        in[44] = 35.0;
        in[45] = 13.0;
        in[51] = 1.12 + 0.01 * n;  // high-voltage ride-through entry level
    } else {
        in[84] = 21.2 + n;  // phase-locked loop proportional gain
    }
}

// Runs `count` instances with their own inputs, stepped interleaved, for `steps` steps; each
// instance's outputs of every step.
std::vector<std::vector<double>> RunInstances(const Deliverable& d, int first, int count,
                                              int steps) {
    std::vector<std::unique_ptr<HostRun>> runs;
    for (int n = 0; n < count; ++n) {
        runs.push_back(std::make_unique<HostRun>(d));
        InstanceInputs(d, first + n, 0, runs.back()->in);
        EXPECT_EQ(runs.back()->Init(), 0);
    }
    std::vector<std::vector<double>> outputs(static_cast<std::size_t>(count));
    for (int k = 1; k <= steps; ++k) {
        for (int n = 0; n < count; ++n) {
            HostRun& run = *runs[static_cast<std::size_t>(n)];
            InstanceInputs(d, first + n, k, run.in);
            run.Step(k * 1e-4);
            auto& out = outputs[static_cast<std::size_t>(n)];
            out.insert(out.end(), run.out.begin(), run.out.begin() + d.outputs);
        }
    }
    return outputs;
}

// The trace file of the (n+1)-th instance open at the same time.
std::string TraceFile(const Deliverable& d, const char* kind, int n) {
    char name[64];
    if (n == 0) {
        std::snprintf(name, sizeof name, "%sDLL%s.txt", d.prefix, kind);
    } else {
        std::snprintf(name, sizeof name, "%sDLL%s_%d.txt", d.prefix, kind, n + 1);
    }
    return name;
}

// Eight instances with different inputs, stepped interleaved in one process, compute bit for
// bit what each computes alone; the first keeps the described trace names and each further
// one open at the same time writes its own, "<name>_<n>.txt", each holding that instance's
// rows only.
TEST_P(EitherLibrary, InstancesSteppedInterleavedMatchSoloRunsAndTraceToTheirOwnFiles) {
    constexpr int kInstances = 8;
    constexpr int kSteps = 300;
    std::vector<std::vector<double>> solo;
    std::vector<std::string> solo_traces;
    for (int n = 0; n < kInstances; ++n) {
        solo.push_back(RunInstances(d(), n, 1, kSteps)[0]);
        solo_traces.push_back(ReadFile(d().InputTrace()) + ReadFile(d().OutputTrace()));
    }
    const auto together = RunInstances(d(), 0, kInstances, kSteps);
    for (int n = 0; n < kInstances; ++n) {
        EXPECT_TRUE(together[static_cast<std::size_t>(n)] == solo[static_cast<std::size_t>(n)])
            << "instance " << n;
        EXPECT_EQ(ReadFile(TraceFile(d(), "input", n)) + ReadFile(TraceFile(d(), "output", n)),
                  solo_traces[static_cast<std::size_t>(n)])
            << "instance " << n;
    }
    // Once the others have terminated, an instance alone takes the described names again.
    HostRun alone(d());
    alone.in[0] = 123.0;
    ASSERT_EQ(alone.Init(1, 1), 0);
    alone.Terminate();
    EXPECT_EQ(ReadFile(d().InputTrace()).substr(0, 28), "0.00000000,  1.23000000e+02,");
}

INSTANTIATE_TEST_SUITE_P(Deliverables, EitherLibrary, ::testing::Values(&kTravik, &kPellum),
                         [](const auto& param_info) {
                             return std::string(param_info.param->prefix);
                         });

TEST_F(HostE2E, CommandBytesReachOutputChannelsThreeAndFourAsSignedBytes) {
    HostRun run;
    ASSERT_EQ(run.Init(), 0);
    struct Case {
        double deblock, running, out3, out4;
    };
    const Case cases[] = {{1.0, 0.0, 1.0, 0.0},
                          {1.9, -0.5, 1.0, 0.0},
                          {257.0, 255.0, 1.0, -1.0},
                          {128.0, -1.0, -128.0, -1.0},
                          {std::nan(""), 1e12, 0.0, 0.0}};
    for (const Case& c : cases) {
        run.in[42] = c.deblock;
        run.in[43] = c.running;
        run.Step(2.0);
        EXPECT_EQ(run.out[3], c.out3) << c.deblock;
        EXPECT_EQ(run.out[4], c.out4) << c.running;
        // The under-voltage stages, enabled by default, see line voltages of 0 below their
        // registered thresholds, so the combined flag follows the running gate.
        EXPECT_EQ(run.out[20], c.out4 != 0.0 ? 1.0 : 0.0);
        EXPECT_EQ(run.out[199], 0.0);
    }
}

}  // namespace
}  // namespace svg::testing
