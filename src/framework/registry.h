// Signal registry: every parameter and recordable variable of the modules, by qualified name
// ("Parameter.parm_TsTask1_us"), with the address of its field, its type code and (for
// parameters) its default.
//
// A signal is declared by a descriptor string: the name followed by key=value fields
// separated by any mix of blanks and tabs, e.g. "parm_TsTask1_us \t type=f \t default=100".
// Only "type=" and "default=" have an effect; the other eight keys end the value before them.
// Registering a parameter writes its default into the field; a description-file line applied
// before the modules exist (no address) decides the value that field receives later.
#pragma once

#include <cstdint>

namespace svg {

inline constexpr int kSlotLen = 64;             // characters of a name, a value and a slot
inline constexpr int kBucketCount = 1000;       // hash buckets
inline constexpr int kRegistryCapacity = 3000;  // entries of one registry
inline constexpr int kComposeLen = 256;         // composed descriptor text, with its zero
inline constexpr int kKeyCount = 10;            // descriptor keys

// Descriptor keys in key order; the index is the field slot of the key's value.
inline constexpr const char* kDescriptorKeys[kKeyCount] = {
    "type=", "default=", "min=", "max=", "unit=", "num=", "style=", "level=", "norm=", "option="};
inline constexpr int kTypeKey = 0;
inline constexpr int kDefaultKey = 1;

struct RegistryEntry {
    char name[kSlotLen];  // qualified name, zero-padded
    void* address;        // the field holding the value; null for a description-file line
    std::int32_t type_code;
    float default_value;         // the default as a number (written to the registry files)
    std::uint32_t default_bits;  // the default as stored: the integer, or the float's bits
    RegistryEntry* next;         // next entry of the same bucket
};

struct RegistryBucket {
    std::int32_t count;
    RegistryEntry* first;
};

struct SignalRegistry {
    // Parser working area, rewritten at every registration. A slot holds up to 64
    // characters and is zero-terminated only when its text is shorter.
    char field_slots[kKeyCount][kSlotLen];
    char name_slot[kSlotLen];
    RegistryBucket buckets[kBucketCount];
    RegistryEntry entries[kRegistryCapacity];  // in registration order
    std::int32_t entry_count;
    std::int32_t run_id;  // names the registry files; set from the host parameter record
};

enum class Registration {
    kParameter,    // stores the default (or the entry's earlier default) into the field
    kVariable,     // records the field only; the first registration of a name wins
    kDescription,  // a description-file line: parameter rules, normally with no address
};

// Composes "<instance name>.<descriptor>" (the descriptor alone when `instance_name` is null),
// removes every blank and tab, parses it into the slots, and adds a new entry or updates the
// existing one of that name as `kind` says.
// 1, with no entry and no field changed, when the registry or descriptor is null, when the
// composed text (blanks included) is longer than 255 characters, or when a new name finds
// all entries in use; 0 otherwise.
int Register(SignalRegistry* registry, const char* instance_name, void* address,
             const char* descriptor, Registration kind) noexcept;

// Register with Registration::kDescription.
int ApplyDescription(SignalRegistry* registry, const char* instance_name, void* address,
                     const char* descriptor) noexcept;

// Splits a composed, blank-free text into the name slot and the field slots.
void ParseDescriptor(SignalRegistry* registry, const char* text) noexcept;

// The entry named by the name slot, or null.
const RegistryEntry* Lookup(const SignalRegistry& registry) noexcept;

// h <- h ^ ((h << 5) + (h >> 2) + c) over the characters (signed bytes) of the name, at most
// 64 of them, with signed 32-bit wrap-around and arithmetic right shift. Null gives 0.
std::uint32_t NameHash(const char* name) noexcept;

// Bucket of a hash value: (h & 0x7FFFFFFF) % 1000.
int BucketOf(std::uint32_t hash) noexcept;

// Row of the type text in the type table ("b" 0 ... "no" 20), matched exactly; -1 otherwise
// (also for null).
int TypeCode(const char* text) noexcept;

// Type text of a code; the empty text for -1 and any code outside the table, so a
// description line written for such an entry reads back as type code -1.
const char* TypeText(int code) noexcept;

// Run identifier 0, no entries, all buckets empty.
void ClearRegistry(SignalRegistry* registry) noexcept;

// Default of a descriptor value text under a type's rule.
struct DefaultValue {
    float value;         // the number written to the registry files
    std::uint32_t bits;  // what is stored into the field (its low byte for 1-byte types)
};

// b, c, i, l, cu: base-10 integer saturated at the signed 32-bit limits (the float copy
// unsigned for b and cu, signed for c, i, l). iu, lu: base-10 integer with unsigned 32-bit
// reading: 0..4294967295 as written, a negative value as its signed 32-bit pattern (below
// -2147483648 saturating there), above 4294967295 saturating at 4294967295. f: decimal (or
// hexadecimal) floating point as the C library reads it in the "C" locale, whatever locale
// the process has. Every other type (and -1): 0 and 0. Null text reads as empty.
DefaultValue ReadDefault(int type_code, const char* text) noexcept;

// True when the whole text (surrounding blanks aside) is a number of the type: for b, c, i, l,
// cu, iu, lu an optionally signed decimal integer, which may carry a fraction of zeros only
// ("77.000000", as the description file is written); for f a decimal or hexadecimal floating
// point number, "inf", "infinity" or "nan". Other types take any text.
bool ReadsCompletely(int type_code, const char* text) noexcept;

// Writes `bits` into the field with the type's width: the low byte for b, c, cu; 4 bytes for
// i, l, f, iu, lu; nothing for other types or a null field.
void StoreDefault(void* field, int type_code, std::uint32_t bits) noexcept;

// A float as "%f" prints it in the "C" locale, independent of the process locale.
// `out` receives at most 63 characters and a terminating zero; returns the length.
int FormatFixed6(float value, char (&out)[64]) noexcept;

}  // namespace svg
