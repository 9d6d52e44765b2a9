// The signal registry: descriptor parsing, name hash, defaults by type, duplicates, limits.
#include "framework/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "framework/type_codes.h"

namespace svg {
namespace {

std::unique_ptr<SignalRegistry> NewRegistry() { return std::make_unique<SignalRegistry>(); }

std::string Slot(const char (&slot)[kSlotLen]) {
    return std::string(slot, std::find(slot, slot + kSlotLen, '\0'));
}

const RegistryEntry* Find(SignalRegistry& r, const char* name) {
    std::memset(r.name_slot, 0, kSlotLen);
    std::strncpy(r.name_slot, name, kSlotLen);
    return Lookup(r);
}

// Reference values from a short script that runs the hash in Python integers, wrapping to
// signed 32 bits after every operation, with Python's (arithmetic) >> and each byte taken as
// a signed 8-bit value. The 64-x name has a negative hash (a logical shift would give
// 0x9911A46E); the UTF-8 name has bytes above 127 (unsigned bytes would give 0xD704CD66).
TEST(NameHash, MatchesSignedWrapAroundReference) {
    const std::string x64(64, 'x');
    const struct {
        std::string name;
        std::uint32_t hash;
        int bucket;
    } cases[] = {
        {"", 0u, 0},
        {"a", 97u, 97},
        {"Parameter.parm_TsTask1_us", 0x3E30FB88u, 512},
        {"CurCtrl.highlambda_2", 0x1B9CEA3Fu, 415},
        {"\xE5\xBD\x95\xE6\xB3\xA2", 0x3A897012u, 650},
        {x64, 0xBACE6005u, 525},
        {x64 + "tail beyond 64 characters", 0xBACE6005u, 525},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NameHash(c.name.c_str()), c.hash) << c.name;
        EXPECT_EQ(BucketOf(NameHash(c.name.c_str())), c.bucket) << c.name;
    }
    char unterminated[kSlotLen];
    std::memset(unterminated, 'x', sizeof unterminated);
    EXPECT_EQ(NameHash(unterminated), 0xBACE6005u);  // never reads past 64 characters
}

struct ParseCase {
    std::string text;  // composed, blanks already removed
    std::string name, type, default_value;
};

TEST(ParseDescriptor, SplitsNameAndKeyValuesInAnyKeyOrder) {
    const std::string n63(63, 'n');
    const std::string n64(64, 'n');
    const std::string v63(63, 'v');
    const std::string v64(64, 'v');
    const ParseCase cases[] = {
        {"M.xtype=fdefault=1.5option=1", "M.x", "f", "1.5"},
        {"vlevel=1type=f", "v", "f", ""},                 // level= only ends the name
        {"xdefault=2min=0max=9type=iu", "x", "iu", "2"},  // min=, max= end the default
        {"xtype=ftype=i", "x", "i", ""},                  // a repeated key: the later value
        {"M.abc", "", "M.abc", ""},                       // no key: the text is the type
        {"", "", "", ""},
        {n63 + "type=f", n63, "f", ""},  // a key 63 characters on is found
        {n64 + "type=f", "", n64, ""},   // 64 on is not: the parse ends
        {"xtype=" + v63 + "default=1", "x", v63, "1"},
        {"xtype=" + v64 + "default=1", "x", v64, ""},  // the tail, cut at 64
        // Ten passes find ten keys; the rest, further keys included, is the tenth value.
        {"xmin=1max=2unit=3num=4style=5level=6norm=7option=8type=fdefault=2min=9", "x", "f",
         "2min=9"},
    };
    auto r = NewRegistry();
    for (const ParseCase& c : cases) {
        std::memset(r->field_slots, 'z', sizeof r->field_slots);  // leftovers are cleared
        ParseDescriptor(r.get(), c.text.c_str());
        EXPECT_EQ(Slot(r->name_slot), c.name) << c.text;
        EXPECT_EQ(Slot(r->field_slots[kTypeKey]), c.type) << c.text;
        EXPECT_EQ(Slot(r->field_slots[kDefaultKey]), c.default_value) << c.text;
    }
    ParseDescriptor(r.get(), "xlevel=3option=1");
    EXPECT_EQ(Slot(r->field_slots[7]), "3");
    EXPECT_EQ(Slot(r->field_slots[9]), "1");
}

struct DefaultCase {
    const char* descriptor;
    int type;
    float value;
    std::uint32_t bits;
    std::uint32_t field;  // the 4-byte field after registration, filled with 0xAAAAAAAA before
};

constexpr std::uint32_t kFill = 0xAAAAAAAAu;
constexpr float kInf = std::numeric_limits<float>::infinity();

// 1-byte types change the first byte only; types without a default leave the field alone.
TEST(Register, ParameterDefaultsFollowTheirTypeAndWidth) {
    const std::uint32_t low = std::endian::native == std::endian::little ? 0u : 24u;
    const auto byte = [&](std::uint32_t b) { return (kFill & ~(0xFFu << low)) | (b << low); };
    const DefaultCase cases[] = {
        {"x type=f default=1.5", kTypeF, 1.5f, 0x3FC00000u, 0x3FC00000u},
        {"x type=f default=0x1p-2", kTypeF, 0.25f, 0x3E800000u, 0x3E800000u},
        {"x type=f default=abc", kTypeF, 0.0f, 0u, 0u},
        {"x type=f default=--1", kTypeF, 0.0f, 0u, 0u},
        {"x type=f default=-1e39", kTypeF, -kInf, 0xFF800000u, 0xFF800000u},
        {"x type=f default=1e400", kTypeF, kInf, 0x7F800000u, 0x7F800000u},
        {"x type=f default=-1e-50", kTypeF, -0.0f, 0x80000000u, 0x80000000u},
        {"x type=cu default=300", kTypeCu, 300.0f, 300u, byte(44)},
        {"x type=b default=-1", kTypeB, 4294967296.0f, 0xFFFFFFFFu, byte(0xFF)},
        {"x type=c default=-1", kTypeC, -1.0f, 0xFFFFFFFFu, byte(0xFF)},
        {"x type=c default=99999999999", kTypeC, 2147483648.0f, 0x7FFFFFFFu, byte(0xFF)},
        {"x type=i default=99999999999", kTypeI, 2147483648.0f, 0x7FFFFFFFu, 0x7FFFFFFFu},
        {"x type=l default=-99999999999", kTypeL, -2147483648.0f, 0x80000000u, 0x80000000u},
        {"x type=i default=+12.9abc", kTypeI, 12.0f, 12u, 12u},
        {"x type=i", kTypeI, 0.0f, 0u, 0u},
        {"x type=iu default=-1", kTypeIu, 4294967296.0f, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"x type=lu default=4294967295", kTypeLu, 4294967296.0f, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"x type=iu default=3000000000", kTypeIu, 3000000000.0f, 3000000000u, 3000000000u},
        {"x type=iu default=4294967296.000000", kTypeIu, 4294967296.0f, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"x type=iu default=-2147483649", kTypeIu, 2147483648.0f, 0x80000000u, 0x80000000u},
        {"x type=p default=5", kTypeP, 0.0f, 0u, kFill},
        {"x type=q default=5", kTypeUnknown, 0.0f, 0u, kFill},
    };
    for (const DefaultCase& c : cases) {
        auto r = NewRegistry();
        std::uint32_t field = kFill;
        ASSERT_EQ(Register(r.get(), "M", &field, c.descriptor, Registration::kParameter), 0);
        const RegistryEntry* e = Find(*r, "M.x");
        ASSERT_NE(e, nullptr) << c.descriptor;
        EXPECT_EQ(e->type_code, c.type) << c.descriptor;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(e->default_value),
                  std::bit_cast<std::uint32_t>(c.value))
            << c.descriptor;
        EXPECT_EQ(e->default_bits, c.bits) << c.descriptor;
        EXPECT_EQ(field, c.field) << c.descriptor;
        EXPECT_EQ(e->address, &field);
    }
}

