// The IEEE/Cigre DLL interface for controller models (typed, struct-based API; models report
// interface version 1.1): the scalar types, the self-description a model returns, the
// per-instance record a host allocates, and the eight C entry points. Written for this
// project; every size and offset is checked at compile time for the 32-bit and 64-bit
// Windows ABIs and the 64-bit Linux ABI (natural C alignment, no packing).
#pragma once

#include <stddef.h>

typedef char char_T;
typedef char int8_T;  // plain char, as the interface defines it (signed on x86)
typedef unsigned char uint8_T;
typedef short int16_T;
typedef unsigned short uint16_T;
typedef int int32_T;
typedef unsigned int uint32_T;
typedef float real32_T;
typedef double real64_T;

// Element type of a port or parameter; there is no value 0.
enum IEEE_Cigre_DLLInterface_DataType {
    IEEE_Cigre_DLLInterface_DataType_char_T = 1,
    IEEE_Cigre_DLLInterface_DataType_int8_T = 2,
    IEEE_Cigre_DLLInterface_DataType_uint8_T = 3,
    IEEE_Cigre_DLLInterface_DataType_int16_T = 4,
    IEEE_Cigre_DLLInterface_DataType_uint16_T = 5,
    IEEE_Cigre_DLLInterface_DataType_int32_T = 6,
    IEEE_Cigre_DLLInterface_DataType_uint32_T = 7,
    IEEE_Cigre_DLLInterface_DataType_real32_T = 8,
    IEEE_Cigre_DLLInterface_DataType_real64_T = 9,
    IEEE_Cigre_DLLInterface_DataType_c_string_T = 10  // pointer to a NUL-terminated text
};

// Result of every entry point but Model_GetInfo.
enum IEEE_Cigre_DLLInterface_Return_Value {
    IEEE_Cigre_DLLInterface_Return_OK = 0,
    IEEE_Cigre_DLLInterface_Return_Message = 1,  // read LastGeneralMessage
    IEEE_Cigre_DLLInterface_Return_Error = 2     // read LastErrorMessage; the run stops
};

// One input or output port.
typedef struct _IEEE_Cigre_DLLInterface_Signal {
    const char_T* const Name;  // a C identifier
    const char_T* const Description;
    const char_T* const Unit;
    const enum IEEE_Cigre_DLLInterface_DataType DataType;
    const int32_T Width;  // elements; 1 for a scalar
} IEEE_Cigre_DLLInterface_Signal;

// A parameter value, read through the member of the parameter's data type.
union DefaultValueU {
    const char_T Char_Val;
    const char_T* const Char_Ptr;
    const int8_T Int8_Val;
    const uint8_T Uint8_Val;
    const int16_T Int16_Val;
    const uint16_T Uint16_Val;
    const int32_T Int32_Val;
    const uint32_T Uint32_Val;
    const real32_T Real32_Val;
    const real64_T Real64_Val;
};

union MinMaxValueU {
    const char_T Char_Val;
    const int8_T Int8_Val;
    const uint8_T Uint8_Val;
    const int16_T Int16_Val;
    const uint16_T Uint16_Val;
    const int32_T Int32_Val;
    const uint32_T Uint32_Val;
    const real32_T Real32_Val;
    const real64_T Real64_Val;
};

// One scalar parameter.
typedef struct _IEEE_Cigre_DLLInterface_Parameter {
    const char_T* const Name;       // a C identifier
    const char_T* const GroupName;  // empty: the general group
    const char_T* const Description;
    const char_T* const Unit;
    const enum IEEE_Cigre_DLLInterface_DataType DataType;
    const int32_T FixedValue;  // 0: may change while running; 1: set at t = 0 only
    const union DefaultValueU DefaultValue;
    const union MinMaxValueU MinValue;
    const union MinMaxValueU MaxValue;
} IEEE_Cigre_DLLInterface_Parameter;

