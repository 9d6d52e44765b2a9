#include "framework/module.h"

#include <cstring>

#include "blocks/build.h"
#include "framework/environment.h"
#include "framework/registry.h"

namespace svg {
namespace {

// Four zero bytes: read as a float it is 0.0, read as a byte it is 0.
struct ZeroCell {
    float value;
};
constexpr ZeroCell kZeroCell{0.0f};

int RegisterSignal(ModuleHeader* module, void* field, const char* descriptor, Registration kind) {
    if (module == nullptr || module->env == nullptr) {
        return 1;
    }
    SignalRegistry* registry =
        kind == Registration::kVariable ? module->env->variables : module->env->parameters;
    if (registry == nullptr) {
        return 1;
    }
    return Register(registry, module->instance_name, field, descriptor, kind);
}

// A parameter the reduced controller lacks keeps the full controller's default in its field,
// read by the registry's own rules, but is not registered: no registry file names it and no
// description-file line reaches it.
void HoldAtDefault(ModuleHeader* module, void* field, const char* descriptor) {
    SignalRegistry* registry = module->env != nullptr ? module->env->parameters : nullptr;
    if (registry == nullptr || descriptor == nullptr) {
        return;
    }
    char text[kComposeLen];
    int n = 0;
    for (const char* c = descriptor; *c != '\0' && n < kComposeLen - 1; ++c) {
        if (*c != ' ' && *c != '\t') {
            text[n++] = *c;
        }
    }
    text[n] = '\0';
    ParseDescriptor(registry, text);
    char type[kSlotLen + 1] = {};
    char value[kSlotLen + 1] = {};
    std::memcpy(type, registry->field_slots[kTypeKey], kSlotLen);
    std::memcpy(value, registry->field_slots[kDefaultKey], kSlotLen);
    const int code = TypeCode(type);
    StoreDefault(field, code, ReadDefault(code, value).bits);
}

bool InThisBuild(const SignalRow& row) {
    if (kReducedBuild && row.kind == SignalKind::kVariable) {
        return false;
    }
    return row.builds == Builds::kBoth ||
           row.builds == (kReducedBuild ? Builds::kReducedOnly : Builds::kFullOnly);
}

}  // namespace

const float* ZeroCellFloat() noexcept { return &kZeroCell.value; }

const std::uint8_t* ZeroCellByte() noexcept {
    return reinterpret_cast<const std::uint8_t*>(&kZeroCell.value);
}

// Unsigned counts get a zero word of their own: reading the float cell through an integer
// pointer would break the aliasing rules.
const std::uint32_t* ZeroCellUint32() noexcept {
    static constexpr std::uint32_t kZeroWord = 0;
    return &kZeroWord;
}

void InitHeader(ModuleHeader* header, Environment* env, const char* type_name,
                const char* instance_name, TaskRegistration register_tasks) noexcept {
    header->type_name = type_name;
    header->instance_name = instance_name;
    header->register_tasks = register_tasks;
    header->env = env;
}

int RegisterParameter(ModuleHeader* module, void* field, const char* descriptor) noexcept {
    return RegisterSignal(module, field, descriptor, Registration::kParameter);
}

int RegisterVariable(ModuleHeader* module, void* field, const char* descriptor) noexcept {
    return RegisterSignal(module, field, descriptor, Registration::kVariable);
}

int DeclareInput(ModuleHeader*, const float** slot, const char*) noexcept {
    if (slot != nullptr && *slot == nullptr) {
        *slot = ZeroCellFloat();
    }
    return 0;
}

int DeclareInput(ModuleHeader*, const std::uint8_t** slot, const char*) noexcept {
    if (slot != nullptr && *slot == nullptr) {
        *slot = ZeroCellByte();
    }
    return 0;
}

int DeclareInput(ModuleHeader*, const std::uint32_t** slot, const char*) noexcept {
    if (slot != nullptr && *slot == nullptr) {
        *slot = ZeroCellUint32();
    }
    return 0;
}

void RegisterSignals(ModuleHeader* module, const SignalRow* rows, std::size_t count) noexcept {
    auto* base = reinterpret_cast<unsigned char*>(module);
    for (std::size_t i = 0; i < count; ++i) {
        void* field = base + rows[i].offset;
        const char* descriptor = rows[i].descriptor;
        const bool in_build = InThisBuild(rows[i]);
        if (module->env != nullptr && module->env->observer != nullptr) {
            module->env->observer->row(module->env->observer->context, module, rows[i], field,
                                       in_build);
        }
        if (!in_build) {
            if (rows[i].kind == SignalKind::kParameter && rows[i].builds == Builds::kFullOnly) {
                HoldAtDefault(module, field, descriptor);
            }
            continue;
        }
        switch (rows[i].kind) {
            case SignalKind::kFloatInput:
                DeclareInput(module, static_cast<const float**>(field), descriptor);
                break;
            case SignalKind::kByteInput:
                DeclareInput(module, static_cast<const std::uint8_t**>(field), descriptor);
                break;
            case SignalKind::kWordInput:
                DeclareInput(module, static_cast<const std::uint32_t**>(field), descriptor);
                break;
            case SignalKind::kParameter:
                RegisterParameter(module, field, descriptor);
                break;
            case SignalKind::kVariable:
            case SignalKind::kSharedVariable:
                RegisterVariable(module, field, descriptor);
                break;
        }
    }
}

int RegisterTask(int list, TaskRoutine routine, ModuleHeader* module) noexcept {
    if (list < 1 || list > kTaskLists) {
        return 1;
    }
    if (module == nullptr || module->env == nullptr || module->env->scheduler == nullptr ||
        routine == nullptr) {
        return 0;
    }
    Environment* env = module->env;
    TaskList* head = env->scheduler->lists[list - 1];
    if (head == nullptr) {
        return 0;
    }
    auto* node = static_cast<TaskNode*>(AllocateZeroed(env->allocator, sizeof(TaskNode)));
    if (node == nullptr) {
        return 0;
    }
    node->routine = routine;
    node->module = module;
    if (head->last != nullptr) {
        head->last->next = node;
    } else {
        head->first = node;
    }
    head->last = node;
    return 0;
}

}  // namespace svg
