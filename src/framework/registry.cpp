#include "framework/registry.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

#include "framework/type_codes.h"

namespace svg {
namespace {

// Type table: the type code is the row index.
constexpr const char* kTypeTexts[] = {"b",  "c",  "i",  "l",  "f",   "p",   "soe",
                                      "cu", "iu", "lu", "s",  "ptr", "n",   "bl",
                                      "il", "fl", "sl", "cp", "ll",  "llu", "no"};
constexpr int kTypeCount = static_cast<int>(sizeof(kTypeTexts) / sizeof(kTypeTexts[0]));
static_assert(kTypeCount == kTypeNo + 1);

// Blanks and tabs separate descriptor fields and never belong to a name or value.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// White space the C library's number conversions skip in the "C" locale.
constexpr bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Length of a text, counting at most `limit` characters.
std::size_t BoundedLength(const char* text, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && text[n] != '\0') {
        ++n;
    }
    return n;
}

// "<instance name>.<descriptor>" without blanks and tabs into `text`; false when the composed
// text (blanks included) does not fit 255 characters.
bool Compose(char (&text)[kComposeLen], const char* instance_name, const char* descriptor) {
    constexpr std::size_t kMaxText = kComposeLen - 1;
    const std::size_t prefix =
        instance_name != nullptr ? BoundedLength(instance_name, kComposeLen) + 1 : 0;
    if (prefix > kMaxText || BoundedLength(descriptor, kComposeLen) > kMaxText - prefix) {
        return false;
    }
    std::size_t length = 0;
    const auto append = [&](const char* part) {
        for (; *part != '\0'; ++part) {
            if (!IsBlank(*part)) {
                text[length++] = *part;
            }
        }
    };
    if (instance_name != nullptr) {
        append(instance_name);
        append(".");
    }
    append(descriptor);
    text[length] = '\0';
    return true;
}

// For each character, the keys that begin with it (bit k for key k): most characters of a
// descriptor begin no key and are dismissed by one look-up.
constexpr std::array<std::uint16_t, 256> kKeysStartingWith = [] {
    std::array<std::uint16_t, 256> table{};
    for (int k = 0; k < kKeyCount; ++k) {
        table[static_cast<unsigned char>(kDescriptorKeys[k][0])] |=
            static_cast<std::uint16_t>(1u << k);
    }
    return table;
}();

// The key that starts at `text`, or -1; the first in key order when two would match.
int KeyAt(const char* text) {
    for (unsigned keys = kKeysStartingWith[static_cast<unsigned char>(text[0])]; keys != 0;
         keys &= keys - 1) {
        const int k = std::countr_zero(keys);
        const char* key = kDescriptorKeys[k];
        if (std::strncmp(text, key, std::strlen(key)) == 0) {
            return k;
        }
    }
    return -1;
}

// `length` (at most 64) characters into a slot, zero-padded.
void CopyToSlot(char (&slot)[kSlotLen], const char* from, std::size_t length) {
    std::memset(slot, 0, sizeof slot);
    std::memcpy(slot, from, length);
}

// A slot as a zero-terminated text.
void SlotText(char (&out)[kSlotLen + 1], const char (&slot)[kSlotLen]) {
    std::memcpy(out, slot, kSlotLen);
    out[kSlotLen] = '\0';
}

// Sign and magnitude of a base-10 integer text, the magnitude held at 2^32 once it gets
// there: enough to saturate at either 32-bit limit.
struct DecimalInteger {
    bool negative;
    std::uint64_t magnitude;
};

DecimalInteger ParseDecimal(const char* text) {
    constexpr std::uint64_t kCap = std::uint64_t{1} << 32;
    while (IsSpace(*text)) {
        ++text;
    }
    DecimalInteger result{false, 0};
    if (*text == '+' || *text == '-') {
        result.negative = *text == '-';
        ++text;
    }
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (result.magnitude < kCap) {
            result.magnitude = result.magnitude * 10 + static_cast<std::uint64_t>(*text - '0');
        }
    }
    if (result.magnitude > kCap) {
        result.magnitude = kCap;
    }
    return result;
}