TEST(Register, QualifiesTheNameAndRemovesEveryBlank) {
    auto r = NewRegistry();
    float field = 0.0f;
    EXPECT_EQ(
        Register(r.get(), "M", &field, "a b \t\ttype = f\tdefault=1. 5", Registration::kParameter),
        0);
    const RegistryEntry* e = Find(*r, "M.ab");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(field, 1.5f);
    // No key at all: an empty name, and the text "M." read as an unknown type.
    EXPECT_EQ(Register(r.get(), "M", &field, "", Registration::kParameter), 0);
    e = Find(*r, "");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type_code, kTypeUnknown);
    EXPECT_EQ(Register(r.get(), "M", &field, nullptr, Registration::kParameter), 1);
    EXPECT_EQ(Register(nullptr, "M", &field, "x type=f", Registration::kParameter), 1);
    EXPECT_EQ(r->entry_count, 2);
}

TEST(Register, DescriptionLineDecidesTheParameterValue) {
    auto r = NewRegistry();
    ASSERT_EQ(ApplyDescription(r.get(), nullptr, nullptr, "M.x\t\ttype=f\t\tdefault=2.000000"), 0);
    ASSERT_EQ(ApplyDescription(r.get(), nullptr, nullptr, "M.x\t\ttype=f\t\tdefault=7"), 0);
    float field = 0.0f;
    ASSERT_EQ(Register(r.get(), "M", &field, "x type=f default=1.5", Registration::kParameter), 0);
    EXPECT_EQ(field, 2.0f);  // the first line wins over the repeated one and the code's 1.5
    const RegistryEntry* e = Find(*r, "M.x");
    EXPECT_EQ(e->type_code, kTypeF);
    EXPECT_EQ(e->default_value, 2.0f);
    EXPECT_EQ(e->address, &field);
    EXPECT_EQ(r->entry_count, 1);
    // A line repeated after the field is known keeps the field and stores nothing.
    field = 9.0f;
    ASSERT_EQ(ApplyDescription(r.get(), nullptr, nullptr, "M.x type=f default=3"), 0);
    EXPECT_EQ(e->address, &field);
    EXPECT_EQ(field, 9.0f);
}

