#include "comtrade.h"

namespace svgsim {

bool WriteComtrade(const Record& /*record*/, const std::string& base, std::string& error) {
    error = base + ": COMTRADE writer not built yet";
    return false;
}

}  // namespace svgsim