std::int32_t ToInt32Saturated(DecimalInteger n) {
    constexpr std::uint64_t kMaxPositive = std::numeric_limits<std::int32_t>::max();
    if (n.negative) {
        return n.magnitude > kMaxPositive ? std::numeric_limits<std::int32_t>::min()
                                          : -static_cast<std::int32_t>(n.magnitude);
    }
    return n.magnitude > kMaxPositive ? std::numeric_limits<std::int32_t>::max()
                                      : static_cast<std::int32_t>(n.magnitude);
}

std::uint32_t ToUint32(DecimalInteger n) {
    if (n.negative) {
        return static_cast<std::uint32_t>(ToInt32Saturated(n));
    }
    return n.magnitude > std::numeric_limits<std::uint32_t>::max()
               ? std::numeric_limits<std::uint32_t>::max()
               : static_cast<std::uint32_t>(n.magnitude);
}

// For a number text the float range cannot hold: true when it is too large (the result is
// then infinite), false when it is too small (the result is then zero). Decided by the
// power of the base of the leading significant digit plus the exponent.
bool TooLarge(const char* text, const char* end, bool hex) {
    const char exponent_mark = hex ? 'p' : 'e';
    long long integer_digits = 0;  // digits from the first significant one to the point
    long long leading_zeros = 0;   // zeros after the point before the first significant one
    bool significant = false;
    bool after_point = false;
    long long exponent = 0;
    for (const char* c = text; c < end; ++c) {
        const char lower = static_cast<char>(*c | 0x20);
        if (*c == '.') {
            after_point = true;
        } else if (lower == exponent_mark) {
            const DecimalInteger e = ParseDecimal(c + 1);
            const long long magnitude = static_cast<long long>(e.magnitude);
            exponent = e.negative ? -magnitude : magnitude;
            break;
        } else if (!significant && *c == '0') {
            leading_zeros += after_point ? 1 : 0;
        } else {
            significant = true;
            integer_digits += after_point ? 0 : 1;
        }
    }
    const long long order = integer_digits > 0 ? integer_digits : -leading_zeros;
    return (hex ? 4 * order : order) + exponent > 0;
}

// strtof in the "C" locale: leading white space, an optional sign, then a decimal or "0x"
// hexadecimal number, "inf", "infinity" or "nan"; no number gives 0; out of range gives
// infinity or zero of the sign.
float ParseFloat(const char* text) {
    while (IsSpace(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
        if (*text == '+' || *text == '-') {
            return 0.0f;
        }
    }
    const char* end = text + std::strlen(text);
    float value = 0.0f;
    bool hex = false;
    std::from_chars_result r{text, std::errc::invalid_argument};
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        r = std::from_chars(text + 2, end, value, std::chars_format::hex);
        hex = r.ec != std::errc::invalid_argument;
    }
    if (!hex) {
        r = std::from_chars(text, end, value, std::chars_format::general);
    }
    if (r.ec == std::errc::invalid_argument) {
        return 0.0f;
    }
    if (r.ec == std::errc::result_out_of_range) {
        value = TooLarge(hex ? text + 2 : text, r.ptr, hex) ? std::numeric_limits<float>::infinity()
                                                            : 0.0f;
    }
    return negative ? -value : value;
}

RegistryEntry* Find(SignalRegistry* registry) {
    return const_cast<RegistryEntry*>(Lookup(*registry));
}

// A new entry named by the name slot, linked at the tail of its bucket's chain; null when
// all entries are in use.
RegistryEntry* AddEntry(SignalRegistry* registry) {
    if (registry->entry_count < 0 || registry->entry_count >= kRegistryCapacity) {
        return nullptr;
    }
    RegistryEntry* entry = &registry->entries[registry->entry_count];
    std::memcpy(entry->name, registry->name_slot, kSlotLen);
    entry->next = nullptr;
    RegistryBucket& bucket = registry->buckets[BucketOf(NameHash(registry->name_slot))];
    RegistryEntry** link = &bucket.first;
    for (int i = 0; i < bucket.count && *link != nullptr; ++i) {
        link = &(*link)->next;
    }
    *link = entry;
    ++bucket.count;
    ++registry->entry_count;
    return entry;
}

}  // namespace

