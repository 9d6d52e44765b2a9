// svghost: a stand-in simulation host that loads a control library and runs it.
#include <string_view>
#include <vector>

#include "host.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return svghost::Main(args);
}
