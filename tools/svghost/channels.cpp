#include "channels.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "text.h"

namespace svghost {
namespace {

// Measuring points and DC voltages, identical in both builds: PT1..PT4 phase voltages (V),
// PT1..PT4 line RMS voltages (V), CT1..CT3 and Hall phase currents (A), the three divisors of
// the phase DC balance control, and the mean cell DC voltage of each phase (V).
constexpr ChannelName kMeasurements[] = {
    {0, "U_PT1_a"},       {1, "U_PT1_b"},       {2, "U_PT1_c"},       {3, "U_PT2_a"},
    {4, "U_PT2_b"},       {5, "U_PT2_c"},       {6, "U_PT3_a"},       {7, "U_PT3_b"},
    {8, "U_PT3_c"},       {9, "U_PT4_a"},       {10, "U_PT4_b"},      {11, "U_PT4_c"},
    {12, "Urms_PT1_ab"},  {13, "Urms_PT1_bc"},  {14, "Urms_PT1_ca"},  {15, "Urms_PT2_ab"},
    {16, "Urms_PT2_bc"},  {17, "Urms_PT2_ca"},  {18, "Urms_PT3_ab"},  {19, "Urms_PT3_bc"},
    {20, "Urms_PT3_ca"},  {21, "Urms_PT4_ab"},  {22, "Urms_PT4_bc"},  {23, "Urms_PT4_ca"},
    {24, "I_CT1_a"},      {25, "I_CT1_b"},      {26, "I_CT1_c"},      {27, "I_CT2_a"},
    {28, "I_CT2_b"},      {29, "I_CT2_c"},      {30, "I_CT3_a"},      {31, "I_CT3_b"},
    {32, "I_CT3_c"},      {33, "I_HALL_a"},     {34, "I_HALL_b"},     {35, "I_HALL_c"},
    {36, "Udcbal_div_a"}, {37, "Udcbal_div_b"}, {38, "Udcbal_div_c"}, {39, "Udc_a"},
    {40, "Udc_b"},        {41, "Udc_c"},
};

// A parameter written by two channels in one step keeps the value of the later channel. The
// parameter's name addresses that later channel; an earlier one is named with "@<channel>"
// appended, so no name picks a channel whose value the other channel then overwrites.
constexpr ChannelName kOverwrittenChannels[] = {
    {125, "GfmCtrl.parm_GFM_Mode_Sel@125"},
};

constexpr std::string_view OverwrittenName(int channel) {
    for (const ChannelName& entry : kOverwrittenChannels) {
        if (entry.channel == channel) return entry.name;
    }
    return {};
}

constexpr auto& kParameterRows = svg::kTravikParameterChannels;

constexpr bool WrittenAgainLater(std::size_t row) {
    for (std::size_t k = row + 1; k < std::size(kParameterRows); ++k) {
        if (kParameterRows[k].target == kParameterRows[row].target) return true;
    }
    return false;
}

// "<target>@<channel>" exactly.
constexpr bool IsChannelSuffixed(std::string_view name, std::string_view target, int channel) {
    if (name.size() <= target.size() + 1 || name.substr(0, target.size()) != target ||
        name[target.size()] != '@') {
        return false;
    }
    int value = 0;
    for (const char c : name.substr(target.size() + 1)) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value == channel;
}

// Exactly the channels written again later have their own name, made from the target.
static_assert([] {
    for (std::size_t r = 0; r < std::size(kParameterRows); ++r) {
        const svg::ParameterChannel& row = kParameterRows[r];
        const std::string_view own = OverwrittenName(row.channel);
        if (WrittenAgainLater(r) == own.empty()) return false;
        if (!own.empty() && !IsChannelSuffixed(own, row.target, row.channel)) return false;
    }
    return true;
}());

// Full build: the commands, then the parameters that the input module overwrites at every
// step, named as the controller registers them.
constexpr auto kTravikInputs = [] {
    std::array<ChannelName, 2 + std::size(kParameterRows)> names{};
    names[0] = {42, "deblock"};
    names[1] = {43, "running"};
    std::size_t k = 2;
    for (const svg::ParameterChannel& row : kParameterRows) {
        const std::string_view own = OverwrittenName(row.channel);
        names[k++] = {row.channel, own.empty() ? row.target : own};
    }
    return names;
}();

// Reduced build: ratings, commands and ride-through settings are module inputs, and the two
// command bytes sit at 60 and 61. Channels 42, 57 to 59, 62 and 63 are read by nothing.
constexpr ChannelName kPellumInputs[] = {
    {43, "Parameter.sim_Qn_Mvar"},
    {44, "Parameter.sim_Un_kV"},
    {45, "Parameter.sim_LTotCal"},
    {46, "ModeCtrl.Ucmd_pu"},
    {47, "ModeCtrl.Qsvg_cmd_pu"},
    {48, "HLVRTCtrl.sim_HVRT_k"},
    {49, "HLVRTCtrl.sim_LVRT_k"},
    {50, "HLVRTCtrl.sim_Iq0_k"},
    {51, "HLVRTCtrl.sim_HVRT_in"},
    {52, "HLVRTCtrl.sim_HVRT_out"},
    {53, "HLVRTCtrl.sim_LVRT_in"},
    {54, "HLVRTCtrl.sim_LVRT_out"},
    {55, "HLVRTCtrl.sim_Iqpos_ref_min"},
    {56, "ModeCtrl.sim_Iqpos_ref_lim"},
    {60, "deblock"},
    {61, "running"},
};

// Full build: the forty bound output channels.
constexpr ChannelName kTravikOutputs[] = {
    {0, "ModCal.set_mod_a_sum"},
    {1, "ModCal.set_mod_b_sum"},
    {2, "ModCal.set_mod_c_sum"},
    {3, "SimInput.deblock_cmd"},
    {4, "SimInput.running_cmd"},
    {5, "PLL.set_grid_theta"},
    {6, "PLL.set_grid_freq"},
    {7, "PLL.set_Upos_fil"},
    {8, "PQCal.set_Qsvg_pu"},
    {9, "HLVRTCtrl.flg_LVRT_mod"},
    {10, "HLVRTCtrl.flg_HVRT_mod"},
    {11, "UdcVolCtrl.set_Udc_mean"},
    {12, "UdcVolCtrl.set_Udccmd_final"},
    {13, "CurRefCal.set_Idpos_ref_sum"},
    {14, "CurTrans.set_Idpos_fbk"},
    {15, "HLVRTCtrl.set_Iqpos_ref_sel"},
    {16, "CurTrans.set_Iqpos_fbk"},
    {17, "InPhaseVolCtrl.set_Udca_bal_coef"},
    {18, "InPhaseVolCtrl.set_Udcb_bal_coef"},
    {19, "InPhaseVolCtrl.set_Udcc_bal_coef"},
    {20, "SimOutput.prot_flag"},
    {21, "GfmCtrl.set_Ud_fil_GFM"},
    {22, "GfmCtrl.set_Uq_fil_GFM"},
    {23, "GfmCtrl.set_Id_fbk_GFM"},
    {24, "GfmCtrl.set_Iq_fbk_GFM"},
    {25, "GfmCtrl.set_w_GFM"},
    {26, "GfmCtrl.grid_theta_GFM"},
    {27, "GfmCtrl.E_GFM"},
    {28, "GfmCtrl.Idref_GFM"},
    {29, "GfmCtrl.Iqref_GFM"},
    {30, "GfmCtrl.E_GFM_final"},
    {31, "MeterCtrl.set_Ufbk_rms"},
    {32, "OFPro.act_flg01"},
    {33, "UFPro.act_flg01"},
    {34, "OVPro.flg_obCn3L3_01"},
    {35, "OVPro.flg_obCn3L3_02"},
    {36, "OVPro.flg_obCn3L3_03"},
    {37, "UVPro.flg_obCn3L3_01"},
    {38, "UVPro.flg_obCn3L3_02"},
    {39, "UVPro.flg_obCn3L3_03"},
};

// Reduced build: its 57 wave channels, in registration order.
constexpr ChannelName kPellumOutputs[] = {
    {0, "Parameter.Task1"},
    {1, "Parameter.Task2"},
    {2, "Parameter.Task3"},
    {3, "Parameter.TsTask1Rcp"},
    {4, "Parameter.TsTask2Rcp"},
    {5, "Parameter.TsTask3Rcp"},
    {6, "Parameter.Qn"},
    {7, "Parameter.Un"},
    {8, "Parameter.In"},
    {9, "Parameter.FrqHzNom"},
    {10, "Parameter.trans_type"},
    {11, "Parameter.LTotCal"},
    {12, "Parameter.Un_kV"},
    {13, "Parameter.Qn_Mvar"},
    {14, "Parameter.trans_HVnom"},
    {15, "Parameter.trans_LVnom"},
    {16, "Parameter.cellnum"},
    {17, "Parameter.redy_lnk_num"},
    {18, "Parameter.cellnum_ll"},
    {19, "Parameter.trans_High_U"},
    {20, "Parameter.trans_Low_U"},
    {21, "Parameter.Uctrl_cmd"},
    {22, "Parameter.vbi_check"},
    {23, "Parameter.hard_work"},
    {24, "Parameter.Qctrl_mode"},
    {25, "ModCal.set_mod_a_sum"},
    {26, "ModCal.set_mod_b_sum"},
    {27, "ModCal.set_mod_c_sum"},
    {28, "CurRefCal.set_Iqpos_ref_sum"},
    {29, "CurRefCal.I_round_lim"},
    {30, "HLVRTCtrl.set_Iqpos_ref_sel"},
    {31, "HLVRTCtrl.flg_HVRT_mod"},
    {32, "HLVRTCtrl.flg_LVRT_mod"},
    {33, "HLVRTCtrl.Ipqref_lock"},
    {34, "HLVRTCtrl.lim_VRT"},
    {35, "InPhaseVolCtrl.set_Udca_bal_coef"},
    {36, "InPhaseVolCtrl.set_Udcb_bal_coef"},
    {37, "InPhaseVolCtrl.set_Udcc_bal_coef"},
    {38, "MeterCtrl.set_Ucmd_pu"},
    {39, "MeterCtrl.set_Ufbk_pu"},
    {40, "MeterCtrl.set_Qsvg_cmd_pu"},
    {41, "MeterCtrl.set_Qsys_cmd_pu"},
    {42, "MeterCtrl.set_Isvg_cmd_pu"},
    {43, "MeterCtrl.set_Ufbk_rms"},
    {44, "PLL.set_Udpos"},
    {45, "PLL.set_Uqpos"},
    {46, "PLL.set_Udneg"},
    {47, "PLL.set_Uqneg"},
    {48, "PLL.set_grid_freq"},
    {49, "PLL.set_grid_theta"},
    {50, "UdcVolCtrl.set_Udccmd_final"},
    {51, "UdcVolCtrl.set_Udc_mean"},
    {52, "UdcVolCtrl.set_Idpos_ref"},
    {53, "UFedCtrl.flg_ffsw"},
    {54, "ThreeHarCtrl.set_threehar_inject"},
    {55, "ThreeHarCtrl.threehar_a_pos"},
    {56, "ThreeHarCtrl.threehar_a_neg"},
};

constexpr Layout kLayouts[] = {
    {"Travik", {kMeasurements, kTravikInputs}, kTravikOutputs, svg::kTravikParameterChannels},
    {"Pellum", {kMeasurements, kPellumInputs}, kPellumOutputs, svg::kPellumParameterChannels},
};

std::string_view NameIn(std::span<const ChannelName> table, int channel) {
    const auto it = std::lower_bound(
        table.begin(), table.end(), channel,
        [](const ChannelName& entry, int wanted) { return entry.channel < wanted; });
    return it != table.end() && it->channel == channel ? it->name : std::string_view{};
}

bool EqualNoCase(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
}

}  // namespace

const Layout& LayoutOf(Entry entry) { return kLayouts[static_cast<int>(entry)]; }

Entry DetectEntry(std::string_view library_path) {
    const auto slash = library_path.find_last_of("/\\");
    const auto file =
        slash == std::string_view::npos ? library_path : library_path.substr(slash + 1);
    constexpr std::string_view kReduced = "Pellum";
    const auto hit =
        std::search(file.begin(), file.end(), kReduced.begin(), kReduced.end(), EqualNoCase);
    return hit != file.end() ? Entry::kPellum : Entry::kTravik;
}

std::optional<Entry> ParseEntry(std::string_view text) {
    for (const Entry entry : {Entry::kTravik, Entry::kPellum}) {
        if (LayoutOf(entry).prefix == text) return entry;
    }
    return std::nullopt;
}

std::optional<int> ResolveInputChannel(const Layout& layout, std::string_view text,
                                       std::string& why) {
    // A channel number: digits with an optional sign; anything else is a name.
    auto digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
        digits.remove_prefix(1);
    if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos) {
        int channel = -1;
        if (ParseInteger(text, channel) && channel >= 0 && channel < kChannels) return channel;
        why = Cat({"input channel ", text, " out of range 0..", std::to_string(kChannels - 1)});
        return std::nullopt;
    }
    for (const auto& group : layout.inputs) {
        for (const ChannelName& entry : group) {
            if (entry.name == text) return entry.channel;
        }
    }
    why = Cat({"unknown input channel '", text, "'"});
    return std::nullopt;
}

std::string_view InputName(const Layout& layout, int channel) {
    for (const auto& group : layout.inputs) {
        if (const auto name = NameIn(group, channel); !name.empty()) return name;
    }
    return {};
}

std::string_view OutputName(const Layout& layout, int channel) {
    return NameIn(layout.outputs, channel);
}

}  // namespace svghost
