#include "cigre/controller.h"

#include <bit>
#include <cstring>

#include "cigre/block_layout.h"
#include "framework/registry.h"
#include "framework/type_codes.h"

namespace svg::cigre {

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

namespace {

template <class T>
double Load(const unsigned char* at) {
    T v;
    std::memcpy(&v, at, sizeof v);
    return static_cast<double>(v);
}

}  // namespace

// The value of one parameter in the host's block, as a double (exact for every type).
double ReadValue(const void* block, const ParameterEntry& p) {
    const auto* at = static_cast<const unsigned char*>(block) + p.offset;
    switch (p.data_type) {
        case IEEE_Cigre_DLLInterface_DataType_uint8_T:
            return Load<std::uint8_t>(at);
        case IEEE_Cigre_DLLInterface_DataType_int8_T:
            return Load<std::int8_t>(at);
        case IEEE_Cigre_DLLInterface_DataType_int32_T:
            return Load<std::int32_t>(at);
        case IEEE_Cigre_DLLInterface_DataType_uint32_T:
            return Load<std::uint32_t>(at);
        default:
            return Load<float>(at);
    }
}

namespace {

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

}  // namespace

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

const std::uint8_t* WiredParameters(Environment* env) { return RequestOf(env)->wired; }

}  // namespace svg::cigre
