// A run as an IEEE C37.111 (1999 revision) COMTRADE record in ASCII: `<base>.cfg` describes
// the channels (analogue with unit and scaling, flags as status channels), `<base>.dat` holds
// one line per sample.
#pragma once

#include <string>

#include "record.h"

namespace svgsim {

// Writes `<base>.cfg` and `<base>.dat`. False with `error` naming the file that failed.
bool WriteComtrade(const Record& record, const std::string& base, std::string& error);

}  // namespace svgsim
