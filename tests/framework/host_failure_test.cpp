// The host entry points around an environment whose build fails: the fixed message, result 1,
// the first trace lines all the same, an inert instance, and a clean release that writes no
// registry files over the user's.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "framework/sim_io.h"
#include "framework/slots.h"
#include "host/host.h"
#include "support/temp_dir.h"

namespace svg {
namespace {

ModuleHeader* CreateRefusing(Environment*, ModuleHeader*, const char*) { return nullptr; }

constexpr ModuleSpec kRefusingModules[] = {
    {kSlotSimInput, "SimInput", sizeof(SimInput), &CreateSimInput, nullptr, 1, 1, true},
    {kSlotSimOutput, "SimOutput", sizeof(SimOutput), &CreateSimOutput, nullptr, 3, 1, true},
    {kSlotParameter, "Refusing", 64, &CreateRefusing, nullptr, 2, 1, false},
};
constexpr Variant kRefusingVariant{kRefusingModules, 3, nullptr};
constexpr HostConfig kConfig{&kRefusingVariant, "in.txt", "out.txt"};

TEST(HostFailure, AFailedBuildIsReportedTracedAndLeavesAnInertInstance) {
    testing::TempWorkDir dir;
    testing::WriteFile("allDescriptions_0.tsv", "User.parm_kept\t\ttype=f\t\tdefault=1.000000\n");
    std::array<double, kHostChannels> in{};
    std::array<double, kHostChannels> out{};
    in[0] = 2.0;
    double record[4] = {0, 10, 10, 1};
    void* handle = nullptr;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(HostInit(kConfig, &handle, 1, 1, record, in.data(), out.data(), nullptr, 0.0), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "the initial run time environment failed!\n");
    ASSERT_NE(handle, nullptr);

    out.fill(-3.0);
    in[42] = 1.0;
    EXPECT_EQ(HostStep(handle, in.data(), out.data(), nullptr, 0.5), 0);
    EXPECT_EQ(out[3], -3.0);  // nothing computed, nothing written
    EXPECT_EQ(HostTerminate(handle), 0);

    EXPECT_EQ(testing::ReadFile("in.txt"),
              "0.00000000,  2.00000000e+00,\n0.50000000,  2.00000000e+00,\n");
    EXPECT_EQ(testing::ReadFile("out.txt"),
              "0.00000000,0.00000000e+00,\n0.50000000,-3.00000000e+00,\n");
    // The user's description file is left as it was, and no other registry file appears.
    EXPECT_EQ(testing::ReadFile("allDescriptions_0.tsv"),
              "User.parm_kept\t\ttype=f\t\tdefault=1.000000\n");
    EXPECT_FALSE(std::filesystem::exists("allParams_0.tbl"));
    EXPECT_FALSE(std::filesystem::exists("RecordWaves_0.tsv"));
}

}  // namespace
}  // namespace svg
