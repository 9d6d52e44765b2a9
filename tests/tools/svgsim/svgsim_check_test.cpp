// `svgsim --check`: the settings of a registry that contradict each other.
#include <gtest/gtest.h>

#include <string>

#include "sim.h"

namespace svgsim {
namespace {

// The registered values of a full build with its protection elements.
RegistryValues Registered() {
    RegistryValues r;
    r.values = {{"MeterCtrl.parm_Udccmd", 2400.0},
                {"UdcVolCtrl.parm_Udccmd", 1050.0},
                {"Parameter.parm_Vn_kV", 35.0},
                {"Parameter.parm_FrqHzNom", 50.0},
                {"Parameter.parm_trans_type", 0.0},
                {"Parameter.parm_trans_HVnom", 35.0},
                {"Parameter.parm_trans_LVnom", 10.0},
                {"DCPro.act_set01", 1.3},
                {"OFPro.act_set01", 1.3},
                {"UFPro.act_set01", 1.3}};
    for (const char* element : {"OVPro", "UVPro"}) {
        for (const char* stage : {"01", "02", "03"}) {
            r.values[std::string(element) + ".parm_obCn3L3_" + stage] = 1.3;
            r.values[std::string(element) + ".ena_obCn3L3_" + stage] = 1.0;
        }
    }
    return r;
}

TEST(SvgsimCheck, EachContradictionIsListedOnceAndConsistentSettingsPass) {
    struct Case {
        const char* fix;  // parameter set to `value` before the check; empty: none
        double value;
        std::size_t found;
    };
    // Registered: 69/70, the transformer, DCPro, OVPro and UVPro stages 1..3, OFPro, UFPro.
    for (const Case& c : {Case{"", 0.0, 11}, Case{"MeterCtrl.parm_Udccmd", 1050.0, 10},
                          Case{"Parameter.parm_trans_LVnom", 35.0, 10},
                          Case{"DCPro.act_set01", 1200.0, 10}, Case{"OFPro.act_set01", 51.0, 10}}) {
        RegistryValues r = Registered();
        if (c.fix[0] != '\0') r.values[c.fix] = c.value;
        EXPECT_EQ(InconsistentSettings(r).size(), c.found) << c.fix;
    }
    const auto lines = InconsistentSettings(Registered());
    EXPECT_EQ(lines.front().rfind("channel 69 MeterCtrl.parm_Udccmd = 2400 V", 0), 0u);
    EXPECT_NE(lines.front().find("2.28571429 times too large"), std::string::npos);

    RegistryValues consistent = Registered();
    consistent.values = {{"MeterCtrl.parm_Udccmd", 1050.0},
                         {"UdcVolCtrl.parm_Udccmd", 1050.0},
                         {"Parameter.parm_trans_type", 1.0},
                         {"Parameter.parm_trans_HVnom", 35.0},
                         {"Parameter.parm_trans_LVnom", 10.0}};
    EXPECT_TRUE(InconsistentSettings(consistent).empty());
}

}  // namespace
}  // namespace svgsim
