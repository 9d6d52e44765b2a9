// Drives a deliverable like a simulation host through a fixed input sequence and leaves what
// the run produced in a folder, so that builds of the same sources for other targets can be
// compared with it file by file (svg_compare_runs):
//
//   svg_fixed_run LIBRARY PREFIX FOLDER
//
// Two runs: FOLDER/fresh starts without a description file; FOLDER/reread starts from the
// description file that the fresh run wrote, as a user who edits parameter values does. Each
// holds outputs.hex (the 200 host outputs of every step as IEEE-754 bit patterns), the two
// trace files and the three registry files.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <numbers>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "exports/run_files.h"
#include "support/library.h"
#include "variants/pellum/host_channels.h"
#include "variants/travik/host_channels.h"

namespace {

namespace fs = std::filesystem;
using svg::testing::Library;

constexpr int kChannels = 200;
constexpr double kStep = 1e-4;     // host time step, seconds
constexpr int kFreshSteps = 3000;  // 0.3 s, every step traced
constexpr int kRereadSteps = 1000;
constexpr int kTracedInputs = 80;  // the measured channels, commands and ratings
constexpr int kTracedOutputs = 40;

// sin(2 pi turns) by an odd Taylor polynomial in a fixed order of operations. The C
// libraries' sin differ in the last bit between targets; the inputs must not.
double SinTurns(double turns) {
    constexpr int kTerms = 14;  // up to x^27: below 1e-15 on [-pi, pi]
    constexpr std::array<double, kTerms> kCoefficients = [] {
        std::array<double, kTerms> c{};
        double factorial = 1.0;
        for (int k = 0; k < kTerms; ++k) {
            if (k > 0) {
                factorial *= static_cast<double>(2 * k) * static_cast<double>(2 * k + 1);
            }
            c[k] = (k % 2 == 0 ? 1.0 : -1.0) / factorial;
        }
        return c;
    }();
    const double x = 2.0 * std::numbers::pi * (turns - std::floor(turns + 0.5));
    const double x2 = x * x;
    double sum = 0.0;
    for (int k = kTerms - 1; k >= 0; --k) {
        sum = sum * x2 + kCoefficients[k];
    }
    return sum * x;
}

// A 30 Mvar, 35 kV, 50 Hz device of 77 cells per phase on a 35 kV bus. The grid carries 2 %
// negative sequence and 3 % fifth harmonic and dips to 70 % from 0.15 s to 0.2 s; the device
// is deblocked and running from 50 ms on and then draws 0.5 per unit of leading current.
struct Grid {
    static constexpr double kLineRms = 35e3;  // V
    static constexpr double kHz = 50.0;
    static constexpr double kQnMvar = 30.0;
    static constexpr double kCells = 77.0;
    static constexpr double kCellDc = 800.0;  // mean cell DC voltage, V
    static constexpr int kStartStep = 500;
    static constexpr int kDipFirst = 1500;
    static constexpr int kDipEnd = 2000;
};

// The settings of the parameter channels start from their registered values.
void GenerateInputs(int step, bool full_build, std::array<double, kChannels>& in) {
    in.fill(0.0);
    for (const svg::ParameterChannel& row :
         full_build ? std::span<const svg::ParameterChannel>(svg::kTravikParameterChannels)
                    : std::span<const svg::ParameterChannel>(svg::kPellumParameterChannels)) {
        in[row.channel] = row.registered;
    }
    const double t = static_cast<double>(step) * kStep;
    const double cycles = Grid::kHz * t;
    const double dip = step >= Grid::kDipFirst && step < Grid::kDipEnd ? 0.7 : 1.0;
    const double phase_peak = Grid::kLineRms * std::sqrt(2.0 / 3.0);
    const double rated_current = Grid::kQnMvar * 1e6 / (std::sqrt(3.0) * Grid::kLineRms);
    const double current_peak =
        step >= Grid::kStartStep ? 0.5 * std::sqrt(2.0) * rated_current : 0.0;
    constexpr double kPtScale[4] = {1.0, 1.0, 0.98, 1.01};  // PT1..PT4 on one bus
    for (int phase = 0; phase < 3; ++phase) {
        const double shift = static_cast<double>(phase) / 3.0;  // b, c lag by 1/3, 2/3 turn
        const double u = dip * SinTurns(cycles - shift) + 0.02 * SinTurns(cycles + shift) +
                         0.03 * SinTurns(5.0 * (cycles + shift));
        for (int pt = 0; pt < 4; ++pt) {
            in[3 * pt + phase] = kPtScale[pt] * phase_peak * u;             // U_PTk_a..c
            in[12 + 3 * pt + phase] = kPtScale[pt] * dip * Grid::kLineRms;  // Urms_PTk
        }
        // Leading reactive current: a quarter turn ahead of the voltage.
        const double i = current_peak * SinTurns(cycles - shift + 0.25);
        for (int ct = 0; ct < 4; ++ct) {
            in[24 + 3 * ct + phase] = i;  // CT1..CT3 and the Hall sensors
        }
        in[36 + phase] = 1.0;  // DC balance divisors
        in[39 + phase] = Grid::kCellDc * (1.0 + 0.01 * SinTurns(2.0 * (cycles - shift)));
    }
    const double on = step >= Grid::kStartStep ? 1.0 : 0.0;
    if (!full_build) {
        // The reduced build: ratings, commands and the command bytes on its own channels.
        in[43] = Grid::kQnMvar;  // rated reactive power, Mvar
        in[44] = 35.0;           // rated line voltage, kV
        in[45] = 13.0;           // series inductance, mH
        in[46] = 1.0;            // voltage command, per unit
        in[47] = 0.5;            // reactive power command, per unit
        in[60] = on;             // deblock
        in[61] = on;             // running
        return;
    }
    in[42] = on;  // deblock
    in[43] = on;  // running
    const double ratings[] = {
        Grid::kQnMvar,  // 60 rated reactive power, Mvar
        35.0,           // 61 rated line voltage, kV
        Grid::kHz,      // 62 nominal frequency, Hz
        13.0,           // 63 series inductance, mH
        4.1,            // 64 cell capacitor setting
        Grid::kCells,   // 65 cells per phase
        15.0,           // 66 reactive power command
        1.0,            // 67 voltage command, per unit
        35.0,           // 68 PCC nominal line voltage, kV
        Grid::kCellDc,  // 69 DC voltage command (metering)
        Grid::kCellDc,  // 70 DC voltage command (DC control)
        35.0,           // 71 transformer HV rating, kV
        35.0,           // 72 transformer LV rating, kV
    };
    for (std::size_t k = 0; k < std::size(ratings); ++k) {
        in[60 + k] = ratings[k];
    }
    if (full_build) {
        // Protection set to act in this run: the frequency elements on the loop's transients,
        // the voltage stages in volts around the dip, with and without pick-up delays; the
        // Hall and DC elements enabled just above the current and the cell-voltage ripple.
        const std::pair<int, double> protection[] = {
            {56, 1.0},    {57, 1.0},    {58, 1.0},    {59, 1.0},  // enables
            {96, 0.6},    {97, 0.55},                             // Hall, per unit
            {98, 812.0},  {99, 810.0},                            // cell DC, V
            {100, 50.02}, {101, 50.01}, {102, 0.002},             // over-frequency, Hz, s
            {103, 49.98}, {104, 49.99}, {105, 0.0},               // under-frequency
        };
        for (const auto& [channel, value] : protection) {
            in[channel] = value;
        }
        for (int k = 0; k < 3; ++k) {
            const double under = Grid::kLineRms * (0.95 - 0.1 * k);
            in[106 + 3 * k] = Grid::kLineRms * (1.0 + 0.1 * k);  // over-voltage stages
            in[107 + 3 * k] = Grid::kLineRms * (0.98 + 0.1 * k);
            in[108 + 3 * k] = 0.001 * k;
            in[115 + 3 * k] = under;  // under-voltage stages: 0.95, 0.85, 0.75
            in[116 + 3 * k] = under + 0.02 * Grid::kLineRms;
            in[117 + 3 * k] = 0.005 * k;
        }
    }
}

// One host run in the current directory; false when a file could not be written.
bool Run(const Library& lib, bool full_build, int steps) {
    std::FILE* hex = std::fopen(svg::runs::kOutputsFile, "wb");
    if (hex == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", svg::runs::kOutputsFile);
        return false;
    }
    std::array<double, 4> record{svg::runs::kRunId, 10, 10, 1};
    std::array<double, kChannels> in{};
    std::array<double, kChannels> out{};
    unsigned char storage[100] = {};
    void* instance = nullptr;
    GenerateInputs(0, full_build, in);
    const int init = lib.init(&instance, 0, kTracedInputs, kTracedOutputs, record.data(), in.data(),
                              out.data(), 0, storage, 0.0, 0.0);
    std::fprintf(hex, "init %d\n", init);
    char line[svg::runs::kLineChars];
    for (int step = 0; step < steps; ++step) {
        GenerateInputs(step, full_build, in);
        lib.step(instance, 0, in.data(), out.data(), 0, storage, static_cast<double>(step) * kStep);
        svg::runs::FormatStep(step, out.data(), line);
        std::fputs(line, hex);
    }
    lib.terminate(instance);
    return std::fclose(hex) == 0;
}

// Empties (or makes) a run folder and works in it.
void EnterEmpty(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s LIBRARY PREFIX FOLDER\n", argv[0]);
        return 2;
    }
    try {
        const Library lib(argv[1], argv[2]);
        const bool full_build = std::string_view(argv[2]) == "Travik";
        const fs::path folder = fs::absolute(argv[3]);
        EnterEmpty(folder / "fresh");
        if (!Run(lib, full_build, kFreshSteps)) {
            return 1;
        }
        const std::string descriptions = svg::runs::DescriptionFile();
        EnterEmpty(folder / "reread");
        fs::copy_file(folder / "fresh" / descriptions, descriptions);
        if (!Run(lib, full_build, kRereadSteps)) {
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
