// The same host run through both libraries of one build at once: the three-function library
// (the reference) and the IEEE/Cigre model, fed the same host channels at every step. Each
// channel an input port stands for reaches that port; in the full build channels 44..149 reach
// the model as its parameters of the same names, as a user of an EMT program would set them.
// Usable as the host of BasicGridDrive.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string>

#include "blocks/numeric.h"
#include "cigre/cigre_run.h"
#include "support/host_run.h"
#include "variants/travik/host_channels.h"

namespace svg::testing {

inline std::string IdentifierOf(std::string_view qualified) {
    std::string name(qualified);
    for (char& c : name) {
        c = c == '.' ? '_' : c;
    }
    return name;
}

class TwinRun {
  public:
    explicit TwinRun(const CigreModel& m = kTravikCigre) : host(*m.reference), cigre(m), model(m) {
        in = host.in;  // the settings channels at their registered values
    }
    int Init() {
        MirrorParameters();
        const int a = host.Init();
        const int b = cigre.Start();
        return a != 0 ? a : b;
    }
    int Step(double time) {
        host.in = in;
        const int a = host.Step(time);
        MirrorParameters();
        for (int port = 0; port < model.input_count; ++port) {
            cigre.SetInput(port, in[static_cast<std::size_t>(model.inputs[port].channel)]);
        }
        cigre.instance.Time = time;
        const int b = cigre.lib.outputs(&cigre.instance);
        out = host.out;
        for (int ch = 0; ch < cigre.info.NumOutputPorts; ++ch) {
            const double mine = cigre.Output(ch);
            const double theirs = host.out[static_cast<std::size_t>(ch)];
            if (std::bit_cast<std::uint64_t>(mine) != std::bit_cast<std::uint64_t>(theirs)) {
                if (mismatches++ == 0) {
                    first_mismatch = "step " + std::to_string(steps) + " output " +
                                     cigre.info.OutputPortsInfo[ch].Name + ": " +
                                     std::to_string(mine) + " vs " + std::to_string(theirs);
                }
            }
        }
        ++steps;
        failures += (a != 0 || b != 0) ? 1 : 0;
        return a != 0 ? a : b;
    }

    std::array<double, kChannels> in{};
    std::array<double, kChannels> out{};
    HostRun host;
    CigreRun cigre;
    const CigreModel& model;
    long steps = 0;
    long mismatches = 0;
    long failures = 0;  // steps where either library returned non-zero
    std::string first_mismatch;

  private:
    // Channels in table order, so of two channels on one parameter the later one wins.
    void MirrorParameters() {
        if (model.reference->reduced()) {
            return;  // no host channel writes a parameter
        }
        for (const ParameterChannel& row : kTravikParameterChannels) {
            const std::string name = IdentifierOf(row.target);
            const double v = in[static_cast<std::size_t>(row.channel)];
            if (row.write == ChannelWrite::kByte) {
                cigre.SetParameter<std::uint8_t>(name, TruncToByte(v));
            } else {
                cigre.SetParameter<float>(name, static_cast<float>(v));
            }
        }
    }
};

}  // namespace svg::testing
