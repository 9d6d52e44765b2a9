#include "cigre/model.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "blocks/numeric.h"
#include "cigre/block_layout.h"
#include "cigre/controller.h"
#include "host/host.h"

namespace svg::cigre {
namespace {

// A static of this library: where it sits tells whether the library that built an instance
// is the one now running it (a snapshot may be restored into another load of the library).
const int kLibraryAnchor = 0;

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
                  const double (&channels)[kOutputSlots]) {
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
// The output trace holds every host output channel (full build) or every wave channel
// (reduced build), as the three-function library writes it.
void Trace(const Survey& s, double time, const double (&inputs)[kHostChannels],
           const double (&outputs)[kOutputSlots], const char* mode) {
    std::FILE* in = std::fopen(s.config->input_trace_name, mode);
    std::FILE* out = std::fopen(s.config->output_trace_name, mode);
    const int output_count = kReducedBuild ? s.output_count : kHostChannels;
    WriteTraceLines(in, out, time, inputs, kHostChannels, outputs, output_count);
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
        const HostInput& port = s.config->inputs[i];
        new (input_ports_ + i * sizeof(IEEE_Cigre_DLLInterface_Signal))
            IEEE_Cigre_DLLInterface_Signal{
                .Name = port.name,
                .Description = port.meaning,
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
        const double outputs[kOutputSlots] = {};
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
    // The reduced build writes one output per wave channel: never more than there are slots.
    if (kReducedBuild && env->variables->entry_count != s.output_count) {
        return Fail(instance,
                    "the state array holds a controller with other outputs than this model");
    }
    double inputs[kHostChannels];
    double outputs[kOutputSlots];
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
