#include "comtrade.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

namespace svgsim {
namespace {

// Analogue samples are stored as integers in -kFullScale..kFullScale, value = a*x + b; the
// 16-bit range keeps the files readable by viewers that take the binary limits for ASCII too.
constexpr double kFullScale = 32767.0;

struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, Closer>;

// Channel names and units may not hold the field separator or a line break.
std::string Field(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == ',' || c == '\n' || c == '\r') c = '_';
    }
    return out;
}

struct Scaling {
    double a = 1.0;  // value per count
    double b = 0.0;  // value at count 0
};

// Spreads the finite range of the signal over the integer range; a constant or empty signal
// keeps a unit step so that every count is still a valid value.
Scaling ScalingOf(const std::vector<double>& values) {
    double lo = 0.0;
    double hi = 0.0;
    bool any = false;
    for (double v : values) {
        if (!std::isfinite(v)) continue;
        lo = any ? std::min(lo, v) : v;
        hi = any ? std::max(hi, v) : v;
        any = true;
    }
    Scaling s;
    s.b = 0.5 * (lo + hi);
    const double half = 0.5 * (hi - lo);
    s.a = half > 0.0 ? half / kFullScale : 1.0;
    if (!(s.a > 0.0) || !std::isfinite(s.a)) s.a = 1.0;
    return s;
}

// The count for one value: NaN records as the mid-range value, an infinite value at the end
// of the range it points to.
long Count(double value, const Scaling& s) {
    if (std::isnan(value)) return 0;
    const double x = std::round((value - s.b) / s.a);
    if (!(x < kFullScale)) return static_cast<long>(kFullScale);
    if (!(x > -kFullScale)) return -static_cast<long>(kFullScale);
    return static_cast<long>(x);
}

bool Fail(const std::string& path, std::string& error) {
    error = path + ": cannot write";
    return false;
}

}  // namespace

bool WriteComtrade(const Record& record, const std::string& base, std::string& error) {
    std::vector<const Signal*> analogue;
    std::vector<const Signal*> status;
    for (const Signal& signal : record.signals) {
        if (signal.values.size() != record.time.size()) {
            error = base + ": signal " + signal.name + " has " +
                    std::to_string(signal.values.size()) + " samples, the time axis " +
                    std::to_string(record.time.size());
            return false;
        }
        (signal.flag ? status : analogue).push_back(&signal);
    }
    std::vector<Scaling> scaling;
    scaling.reserve(analogue.size());
    for (const Signal* signal : analogue) scaling.push_back(ScalingOf(signal->values));

    const std::string cfg_path = base + ".cfg";
    File cfg(std::fopen(cfg_path.c_str(), "wb"));
    if (!cfg) return Fail(cfg_path, error);
    std::FILE* f = cfg.get();
    std::fprintf(f, "%s,svgsim,1999\r\n", Field(record.station).c_str());
    std::fprintf(f, "%zu,%zuA,%zuD\r\n", analogue.size() + status.size(), analogue.size(),
                 status.size());
    for (std::size_t k = 0; k < analogue.size(); ++k) {
        const Signal& s = *analogue[k];
        // An,ch_id,ph,ccbm,uu,a,b,skew,min,max,primary,secondary,PS
        std::fprintf(f, "%zu,%s,,,%s,%.9g,%.9g,0,%ld,%ld,1,1,P\r\n", k + 1, Field(s.name).c_str(),
                     Field(s.unit).c_str(), scaling[k].a, scaling[k].b,
                     -static_cast<long>(kFullScale), static_cast<long>(kFullScale));
    }
    for (std::size_t k = 0; k < status.size(); ++k) {
        // Dn,ch_id,ph,ccbm,y (normal state 0)
        std::fprintf(f, "%zu,%s,,,0\r\n", k + 1, Field(status[k]->name).c_str());
    }
    std::fprintf(f, "%.6g\r\n", record.nominal_hz);
    const double rate = record.sample_s > 0.0 ? 1.0 / record.sample_s : 0.0;
    std::fprintf(f, "1\r\n%.6f,%zu\r\n", rate, record.time.size());
    // Simulated time has no calendar date: the record starts at a fixed epoch, and the
    // trigger is the first sample.
    std::fprintf(f, "01/01/2000,00:00:00.000000\r\n01/01/2000,00:00:00.000000\r\n");
    std::fprintf(f, "ASCII\r\n1\r\n");
    if (std::fflush(f) != 0 || std::ferror(f)) return Fail(cfg_path, error);

    const std::string dat_path = base + ".dat";
    File dat(std::fopen(dat_path.c_str(), "wb"));
    if (!dat) return Fail(dat_path, error);
    f = dat.get();
    for (std::size_t n = 0; n < record.time.size(); ++n) {
        const double t = record.time[n];
        // Timestamp in microseconds, as the timestamp multiplier 1 says.
        const double us = std::isfinite(t) ? std::round(std::max(t, 0.0) * 1.0e6) : 0.0;
        std::fprintf(f, "%zu,%" PRId64, n + 1, static_cast<std::int64_t>(std::min(us, 9.0e15)));
        for (std::size_t k = 0; k < analogue.size(); ++k) {
            std::fprintf(f, ",%ld", Count(analogue[k]->values[n], scaling[k]));
        }
        for (const Signal* s : status) {
            const double v = s->values[n];
            std::fprintf(f, ",%d", (v != 0.0 && !std::isnan(v)) ? 1 : 0);
        }
        std::fputs("\r\n", f);
    }
    if (std::fflush(f) != 0 || std::ferror(f)) return Fail(dat_path, error);
    return true;
}

}  // namespace svgsim
