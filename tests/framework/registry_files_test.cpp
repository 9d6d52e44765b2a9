// The registry files, byte for byte: description file, parameter table, wave channels.
#include "framework/registry_files.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "framework/type_codes.h"
#include "support/temp_dir.h"

namespace svg {
namespace {

using testing::ReadFile;
using testing::TempWorkDir;
using testing::WriteFile;

std::unique_ptr<SignalRegistry> NewRegistry() { return std::make_unique<SignalRegistry>(); }

// The pointer as the C library prints a zero-padded uppercase uintptr_t: a second method.
std::string Hex(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*" PRIXPTR, static_cast<int>(2 * sizeof p),
                  reinterpret_cast<std::uintptr_t>(p));
    return text;
}

struct Fields {
    float gain = 0.0f;
    std::uint8_t mode = 0;
    std::uint32_t count = 0;
};

// Two parameters sharing bucket 806 (so the first has a chain link) and one more.
void RegisterSample(SignalRegistry* r, Fields* f) {
    Register(r, "M", &f->gain, "s0 type=f default=1.5 option=1", Registration::kParameter);
    Register(r, "M", &f->mode, "s1176 type=cu default=300", Registration::kParameter);
    Register(r, "M", &f->count, "n type=iu default=-1", Registration::kParameter);
}

TEST(RegistryFiles, ParameterTableListsEveryEntryWithFixedWidthPointers) {
    TempWorkDir dir;
    auto r = NewRegistry();
    Fields f;
    RegisterSample(r.get(), &f);
    r->run_id = 7;
    ASSERT_EQ(WriteParameterTable(*r, SystemAllocator()), 0);
    const std::string expected =
        "STATIC CONST param params_tbl[] = {\n"
        "\t{.name=\"M.s0\", .addr=" +
        Hex(&f.gain) +
        ", .type=4, .default_value=1.500000, "
        "{.uv=1069547520}, .next=" +
        Hex(&r->entries[1]) +
        "},\n"
        "\t{.name=\"M.s1176\", .addr=" +
        Hex(&f.mode) +
        ", .type=7, .default_value=300.000000, "
        "{.uv=300}, .next=" +
        Hex(nullptr) +
        "},\n"
        "\t{.name=\"M.n\", .addr=" +
        Hex(&f.count) +
        ", .type=8, "
        ".default_value=4294967296.000000, {.uv=4294967295}, .next=" +
        Hex(nullptr) + "}\n};\n";
    EXPECT_EQ(ReadFile("allParams_7.tbl"), expected);
    EXPECT_EQ(Hex(nullptr), "0x" + std::string(2 * sizeof(void*), '0'));

    auto one = NewRegistry();
    ApplyDescription(one.get(), nullptr, nullptr, "M.q\t\ttype=zz\t\tdefault=5");
    one->run_id = -3;
    ASSERT_EQ(WriteParameterTable(*one, SystemAllocator()), 0);
    EXPECT_EQ(ReadFile("allParams_-3.tbl"),
              "STATIC CONST param params_tbl[] = {\n\t{.name=\"M.q\", .addr=" + Hex(nullptr) +
                  ", .type=-1, .default_value=0.000000, {.uv=0}, .next=" + Hex(nullptr) +
                  "}\n};\n");
}

TEST(RegistryFiles, EmptyRegistryGivesAClosedTableAndEmptyLists) {
    TempWorkDir dir;
    auto r = NewRegistry();
    EXPECT_EQ(WriteParameterTable(*r, SystemAllocator()), 0);
    EXPECT_EQ(WriteDescriptions(*r, SystemAllocator()), 0);
    EXPECT_EQ(WriteWaveChannels(*r, SystemAllocator()), 0);
    EXPECT_EQ(ReadFile("allParams_0.tbl"), "STATIC CONST param params_tbl[] = {\n};\n");
    EXPECT_TRUE(std::filesystem::exists("allDescriptions_0.tsv"));
    EXPECT_EQ(ReadFile("allDescriptions_0.tsv"), "");
    EXPECT_EQ(ReadFile("RecordWaves_0.tsv"), "");
}

TEST(RegistryFiles, DescriptionsWrittenReadBackToTheSameEntries) {
    TempWorkDir dir;
    auto r = NewRegistry();
    Fields f;
    RegisterSample(r.get(), &f);
    ApplyDescription(r.get(), nullptr, nullptr, "M.q\t\ttype=zz\t\tdefault=5");
    ASSERT_EQ(WriteDescriptions(*r, SystemAllocator()), 0);
    EXPECT_EQ(ReadFile("allDescriptions_0.tsv"),
              "M.s0\t\ttype=f\t\tdefault=1.500000\n"
              "M.s1176\t\ttype=cu\t\tdefault=300.000000\n"
              "M.n\t\ttype=iu\t\tdefault=4294967296.000000\n"
              "M.q\t\ttype=\t\tdefault=0.000000\n");

    auto back = NewRegistry();
    ASSERT_EQ(ReadDescriptions(back.get()), 0);
    ASSERT_EQ(back->entry_count, 4);
    for (int i = 0; i < 4; ++i) {
        const RegistryEntry& a = r->entries[i];
        const RegistryEntry& b = back->entries[i];
        EXPECT_STREQ(b.name, a.name);
        EXPECT_EQ(b.address, nullptr);
        EXPECT_EQ(b.type_code, a.type_code) << a.name;
        EXPECT_EQ(b.default_value, a.default_value) << a.name;
        EXPECT_EQ(b.default_bits, a.default_bits) << a.name;
    }
    Fields g;
    RegisterSample(back.get(), &g);
    EXPECT_EQ(g.gain, 1.5f);
    EXPECT_EQ(g.mode, 44);
    EXPECT_EQ(g.count, 0xFFFFFFFFu);
}

TEST(RegistryFiles, WaveChannelsAreNumberedFromOneInUtf8) {
    TempWorkDir dir;
    auto r = NewRegistry();
    float a = 0.0f;
    float b = 0.0f;
    Register(r.get(), "PLL", &a, "set_grid_theta type=f level=1", Registration::kVariable);
    Register(r.get(), "PLL", &b, "set_grid_freq type=f", Registration::kVariable);
    ASSERT_EQ(WriteWaveChannels(*r, SystemAllocator()), 0);
    const std::string prefix = reinterpret_cast<const char*>(u8"录波通道");
    ASSERT_EQ(prefix.size(), 12u);
    EXPECT_EQ(ReadFile("RecordWaves_0.tsv"),
              prefix + "1:\t\tPLL.set_grid_theta\n" + prefix + "2:\t\tPLL.set_grid_freq\n");
}

TEST(RegistryFiles, NamesFillingAllSixtyFourCharactersAreNotReadPastTheirEnd) {
    TempWorkDir dir;
    auto r = NewRegistry();
    r->entry_count = 1;
    std::memset(r->entries[0].name, 'n', kSlotLen);  // no terminating zero
    r->entries[0].type_code = kTypeF;
    ASSERT_EQ(WriteDescriptions(*r, SystemAllocator()), 0);
    EXPECT_EQ(ReadFile("allDescriptions_0.tsv"),
              std::string(64, 'n') + "\t\ttype=f\t\tdefault=0.000000\n");
}

TEST(ReadDescriptions, TakesLinesWithoutTheirLineEndOnly) {
    TempWorkDir dir;
    const std::string long_value(300, '9');
    const std::string line255 = "M.w\t\ttype=i\t\tdefault=" + std::string(255 - 21, '1');
    ASSERT_EQ(line255.size(), 255u);
    WriteFile("allDescriptions_0.tsv",
              "M.a\t\ttype=f\t\tdefault=1.250000\r\n"  // CR LF
              "M.long\t\ttype=f\t\tdefault=" +
                  long_value +
                  "\n"  // skipped whole
                  "M.b\t\ttype=cu\t\tdefault=12\n" +
                  line255 +
                  "\r\n"                            // 255 characters fit
                  "M.c\t\ttype=f\t\tdefault=2.5");  // no line end: all kept
    auto r = NewRegistry();
    ASSERT_EQ(ReadDescriptions(r.get()), 0);
    ASSERT_EQ(r->entry_count, 4);
    const char* names[] = {"M.a", "M.b", "M.w", "M.c"};
    const float values[] = {1.25f, 12.0f, 2147483648.0f, 2.5f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(r->entries[i].name, names[i]);
        EXPECT_EQ(r->entries[i].default_value, values[i]) << names[i];
    }
}

// A hand-edited file: every line that is read differently from what it says, or that no module
// claims, is named once on standard error with its line number; good lines, the system's own
// "%f" integers and blank lines pass in silence. Nothing reaches standard output.
TEST(ReadDescriptions, ReportsEachDoubtfulLineOnceOnStandardError) {
    TempWorkDir dir;
    const std::string long_line = "M.long\t\ttype=f\t\tdefault=" + std::string(300, '1');
    WriteFile("allDescriptions_0.tsv",
              "M.good\t\ttype=f\t\tdefault=1.250000\n"     // 1
              "M.count\t\ttype=cu\t\tdefault=77.000000\n"  // 2: as the system writes it
              "\n"                                         // 3
              "M.frac\t\ttype=i\t\tdefault=1.5\n"          // 4
              "M.junk\t\ttype=f\t\tdefault=12abc\r\n"      // 5
              "M.kind\t\ttype=q\t\tdefault=3\n"            // 6
              "M.bare\n" +                                 // 7
                  long_line +
                  "\n"                                     // 8
                  "Other.parm_z\t\ttype=f\t\tdefault=4\n"  // 9: no module registers it
                  "M.hex\t\ttype=f\t\tdefault=0x1p-2\n"    // 10
                  "M.empty\t\ttype=iu\t\tdefault=\n");     // 11
    auto r = NewRegistry();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(ReadDescriptions(r.get()), 0);
    Fields f;
    for (const char* claimed : {"good", "count", "frac", "junk", "kind", "bare", "hex", "empty"}) {
        Register(r.get(), "M", &f.gain, (std::string(claimed) + " type=f").c_str(),
                 Registration::kParameter);
    }
    ReportUnclaimedDescriptions(r.get());
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(errors,
              "allDescriptions_0.tsv:4: default '1.5' is not a number of type i; read as "
              "1.000000\n"
              "allDescriptions_0.tsv:5: default '12abc' is not a number of type f; read as "
              "12.000000\n"
              "allDescriptions_0.tsv:6: unknown type 'q'\n"
              "allDescriptions_0.tsv:7: no parameter name; unknown type 'M.bare'; no default "
              "value\n"
              "allDescriptions_0.tsv:8: longer than 255 characters; skipped\n"
              "allDescriptions_0.tsv:11: no default value\n"
              "allDescriptions_0.tsv:9: Other.parm_z names no parameter of this controller; "
              "kept and written back\n");
    EXPECT_EQ(r->entries[2].default_value, 1.0f);  // the described conversion is kept
}

TEST(ReadDescriptions, UsesTheRunIdAndToleratesAMissingFile) {
    TempWorkDir dir;
    auto r = NewRegistry();
    EXPECT_EQ(ReadDescriptions(r.get()), 0);
    EXPECT_EQ(r->entry_count, 0);
    WriteFile("allDescriptions_7.tsv", "M.x\t\ttype=f\t\tdefault=1\n");
    EXPECT_EQ(ReadDescriptions(r.get()), 0);
    EXPECT_EQ(r->entry_count, 0);
    r->run_id = 7;
    EXPECT_EQ(ReadDescriptions(r.get()), 0);
    EXPECT_EQ(r->entry_count, 1);
    EXPECT_EQ(ReadDescriptions(nullptr), 1);
}

// Counts blocks and fails every allocation when asked to.
struct CountingPool {
    bool fail = false;
    int live = 0;
    std::size_t last_size = 0;
};

Allocator PoolAllocator(CountingPool* pool) {
    return {[](void* c, std::size_t bytes) -> void* {
                auto* p = static_cast<CountingPool*>(c);
                p->last_size = bytes;
                if (p->fail) {
                    return nullptr;
                }
                ++p->live;
                return SystemAllocator().allocate(nullptr, bytes);
            },
            [](void* c, void* block) {
                --static_cast<CountingPool*>(c)->live;
                SystemAllocator().release(nullptr, block);
            },
            pool};
}

TEST(RegistryFiles, WriterWithoutBufferFailsAndWritesNothing) {
    TempWorkDir dir;
    auto r = NewRegistry();
    Fields f;
    RegisterSample(r.get(), &f);
    CountingPool pool;
    const Allocator a = PoolAllocator(&pool);
    EXPECT_EQ(WriteDescriptions(*r, a), 0);
    EXPECT_EQ(pool.last_size, 4u * 256u);
    EXPECT_EQ(pool.live, 0);
    std::filesystem::remove("allDescriptions_0.tsv");
    pool.fail = true;
    EXPECT_EQ(WriteParameterTable(*r, a), 1);
    EXPECT_EQ(WriteDescriptions(*r, a), 1);
    EXPECT_EQ(WriteWaveChannels(*r, a), 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Numbers in the files use a point whatever decimal separator the process locale has.
TEST(RegistryFiles, NumbersIgnoreTheProcessLocale) {
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            comma = name;
            break;
        }
    }
    if (comma == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
    char value[64];
    FormatFixed6(2.5f, value);
    const DefaultValue d = ReadDefault(kTypeF, "2.5");
    std::setlocale(LC_NUMERIC, old.c_str());
    EXPECT_STREQ(value, "2.500000");
    EXPECT_EQ(d.value, 2.5f);
}

}  // namespace
}  // namespace svg
