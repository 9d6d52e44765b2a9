// Hosting any IEEE/Cigre DLL model from nothing but its self-description: the library and its
// entry points, and instances whose blocks and state arrays are laid out from the model's
// port and parameter tables, each followed by guard bytes that are checked after every call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cigre/ieee_cigre_dll.h"
#include "platform.h"

namespace cigrehost {

// The loaded library and its entry points (null where the library lacks one).
struct LoadedModel {
    svghost::SharedLibrary library;
    Model_GetInfo_Fn get_info = nullptr;
    Model_PrintInfo_Fn print_info = nullptr;
    Model_InstanceFn first_call = nullptr;
    Model_InstanceFn check_parameters = nullptr;
    Model_InstanceFn initialize = nullptr;
    Model_InstanceFn outputs = nullptr;
    Model_InstanceFn iterate = nullptr;
    Model_InstanceFn terminate = nullptr;
    const IEEE_Cigre_DLLInterface_Model_Info* info = nullptr;
    std::vector<std::string> missing_optional;  // PrintInfo, FirstCall, Iterate when absent

    // Loads the library and finds its functions; false with `error` when the library or one
    // of the five functions every host needs is missing, or GetInfo gives null.
    bool Load(const std::string& path, std::string& error);
};

// A value of any numeric interface type at `at`, as a double; 0 for a text.
double ReadTyped(const void* at, int data_type);
// Stores `value` at `at` as the data type holds it (truncated toward zero for integers).
void WriteTyped(void* at, int data_type, double value);
// Smallest and largest value of a parameter, read through the member of its type.
double MinOf(const IEEE_Cigre_DLLInterface_Parameter& p);
double MaxOf(const IEEE_Cigre_DLLInterface_Parameter& p);
double DefaultOf(const IEEE_Cigre_DLLInterface_Parameter& p);

// A byte buffer of `bytes` usable bytes, 8-aligned, followed by guard bytes.
class GuardedBlock {
  public:
    explicit GuardedBlock(std::size_t bytes = 0);
    unsigned char* data() { return bytes_ == 0 ? nullptr : Bytes(); }
    const unsigned char* data() const { return bytes_ == 0 ? nullptr : Bytes(); }
    std::size_t size() const { return bytes_; }
    bool GuardIntact() const;
    // Copies the usable bytes of another block of the same size.
    void CopyFrom(const GuardedBlock& other);

  private:
    unsigned char* Bytes() const {
        return reinterpret_cast<unsigned char*>(const_cast<double*>(words_.data()));
    }
    std::size_t bytes_;
    std::vector<double> words_;
};

// One instance: zero-filled record, blocks from the offset rule, parameters at defaults.
class Instance {
  public:
    Instance(const LoadedModel& model, std::uint8_t mode);
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // A call with its checks: the result is 0, 1 or 2, a 1 comes with a general message, a 2
    // with an error message, and no guard is touched. Problems go to `problems`.
    int Call(Model_InstanceFn function, const char* name);

    void SetInput(int port, double value);
    double Output(int port) const;
    double Parameter(int index) const;
    // The host's own range check; false with `why` when the value is refused.
    bool SetParameter(int index, double value, std::string& why);
    // Writes without the range check (to see what the model itself says).
    void ForceParameter(int index, double value);
    // States and outputs of another instance of the same model (a snapshot).
    void CopyStateFrom(const Instance& other);
    std::vector<double> Outputs() const;
    // The initial output values a host writes before Initialize: all zero.
    void ZeroOutputs();

    IEEE_Cigre_DLLInterface_Instance record;
    std::vector<std::string> problems;

  private:
    const LoadedModel& model_;
    std::vector<std::size_t> input_offsets_, output_offsets_, parameter_offsets_;
    GuardedBlock inputs_, outputs_, parameters_, int_states_, float_states_, double_states_;
    std::vector<std::string> parameter_texts_;  // defaults of text parameters, kept alive
};

}  // namespace cigrehost
