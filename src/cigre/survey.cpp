// The survey: one build of the controller in a scratch arena tells what the model offers (its
// parameters with types, defaults and host channels, its output channels and their sources)
// and how much state storage an instance needs.
#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "cigre/block_layout.h"
#include "cigre/controller.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "framework/type_codes.h"

namespace svg::cigre {
namespace {

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

template <std::size_t N>
void CopyText(char (&to)[N], const char* from) {
    Text(to, N) << from;
}

// ---------------------------------------------------------------------------------------
// The survey: one build in a scratch arena tells what the controller is made of.

// Output sources of the framework modules that are not registered signals.
struct FieldName {
    int slot;
    std::size_t offset;
    const char* name;
};
constexpr FieldName kFrameworkFields[] = {
#if !SVG_REDUCED_BUILD
    {kSlotSimInput, offsetof(SimInput, deblock_cmd), "deblock_cmd"},
    {kSlotSimInput, offsetof(SimInput, running_cmd), "running_cmd"},
#endif
    {kSlotSimOutput, offsetof(SimOutput, prot_flag), "prot_flag"},
};

// "Module.signal" of an output source: its registered name, a framework field, or the
// module and channel.
void SourceName(char (&out)[kSlotLen], const Environment* env, const void* source, int channel) {
    const SignalRegistry& variables = *env->variables;
    for (int i = 0; i < variables.entry_count; ++i) {
        if (variables.entries[i].address == source) {
            Text(out, sizeof out) << variables.entries[i].name;
            return;
        }
    }
    const ModuleOwner owner = ModuleOwning(env, source);
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

// The host channel (44..149) whose target is `field`, or -1; the later of two. The reduced
// build writes no parameter from a host channel.
void ChannelsOf(const SimInput& in, const void* field, int (&channels)[2]) {
    channels[0] = channels[1] = -1;
#if SVG_REDUCED_BUILD
    static_cast<void>(in);
    static_cast<void>(field);
#else
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
#endif
}

// A parameter that no step reads, because an input port stands for it.
bool Unread(const ModelConfig& c, const char* registered_name) {
    for (int i = 0; i < c.unread_count; ++i) {
        if (std::strcmp(c.unread_parameters[i], registered_name) == 0) {
            return true;
        }
    }
    return false;
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
        // A parameter that the wiring sets to a value of its own cannot be set from outside,
        // and one that an input port stands for is read by no step: either is entered with
        // its registered default and not offered.
        const std::uint8_t* wired = WiredParameters(env);
        p.exposed = wired != nullptr && wired[e] == 0 && !Unread(*s.config, r.name);
        Text text(p.description, sizeof p.description);
        text << r.name << " (" << TypeText(r.type_code) << ")";
        if (channels[1] >= 0) {
            text << ", host channels " << channels[0] << " and " << channels[1];
        } else if (channels[0] >= 0) {
            text << ", host channel " << channels[0];
        }
    }
}

void AddOutput(Survey& s, int channel, const char* source, int type, const char* channel_kind) {
    OutputEntry& o = s.outputs[s.output_count++];
    o.channel = channel;
    Identifier(o.identifier, source);
    o.data_type =
        DataTypeOf(type) != 0 ? DataTypeOf(type) : IEEE_Cigre_DLLInterface_DataType_real32_T;
    Text(o.description, sizeof o.description)
        << source << " (" << TypeText(type) << "), " << channel_kind << " " << channel;
}

// Full build: the bound host output channels, named after their sources. Reduced build: the
// wave channels, which are its host outputs. False when there are more than the model offers.
bool SurveyOutputs(Survey& s, const Environment* env) {
    if constexpr (kReducedBuild) {
        const SignalRegistry& waves = *env->variables;
        for (int i = 0; i < waves.entry_count; ++i) {
            if (s.output_count == kMaxOutputPorts) {
                return false;
            }
            AddOutput(s, i, waves.entries[i].name, waves.entries[i].type_code, "wave channel");
        }
        return true;
    }
    const SimOutput* out = ModuleAt<SimOutput>(env, kSlotSimOutput);
    for (int ch = 0; ch < kHostChannels; ++ch) {
        const OutputBinding& b = out->bindings[ch];
        if ((b.type_word & kOutputBound) == 0) {
            continue;
        }
        if (s.output_count == kMaxOutputPorts) {
            return false;
        }
        char source[kSlotLen];
        SourceName(source, env, b.source, ch);
        AddOutput(s, ch, source, static_cast<int>(b.type_word & 0xFFu), "output channel");
    }
    return true;
}

// Every input port feeds a host channel that no parameter takes, in ascending order.
bool InputsFit(const ModelConfig& c) {
    if (c.input_count > kMaxInputPorts) {
        return false;
    }
    for (int i = 0; i < c.input_count; ++i) {
        const int ch = c.inputs[i].channel;
        const bool parameter = ch >= kFirstParameterChannel && ch <= kLastParameterChannel;
        if (ch < 0 || ch >= kHostChannels || parameter ||
            (i > 0 && ch <= c.inputs[i - 1].channel)) {
            return false;
        }
    }
    return true;
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
    if (!InputsFit(c)) {
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
            const bool outputs_fit = SurveyOutputs(*this, env);
            ShortenNames(parameters, parameter_count);
            ShortenNames(outputs, output_count);
            arena_bytes = RoundUp8(kArenaRecordBytes + arena->used);
            ok = sample_time > 0.0 && outputs_fit;
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

}  // namespace svg::cigre
