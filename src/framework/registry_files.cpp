#include "framework/registry_files.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace svg {
namespace {

constexpr int kLineLen = kComposeLen;  // a line of at most 255 characters and its zero
constexpr int kFileNameLen = 64;

// "Recording channel" in Chinese as UTF-8 bytes, so no source or execution character set can
// change it.
constexpr const char kWavePrefix[] = "\xE5\xBD\x95\xE6\xB3\xA2\xE9\x80\x9A\xE9\x81\x93";

void FileName(char (&out)[kFileNameLen], const char* stem, std::int32_t run_id,
              const char* extension) {
    std::snprintf(out, sizeof out, "%s%d%s", stem, static_cast<int>(run_id), extension);
}

// What distinguishes the three writers: the file and the text around and of each line.
struct FileLayout {
    const char* stem;
    const char* extension;
    const char* head;        // text before the first line
    const char* empty_tail;  // text after the head when there are no entries
    // Formats the line of entry `index` (of `count`) into `out`; snprintf's result.
    int (*line)(char (&out)[kLineLen], const RegistryEntry& entry, int index, int count);
};

int ParameterLine(char (&out)[kLineLen], const RegistryEntry& e, int index, int count) {
    char address[kPointerDigits + 1];
    char next[kPointerDigits + 1];
    char value[64];
    FormatPointer(e.address, address);
    FormatPointer(e.next, next);
    FormatFixed6(e.default_value, value);
    return std::snprintf(out, sizeof out,
                         "\t{.name=\"%.*s\", .addr=0x%s, .type=%d, .default_value=%s, "
                         "{.uv=%u}, .next=0x%s}%s",
                         kSlotLen, e.name, address, static_cast<int>(e.type_code), value,
                         static_cast<unsigned>(e.default_bits), next,
                         index + 1 < count ? ",\n" : "\n};\n");
}

int DescriptionLine(char (&out)[kLineLen], const RegistryEntry& e, int, int) {
    char value[64];
    FormatFixed6(e.default_value, value);
    return std::snprintf(out, sizeof out, "%.*s\t\ttype=%s\t\tdefault=%s\n", kSlotLen, e.name,
                         TypeText(e.type_code), value);
}

int WaveLine(char (&out)[kLineLen], const RegistryEntry& e, int index, int) {
    return std::snprintf(out, sizeof out, "%s%d:\t\t%.*s\n", kWavePrefix, index + 1, kSlotLen,
                         e.name);
}

constexpr FileLayout kParameterTable{"allParams_", ".tbl", "STATIC CONST param params_tbl[] = {\n",
                                     "};\n", &ParameterLine};
constexpr FileLayout kDescriptions{"allDescriptions_", ".tsv", "", "", &DescriptionLine};
constexpr FileLayout kWaveChannels{"RecordWaves_", ".tsv", "", "", &WaveLine};

// Appends at most 255 characters of a formatted line (`length` as snprintf returned it).
void AppendLine(char* text, std::size_t& used, const char* line, int length) {
    const std::size_t n = length < 0 ? 0 : length > kLineLen - 1 ? kLineLen - 1 : length;
    std::memcpy(text + used, line, n);
    used += n;
}

int WriteRegistryFile(const SignalRegistry& registry, const Allocator& a,
                      const FileLayout& layout) {
    const int count = registry.entry_count < 0                   ? 0
                      : registry.entry_count > kRegistryCapacity ? kRegistryCapacity
                                                                 : registry.entry_count;
    // One line per entry and one more for the head and tail, so the text always fits.
    const std::size_t capacity = static_cast<std::size_t>(count + 1) * kLineLen;
    auto* text = static_cast<char*>(AllocateZeroed(a, capacity));
    if (text == nullptr) {
        return 1;
    }
    std::size_t used = 0;
    AppendLine(text, used, layout.head, static_cast<int>(std::strlen(layout.head)));
    if (count == 0) {
        AppendLine(text, used, layout.empty_tail, static_cast<int>(std::strlen(layout.empty_tail)));
    }
    char line[kLineLen];
    for (int i = 0; i < count; ++i) {
        AppendLine(text, used, line, layout.line(line, registry.entries[i], i, count));
    }
    char name[kFileNameLen];
    FileName(name, layout.stem, registry.run_id, layout.extension);
    if (std::FILE* file = std::fopen(name, "wb"); file != nullptr) {
        std::fwrite(text, 1, used, file);
        std::fclose(file);
    }
    Release(a, text);
    return 0;
}

}  // namespace

void FormatPointer(const void* pointer, char (&out)[kPointerDigits + 1]) noexcept {
    constexpr char kDigits[] = "0123456789ABCDEF";
    auto value = reinterpret_cast<std::uintptr_t>(pointer);
    for (int i = kPointerDigits - 1; i >= 0; --i) {
        out[i] = kDigits[value & 0xFu];
        value >>= 4;
    }
    out[kPointerDigits] = '\0';
}

