#include "cigre/model.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <new>

#include "blocks/numeric.h"
#include "cigre/block_layout.h"
#include "framework/alloc.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "framework/type_codes.h"
#include "host/host.h"

namespace svg::cigre {
namespace {

constexpr std::uint64_t kStateMagic = 0x5356474349475245ull;  // identifies our state array
constexpr std::size_t kMessageLen = 320;

// A static of this library: where it sits tells whether the library that built an instance
// is the one now running it (a snapshot may be restored into another load of the library).
const int kLibraryAnchor = 0;

enum Phase : std::int32_t { kNoPhase = 0, kFirstCalled = 1, kInitialized = 2, kTerminated = 3 };

struct StateHeader {
    std::uint64_t magic;
    std::uint64_t state_bytes;
    std::uint64_t block_address;    // where the block was at the last call
    std::uint64_t library_address;  // where kLibraryAnchor was when the block was built
    std::uint64_t environment_offset;
    std::int32_t phase;
    std::uint8_t write_files;
    char message[kMessageLen];
};

constexpr std::size_t RoundUp8(std::size_t n) { return (n + 7) / 8 * 8; }
constexpr std::size_t kHeaderBytes = RoundUp8(sizeof(StateHeader));
constexpr std::size_t kWord = sizeof(void*);

// ---------------------------------------------------------------------------------------
// Parameter types

// Interface data type of a registry type code, or 0 for a type the host cannot set.
int DataTypeOf(int type_code) {
    switch (type_code) {
        case kTypeB:
        case kTypeCu:
            return IEEE_Cigre_DLLInterface_DataType_uint8_T;
        case kTypeC:
            return IEEE_Cigre_DLLInterface_DataType_int8_T;
        case kTypeI:
        case kTypeL:
            return IEEE_Cigre_DLLInterface_DataType_int32_T;
        case kTypeIu:
        case kTypeLu:
            return IEEE_Cigre_DLLInterface_DataType_uint32_T;
        case kTypeF:
            return IEEE_Cigre_DLLInterface_DataType_real32_T;
        default:
            return 0;
    }
}

struct Range {
    double minimum;
    double maximum;
};

// The whole range of a data type: the registrations give no narrower one.
Range FullRange(int data_type) {
    switch (data_type) {
        case IEEE_Cigre_DLLInterface_DataType_uint8_T:
            return {0.0, 255.0};
        case IEEE_Cigre_DLLInterface_DataType_int8_T:
            return {-128.0, 127.0};
        case IEEE_Cigre_DLLInterface_DataType_int32_T:
            return {-2147483648.0, 2147483647.0};
        case IEEE_Cigre_DLLInterface_DataType_uint32_T:
            return {0.0, 4294967295.0};
        default:
            return {-static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)};
    }
}

// A stored default (registry bits) as a number of its data type.
double BitsValue(int data_type, std::uint32_t bits) {
    switch (data_type) {
        case IEEE_Cigre_DLLInterface_DataType_uint8_T:
            return static_cast<double>(bits & 0xFFu);
        case IEEE_Cigre_DLLInterface_DataType_int8_T:
            return static_cast<double>(static_cast<std::int8_t>(bits & 0xFFu));
        case IEEE_Cigre_DLLInterface_DataType_int32_T:
            return static_cast<double>(static_cast<std::int32_t>(bits));
        case IEEE_Cigre_DLLInterface_DataType_uint32_T:
            return static_cast<double>(bits);
        default:
            return static_cast<double>(std::bit_cast<float>(bits));
    }
}

// The value of one parameter in the host's block, as a double (exact for every type).
double ReadValue(const void* block, const ParameterEntry& p) {
    const auto* at = static_cast<const unsigned char*>(block) + p.offset;
    switch (p.data_type) {
        case IEEE_Cigre_DLLInterface_DataType_uint8_T: {
            std::uint8_t v;
            std::memcpy(&v, at, sizeof v);
            return v;
        }
        case IEEE_Cigre_DLLInterface_DataType_int8_T: {
            std::int8_t v;
            std::memcpy(&v, at, sizeof v);
            return v;
        }
        case IEEE_Cigre_DLLInterface_DataType_int32_T: {
            std::int32_t v;
            std::memcpy(&v, at, sizeof v);
            return v;
        }
        case IEEE_Cigre_DLLInterface_DataType_uint32_T: {
            std::uint32_t v;
            std::memcpy(&v, at, sizeof v);
            return v;
        }
        default: {
            float v;
            std::memcpy(&v, at, sizeof v);
            return static_cast<double>(v);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Texts

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

template <std::size_t N>
void CopyText(char (&to)[N], const char* from) {
    Text(to, N) << from;
}

// ---------------------------------------------------------------------------------------
// Building the controller inside an arena

// First block of every arena: what the parameter module and the wiring of the build read.
// Cleared once the build is done, so no address outside the state array stays in it.
struct BuildRequest {
    const Survey* survey;            // null for the survey build itself
    const void* parameters;          // host's parameter block
    void (*wire)(Environment* env);  // the deliverable's wiring
    std::uint8_t* wired;  // survey build: 1 per registry entry whose field the wiring sets
};

// Reads a field with the width of its registry type, as the registry stores defaults.
std::uint32_t FieldBits(const void* field, int type_code) {
    std::uint32_t bits = 0;
    switch (type_code) {
        case kTypeB:
        case kTypeC:
        case kTypeCu: {
            std::uint8_t byte;
            std::memcpy(&byte, field, 1);
            bits = byte;
            break;
        }
        default:
            std::memcpy(&bits, field, sizeof bits);
            break;
    }
    return bits;
}

// Writes the low `bytes` bytes of `bits` into a field.
void StoreBits(void* field, std::uint32_t bits, std::size_t bytes) {
    if (bytes == 1) {
        const auto byte = static_cast<std::uint8_t>(bits & 0xFFu);
        std::memcpy(field, &byte, 1);
    } else {
        std::memcpy(field, &bits, sizeof bits);
    }
}

// An early module, created before any other: it empties the parameter registry (so the
// description file of the working directory has no say; the host's block decides) and
// enters every registered parameter with the value it is to receive at registration.
struct ParameterFeed {
    ModuleHeader hdr;
};

BuildRequest* RequestOf(Environment* env) {
    auto* arena = static_cast<Arena*>(env->allocator.context);
    return reinterpret_cast<BuildRequest*>(reinterpret_cast<unsigned char*>(arena) +
                                           kArenaRecordBytes);
}

// The value text of a parameter for the registry: integer types as decimal integers, single
// precision as the shortest text that reads back to the same float.
void ValueText(char (&out)[64], const ParameterEntry& p, double value) {
    const auto r = p.data_type == IEEE_Cigre_DLLInterface_DataType_real32_T
                       ? std::to_chars(out, out + sizeof out - 1, static_cast<float>(value))
                       : std::to_chars(out, out + sizeof out - 1, static_cast<long long>(value));
    *r.ptr = '\0';
}

ModuleHeader* CreateParameterFeed(Environment* env, ModuleHeader* module,
                                  const char* name) noexcept {
    InitHeader(module, env, "CigreParameters", name, nullptr);
    ClearRegistry(env->parameters);
    const BuildRequest* request = RequestOf(env);
    if (request->survey == nullptr) {
        return module;  // the survey build: every parameter keeps its registered default
    }
    const Survey& s = *request->survey;
    for (int i = 0; i < s.parameter_count; ++i) {
        const ParameterEntry& p = s.parameters[i];
        if (p.setting != Setting::kController) {
            continue;
        }
        const double value =
            p.exposed ? ReadValue(request->parameters, p) : BitsValue(p.data_type, p.default_bits);
        char number[64];
        ValueText(number, p, value);
        char descriptor[kComposeLen];
        Text(descriptor, sizeof descriptor)
            << p.registered_name << " type=" << TypeText(p.type_code) << " default=" << number;
        ApplyDescription(env->parameters, nullptr, nullptr, descriptor);
    }
    return module;
}

// The wiring of the build. In the survey build every parameter field holds a probe (its
// bits inverted) while the deliverable's wiring runs: a field that no longer holds its probe
// afterwards is set by the wiring itself, so the host cannot set it. The others get their
// values back before start-up.
void WireAndWatch(Environment* env) noexcept {
    BuildRequest* request = RequestOf(env);
    SignalRegistry& registry = *env->parameters;
    const bool survey = request->survey == nullptr;
    std::uint32_t* saved = nullptr;
    if (survey) {
        const auto count = static_cast<std::size_t>(registry.entry_count);
        saved = static_cast<std::uint32_t*>(
            AllocateZeroed(env->allocator, count * sizeof(std::uint32_t)));
        request->wired = static_cast<std::uint8_t*>(AllocateZeroed(env->allocator, count));
    }
    const auto width = [](const RegistryEntry& r) { return ElementSize(DataTypeOf(r.type_code)); };
    for (int e = 0; saved != nullptr && request->wired != nullptr && e < registry.entry_count;
         ++e) {
        const RegistryEntry& r = registry.entries[e];
        if (r.address != nullptr && width(r) != 0) {
            saved[e] = FieldBits(r.address, r.type_code);
            StoreBits(r.address, ~saved[e], width(r));
        }
    }
    request->wire(env);
    for (int e = 0; saved != nullptr && request->wired != nullptr && e < registry.entry_count;
         ++e) {
        const RegistryEntry& r = registry.entries[e];
        if (r.address != nullptr && width(r) != 0) {
            const std::uint32_t mask = width(r) == 1 ? 0xFFu : 0xFFFFFFFFu;
            request->wired[e] = (FieldBits(r.address, r.type_code) & mask) != (~saved[e] & mask);
            if (request->wired[e] == 0) {
                StoreBits(r.address, saved[e], width(r));
            }
        }
    }
}

// A module-table slot the variant leaves empty.
int FreeSlot(const Variant& variant) {
    for (int slot = 0; slot < kModuleSlots; ++slot) {
        bool used = false;
        for (int i = 0; i < variant.module_count; ++i) {
            used = used || variant.modules[i].slot == slot;
        }
        if (!used) {
            return slot;
        }
    }
    return -1;
}

// Builds the controller of `variant` in `arena`: the module list with the parameter module
// in front, then the environment. Null when the arena is too small or the build fails.
Environment* BuildController(Arena* arena, const Variant& variant, const Survey* survey,
                             const void* parameters) {
    const Allocator allocator = ArenaAllocator(arena);
    auto* request = static_cast<BuildRequest*>(AllocateZeroed(allocator, sizeof(BuildRequest)));
    const int count = variant.module_count + 1;
    auto* rows = static_cast<ModuleSpec*>(
        AllocateZeroed(allocator, sizeof(ModuleSpec) * static_cast<std::size_t>(count)));
    auto* own = static_cast<Variant*>(AllocateZeroed(allocator, sizeof(Variant)));
    const int slot = FreeSlot(variant);
    if (request == nullptr || rows == nullptr || own == nullptr || slot < 0) {
        return nullptr;
    }
    *request = {survey, parameters, variant.wire, nullptr};
    rows[0] = ModuleSpec{
        slot, "CigreParameters", sizeof(ParameterFeed), &CreateParameterFeed, nullptr, 0, 1, true};
    for (int i = 0; i < variant.module_count; ++i) {
        rows[i + 1] = variant.modules[i];
    }
    *own = Variant{rows, count, &WireAndWatch};
    Environment* env = nullptr;
    const int result = BuildEnvironment(*own, allocator, &env);
    if (survey != nullptr) {
        *request = {nullptr, nullptr, nullptr, nullptr};
    }
    return result == 0 ? env : nullptr;
}

// ---------------------------------------------------------------------------------------
// The survey: one build in a scratch arena tells what the controller is made of.

// The module whose record holds `address`, with the offset into it.
struct Owner {
    const ModuleSpec* row;
    std::size_t offset;
};

Owner OwnerOf(const Environment* env, const Variant& variant, const void* address) {
    const auto a = reinterpret_cast<std::uintptr_t>(address);
    for (int i = 0; i < variant.module_count; ++i) {
        const auto start =
            reinterpret_cast<std::uintptr_t>(ModuleInSlot(env, variant.modules[i].slot));
        if (start != 0 && a >= start && a < start + variant.modules[i].size) {
            return {&variant.modules[i], a - start};
        }
    }
    return {nullptr, 0};
}

// Output sources of the framework modules that are not registered signals.
struct FieldName {
    int slot;
    std::size_t offset;
    const char* name;
};
constexpr FieldName kFrameworkFields[] = {
    {kSlotSimInput, offsetof(SimInput, deblock_cmd), "deblock_cmd"},
    {kSlotSimInput, offsetof(SimInput, running_cmd), "running_cmd"},
    {kSlotSimOutput, offsetof(SimOutput, prot_flag), "prot_flag"},
};

// "Module.signal" of an output source: its registered name, a framework field, or the
// module and channel.
void SourceName(char (&out)[kSlotLen], const Environment* env, const Variant& variant,
                const void* source, int channel) {
    const SignalRegistry& variables = *env->variables;
    for (int i = 0; i < variables.entry_count; ++i) {
        if (variables.entries[i].address == source) {
            Text(out, sizeof out) << variables.entries[i].name;
            return;
        }
    }
    const Owner owner = OwnerOf(env, variant, source);
    const char* module = owner.row != nullptr ? owner.row->instance_name : "Output";
    for (const FieldName& f : kFrameworkFields) {
        if (owner.row != nullptr && owner.row->slot == f.slot && owner.offset == f.offset) {
            Text(out, sizeof out) << module << "." << f.name;
            return;
        }
    }
    Text(out, sizeof out) << module << ".channel" << channel;
}

// Identifier from a registered name: '.' (and anything else not allowed) becomes '_'.
void Identifier(char (&out)[kSlotLen], const char* name) {
    std::size_t i = 0;
    for (; name[i] != '\0' && i + 1 < kSlotLen; ++i) {
        const char c = name[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
                        (c >= '0' && c <= '9' && i > 0);
        out[i] = ok ? c : '_';
    }
    out[i] = '\0';
}

// Import tools of some EMT programs keep 31 characters of a name. A longer identifier loses
// the "parm_" or "set_" after its module name when that makes it short enough and it stays
// unique in its list; the description keeps the registered name.
constexpr std::size_t kShortName = 31;

template <class Entry>
void ShortenNames(Entry* entries, int count) {
    for (int i = 0; i < count; ++i) {
        char* name = entries[i].identifier;
        const std::size_t length = std::strlen(name);
        const char* module_end = std::strchr(name, '_');
        if (length <= kShortName || module_end == nullptr) {
            continue;
        }
        const std::size_t at = static_cast<std::size_t>(module_end - name) + 1;
        std::size_t drop = 0;
        for (const char* prefix : {"parm_", "set_"}) {
            drop = std::strncmp(name + at, prefix, std::strlen(prefix)) == 0 ? std::strlen(prefix)
                                                                             : drop;
        }
        if (drop == 0 || length - drop > kShortName) {
            continue;
        }
        char shorter[kSlotLen];
        std::memcpy(shorter, name, at);
        std::memcpy(shorter + at, name + at + drop, length - at - drop + 1);
        bool unique = true;
        for (int k = 0; k < count; ++k) {
            unique = unique && std::strcmp(entries[k].identifier, shorter) != 0;
        }
        if (unique) {
            std::memcpy(name, shorter, length - drop + 1);
        }
    }
}

// The host channel (44..149) whose target is `field`, or -1; the later of two.
void ChannelsOf(const SimInput& in, const void* field, int (&channels)[2]) {
    channels[0] = channels[1] = -1;
    auto note = [&](int channel) { (channels[0] < 0 ? channels[0] : channels[1]) = channel; };
    auto scan = [&](auto& targets, int first) {
        int k = 0;
        for (const auto* target : targets) {
            if (static_cast<const void*>(target) == field) {
                note(first + k);
            }
            ++k;
        }
    };
    scan(in.byte_targets1, kByteTargets1First);
    scan(in.float_targets1, kFloatTargets1First);
    scan(in.byte_targets2, kByteTargets2First);
    scan(in.float_targets2, kFloatTargets2First);
    scan(in.float_targets3, kFloatTargets3First);
}

void AddSetting(Survey& s, const char* name, Setting setting, int data_type, double value,
                double minimum, double maximum, const char* description) {
    ParameterEntry& p = s.parameters[s.parameter_count++];
    CopyText(p.identifier, name);
    CopyText(p.group, "Run");
    CopyText(p.description, description);
    p.registered_name[0] = '\0';
    p.setting = setting;
    p.type_code = -1;
    p.data_type = data_type;
    p.exposed = true;
    p.changeable = false;
    p.default_bits = data_type == IEEE_Cigre_DLLInterface_DataType_uint8_T
                         ? static_cast<std::uint32_t>(value)
                         : static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
    p.minimum = minimum;
    p.maximum = maximum;
}

void SurveyParameters(Survey& s, Environment* env) {
    const SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    const SignalRegistry& registry = *env->parameters;
    for (int e = 0; e < registry.entry_count && s.parameter_count < kMaxParameters; ++e) {
        const RegistryEntry& r = registry.entries[e];
        const int data_type = DataTypeOf(r.type_code);
        if (r.address == nullptr || data_type == 0) {
            continue;
        }
        ParameterEntry& p = s.parameters[s.parameter_count++];
        Text(p.registered_name, sizeof p.registered_name) << r.name;
        Identifier(p.identifier, r.name);
        std::size_t dot = 0;
        while (r.name[dot] != '\0' && r.name[dot] != '.') {
            ++dot;
        }
        std::memcpy(p.group, r.name, dot);
        p.group[dot] = '\0';
        p.setting = Setting::kController;
        p.type_code = r.type_code;
        p.data_type = data_type;
        p.default_bits = r.default_bits;
        const Range range = FullRange(data_type);
        p.minimum = range.minimum;
        p.maximum = range.maximum;
        if (std::strcmp(r.name, s.config->period_parameter) == 0) {
            // The controller runs once per task-1 period: that is the sample time, fixed.
            p.minimum = p.maximum = BitsValue(data_type, r.default_bits);
            s.sample_time = p.minimum / 1e6;
        }
        int channels[2];
        ChannelsOf(*in, r.address, channels);
        p.changeable = channels[0] >= 0;
        for (const int c : channels) {
            if (c >= kFirstParameterChannel && c <= kLastParameterChannel) {
                s.channel_entry[c - kFirstParameterChannel] = s.parameter_count - 1;
            }
        }
        // A parameter that the wiring sets to a value of its own cannot be set from outside;
        // it is entered with its registered default and not offered.
        const std::uint8_t* wired = RequestOf(env)->wired;
        p.exposed = wired != nullptr && wired[e] == 0;
        Text text(p.description, sizeof p.description);
        text << r.name << " (" << TypeText(r.type_code) << ")";
        if (channels[1] >= 0) {
            text << ", host channels " << channels[0] << " and " << channels[1];
        } else if (channels[0] >= 0) {
            text << ", host channel " << channels[0];
        }
    }
}

void SurveyOutputs(Survey& s, const Environment* env, const Variant& variant) {
    const SimOutput* out = ModuleAt<SimOutput>(env, kSlotSimOutput);
    for (int ch = 0; ch < kHostChannels && s.output_count < kMaxOutputPorts; ++ch) {
        const OutputBinding& b = out->bindings[ch];
        if ((b.type_word & kOutputBound) == 0) {
            continue;
        }
        OutputEntry& o = s.outputs[s.output_count++];
        o.channel = ch;
        char source[kSlotLen];
        SourceName(source, env, variant, b.source, ch);
        Identifier(o.identifier, source);
        const int type = static_cast<int>(b.type_word & 0xFFu);
        o.data_type =
            DataTypeOf(type) != 0 ? DataTypeOf(type) : IEEE_Cigre_DLLInterface_DataType_real32_T;
        Text(o.description, sizeof o.description)
            << source << " (" << TypeText(type) << "), output channel " << ch;
    }
}

void LayOut(Survey& s) {
    BlockCursor inputs;
    for (int i = 0; i < s.config->input_count; ++i) {
        s.input_offsets[i] = inputs.Place(IEEE_Cigre_DLLInterface_DataType_real64_T, 1);
    }
    s.input_block_bytes = inputs.Size();
    BlockCursor outputs;
    for (int i = 0; i < s.output_count; ++i) {
        s.output_offsets[i] = outputs.Place(s.outputs[i].data_type, 1);
    }
    s.output_block_bytes = outputs.Size();
    BlockCursor parameters;
    s.exposed_count = 0;
    for (int i = 0; i < s.parameter_count; ++i) {
        ParameterEntry& p = s.parameters[i];
        if (p.exposed) {
            p.offset = parameters.Place(p.data_type, 1);
            s.exposed_index[s.exposed_count++] = i;
        }
    }
    s.parameter_block_bytes = parameters.Size();
}

}  // namespace

Survey::Survey(const ModelConfig& c) noexcept
    : config(&c),
      ok(false),
      parameter_count(0),
      exposed_count(0),
      output_count(0),
      input_block_bytes(0),
      output_block_bytes(0),
      parameter_block_bytes(0),
      arena_bytes(0),
      map_bytes(0),
      state_bytes(0),
      sample_time(0.0) {
    for (int& e : channel_entry) {
        e = -1;
    }
    AddSetting(*this, "WriteFiles", Setting::kWriteFiles, IEEE_Cigre_DLLInterface_DataType_uint8_T,
               0, 0, 1, "1: write the trace files (first second) and the registry files");
    AddSetting(*this, "RunId", Setting::kRunId, IEEE_Cigre_DLLInterface_DataType_int32_T, 0, 0,
               999999, "run identifier in the registry file names");
    AddSetting(*this, "Task2Factor", Setting::kTask2Factor,
               IEEE_Cigre_DLLInterface_DataType_int32_T, 10, 0, 1000,
               "task-2 period in task-1 periods (0: 10)");
    AddSetting(*this, "Task3Factor", Setting::kTask3Factor,
               IEEE_Cigre_DLLInterface_DataType_int32_T, 10, 0, 1000,
               "task-3 period in task-2 periods (0: task 3 every 10 task-1 periods)");
    AddSetting(*this, "Task4Factor", Setting::kTask4Factor,
               IEEE_Cigre_DLLInterface_DataType_int32_T, 1, 0, 1000,
               "task-4 period in task-3 periods (0: task 4 every task-1 period)");
    if (c.input_count > kMaxInputPorts) {
        return;
    }
    // A scratch arena large enough for any build; grown when a build does not fit.
    for (std::size_t bytes = std::size_t{4} << 20; bytes <= (std::size_t{64} << 20); bytes *= 2) {
        void* memory = std::calloc(1, bytes);
        Arena* arena = MakeArena(memory, bytes);
        Environment* env =
            arena != nullptr ? BuildController(arena, *c.variant, nullptr, nullptr) : nullptr;
        if (env != nullptr) {
            SurveyParameters(*this, env);
            SurveyOutputs(*this, env, *c.variant);
            ShortenNames(parameters, parameter_count);
            ShortenNames(outputs, output_count);
            arena_bytes = RoundUp8(kArenaRecordBytes + arena->used);
            ok = sample_time > 0.0;
        }
        std::free(memory);
        if (env != nullptr) {
            break;
        }
    }
    LayOut(*this);
    const std::size_t words = arena_bytes / kWord;
    map_bytes = RoundUp8((words + 7) / 8);
    state_bytes = kHeaderBytes + arena_bytes + 2 * map_bytes + 8;
}

namespace {

std::uintptr_t WordAt(const unsigned char* block, std::size_t i) {
    std::uintptr_t w;
    std::memcpy(&w, block + i * kWord, kWord);
    return w;
}

bool Marked(const unsigned char* map, std::size_t i) { return (map[i / 8] >> (i % 8) & 1u) != 0; }

void SetMark(unsigned char* map, std::size_t i, bool marked) {
    const auto bit = static_cast<unsigned char>(1u << (i % 8));
    map[i / 8] = static_cast<unsigned char>(marked ? map[i / 8] | bit : map[i / 8] & ~bit);
}

}  // namespace

bool MapAddresses(const unsigned char* a, const unsigned char* b, std::size_t words,
                  std::uintptr_t delta, unsigned char* addresses,
                  unsigned char* constants) noexcept {
    bool alike = true;
    for (std::size_t i = 0; i < words; ++i) {
        const std::uintptr_t wa = WordAt(a, i);
        const std::uintptr_t wb = WordAt(b, i);
        const bool address = wa != wb && wa - wb == delta;
        alike = alike && (wa == wb || address);
        SetMark(addresses, i, address);
        SetMark(constants, i, wa == wb && wa != 0);
    }
    return alike;
}

void AdoptLibrary(unsigned char* block, const unsigned char* fresh, std::size_t words,
                  const unsigned char* constants, std::uintptr_t delta) noexcept {
    for (std::size_t i = 0; i < words; ++i) {
        const std::uintptr_t w = WordAt(fresh, i);
        if (Marked(constants, i) && WordAt(block, i) - w == delta) {
            std::memcpy(block + i * kWord, &w, kWord);
        }
    }
}

void MoveAddresses(unsigned char* block, std::size_t words, const unsigned char* map,
                   std::uintptr_t delta) noexcept {
    for (std::size_t i = 0; i < words; ++i) {
        if (Marked(map, i)) {
            const std::uintptr_t w = WordAt(block, i) + delta;
            std::memcpy(block + i * kWord, &w, kWord);
        }
    }
}

namespace {

// ---------------------------------------------------------------------------------------
// The instance's state array

struct StateView {
    unsigned char* block;
    StateHeader* header;
};

StateView ViewOf(IEEE_Cigre_DLLInterface_Instance* instance) {
    auto* block = reinterpret_cast<unsigned char*>(instance->DoubleStates);
    return {block, reinterpret_cast<StateHeader*>(instance->DoubleStates)};
}

std::uint64_t EndMark(const Survey& s) { return kStateMagic ^ s.state_bytes; }

std::uint64_t AddressOf(const void* p) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
}

int32_T Fail(IEEE_Cigre_DLLInterface_Instance* instance, const char* message) {
    instance->LastErrorMessage = message;
    instance->LastGeneralMessage = nullptr;
    return IEEE_Cigre_DLLInterface_Return_Error;
}

int32_T Ok(IEEE_Cigre_DLLInterface_Instance* instance) {
    instance->LastErrorMessage = nullptr;
    instance->LastGeneralMessage = nullptr;
    return IEEE_Cigre_DLLInterface_Return_OK;
}

// The instance record and its state array are there; 0, or the error code with its message.
int32_T CheckInstance(const Survey& s, IEEE_Cigre_DLLInterface_Instance* instance) {
    if (instance == nullptr) {
        return IEEE_Cigre_DLLInterface_Return_Error;  // nowhere to put a message
    }
    if (!s.ok) {
        return Fail(instance, "the controller could not be surveyed: the model is unusable");
    }
    if (instance->DoubleStates == nullptr) {
        return Fail(instance, "DoubleStates is null: the host gave no state array");
    }
    return IEEE_Cigre_DLLInterface_Return_OK;
}

// The parameter block holds acceptable values; 0, or the error code with the first fault.
int32_T CheckValues(const Survey& s, IEEE_Cigre_DLLInterface_Instance* instance) {
    if (instance->SimTool_EMT_RMS_Mode != 1) {
        return Fail(instance,
                    "the controller runs in EMT mode only (SimTool_EMT_RMS_Mode must be 1)");
    }
    if (instance->Parameters == nullptr && s.exposed_count > 0) {
        return Fail(instance, "Parameters is null: the host gave no parameter block");
    }
    StateHeader* header = ViewOf(instance).header;
    for (int k = 0; k < s.exposed_count; ++k) {
        const ParameterEntry& p = s.parameters[s.exposed_index[k]];
        const double v = ReadValue(instance->Parameters, p);
        if (std::isfinite(v) && v >= p.minimum && v <= p.maximum) {
            continue;
        }
        Text text(header->message, sizeof header->message);
        text << p.identifier << " = " << v;
        if (!std::isfinite(v)) {
            text << " is not a finite number";
        } else {
            text << " is outside its range [" << p.minimum << ", " << p.maximum << "]";
        }
        return Fail(instance, header->message);
    }
    return IEEE_Cigre_DLLInterface_Return_OK;
}

// The header says the array holds a controller this library built; 0 or the error code.
int32_T CheckBuilt(const Survey& s, IEEE_Cigre_DLLInterface_Instance* instance, const char* call) {
    const StateView v = ViewOf(instance);
    const StateHeader& h = *v.header;
    std::uint64_t end = 0;
    const bool ours = h.magic == kStateMagic && h.state_bytes == s.state_bytes;
    if (ours) {
        std::memcpy(&end, v.block + s.state_bytes - 8, sizeof end);
    }
    if (!ours || end != EndMark(s) || h.phase == kNoPhase || h.phase > kTerminated) {
        Text(v.header->message, sizeof v.header->message)
            << call << ": the state array holds no controller of this model (not initialised,"
            << " or copied incompletely); call Model_Initialize first";
        return Fail(instance, v.header->message);
    }
    if (h.phase == kFirstCalled) {
        Text(v.header->message, sizeof v.header->message) << call << " before Model_Initialize";
        return Fail(instance, v.header->message);
    }
    if (h.phase == kTerminated) {
        Text(v.header->message, sizeof v.header->message) << call << " after Model_Terminate";
        return Fail(instance, v.header->message);
    }
    return IEEE_Cigre_DLLInterface_Return_OK;
}

// Marks the array as ours, in a phase: the check words at both ends and the phase.
void Mark(const Survey& s, IEEE_Cigre_DLLInterface_Instance* instance, Phase phase) {
    const StateView v = ViewOf(instance);
    v.header->magic = kStateMagic;
    v.header->state_bytes = s.state_bytes;
    v.header->phase = phase;
    const std::uint64_t end = EndMark(s);
    std::memcpy(v.block + s.state_bytes - 8, &end, sizeof end);
}

// Makes the arena right for where it is now: when the host has moved the block, every address
// inside the arena moves by the same distance; when the block comes from another load of the
// library (a snapshot restored in another run), every word that held an address in the
// library at the build and still holds it is pointed at the same place in this load. Which
// words those are, a fresh build in a scratch area tells: they differ from it by exactly the
// distance between the two loads. Returns the environment, or null when that build fails.
Environment* Settle(const Survey& s, IEEE_Cigre_DLLInterface_Instance* instance) {
    const StateView v = ViewOf(instance);
    unsigned char* arena = v.block + kHeaderBytes;
    const unsigned char* addresses = arena + s.arena_bytes;
    const unsigned char* constants = addresses + s.map_bytes;
    const std::size_t words = s.arena_bytes / kWord;
    const std::uint64_t now = AddressOf(v.block);
    if (v.header->block_address != now) {
        MoveAddresses(arena, words, addresses,
                      static_cast<std::uintptr_t>(now - v.header->block_address));
        v.header->block_address = now;
    }
    const std::uint64_t library = AddressOf(&kLibraryAnchor);
    if (v.header->library_address != library) {
        if (instance->Parameters == nullptr && s.exposed_count > 0) {
            return nullptr;
        }
        void* scratch = std::calloc(1, s.arena_bytes);
        const bool built = scratch != nullptr &&
                           BuildController(MakeArena(scratch, s.arena_bytes), *s.config->variant,
                                           &s, instance->Parameters) != nullptr;
        if (built) {
            AdoptLibrary(arena, static_cast<const unsigned char*>(scratch), words, constants,
                         static_cast<std::uintptr_t>(v.header->library_address - library));
            v.header->library_address = library;
        }
        std::free(scratch);
        if (!built) {
            return nullptr;
        }
    }
    return reinterpret_cast<Environment*>(v.block + v.header->environment_offset);
}

// Settle, or the error code with its message.
int32_T SettleOrFail(const Survey& s, IEEE_Cigre_DLLInterface_Instance* instance,
                     Environment** env) {
    *env = Settle(s, instance);
    return *env != nullptr ? IEEE_Cigre_DLLInterface_Return_OK
                           : Fail(instance,
                                  "the states come from another load of the library and could "
                                  "not be taken over (no parameter block, or no memory)");
}

// The 200 host channels of one step: input ports on their channels, then the value of every
// parameter a channel writes; unused channels 0.
void AssembleChannels(const Survey& s, const IEEE_Cigre_DLLInterface_Instance* instance,
                      double (&channels)[kHostChannels]) {
    for (double& c : channels) {
        c = 0.0;
    }
    const auto* inputs = static_cast<const unsigned char*>(instance->ExternalInputs);
    for (int i = 0; i < s.config->input_count; ++i) {
        std::memcpy(&channels[s.config->inputs[i].channel], inputs + s.input_offsets[i],
                    sizeof(double));
    }
    for (int c = kFirstParameterChannel; c <= kLastParameterChannel; ++c) {
        const int e = s.channel_entry[c - kFirstParameterChannel];
        if (e >= 0) {
            const ParameterEntry& p = s.parameters[e];
            channels[c] = p.exposed ? ReadValue(instance->Parameters, p)
                                    : BitsValue(p.data_type, p.default_bits);
        }
    }
}

void WriteOutputs(const Survey& s, IEEE_Cigre_DLLInterface_Instance* instance,
                  const double (&channels)[kHostChannels]) {
    auto* out = static_cast<unsigned char*>(instance->ExternalOutputs);
    for (int i = 0; i < s.output_count; ++i) {
        const double v = channels[s.outputs[i].channel];  // a float or a byte value, exactly
        unsigned char* at = out + s.output_offsets[i];
        switch (s.outputs[i].data_type) {
            case IEEE_Cigre_DLLInterface_DataType_uint8_T: {
                const std::uint8_t b = TruncToByte(v);
                std::memcpy(at, &b, 1);
                break;
            }
            case IEEE_Cigre_DLLInterface_DataType_int8_T: {
                const auto b = static_cast<std::int8_t>(TruncToByte(v));
                std::memcpy(at, &b, 1);
                break;
            }
            case IEEE_Cigre_DLLInterface_DataType_int32_T: {
                const std::int32_t n = TruncToInt32(v);
                std::memcpy(at, &n, sizeof n);
                break;
            }
            case IEEE_Cigre_DLLInterface_DataType_uint32_T: {
                const std::uint32_t n = TruncToUint32(v);
                std::memcpy(at, &n, sizeof n);
                break;
            }
            default: {
                const auto f = static_cast<float>(v);
                std::memcpy(at, &f, sizeof f);
                break;
            }
        }
    }
}

double SettingValue(const Survey& s, const IEEE_Cigre_DLLInterface_Instance* instance,
                    Setting setting) {
    return ReadValue(instance->Parameters, s.parameters[static_cast<int>(setting) - 1]);
}

// Trace lines are appended with the file opened for each call, so no file handle outlives
// a call; the first line (at initialisation) starts the files afresh.
void Trace(const Survey& s, double time, const double (&inputs)[kHostChannels],
           const double (&outputs)[kHostChannels], const char* mode) {
    std::FILE* in = std::fopen(s.config->input_trace_name, mode);
    std::FILE* out = std::fopen(s.config->output_trace_name, mode);
    WriteTraceLines(in, out, time, inputs, kHostChannels, outputs, kHostChannels);
    if (in != nullptr) {
        std::fclose(in);
    }
    if (out != nullptr) {
        std::fclose(out);
    }
}

// At termination the registry file writers take text buffers of their own. They come from
// the heap and go back before the call returns; the blocks of the arena are left alone.
struct ArenaSpan {
    const unsigned char* begin;
    const unsigned char* end;
};

void* HeapAllocate(void*, std::size_t bytes) { return std::calloc(1, bytes); }

void HeapRelease(void* context, void* block) {
    const auto* span = static_cast<const ArenaSpan*>(context);
    const auto* b = static_cast<const unsigned char*>(block);
    if (!(b >= span->begin && b < span->end)) {
        std::free(block);
    }
}

// Writes the registry files and lets the environment go.
void WriteRegistryFiles(const Survey& s, unsigned char* block, Environment* env) {
    ArenaSpan span{block, block + s.state_bytes};
    env->allocator = Allocator{&HeapAllocate, &HeapRelease, &span};
    TearDownEnvironment(env, true);
}

}  // namespace

// -------------------------------------------------------------------------------------------
// The model

Model::Model(const ModelConfig& config) noexcept
    : survey_(config),
      tables_built_(BuildTables()),
      info_{
          .DLLInterfaceVersion = {1, 1, 0, 0},
          .ModelName = config.model_name,
          .ModelVersion = config.model_version,
          .ModelDescription = config.model_description,
          .GeneralInformation = config.general_information,
          .ModelCreated = config.created,
          .ModelCreator = config.creator,
          .ModelLastModifiedDate = config.last_modified_date,
          .ModelLastModifiedBy = config.last_modified_by,
          .ModelModifiedComment = config.modified_comment,
          .ModelModifiedHistory = config.modified_history,
          .FixedStepBaseSampleTime = survey_.sample_time,
          .EMT_RMS_Mode = 1,
          .NumInputPorts = survey_.ok ? config.input_count : 0,
          .InputPortsInfo =
              std::launder(reinterpret_cast<const IEEE_Cigre_DLLInterface_Signal*>(input_ports_)),
          .NumOutputPorts = survey_.ok ? survey_.output_count : 0,
          .OutputPortsInfo =
              std::launder(reinterpret_cast<const IEEE_Cigre_DLLInterface_Signal*>(output_ports_)),
          .NumParameters = survey_.ok ? survey_.exposed_count : 0,
          .ParametersInfo = std::launder(
              reinterpret_cast<const IEEE_Cigre_DLLInterface_Parameter*>(parameter_table_)),
          .NumIntStates = 0,
          .NumFloatStates = 0,
          .NumDoubleStates = static_cast<int32_T>(survey_.state_bytes / 8),
      } {}

namespace {

// A value of a data type in a value union (the default, or a bound of the range).
template <class Union>
Union ValueUnion(int data_type, double v) {
    switch (data_type) {
        case IEEE_Cigre_DLLInterface_DataType_uint8_T:
            return {.Uint8_Val = static_cast<uint8_T>(v)};
        case IEEE_Cigre_DLLInterface_DataType_int8_T:
            return {.Int8_Val = static_cast<int8_T>(v)};
        case IEEE_Cigre_DLLInterface_DataType_int32_T:
            return {.Int32_Val = static_cast<int32_T>(v)};
        case IEEE_Cigre_DLLInterface_DataType_uint32_T:
            return {.Uint32_Val = static_cast<uint32_T>(v)};
        default:
            return {.Real32_Val = static_cast<real32_T>(v)};
    }
}

}  // namespace

int Model::BuildTables() noexcept {
    const Survey& s = survey_;
    for (int i = 0; i < s.config->input_count && i < kMaxInputPorts; ++i) {
        const InputPort& port = s.config->inputs[i];
        new (input_ports_ + i * sizeof(IEEE_Cigre_DLLInterface_Signal))
            IEEE_Cigre_DLLInterface_Signal{
                .Name = port.name,
                .Description = port.description,
                .Unit = port.unit,
                .DataType = IEEE_Cigre_DLLInterface_DataType_real64_T,
                .Width = 1,
            };
    }
    for (int i = 0; i < s.output_count; ++i) {
        const OutputEntry& o = s.outputs[i];
        new (output_ports_ + i * sizeof(IEEE_Cigre_DLLInterface_Signal))
            IEEE_Cigre_DLLInterface_Signal{
                .Name = o.identifier,
                .Description = o.description,
                .Unit = "",
                .DataType = static_cast<IEEE_Cigre_DLLInterface_DataType>(o.data_type),
                .Width = 1,
            };
    }
    for (int k = 0; k < s.exposed_count; ++k) {
        const ParameterEntry& p = s.parameters[s.exposed_index[k]];
        new (parameter_table_ + k * sizeof(IEEE_Cigre_DLLInterface_Parameter))
            IEEE_Cigre_DLLInterface_Parameter{
                .Name = p.identifier,
                .GroupName = p.group,
                .Description = p.description,
                .Unit = "",
                .DataType = static_cast<IEEE_Cigre_DLLInterface_DataType>(p.data_type),
                .FixedValue = p.changeable ? 0 : 1,
                .DefaultValue =
                    ValueUnion<DefaultValueU>(p.data_type, BitsValue(p.data_type, p.default_bits)),
                .MinValue = ValueUnion<MinMaxValueU>(p.data_type, p.minimum),
                .MaxValue = ValueUnion<MinMaxValueU>(p.data_type, p.maximum),
            };
    }
    return 1;
}

int32_T Model::PrintInfo() const noexcept {
    std::printf(
        "%s %s: %s\n  %d inputs, %d outputs, %d parameters, %d double states, "
        "sample time %g s\n",
        info_.ModelName, info_.ModelVersion, info_.ModelDescription, info_.NumInputPorts,
        info_.NumOutputPorts, info_.NumParameters, info_.NumDoubleStates,
        info_.FixedStepBaseSampleTime);
    std::fflush(stdout);
    return IEEE_Cigre_DLLInterface_Return_OK;
}

int32_T Model::FirstCall(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept {
    if (const int32_T r = CheckInstance(survey_, instance); r != 0) {
        return r;
    }
    // After a snapshot is restored the host calls this again: a built controller stays.
    if (CheckBuilt(survey_, instance, "Model_FirstCall") == 0) {
        Environment* env = nullptr;
        const int32_T r = SettleOrFail(survey_, instance, &env);
        return r != 0 ? r : Ok(instance);
    }
    std::memset(ViewOf(instance).header, 0, sizeof(StateHeader));
    Mark(survey_, instance, kFirstCalled);
    return Ok(instance);
}

int32_T Model::CheckParameters(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept {
    if (const int32_T r = CheckInstance(survey_, instance); r != 0) {
        return r;
    }
    if (const int32_T r = CheckValues(survey_, instance); r != 0) {
        return r;
    }
    return Ok(instance);
}

int32_T Model::Initialize(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept {
    const Survey& s = survey_;
    if (const int32_T r = CheckParameters(instance); r != 0) {
        return r;
    }
    if (instance->ExternalInputs == nullptr || instance->ExternalOutputs == nullptr) {
        return Fail(instance, "ExternalInputs or ExternalOutputs is null");
    }
    const StateView v = ViewOf(instance);
    std::memset(v.header, 0, kHeaderBytes);
    unsigned char* region = v.block + kHeaderBytes;
    unsigned char* addresses = region + s.arena_bytes;
    Environment* env = BuildController(MakeArena(region, s.arena_bytes), *s.config->variant, &s,
                                       instance->Parameters);
    // The same build at a second address marks the words that hold addresses.
    void* scratch = std::calloc(1, s.arena_bytes);
    const Environment* twin = env != nullptr && scratch != nullptr
                                  ? BuildController(MakeArena(scratch, s.arena_bytes),
                                                    *s.config->variant, &s, instance->Parameters)
                                  : nullptr;
    const bool alike =
        twin != nullptr &&
        MapAddresses(
            region, static_cast<unsigned char*>(scratch), s.arena_bytes / kWord,
            reinterpret_cast<std::uintptr_t>(region) - reinterpret_cast<std::uintptr_t>(scratch),
            addresses, addresses + s.map_bytes);
    std::free(scratch);
    if (!alike) {
        return Fail(instance, env == nullptr || twin == nullptr
                                  ? "the controller could not be built in the state array"
                                  : "two builds of the controller differ: cannot track its "
                                    "addresses");
    }
    const double record[4] = {SettingValue(s, instance, Setting::kRunId),
                              SettingValue(s, instance, Setting::kTask2Factor),
                              SettingValue(s, instance, Setting::kTask3Factor),
                              SettingValue(s, instance, Setting::kTask4Factor)};
    ApplyHostParameters(env, record);
    Mark(s, instance, kInitialized);
    v.header->block_address = AddressOf(v.block);
    v.header->library_address = AddressOf(&kLibraryAnchor);
    v.header->environment_offset =
        static_cast<std::uint64_t>(reinterpret_cast<unsigned char*>(env) - v.block);
    v.header->write_files = SettingValue(s, instance, Setting::kWriteFiles) == 1.0 ? 1 : 0;
    if (v.header->write_files != 0) {
        double inputs[kHostChannels];
        const double outputs[kHostChannels] = {};
        AssembleChannels(s, instance, inputs);
        Trace(s, instance->Time, inputs, outputs, "wb");
    }
    return Ok(instance);
}

int32_T Model::Outputs(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept {
    const Survey& s = survey_;
    if (const int32_T r = CheckInstance(s, instance); r != 0) {
        return r;
    }
    if (const int32_T r = CheckBuilt(s, instance, "Model_Outputs"); r != 0) {
        return r;
    }
    if (instance->ExternalInputs == nullptr || instance->ExternalOutputs == nullptr ||
        (instance->Parameters == nullptr && s.exposed_count > 0)) {
        return Fail(instance, "ExternalInputs, ExternalOutputs or Parameters is null");
    }
    Environment* env = nullptr;
    if (const int32_T r = SettleOrFail(s, instance, &env); r != 0) {
        return r;
    }
    double inputs[kHostChannels];
    double outputs[kHostChannels];
    AssembleChannels(s, instance, inputs);
    StepEnvironment(env, inputs, outputs);
    WriteOutputs(s, instance, outputs);
    if (ViewOf(instance).header->write_files != 0 && instance->Time < kTraceEnd) {
        Trace(s, instance->Time, inputs, outputs, "ab");
    }
    return Ok(instance);
}

int32_T Model::Iterate(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept {
    // EMT only: the controller steps once per sample, there is nothing to iterate.
    if (const int32_T r = CheckInstance(survey_, instance); r != 0) {
        return r;
    }
    return Ok(instance);
}

int32_T Model::Terminate(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept {
    const Survey& s = survey_;
    if (const int32_T r = CheckInstance(s, instance); r != 0) {
        return r;
    }
    const StateView v = ViewOf(instance);
    const int32_T built = CheckBuilt(s, instance, "Model_Terminate");
    if (built != 0 && v.header->magic == kStateMagic && v.header->phase == kTerminated) {
        return Fail(instance, "Model_Terminate called twice");
    }
    if (built == 0 && v.header->write_files != 0) {
        Environment* env = nullptr;
        if (const int32_T r = SettleOrFail(s, instance, &env); r != 0) {
            return r;
        }
        WriteRegistryFiles(s, v.block, env);
    }
    if (built != 0) {
        // Never initialised (or not ours): nothing to release; remember the end only.
        std::memset(v.header, 0, sizeof *v.header);
    }
    Mark(s, instance, kTerminated);
    return Ok(instance);
}

}  // namespace svg::cigre
