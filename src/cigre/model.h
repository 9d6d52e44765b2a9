// A deliverable's controller as an IEEE/Cigre DLL model: the self-description made from the
// controller's own registrations, and the entry points working on one instance whose whole
// memory (the run-time environment and every module record) lives in the host's state array.
//
// State array (DoubleStates, 8-byte words), in order:
//   header       check words, the call phase, where the block and the library were at the
//                last call, the message text;
//   arena        the Arena record and its region, from which the environment is built;
//   address map  one bit per pointer-sized word of the arena: set where the word holds an
//                address inside the arena;
//   constant map one bit per word: set where the word was the same non-zero value in both
//                builds (data, or an address in the library: a routine, a text, the zero cell);
//   end mark     a check word.
// When the host hands over the block at another address (it copies the states, or restores a
// snapshot into another instance), every marked word is moved by the same distance before the
// controller runs. The map comes from building the environment twice, at two addresses: the
// words that differ by exactly the distance between the two builds are the addresses. When
// the states come from another load of the library, the constant words that hold an address
// in the old load are pointed at the same place in this one (see Settle in model.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "cigre/ieee_cigre_dll.h"
#include "framework/environment.h"
#include "framework/registry.h"
#include "variants/common/host_input.h"

namespace svg::cigre {

// What a deliverable gives the wrapper.
struct ModelConfig {
    const Variant* variant;
    const char* model_name;
    const char* model_version = nullptr;  // with the release texts, set by FirstRelease
    const char* model_description;
    const char* general_information;
    const char* created = nullptr;
    const char* creator = nullptr;
    const char* last_modified_date = nullptr;
    const char* last_modified_by = nullptr;
    const char* modified_comment = nullptr;
    const char* modified_history = nullptr;
    // Input ports: the host channels a module reads directly (not those that write parameters),
    // ascending.
    const HostInput* inputs;
    int input_count;
    // Registered parameters that no step reads because an input port stands for them: entered
    // with their registered defaults and not offered, so the port is the one place to set them.
    const char* const* unread_parameters;
    int unread_count;
    const char* period_parameter;  // qualified name of the task-1 period in microseconds
    const char* input_trace_name;
    const char* output_trace_name;
};

inline constexpr int kMaxParameters = 1024;
inline constexpr int kMaxInputPorts = 64;
inline constexpr int kMaxOutputPorts = 64;
inline constexpr int kDescriptionLen = 112;
// Host channels 44..149 write parameters in the full build; in the reduced build no channel
// does (the range is empty).
inline constexpr int kFirstParameterChannel = 44;
inline constexpr int kLastParameterChannel = kReducedBuild ? 43 : 149;
inline constexpr int kParameterChannels = kLastParameterChannel + 1 - kFirstParameterChannel;
// Output values of one step: the host channels (full build) or the wave channels (reduced
// build, at most kMaxOutputPorts of them).
inline constexpr int kOutputSlots =
    kHostChannels > kMaxOutputPorts ? kHostChannels : kMaxOutputPorts;

// The wrapper's own parameters, ahead of the controller's: whether the library writes its
// trace and registry files, and the host parameter record (run identifier, task factors).
enum class Setting : std::uint8_t {
    kController,
    kWriteFiles,
    kRunId,
    kTask2Factor,
    kTask3Factor,
    kTask4Factor
};

// One registered parameter (exposed to the host or not) or one wrapper setting.
struct ParameterEntry {
    char identifier[kSlotLen];  // registered name with '.' as '_'
    char group[kSlotLen];       // instance name of the registering module
    char description[kDescriptionLen];
    char registered_name[kSlotLen];  // as the registry names it; empty for a setting
    Setting setting;
    int type_code;               // registry type code; -1 for a setting
    int data_type;               // interface data type
    bool exposed;                // a member of the host's parameter block
    bool changeable;             // a host channel writes it at every step (FixedValue 0)
    std::uint32_t default_bits;  // registered default as stored (for a setting: its value)
    double minimum;
    double maximum;
    std::size_t offset;  // in the parameter block, when exposed
};

struct OutputEntry {
    int channel;  // host output channel (full build) or wave channel (reduced build)
    char identifier[kSlotLen];
    char description[kDescriptionLen];
    int data_type;
};

// Everything learnt from one build of the controller, in static storage.
struct Survey {
    explicit Survey(const ModelConfig& config) noexcept;

    const ModelConfig* config;
    bool ok;  // the survey build succeeded
    ParameterEntry parameters[kMaxParameters];
    int parameter_count;  // all entries
    int exposed_count;
    int exposed_index[kMaxParameters];  // entry of each exposed parameter, block order
    OutputEntry outputs[kMaxOutputPorts];
    int output_count;
    // Parameter entry written by each host channel 44..149; -1 where none.
    int channel_entry[kParameterChannels > 0 ? kParameterChannels : 1];
    std::size_t input_offsets[kMaxInputPorts];
    std::size_t input_block_bytes;
    std::size_t output_offsets[kMaxOutputPorts];
    std::size_t output_block_bytes;
    std::size_t parameter_block_bytes;
    std::size_t arena_bytes;  // Arena record and region
    std::size_t map_bytes;    // each of the two maps
    std::size_t state_bytes;  // whole state array, a multiple of 8
    double sample_time;
};

// The model description a host reads, and what the entry points need besides.
class Model {
  public:
    explicit Model(const ModelConfig& config) noexcept;
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    const IEEE_Cigre_DLLInterface_Model_Info* Info() const noexcept { return &info_; }
    const Survey& survey() const noexcept { return survey_; }

    int32_T PrintInfo() const noexcept;
    int32_T FirstCall(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept;
    int32_T CheckParameters(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept;
    int32_T Initialize(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept;
    int32_T Outputs(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept;
    int32_T Iterate(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept;
    int32_T Terminate(IEEE_Cigre_DLLInterface_Instance* instance) const noexcept;

  private:
    Survey survey_;
    alignas(IEEE_Cigre_DLLInterface_Signal) unsigned char input_ports_
        [kMaxInputPorts * sizeof(IEEE_Cigre_DLLInterface_Signal)];
    alignas(IEEE_Cigre_DLLInterface_Signal) unsigned char output_ports_
        [kMaxOutputPorts * sizeof(IEEE_Cigre_DLLInterface_Signal)];
    alignas(IEEE_Cigre_DLLInterface_Parameter) unsigned char parameter_table_
        [kMaxParameters * sizeof(IEEE_Cigre_DLLInterface_Parameter)];
    int tables_built_;  // tables made before info_ points at them
    IEEE_Cigre_DLLInterface_Model_Info info_;

    int BuildTables() noexcept;
};

// Pointer map helpers, on `words` pointer-sized words.
// Sets bit i of `addresses` where a[i] - b[i] == delta (mod 2^N) and a[i] != b[i], and bit i
// of `constants` where a[i] == b[i] != 0; false when a word differs by anything else (the two
// builds were not alike).
bool MapAddresses(const unsigned char* a, const unsigned char* b, std::size_t words,
                  std::uintptr_t delta, unsigned char* addresses,
                  unsigned char* constants) noexcept;
// Where a constant word of `block` differs from the same word of `fresh` (a build in this
// load of the library) by exactly `delta`, the distance between the two loads, it takes the
// fresh word.
void AdoptLibrary(unsigned char* block, const unsigned char* fresh, std::size_t words,
                  const unsigned char* constants, std::uintptr_t delta) noexcept;
// Adds `delta` to every marked word.
void MoveAddresses(unsigned char* block, std::size_t words, const unsigned char* map,
                   std::uintptr_t delta) noexcept;

}  // namespace svg::cigre
