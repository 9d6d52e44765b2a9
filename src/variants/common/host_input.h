// A host input channel as the controller reads it: its number, a short name, its unit and what
// it carries.
#pragma once

namespace svg {

struct HostInput {
    int channel;
    const char* name;
    const char* unit;
    const char* meaning;
};

}  // namespace svg
