// Faulty calls from a host: each is refused with the error code and a message naming the
// fault, and none crashes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "cigre/cigre_run.h"
#include "support/temp_dir.h"

namespace svg::testing {
namespace {

constexpr int kError = IEEE_Cigre_DLLInterface_Return_Error;

class CigreBadInput : public ::testing::TestWithParam<const CigreModel*> {
  protected:
    const CigreModel& model_ = *GetParam();
};

TEST_P(CigreBadInput, EveryInstanceCallRefusesANullInstance) {
    CigreLibrary& lib = model_.library();
    for (auto call : {lib.first_call, lib.check_parameters, lib.initialize, lib.outputs,
                      lib.iterate, lib.terminate}) {
        EXPECT_EQ(call(nullptr), kError);
    }
}

struct ParameterCase {
    const char* what;
    std::function<void(CigreRun&)> set;
    const char* message;  // part of the error text
};

TEST_P(CigreBadInput, ParametersOutOfRangeOrNotFiniteAreRejectedWithTheirName) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const ParameterCase cases[] = {
        {"NaN gain", [&](CigreRun& r) { r.SetParameter("PLL_parm_pll_kp", nan); },
         "PLL_parm_pll_kp = nan is not a finite number"},
        {"infinite limit", [&](CigreRun& r) { r.SetParameter("CurCtrl_parm_pos_cur_kilim", -inf); },
         "CurCtrl_parm_pos_cur_kilim = -inf is not a finite number"},
        {"task period other than the sample time",
         [](CigreRun& r) { r.SetParameter("Parameter_parm_TsTask1_us", 50.0f); },
         "Parameter_parm_TsTask1_us = 50 is outside its range [100, 100]"},
        {"task factor", [](CigreRun& r) { r.SetParameter<std::int32_t>("Task2Factor", 1001); },
         "Task2Factor = 1001 is outside its range [0, 1000]"},
        {"file switch", [](CigreRun& r) { r.SetParameter<std::uint8_t>("WriteFiles", 2); },
         "WriteFiles = 2 is outside its range [0, 1]"},
    };
    for (const ParameterCase& c : cases) {
        CigreRun run(model_);
        c.set(run);
        EXPECT_EQ(run.lib.first_call(&run.instance), 0) << c.what;
        EXPECT_EQ(run.lib.check_parameters(&run.instance), kError) << c.what;
        EXPECT_EQ(run.Error(), c.message) << c.what;
        // Initialize refuses them as well, whether or not the host checked first.
        EXPECT_EQ(run.lib.initialize(&run.instance), kError) << c.what;
    }
}

struct CallCase {
    const char* what;
    std::function<int(CigreRun&)> calls;  // the result of the last call
    const char* message;
};

TEST_P(CigreBadInput, MissingBlocksAndCallsOutOfOrderAreRefused) {
    const CallCase cases[] = {
        {"no state array",
         [](CigreRun& r) {
             r.instance.DoubleStates = nullptr;
             return r.lib.check_parameters(&r.instance);
         },
         "DoubleStates is null: the host gave no state array"},
        {"no parameter block",
         [](CigreRun& r) {
             r.instance.Parameters = nullptr;
             return r.lib.check_parameters(&r.instance);
         },
         "Parameters is null: the host gave no parameter block"},
        {"no input block",
         [](CigreRun& r) {
             r.instance.ExternalInputs = nullptr;
             return r.lib.initialize(&r.instance);
         },
         "ExternalInputs or ExternalOutputs is null"},
        {"RMS host",
         [](CigreRun& r) {
             IEEE_Cigre_DLLInterface_Instance rms{r.instance.ExternalInputs,
                                                  r.instance.ExternalOutputs,
                                                  r.instance.Parameters,
                                                  0.0,
                                                  2,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr,
                                                  r.instance.DoubleStates};
             const int result = r.lib.check_parameters(&rms);
             r.instance.LastErrorMessage = rms.LastErrorMessage;
             return result;
         },
         "the controller runs in EMT mode only (SimTool_EMT_RMS_Mode must be 1)"},
        {"Outputs right after FirstCall",
         [](CigreRun& r) {
             r.lib.first_call(&r.instance);
             return r.lib.outputs(&r.instance);
         },
         "Model_Outputs before Model_Initialize"},
        {"Outputs on a state array never touched",
         [](CigreRun& r) {
             std::fill(r.states.begin(), r.states.end(), 1.5);
             return r.lib.outputs(&r.instance);
         },
         "Model_Outputs: the state array holds no controller of this model (not initialised, "
         "or copied incompletely); call Model_Initialize first"},
        {"Outputs after Terminate",
         [](CigreRun& r) {
             r.Start();
             r.Terminate();
             return r.lib.outputs(&r.instance);
         },
         "Model_Outputs after Model_Terminate"},
        {"Terminate twice",
         [](CigreRun& r) {
             r.Start();
             EXPECT_EQ(r.Terminate(), 0);
             return r.Terminate();
         },
         "Model_Terminate called twice"},
        {"states copied only in part",
         [](CigreRun& r) {
             r.Start();
             std::vector<double> part(r.states.size(), 0.0);
             std::copy(r.states.begin(), r.states.begin() + r.states.size() / 2, part.begin());
             r.states = part;
             r.Attach();
             return r.lib.outputs(&r.instance);
         },
         "Model_Outputs: the state array holds no controller of this model (not initialised, "
         "or copied incompletely); call Model_Initialize first"},
    };
    TempWorkDir dir;
    for (const CallCase& c : cases) {
        CigreRun run(model_);
        EXPECT_EQ(c.calls(run), kError) << c.what;
        EXPECT_EQ(run.Error(), c.message) << c.what;
    }
}

TEST_P(CigreBadInput, TerminateRightAfterTheParameterCheckIsFine) {
    CigreRun run(model_);
    EXPECT_EQ(run.lib.first_call(&run.instance), 0);
    EXPECT_EQ(run.lib.check_parameters(&run.instance), 0);
    EXPECT_EQ(run.Terminate(), 0);
    EXPECT_EQ(run.instance.LastErrorMessage, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Models, CigreBadInput, ::testing::ValuesIn(kCigreModels),
                         [](const auto& param_info) {
                             return std::string(param_info.param->name);
                         });

}  // namespace
}  // namespace svg::testing
