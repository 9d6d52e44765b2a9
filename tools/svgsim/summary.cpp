#include "summary.h"

namespace svgsim {

Summary Summarise(const Record& record) {
    Summary summary;
    summary.station = record.station;
    return summary;
}

std::string SummaryText(const Summary& summary) { return summary.station + "\n"; }
std::string SummaryJson(const Summary& summary) {
    return "{\"station\":\"" + summary.station + "\"}\n";
}

}  // namespace svgsim