// What a model is, identical for all its instances.
typedef struct _IEEE_Cigre_DLLInterface_Model_Info {
    const uint8_T DLLInterfaceVersion[4];
    const char_T* const ModelName;
    const char_T* const ModelVersion;
    const char_T* const ModelDescription;
    const char_T* const GeneralInformation;
    const char_T* const ModelCreated;
    const char_T* const ModelCreator;
    const char_T* const ModelLastModifiedDate;
    const char_T* const ModelLastModifiedBy;
    const char_T* const ModelModifiedComment;
    const char_T* const ModelModifiedHistory;
    const real64_T FixedStepBaseSampleTime;  // seconds
    const uint8_T EMT_RMS_Mode;              // 1 EMT, 2 RMS, 3 both
    const int32_T NumInputPorts;
    const IEEE_Cigre_DLLInterface_Signal* const InputPortsInfo;
    const int32_T NumOutputPorts;
    const IEEE_Cigre_DLLInterface_Signal* const OutputPortsInfo;
    const int32_T NumParameters;
    const IEEE_Cigre_DLLInterface_Parameter* const ParametersInfo;
    const int32_T NumIntStates;
    const int32_T NumFloatStates;
    const int32_T NumDoubleStates;
} IEEE_Cigre_DLLInterface_Model_Info;

// One model instance; the host allocates it, zero-filled, with its blocks and state arrays.
typedef struct _IEEE_Cigre_DLLInterface_Instance {
    void* ExternalInputs;                // one member per input port, in port order
    void* ExternalOutputs;               // one member per output port
    void* Parameters;                    // one member per parameter
    real64_T Time;                       // seconds
    const uint8_T SimTool_EMT_RMS_Mode;  // 1 EMT, 2 RMS
    const char_T* LastErrorMessage;      // set by the model
    const char_T* LastGeneralMessage;    // set by the model
    int32_T* IntStates;
    real32_T* FloatStates;
    real64_T* DoubleStates;
} IEEE_Cigre_DLLInterface_Instance;

#if !defined(_WIN32) && !defined(__cdecl)
#define __cdecl
#endif

#if defined(_WIN32)
#define IEEE_CIGRE_EXPORT __declspec(dllexport)
#else
#define IEEE_CIGRE_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define IEEE_CIGRE_NOEXCEPT noexcept
extern "C" {
#else
#define IEEE_CIGRE_NOEXCEPT
#endif

// The entry points as a model exports them (undecorated names, cdecl).
IEEE_CIGRE_EXPORT const IEEE_Cigre_DLLInterface_Model_Info* __cdecl Model_GetInfo(void)
    IEEE_CIGRE_NOEXCEPT;
IEEE_CIGRE_EXPORT int32_T __cdecl Model_PrintInfo(void) IEEE_CIGRE_NOEXCEPT;
IEEE_CIGRE_EXPORT int32_T __cdecl Model_FirstCall(IEEE_Cigre_DLLInterface_Instance* instance)
    IEEE_CIGRE_NOEXCEPT;
IEEE_CIGRE_EXPORT int32_T __cdecl Model_CheckParameters(IEEE_Cigre_DLLInterface_Instance* instance)
    IEEE_CIGRE_NOEXCEPT;
IEEE_CIGRE_EXPORT int32_T __cdecl Model_Initialize(IEEE_Cigre_DLLInterface_Instance* instance)
    IEEE_CIGRE_NOEXCEPT;
IEEE_CIGRE_EXPORT int32_T __cdecl Model_Outputs(IEEE_Cigre_DLLInterface_Instance* instance)
    IEEE_CIGRE_NOEXCEPT;
IEEE_CIGRE_EXPORT int32_T __cdecl Model_Iterate(IEEE_Cigre_DLLInterface_Instance* instance)
    IEEE_CIGRE_NOEXCEPT;
IEEE_CIGRE_EXPORT int32_T __cdecl Model_Terminate(IEEE_Cigre_DLLInterface_Instance* instance)
    IEEE_CIGRE_NOEXCEPT;

#ifdef __cplusplus
}  // extern "C"

// The same entry points as a host holds them after looking them up.
using Model_GetInfo_Fn = const IEEE_Cigre_DLLInterface_Model_Info*(__cdecl*)(void);
using Model_PrintInfo_Fn = int32_T(__cdecl*)(void);
using Model_InstanceFn = int32_T(__cdecl*)(IEEE_Cigre_DLLInterface_Instance*);