void ParseDescriptor(SignalRegistry* registry, const char* text) noexcept {
    std::memset(registry->field_slots, 0, sizeof registry->field_slots);
    std::memset(registry->name_slot, 0, sizeof registry->name_slot);
    std::size_t point = 0;
    int previous = kTypeKey;
    bool named = false;
    for (int pass = 0; pass < kKeyCount; ++pass) {
        // The nearest key starting less than 64 characters after the current point.
        int key = -1;
        std::size_t at = point;
        for (; at < point + kSlotLen && text[at] != '\0'; ++at) {
            key = KeyAt(text + at);
            if (key >= 0) {
                break;
            }
        }
        if (key < 0) {
            break;  // every further pass would search the same characters from the same point
        }
        // Up to the first key is the name, up to any later key the previous key's value.
        CopyToSlot(named ? registry->field_slots[previous] : registry->name_slot, text + point,
                   at - point);
        named = true;
        point = at + std::strlen(kDescriptorKeys[key]);
        previous = key;
    }
    CopyToSlot(registry->field_slots[previous], text + point,
               BoundedLength(text + point, kSlotLen));
}

int Register(SignalRegistry* registry, const char* instance_name, void* address,
             const char* descriptor, Registration kind) noexcept {
    if (registry == nullptr || descriptor == nullptr) {
        return 1;
    }
    char text[kComposeLen];
    if (!Compose(text, instance_name, descriptor)) {
        return 1;
    }
    ParseDescriptor(registry, text);
    char type_text[kSlotLen + 1];
    char default_text[kSlotLen + 1];
    SlotText(type_text, registry->field_slots[kTypeKey]);
    SlotText(default_text, registry->field_slots[kDefaultKey]);
    const int type = TypeCode(type_text);

    RegistryEntry* entry = Find(registry);
    if (entry == nullptr) {
        entry = AddEntry(registry);
        if (entry == nullptr) {
            return 1;
        }
        entry->address = address;
        entry->type_code = type;
        const DefaultValue d = kind == Registration::kVariable ? DefaultValue{0.0f, 0u}
                                                               : ReadDefault(type, default_text);
        entry->default_value = d.value;
        entry->default_bits = d.bits;
        if (kind != Registration::kVariable) {
            StoreDefault(address, type, d.bits);
        }
        return 0;
    }
    if (kind == Registration::kVariable) {
        return 0;  // the first field registered under a name keeps it
    }
    // The entry's default (normally from the description file) wins over the descriptor's.
    // A parameter registering with another type than the file line keeps its own type, so
    // the field is written with its own width; the file's default is read as that type.
    if (kind == Registration::kParameter && type != entry->type_code) {
        char number[64];
        FormatFixed6(entry->default_value, number);
        const DefaultValue d = ReadDefault(type, number);
        entry->type_code = type;
        entry->default_value = d.value;
        entry->default_bits = d.bits;
    }
    // A repeated file line has no field: the entry keeps the one it has.
    if (address != nullptr) {
        entry->address = address;
        StoreDefault(address, entry->type_code, entry->default_bits);
    }
    return 0;
}

int ApplyDescription(SignalRegistry* registry, const char* instance_name, void* address,
                     const char* descriptor) noexcept {
    return Register(registry, instance_name, address, descriptor, Registration::kDescription);
}

const RegistryEntry* Lookup(const SignalRegistry& registry) noexcept {
    const RegistryBucket& bucket = registry.buckets[BucketOf(NameHash(registry.name_slot))];
    const RegistryEntry* entry = bucket.first;
    for (int i = 0; i < bucket.count && entry != nullptr; ++i, entry = entry->next) {
        if (std::strncmp(entry->name, registry.name_slot, kSlotLen) == 0) {
            return entry;
        }
    }
    return nullptr;
}

std::uint32_t NameHash(const char* name) noexcept {
    if (name == nullptr) {
        return 0;
    }
    // Unsigned arithmetic wraps as the signed 32-bit arithmetic does; the arithmetic right
    // shift brings in the sign bit, and each character is sign-extended from 8 bits.
    std::uint32_t h = 0;
    for (int i = 0; i < kSlotLen && name[i] != '\0'; ++i) {
        const std::uint32_t sign_fill = (h & 0x80000000u) != 0 ? 0xC0000000u : 0u;
        const auto c = static_cast<std::uint32_t>(
            static_cast<std::int32_t>(static_cast<signed char>(name[i])));
        h ^= (h << 5) + ((h >> 2) | sign_fill) + c;
    }
    return h;
}

