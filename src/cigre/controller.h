// Inside the IEEE/Cigre model wrapper: the value rules of parameters, the building of the
// controller in an arena, and the layout of the state array's header. Not for other code.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>

#include "cigre/model.h"
#include "framework/alloc.h"

namespace svg::cigre {

inline constexpr std::uint64_t kStateMagic = 0x5356474349475245ull;  // identifies our states
inline constexpr std::size_t kMessageLen = 320;

enum Phase : std::int32_t { kNoPhase = 0, kFirstCalled = 1, kInitialized = 2, kTerminated = 3 };

struct StateHeader {
    std::uint64_t magic;
    std::uint64_t state_bytes;
    std::uint64_t block_address;    // where the block was at the last call
    std::uint64_t library_address;  // where the library's anchor was at the last call
    std::uint64_t environment_offset;
    std::int32_t phase;
    std::uint8_t write_files;
    char message[kMessageLen];
};

constexpr std::size_t RoundUp8(std::size_t n) { return (n + 7) / 8 * 8; }
inline constexpr std::size_t kHeaderBytes = RoundUp8(sizeof(StateHeader));
inline constexpr std::size_t kWord = sizeof(void*);

// Interface data type of a registry type code, or 0 for a type the host cannot set.
int DataTypeOf(int type_code);
// A stored default (registry bits) as a number of its data type.
double BitsValue(int data_type, std::uint32_t bits);
// The value of one parameter in the host's block, as a double (exact for every type).
double ReadValue(const void* block, const ParameterEntry& p);

// Builds the controller of `variant` in `arena`: the module list with the parameter module
// in front, then the environment. `survey` null: the survey build (registered defaults, and
// the parameters the wiring sets are noted); else every parameter gets the host's value from
// `parameters`. Null when the arena is too small or the build fails.
Environment* BuildController(Arena* arena, const Variant& variant, const Survey* survey,
                             const void* parameters);
// After the survey build: 1 per registry entry whose field the wiring sets itself.
const std::uint8_t* WiredParameters(Environment* env);

// Appends to a fixed buffer, always zero-terminated, silently cut at its end.
class Text {
  public:
    Text(char* buffer, std::size_t size) : buffer_(buffer), size_(size) { buffer_[0] = '\0'; }
    Text& operator<<(const char* part) {
        while (*part != '\0' && length_ + 1 < size_) {
            buffer_[length_++] = *part++;
        }
        buffer_[length_] = '\0';
        return *this;
    }
    // Shortest text that reads back as the same double, independent of the locale.
    Text& operator<<(double value) {
        char number[40];
        const auto r = std::to_chars(number, number + sizeof number - 1, value);
        *r.ptr = '\0';
        return *this << number;
    }
    Text& operator<<(int value) { return *this << static_cast<double>(value); }

  private:
    char* buffer_;
    std::size_t size_;
    std::size_t length_ = 0;
};

}  // namespace svg::cigre
