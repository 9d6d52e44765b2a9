// Type codes of registered signals: the row index of the type text in the type table.
#pragma once

#include <cstdint>
#include <cstring>

namespace svg {

enum TypeCodeValue : int {
    kTypeUnknown = -1,
    kTypeB = 0,
    kTypeC = 1,
    kTypeI = 2,
    kTypeL = 3,
    kTypeF = 4,
    kTypeP = 5,
    kTypeSoe = 6,
    kTypeCu = 7,
    kTypeIu = 8,
    kTypeLu = 9,
    kTypeNo = 20,
};

// The value of a registered variable as a double, read with its type's width: b and cu as an
// unsigned byte, c as a signed byte, i and l as a signed 32-bit integer, iu and lu as an
// unsigned 32-bit integer, every other type as a float. Every such value is exact in double.
inline double ReadAsDouble(const void* address, int type_code) noexcept {
    switch (type_code) {
        case kTypeB:
        case kTypeCu:
            return *static_cast<const std::uint8_t*>(address);
        case kTypeC:
            return *static_cast<const std::int8_t*>(address);
        case kTypeI:
        case kTypeL:
            return *static_cast<const std::int32_t*>(address);
        case kTypeIu:
        case kTypeLu:
            return *static_cast<const std::uint32_t*>(address);
        default: {
            float value;
            std::memcpy(&value, address, sizeof value);
            return value;
        }
    }
}

}  // namespace svg
