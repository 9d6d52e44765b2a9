// Whole runs through the entry points' host side: a fuzzed host parameter record, storage
// block, start time and sequence of host input vectors (any channel NaN, infinite, huge,
// denormal or any bit pattern; the byte channels any value), up to 300 steps, then terminate.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "framework/environment.h"
#include "fuzz_folder.h"
#include "host/host.h"
#if SVG_REDUCED_BUILD
#include "variants/pellum/pellum.h"
#else
#include "variants/travik/travik.h"
#endif

namespace {

// Reads the input front to back; past its end every read gives zeros.
class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    double Double() {
        std::uint8_t raw[8] = {};
        for (std::uint8_t& b : raw) {
            b = Byte();
        }
        double value;
        std::memcpy(&value, raw, sizeof value);
        return value;
    }
    bool empty() const { return pos_ >= size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A value of one of the kinds hosts and files produce, chosen by the next byte.
double Value(Bytes& in) {
    switch (in.Byte() % 10) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        case 2:
            return -std::numeric_limits<double>::infinity();
        case 3:
            return 1e30;
        case 4:
            return -1e30;
        case 5:
            return std::numeric_limits<double>::denorm_min() * in.Byte();
        case 6:
            return static_cast<double>(in.Byte());  // a byte channel's value
        case 7:
            return static_cast<double>(static_cast<std::int8_t>(in.Byte())) * 0.01;
        default:
            return in.Double();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svg::fuzz::EnterScratchFolder(SVG_REDUCED_BUILD ? "host_run_reduced" : "host_run");
    std::freopen("/dev/null", "w", stdout);  // the storage-block message and trace failures
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#if SVG_REDUCED_BUILD
    const svg::HostConfig config{&svg::PellumVariant(), "PellumDLLinput.txt",
                                 "PellumDLLoutput.txt"};
#else
    const svg::HostConfig config{&svg::TravikVariant(), "TravikDLLinput.txt",
                                 "TravikDLLoutput.txt"};
#endif
    Bytes in(data, size);
    double record[4];
    for (double& r : record) {
        r = Value(in);
    }
    std::uint8_t storage[svg::kStorageBlockBytes];
    for (std::uint8_t& b : storage) {
        b = in.Byte();
    }
    double inputs[svg::kHostChannels] = {};
    double outputs[200] = {};
    const int counts = in.Byte();
    const double start = in.Byte() < 128 ? 0.0 : 2.0;  // traced below 1 s, untraced above
    void* instance = nullptr;
    svg::HostInit(config, &instance, counts, counts, record, inputs, outputs, storage, start);
    for (int step = 1; step <= 300 && !in.empty(); ++step) {
        for (int changes = in.Byte() % 8; changes > 0; --changes) {
            inputs[in.Byte() % svg::kHostChannels] = Value(in);
        }
        if (in.Byte() % 16 == 0) {
            storage[in.Byte() % svg::kStorageBlockBytes] ^= 1;
        }
        svg::HostStep(instance, inputs, outputs, storage, start + step * 1e-4);
    }
    svg::HostTerminate(instance);
    return 0;
}
