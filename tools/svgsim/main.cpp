// svgsim: closed-loop simulation of the control library on a converter and grid model.
#include <string_view>
#include <vector>

#include "sim.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return svgsim::Main(args);
}