int BucketOf(std::uint32_t hash) noexcept {
    return static_cast<int>((hash & 0x7FFFFFFFu) % static_cast<std::uint32_t>(kBucketCount));
}

int TypeCode(const char* text) noexcept {
    if (text == nullptr) {
        return kTypeUnknown;
    }
    for (int code = 0; code < kTypeCount; ++code) {
        if (std::strcmp(text, kTypeTexts[code]) == 0) {
            return code;
        }
    }
    return kTypeUnknown;
}

const char* TypeText(int code) noexcept {
    return code >= 0 && code < kTypeCount ? kTypeTexts[code] : "";
}

void ClearRegistry(SignalRegistry* registry) noexcept {
    if (registry != nullptr) {
        std::memset(registry, 0, sizeof *registry);
    }
}

DefaultValue ReadDefault(int type_code, const char* text) noexcept {
    if (text == nullptr) {
        text = "";
    }
    switch (type_code) {
        case kTypeB:
        case kTypeCu: {
            const auto bits = static_cast<std::uint32_t>(ToInt32Saturated(ParseDecimal(text)));
            return {static_cast<float>(bits), bits};
        }
        case kTypeC:
        case kTypeI:
        case kTypeL: {
            const std::int32_t n = ToInt32Saturated(ParseDecimal(text));
            return {static_cast<float>(n), static_cast<std::uint32_t>(n)};
        }
        case kTypeIu:
        case kTypeLu: {
            const std::uint32_t bits = ToUint32(ParseDecimal(text));
            return {static_cast<float>(bits), bits};
        }
        case kTypeF: {
            const float f = ParseFloat(text);
            return {f, std::bit_cast<std::uint32_t>(f)};
        }
        default:
            return {0.0f, 0u};
    }
}

bool ReadsCompletely(int type_code, const char* text) noexcept {
    if (text == nullptr) {
        text = "";
    }
    while (IsSpace(*text)) {
        ++text;
    }
    const char* end = text + std::strlen(text);
    while (end > text && IsSpace(end[-1])) {
        --end;
    }
    if (text < end && (*text == '+' || *text == '-')) {
        ++text;
    }
    const bool numeric = (type_code >= kTypeB && type_code <= kTypeF) || type_code == kTypeCu ||
                         type_code == kTypeIu || type_code == kTypeLu;
    if (!numeric) {
        return true;
    }
    if (text == end || *text == '+' || *text == '-') {
        return false;
    }
    switch (type_code) {
        case kTypeB:
        case kTypeC:
        case kTypeI:
        case kTypeL:
        case kTypeCu:
        case kTypeIu:
        case kTypeLu: {
            const char* c = text;
            while (c < end && *c >= '0' && *c <= '9') {
                ++c;
            }
            if (c == text) {
                return false;
            }
            if (c < end && *c == '.') {
                ++c;
                while (c < end && *c == '0') {
                    ++c;
                }
            }
            return c == end;
        }
        case kTypeF: {
            float value = 0.0f;
            std::from_chars_result r{text, std::errc::invalid_argument};
            if (end - text > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
                r = std::from_chars(text + 2, end, value, std::chars_format::hex);
            } else {
                r = std::from_chars(text, end, value, std::chars_format::general);
            }
            return r.ec != std::errc::invalid_argument && r.ptr == end;
        }
        default:
            return true;
    }
}

void StoreDefault(void* field, int type_code, std::uint32_t bits) noexcept {
    if (field == nullptr) {
        return;
    }
    switch (type_code) {
        case kTypeB:
        case kTypeC:
        case kTypeCu: {
            const auto byte = static_cast<unsigned char>(bits & 0xFFu);
            std::memcpy(field, &byte, 1);
            break;
        }
        case kTypeI:
        case kTypeL:
        case kTypeF:
        case kTypeIu:
        case kTypeLu:
            std::memcpy(field, &bits, sizeof bits);
            break;
        default:
            break;
    }
}

int FormatFixed6(float value, char (&out)[64]) noexcept {
    // The widest result is -FLT_MAX: 40 digits, a sign, a point and 6 decimals.
    const std::to_chars_result r =
        std::to_chars(out, out + sizeof out - 1, value, std::chars_format::fixed, 6);
    const auto length = r.ec == std::errc{} ? static_cast<int>(r.ptr - out) : 0;
    out[length] = '\0';
    return length;
}

}  // namespace svg