// A line whose type differs from the registered one must not write past a 1-byte field.
TEST(Register, RegisteredTypeWinsOverADifferentLineType) {
    auto r = NewRegistry();
    struct {
        std::uint8_t before = 0x11;
        std::uint8_t flag = 0;
        std::uint8_t after[4] = {0x22, 0x22, 0x22, 0x22};
        std::uint32_t count = 0;
    } m;
    ApplyDescription(r.get(), nullptr, nullptr, "M.flag\t\ttype=f\t\tdefault=3.700000");
    ApplyDescription(r.get(), nullptr, nullptr, "M.count\t\ttype=i\t\tdefault=-1.000000");
    ASSERT_EQ(Register(r.get(), "M", &m.flag, "flag type=cu default=1", Registration::kParameter),
              0);
    ASSERT_EQ(Register(r.get(), "M", &m.count, "count type=iu default=5", Registration::kParameter),
              0);
    EXPECT_EQ(m.before, 0x11);
    EXPECT_EQ(m.flag, 3);
    EXPECT_EQ(m.after[0], 0x22);
    EXPECT_EQ(m.count, 0xFFFFFFFFu);
    const RegistryEntry* e = Find(*r, "M.flag");
    EXPECT_EQ(e->type_code, kTypeCu);
    EXPECT_EQ(e->default_value, 3.0f);
    EXPECT_EQ(e->default_bits, 3u);
}

