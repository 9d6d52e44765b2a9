// Compares two run folders left by svg_fixed_run, typically the native build's and another
// target's:
//
//   svg_compare_runs REFERENCE OTHER [OTHER_LIBRARY]
//
// Every file must be present in both and identical: outputs.hex bit for bit (differing
// channels are reported with the size of the difference), the parameter table with its
// addresses masked (they depend on the target's pointer width and heap), every other file
// byte for byte. Exit status 0: identical; 1: different; 77: OTHER holds no run (that
// target's tree was not built and tested). With OTHER_LIBRARY (the other target's library
// without its extension) a run older than that library is refused as stale.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "exports/run_files.h"

namespace {

namespace fs = std::filesystem;
namespace runs = svg::runs;

constexpr int kSkip = 77;
constexpr int kMaxChannelReports = 12;

std::vector<std::string> ReadLines(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string Excerpt(const std::string& line, std::size_t from = 0) {
    constexpr std::size_t kMax = 120;
    const std::string head = from > 0 ? "..." : "";
    return head +
           (line.size() - from <= kMax ? line.substr(from) : line.substr(from, kMax) + "...");
}

// Distance in units in the last place: in single precision when both values are floats (the
// library computes in float), else in double precision. Infinite when the signs differ or a
// value is not finite.
double UlpDistance(double a, double b) {
    if (!std::isfinite(a) || !std::isfinite(b) || std::signbit(a) != std::signbit(b)) {
        return std::numeric_limits<double>::infinity();
    }
    const float fa = static_cast<float>(a);
    const float fb = static_cast<float>(b);
    if (static_cast<double>(fa) == a && static_cast<double>(fb) == b) {
        std::uint32_t ia, ib;
        std::memcpy(&ia, &fa, sizeof ia);
        std::memcpy(&ib, &fb, sizeof ib);
        return static_cast<double>(ia > ib ? ia - ib : ib - ia);
    }
    const std::uint64_t ia = runs::Bits(a);
    const std::uint64_t ib = runs::Bits(b);
    return static_cast<double>(ia > ib ? ia - ib : ib - ia);
}

struct ChannelDiff {
    int steps = 0;
    long first_step = -1;
    double first_reference = 0.0;
    double first_other = 0.0;
    double largest = 0.0;  // absolute difference
    double largest_relative = 0.0;
    double largest_ulps = 0.0;
};

bool CompareOutputs(const std::string& name, const fs::path& a, const fs::path& b) {
    const std::vector<std::string> ref = ReadLines(a);
    const std::vector<std::string> other = ReadLines(b);
    if (ref.size() != other.size()) {
        std::printf("%s: %zu lines against %zu\n", name.c_str(), ref.size(), other.size());
        return false;
    }
    std::map<int, ChannelDiff> diffs;
    int differing_steps = 0;
    bool ok = true;
    for (std::size_t i = 0; i < ref.size(); ++i) {
        if (ref[i] == other[i]) {
            continue;
        }
        ok = false;
        const auto r = runs::ParseStep(ref[i]);
        const auto o = runs::ParseStep(other[i]);
        if (!r || !o || r->values.size() != o->values.size()) {
            std::printf("%s line %zu: \"%s\" against \"%s\"\n", name.c_str(), i + 1,
                        Excerpt(ref[i]).c_str(), Excerpt(other[i]).c_str());
            continue;
        }
        ++differing_steps;
        for (std::size_t ch = 0; ch < r->values.size(); ++ch) {
            const double x = r->values[ch];
            const double y = o->values[ch];
            if (runs::Bits(x) == runs::Bits(y)) {
                continue;
            }
            ChannelDiff& d = diffs[static_cast<int>(ch)];
            if (d.steps++ == 0) {
                d.first_step = r->step;
                d.first_reference = x;
                d.first_other = y;
            }
            const double diff = std::fabs(x - y);
            d.largest = std::max(d.largest, diff);
            if (x != 0.0) {
                d.largest_relative = std::max(d.largest_relative, diff / std::fabs(x));
            }
            d.largest_ulps = std::max(d.largest_ulps, UlpDistance(x, y));
        }
    }
    if (!ok) {
        std::printf("%s: %d of %zu steps differ, in %zu channels\n", name.c_str(), differing_steps,
                    ref.size() - 1, diffs.size());
        int reported = 0;
        for (const auto& [channel, d] : diffs) {
            if (++reported > kMaxChannelReports) {
                std::printf("  ... and %zu more channels\n", diffs.size() - kMaxChannelReports);
                break;
            }
            std::printf(
                "  channel %d: %d steps, first at step %ld (%.17g against %.17g); largest "
                "difference %.3g (relative %.3g, %.0f ulp)\n",
                channel, d.steps, d.first_step, d.first_reference, d.first_other, d.largest,
                d.largest_relative, d.largest_ulps);
        }
    }
    return ok;
}

// The parameter table prints each entry's address and its successor's: mask both.
std::string MaskAddresses(const std::string& line) {
    static const std::regex kAddress("=0x[0-9A-Fa-f]+");
    return std::regex_replace(line, kAddress, "=0x#");
}

bool CompareText(const std::string& name, const fs::path& a, const fs::path& b, bool mask) {
    const std::vector<std::string> ref = ReadLines(a);
    const std::vector<std::string> other = ReadLines(b);
    const std::size_t n = std::min(ref.size(), other.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string x = mask ? MaskAddresses(ref[i]) : ref[i];
        const std::string y = mask ? MaskAddresses(other[i]) : other[i];
        if (x != y) {
            const std::size_t column =
                std::mismatch(x.begin(), x.end(), y.begin(), y.end()).first - x.begin();
            const std::size_t from = column < 40 ? 0 : column - 40;
            std::printf("%s line %zu differs from column %zu:\n  reference: %s\n  other:     %s\n",
                        name.c_str(), i + 1, column + 1, Excerpt(x, from).c_str(),
                        Excerpt(y, from).c_str());
            return false;
        }
    }
    if (ref.size() != other.size()) {
        std::printf("%s: %zu lines against %zu\n", name.c_str(), ref.size(), other.size());
        return false;
    }
    if (!mask && fs::file_size(a) != fs::file_size(b)) {  // e.g. only one ends with LF
        std::printf("%s: %ju bytes against %ju\n", name.c_str(),
                    static_cast<std::uintmax_t>(fs::file_size(a)),
                    static_cast<std::uintmax_t>(fs::file_size(b)));
        return false;
    }
    return true;
}

std::vector<std::string> FilesUnder(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            names.push_back(fs::relative(entry.path(), root).generic_string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The other target's library is newer than its run: its tests have not run since it was
// rebuilt.
bool Stale(const fs::path& run, const std::string& library_stem) {
    const fs::path outputs = run / "fresh" / runs::kOutputsFile;
    for (const char* extension : {".so", ".dll"}) {
        const fs::path library = library_stem + extension;
        std::error_code error;
        if (fs::exists(library, error) && fs::exists(outputs, error) &&
            fs::last_write_time(library) > fs::last_write_time(outputs)) {
            std::printf("%s is older than %s: run that tree's tests first\n", run.string().c_str(),
                        library.string().c_str());
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s REFERENCE OTHER [OTHER_LIBRARY]\n", argv[0]);
        return 2;
    }
    const fs::path reference = argv[1];
    const fs::path other = argv[2];
    if (!fs::is_directory(reference)) {
        std::printf("no reference run in %s\n", reference.string().c_str());
        return 1;
    }
    if (!fs::is_directory(other)) {
        std::printf("no run in %s: build that flavour and run its tests first\n",
                    other.string().c_str());
        return kSkip;
    }
    if (argc == 4 && Stale(other, argv[3])) {
        return 1;
    }
    const std::vector<std::string> ref_files = FilesUnder(reference);
    const std::vector<std::string> other_files = FilesUnder(other);
    bool ok = true;
    for (const std::string& name : other_files) {
        if (!std::binary_search(ref_files.begin(), ref_files.end(), name)) {
            std::printf("%s: only in %s\n", name.c_str(), other.string().c_str());
            ok = false;
        }
    }
    for (const std::string& name : ref_files) {
        const fs::path a = reference / name;
        const fs::path b = other / name;
        if (!fs::exists(b)) {
            std::printf("%s: missing from %s\n", name.c_str(), other.string().c_str());
            ok = false;
        } else if (fs::path(name).filename() == runs::kOutputsFile) {
            ok = CompareOutputs(name, a, b) && ok;
        } else {
            ok = CompareText(name, a, b, fs::path(name).extension() == ".tbl") && ok;
        }
    }
    std::printf("%s: %zu files %s %s\n", other.string().c_str(), ref_files.size(),
                ok ? "identical to" : "compared with", reference.string().c_str());
    return ok ? 0 : 1;
}
