// cigrehost: loads any IEEE/Cigre DLL model, knowing nothing but what Model_GetInfo says, and
// checks its conformance, replays a recording through it, or prints its ports and parameters.
#include <string_view>
#include <vector>

#include "cigrehost.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return cigrehost::Main(args);
}