TEST(Register, VariableKeepsItsFirstFieldAndGetsNoDefault) {
    auto r = NewRegistry();
    float first = 4.0f;
    float second = 5.0f;
    EXPECT_EQ(Register(r.get(), "CurCtrl", &first, "highlambda_2 type=f default=1",
                       Registration::kVariable),
              0);
    EXPECT_EQ(Register(r.get(), "CurCtrl", &second, "highlambda_2 type=f", Registration::kVariable),
              0);
    EXPECT_EQ(r->entry_count, 1);
    const RegistryEntry* e = Find(*r, "CurCtrl.highlambda_2");
    EXPECT_EQ(e->address, &first);
    EXPECT_EQ(e->default_bits, 0u);
    EXPECT_EQ(first, 4.0f);
}

TEST(Register, NamesSharingABucketChainInRegistrationOrder) {
    const char* names[] = {"s0", "s1176", "s3068"};  // all M.<name> fall into bucket 806
    auto r = NewRegistry();
    int fields[3] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(BucketOf(NameHash(("M." + std::string(names[i])).c_str())), 806);
        Register(r.get(), "M", &fields[i], (std::string(names[i]) + " type=i").c_str(),
                 Registration::kVariable);
    }
    const RegistryBucket& bucket = r->buckets[806];
    EXPECT_EQ(bucket.count, 3);
    EXPECT_EQ(bucket.first, &r->entries[0]);
    EXPECT_EQ(r->entries[0].next, &r->entries[1]);
    EXPECT_EQ(r->entries[1].next, &r->entries[2]);
    EXPECT_EQ(r->entries[2].next, nullptr);
    EXPECT_EQ(Find(*r, "M.s3068")->address, &fields[2]);
    EXPECT_EQ(Find(*r, "M.s1"), nullptr);
}

TEST(Register, RefusesBeyondCapacityAndOverlongText) {
    auto r = NewRegistry();
    int field = 0;
    for (int i = 0; i < kRegistryCapacity; ++i) {
        char descriptor[32];
        std::snprintf(descriptor, sizeof descriptor, "v%d type=i", i);
        ASSERT_EQ(Register(r.get(), "M", &field, descriptor, Registration::kParameter), 0);
    }
    EXPECT_EQ(Register(r.get(), "M", &field, "one_more type=i", Registration::kParameter), 1);
    EXPECT_EQ(r->entry_count, kRegistryCapacity);
    EXPECT_EQ(Find(*r, "M.one_more"), nullptr);
    int other = 7;
    EXPECT_EQ(Register(r.get(), "M", &other, "v5 type=i default=3", Registration::kParameter), 0);
    EXPECT_EQ(other, 0);  // an existing name is still updated when full

    // "M" "." and the descriptor: 255 characters fit, 256 do not (blanks count).
    auto s = NewRegistry();
    const std::string fits = "x type=f default=1" + std::string(253 - 18, ' ');
    EXPECT_EQ(Register(s.get(), "M", &field, fits.c_str(), Registration::kParameter), 0);
    EXPECT_EQ(Register(s.get(), "M", &field, (fits + " ").c_str(), Registration::kParameter), 1);
    EXPECT_EQ(
        Register(s.get(), std::string(255, 'M').c_str(), &field, "", Registration::kParameter), 1);
    EXPECT_EQ(ApplyDescription(s.get(), nullptr, nullptr, std::string(255, 'y').c_str()), 0);
    EXPECT_EQ(ApplyDescription(s.get(), nullptr, nullptr, std::string(256, 'y').c_str()), 1);
    EXPECT_EQ(s->entry_count, 2);
}

TEST(ClearRegistry, EmptiesEntriesBucketsAndRunId) {
    auto r = NewRegistry();
    int field = 0;
    r->run_id = 7;
    Register(r.get(), "M", &field, "x type=i default=3", Registration::kParameter);
    ClearRegistry(r.get());
    EXPECT_EQ(r->run_id, 0);
    EXPECT_EQ(r->entry_count, 0);
    EXPECT_EQ(Find(*r, "M.x"), nullptr);
    for (const RegistryBucket& b : r->buckets) {
        ASSERT_EQ(b.count, 0);
        ASSERT_EQ(b.first, nullptr);
    }
}

}  // namespace
}  // namespace svg