// Layout checks: identical on 64-bit Windows and 64-bit Linux, 32-bit Windows on its own.
#define IEEE_CIGRE_CHECK(type, field, off64, off32)                                  \
    static_assert(offsetof(type, field) == (sizeof(void*) == 8 ? (off64) : (off32)), \
                  #type "." #field " offset")
#define IEEE_CIGRE_CHECK_SIZE(type, size64, size32) \
    static_assert(sizeof(type) == (sizeof(void*) == 8 ? (size64) : (size32)), #type " size")

static_assert(sizeof(char_T) == 1 && sizeof(int8_T) == 1 && sizeof(uint8_T) == 1);
static_assert(sizeof(int16_T) == 2 && sizeof(uint16_T) == 2);
static_assert(sizeof(int32_T) == 4 && sizeof(uint32_T) == 4 && sizeof(real32_T) == 4);
static_assert(sizeof(real64_T) == 8 && alignof(real64_T) == 8, "8-byte doubles, 8-aligned");
static_assert(sizeof(enum IEEE_Cigre_DLLInterface_DataType) == 4);
static_assert(sizeof(union DefaultValueU) == 8 && alignof(union DefaultValueU) == 8);
static_assert(sizeof(union MinMaxValueU) == 8 && alignof(union MinMaxValueU) == 8);

IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Signal, Name, 0, 0);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Signal, Description, 8, 4);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Signal, Unit, 16, 8);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Signal, DataType, 24, 12);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Signal, Width, 28, 16);
IEEE_CIGRE_CHECK_SIZE(IEEE_Cigre_DLLInterface_Signal, 32, 20);

IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Parameter, Name, 0, 0);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Parameter, GroupName, 8, 4);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Parameter, Description, 16, 8);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Parameter, Unit, 24, 12);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Parameter, DataType, 32, 16);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Parameter, FixedValue, 36, 20);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Parameter, DefaultValue, 40, 24);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Parameter, MinValue, 48, 32);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Parameter, MaxValue, 56, 40);
IEEE_CIGRE_CHECK_SIZE(IEEE_Cigre_DLLInterface_Parameter, 64, 48);

IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, DLLInterfaceVersion, 0, 0);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ModelName, 8, 4);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ModelVersion, 16, 8);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ModelDescription, 24, 12);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, GeneralInformation, 32, 16);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ModelCreated, 40, 20);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ModelCreator, 48, 24);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ModelLastModifiedDate, 56, 28);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ModelLastModifiedBy, 64, 32);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ModelModifiedComment, 72, 36);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ModelModifiedHistory, 80, 40);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, FixedStepBaseSampleTime, 88, 48);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, EMT_RMS_Mode, 96, 56);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, NumInputPorts, 100, 60);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, InputPortsInfo, 104, 64);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, NumOutputPorts, 112, 68);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, OutputPortsInfo, 120, 72);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, NumParameters, 128, 76);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, ParametersInfo, 136, 80);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, NumIntStates, 144, 84);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, NumFloatStates, 148, 88);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Model_Info, NumDoubleStates, 152, 92);
IEEE_CIGRE_CHECK_SIZE(IEEE_Cigre_DLLInterface_Model_Info, 160, 96);

IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, ExternalInputs, 0, 0);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, ExternalOutputs, 8, 4);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, Parameters, 16, 8);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, Time, 24, 16);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, SimTool_EMT_RMS_Mode, 32, 24);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, LastErrorMessage, 40, 28);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, LastGeneralMessage, 48, 32);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, IntStates, 56, 36);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, FloatStates, 64, 40);
IEEE_CIGRE_CHECK(IEEE_Cigre_DLLInterface_Instance, DoubleStates, 72, 44);
IEEE_CIGRE_CHECK_SIZE(IEEE_Cigre_DLLInterface_Instance, 80, 48);

#undef IEEE_CIGRE_CHECK
#undef IEEE_CIGRE_CHECK_SIZE
#endif  // __cplusplus