namespace {

// Calls `use(line, number)` for every line of the file (numbered from 1, without its LF or
// CR LF) and `use(nullptr, number)` for a line longer than 255 characters.
template <class Use>
void ForEachLine(std::FILE* file, Use use) {
    // Room for 255 characters and a CR before the LF; anything longer is a long line.
    char line[kLineLen + 1];
    std::size_t length = 0;
    bool too_long = false;
    bool pending = false;
    int number = 1;
    for (;;) {
        const int c = std::fgetc(file);
        if (c != EOF && c != '\n') {
            if (length < sizeof line - 1) {
                line[length++] = static_cast<char>(c);
            } else {
                too_long = true;
            }
            pending = true;
            continue;
        }
        if (pending || c == '\n') {
            if (c == '\n' && length > 0 && line[length - 1] == '\r') {
                --length;
            }
            if (!too_long && length <= kLineLen - 1) {
                line[length] = '\0';
                use(static_cast<const char*>(line), number);
            } else {
                use(static_cast<const char*>(nullptr), number);
            }
        }
        if (c == EOF) {
            break;
        }
        ++number;
        length = 0;
        too_long = false;
        pending = false;
    }
}

bool IsBlankLine(const char* line) {
    for (; *line != '\0'; ++line) {
        if (*line != ' ' && *line != '\t') {
            return false;
        }
    }
    return true;
}

// One diagnostic line on standard error: "<file>:<line>: <what>".
void Report(const char* file, int number, const char* what) {
    char text[kLineLen + 128];
    std::snprintf(text, sizeof text, "%s:%d: %s\n", file, number, what);
    std::fputs(text, stderr);
}

// The slot's text, zero-terminated (a full 64-character slot has no zero of its own).
void SlotCopy(char (&out)[kSlotLen + 1], const char (&slot)[kSlotLen]) {
    std::memcpy(out, slot, kSlotLen);
    out[kSlotLen] = '\0';
}

// What is wrong with the line the registry has just parsed, or nothing.
void Diagnose(const SignalRegistry& registry, char (&what)[kLineLen + 64]) {
    what[0] = '\0';
    char name[kSlotLen + 1];
    char type[kSlotLen + 1];
    char value[kSlotLen + 1];
    SlotCopy(name, registry.name_slot);
    SlotCopy(type, registry.field_slots[kTypeKey]);
    SlotCopy(value, registry.field_slots[kDefaultKey]);
    std::size_t used = 0;
    auto add = [&](const char* format, const char* text) {
        if (used < sizeof what) {
            const int n =
                std::snprintf(what + used, sizeof what - used, format, used == 0 ? "" : "; ", text);
            used += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    };
    if (name[0] == '\0') {
        add("%sno parameter name%s", "");
    }
    const int code = TypeCode(type);
    if (code < 0) {
        add(type[0] == '\0' ? "%sno type=%s" : "%sunknown type '%s'", type);
    }
    if (value[0] == '\0') {
        add("%sno default value%s", "");
    } else if (code >= 0 && !ReadsCompletely(code, value)) {
        char number[64];
        FormatFixed6(ReadDefault(code, value).value, number);
        char text[3 * kSlotLen + 64];
        std::snprintf(text, sizeof text, "default '%s' is not a number of type %s; read as %s",
                      value, type, number);
        add("%s%s", text);
    }
}

}  // namespace

int ReadDescriptions(SignalRegistry* registry) noexcept {
    if (registry == nullptr) {
        return 1;
    }
    char name[kFileNameLen];
    FileName(name, "allDescriptions_", registry->run_id, ".tsv");
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        return 0;
    }
    ForEachLine(file, [&](const char* line, int number) {
        if (line == nullptr) {
            Report(name, number, "longer than 255 characters; skipped");
            return;
        }
        if (IsBlankLine(line)) {
            return;
        }
        if (ApplyDescription(registry, nullptr, nullptr, line) != 0) {
            Report(name, number, "cannot be registered (too long or too many entries); skipped");
            return;
        }
        char what[kLineLen + 64];
        Diagnose(*registry, what);
        if (what[0] != '\0') {
            Report(name, number, what);
        }
    });
    std::fclose(file);
    return 0;
}

void ReportUnclaimedDescriptions(SignalRegistry* registry) noexcept {
    if (registry == nullptr) {
        return;
    }
    char name[kFileNameLen];
    FileName(name, "allDescriptions_", registry->run_id, ".tsv");
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        return;
    }
    ForEachLine(file, [&](const char* line, int number) {
        if (line == nullptr || IsBlankLine(line)) {
            return;
        }
        char text[kLineLen];
        std::size_t n = 0;
        for (const char* c = line; *c != '\0'; ++c) {
            if (*c != ' ' && *c != '\t') {
                text[n++] = *c;
            }
        }
        text[n] = '\0';
        ParseDescriptor(registry, text);
        const RegistryEntry* entry = Lookup(*registry);
        // A line without a name was reported when it was read.
        if (entry != nullptr && entry->address == nullptr && entry->name[0] != '\0') {
            char what[kSlotLen + 96];
            std::snprintf(what, sizeof what,
                          "%.*s names no parameter of this controller; kept and written back",
                          kSlotLen, entry->name);
            Report(name, number, what);
        }
    });
    std::fclose(file);
}

int WriteParameterTable(const SignalRegistry& registry, const Allocator& a) noexcept {
    return WriteRegistryFile(registry, a, kParameterTable);
}

int WriteDescriptions(const SignalRegistry& registry, const Allocator& a) noexcept {
    return WriteRegistryFile(registry, a, kDescriptions);
}

int WriteWaveChannels(const SignalRegistry& registry, const Allocator& a) noexcept {
    return WriteRegistryFile(registry, a, kWaveChannels);
}

}  // namespace svg
