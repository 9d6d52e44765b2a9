#include "reference.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>

#include "framework/sim_io.h"
#include "framework/slots.h"

namespace svg::reference {
namespace {

// Names the controller registers twice on purpose: the registry keeps the first field, and the
// second (the 100 Hz beta filter's damping) stays internal.
constexpr std::string_view kRegisteredTwice[] = {"CurCtrl.highlambda_2"};

bool IsInput(SignalKind k) {
    return k == SignalKind::kFloatInput || k == SignalKind::kByteInput ||
           k == SignalKind::kWordInput;
}
bool IsVariable(SignalKind k) {
    return k == SignalKind::kVariable || k == SignalKind::kSharedVariable;
}

// The value of one descriptor key ("type=", "default="), or empty.
std::string KeyValue(std::string_view descriptor, std::string_view key) {
    for (std::size_t at = descriptor.find(key); at != std::string_view::npos;
         at = descriptor.find(key, at + 1)) {
        if (at == 0 || descriptor[at - 1] == ' ' || descriptor[at - 1] == '\t') {
            const std::size_t from = at + key.size();
            const std::size_t to = descriptor.find_first_of(" \t", from);
            return std::string(descriptor.substr(
                from, to == std::string_view::npos ? std::string_view::npos : to - from));
        }
    }
    return {};
}

std::string Csv(std::string_view field) {
    if (field.find_first_of(",\"\n") == std::string_view::npos) {
        return std::string(field);
    }
    std::string out = "\"";
    for (char c : field) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

class Table {
  public:
    Table(const std::string& folder, const char* deliverable, const char* what,
          std::initializer_list<const char*> heads)
        : out_(folder + "/" + deliverable + "_" + what + ".csv", std::ios::binary) {
        Row(std::vector<std::string>(heads.begin(), heads.end()));
    }
    void Row(const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            out_ << (i != 0 ? "," : "") << Csv(fields[i]);
        }
        out_ << '\n';
    }
    bool ok() {
        out_.flush();
        return out_.good();
    }

  private:
    std::ofstream out_;
};

std::string Join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) {
        out += (out.empty() ? "" : "; ") + p;
    }
    return out;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string ShortName(const std::string& qualified) {
    return qualified.substr(qualified.find('.') + 1);
}

const SimInput* InputModule(const Environment* env) {
    return ModuleAt<SimInput>(env, kSlotSimInput);
}

// Host channel of the deblock command; the running command is the next one.
constexpr int DeblockChannel() {
#if SVG_REDUCED_BUILD
    return kByteFlagFirst + kDeblockFlag;
#else
    return kDeblockChannel;
#endif
}

}  // namespace

void Observe(void* rows, const ModuleHeader* module, const SignalRow& row, void* field,
             bool registered) {
    const std::string_view d = row.descriptor != nullptr ? row.descriptor : "";
    const std::string module_name = module->instance_name != nullptr ? module->instance_name : "";
    static_cast<std::vector<SeenRow>*>(rows)->push_back(
        {module_name, row.kind,
         module_name + "." + std::string(d.substr(0, d.find_first_of(" \t"))), KeyValue(d, "type="),
         KeyValue(d, "default="), row.unit != nullptr ? row.unit : "",
         row.meaning != nullptr ? row.meaning : "", field, registered});
}

Reference::Reference(const Environment* env, const std::vector<SeenRow>& rows, const Deliverable& d)
    : env_(env), rows_(rows), d_(d) {
    for (const SeenRow& r : rows_) {
        rows_by_field_[r.field].push_back(&r);
        if (IsInput(r.kind) && r.registered) {
            readers_[*static_cast<const void* const*>(r.field)].push_back(r.name);
        }
    }
}

int Reference::Check(std::ostream& err) const {
    int faults = 0;
    std::set<std::string> names;
    for (const SeenRow& r : rows_) {
        if (r.unit.empty() || r.meaning.empty()) {
            err << "reference: " << r.module << ": row " << ShortName(r.name) << " has no "
                << (r.meaning.empty() ? "meaning" : "unit") << "\n";
            ++faults;
        }
        const bool allowed =
            !IsInput(r.kind) && std::find(std::begin(kRegisteredTwice), std::end(kRegisteredTwice),
                                          r.name) != std::end(kRegisteredTwice);
        if (r.registered &&
            !names.insert((IsInput(r.kind) ? "input " : "signal ") + r.name).second && !allowed) {
            err << "reference: " << r.module << ": row " << ShortName(r.name)
                << " registers a name that is already registered\n";
            ++faults;
        }
    }
    for (const ParameterChannel& c : d_.parameters) {
        if (ParameterNamed(c.target) == nullptr) {
            err << "reference: host channel " << c.channel << " names " << std::string(c.target)
                << ", which no module registers as a parameter\n";
            ++faults;
        }
    }
    return faults;
}

bool Reference::Write(const std::string& folder) const {
    const bool inputs = WriteInputs(folder);
    const bool outputs = WriteOutputs(folder);
    const bool parameters = WriteParameters(folder);
    const bool signals = WriteSignals(folder);
    return inputs && outputs && parameters && signals && WriteSlots(folder);
}

const RegistryEntry* Reference::ParameterNamed(std::string_view name) const {
    const SignalRegistry& reg = *env_->parameters;
    for (int i = 0; i < reg.entry_count; ++i) {
        if (reg.entries[i].address != nullptr && name == reg.entries[i].name) {
            return &reg.entries[i];
        }
    }
    return nullptr;
}

const SeenRow* Reference::RowOf(const RegistryEntry& e, bool variable) const {
    const auto found = rows_by_field_.find(e.address);
    if (found == rows_by_field_.end()) {
        return nullptr;
    }
    for (const SeenRow* r : found->second) {
        if (r->registered && IsVariable(r->kind) == variable && !IsInput(r->kind) &&
            r->name == e.name) {
            return r;
        }
    }
    return nullptr;
}

std::string Reference::SourceName(const void* source) const {
    const SimInput* in = InputModule(env_);
    for (int k = 0; k < kHostChannels; ++k) {
        if (source == &in->input[k]) {
            return "host input " + std::to_string(k);
        }
    }
    if (source == DeblockCommand(in)) {
        return "deblock command (host input " + std::to_string(DeblockChannel()) + ")";
    }
    if (source == RunningCommand(in)) {
        return "running command (host input " + std::to_string(DeblockChannel() + 1) + ")";
    }
#if SVG_REDUCED_BUILD
    for (int k = 0; k < kByteFlagCount; ++k) {
        if (source == &in->byte_flag[k]) {
            return "host input " + std::to_string(kByteFlagFirst + k) + " as a byte";
        }
    }
#endif
    if (source == ZeroCellFloat() || source == ZeroCellByte() || source == ZeroCellUint32()) {
        return "nothing (reads 0)";
    }
    for (const SignalRegistry* reg : {env_->variables, env_->parameters}) {
        for (int i = 0; i < reg->entry_count; ++i) {
            if (reg->entries[i].address == source) {
                return reg->entries[i].name;
            }
        }
    }
    const auto row = rows_by_field_.find(source);
    if (row != rows_by_field_.end() && !IsInput(row->second.front()->kind)) {
        return row->second.front()->name + " (not registered in this build)";
    }
    const ModuleOwner owner = ModuleOwning(env_, source);
    if (owner.row == nullptr) {
        return "unregistered field of no module";
    }
    return "unregistered field of " + std::string(owner.row->instance_name) + " (offset " +
           std::to_string(owner.offset) + ")";
}

bool Reference::WriteInputs(const std::string& folder) const {
    Table t(folder, d_.name, "inputs",
            {"channel", "name", "unit", "meaning", "read_by", "parameter", "written_as",
             "registered_value"});
    const SimInput* in = InputModule(env_);
    for (int k = 0; k < kHostChannels; ++k) {
        std::vector<std::string> row(8);
        row[0] = std::to_string(k);
        for (const HostInput& h : d_.host_inputs) {
            if (h.channel == k) {
                row[1] = h.name;
                row[2] = h.unit;
                row[3] = h.meaning;
            }
        }
        std::vector<std::string> readers;
        std::set<const void*> sources;  // the command bytes may be the channel's byte itself
        const auto add = [&](const void* source) {
            const auto found = readers_.find(source);
            if (sources.insert(source).second && found != readers_.end()) {
                readers.insert(readers.end(), found->second.begin(), found->second.end());
            }
        };
        add(&in->input[k]);
        if (k == DeblockChannel()) {
            add(DeblockCommand(in));
        }
        if (k == DeblockChannel() + 1) {
            add(RunningCommand(in));
        }
#if SVG_REDUCED_BUILD
        if (k >= kByteFlagFirst && k < kByteFlagFirst + kByteFlagCount) {
            add(&in->byte_flag[k - kByteFlagFirst]);
        }
#endif
        row[4] = Join(readers);
        for (const ParameterChannel& c : d_.parameters) {
            if (c.channel != k) {
                continue;
            }
            const RegistryEntry* p = ParameterNamed(c.target);
            const SeenRow* r = p != nullptr ? RowOf(*p, false) : nullptr;
            row[5] = std::string(c.target);
            row[6] = d_.channels_stand_for_parameters ? "read instead"
                     : c.write == ChannelWrite::kByte ? "byte"
                                                      : "float";
            row[7] = Number(c.registered);
            if (row[1].empty() && r != nullptr) {
                row[1] = ShortName(r->name);
                row[2] = r->unit;
                row[3] = r->meaning;
            }
        }
        if (row[3].empty() && readers.empty()) {
            row[3] = "not used";
        }
        t.Row(row);
    }
    return t.ok();
}

bool Reference::WriteOutputs(const std::string& folder) const {
    Table t(folder, d_.name, "outputs", {"channel", "source", "type", "unit", "meaning"});
#if SVG_REDUCED_BUILD
    // The host outputs are the recorded variables themselves, in registration order.
    const SignalRegistry& vars = *env_->variables;
    for (int i = 0; i < vars.entry_count; ++i) {
        const RegistryEntry& e = vars.entries[i];
        const SeenRow* r = RowOf(e, true);
        t.Row({std::to_string(i), e.name, TypeText(e.type_code), r != nullptr ? r->unit : "",
               r != nullptr ? r->meaning : ""});
    }
#else
    const auto* out = ModuleAt<SimOutput>(env_, kSlotSimOutput);
    const SignalRegistry& vars = *env_->variables;
    for (int k = 0; k < kHostChannels; ++k) {
        const OutputBinding& b = out->bindings[k];
        if ((b.type_word & kOutputBound) == 0) {
            continue;
        }
        std::vector<std::string> row{std::to_string(k), SourceName(b.source),
                                     TypeText(static_cast<int>(b.type_word & 0xFFu)), "", ""};
        const SimInput* in = InputModule(env_);
        const int channel = b.source == DeblockCommand(in)   ? DeblockChannel()
                            : b.source == RunningCommand(in) ? DeblockChannel() + 1
                                                             : -1;
        for (const HostInput& h : d_.host_inputs) {
            if (h.channel == channel) {
                row[3] = h.unit;
                row[4] = h.meaning;
            }
        }
        if (b.source == &out->prot_flag) {
            row[1] = "SimOutput.prot_flag";
            row[3] = "-";
            row[4] = "combined protection flag: OR of the protection elements' trip flags";
        }
        for (int i = 0; i < vars.entry_count; ++i) {
            const SeenRow* r =
                vars.entries[i].address == b.source ? RowOf(vars.entries[i], true) : nullptr;
            if (r != nullptr) {
                row[3] = r->unit;
                row[4] = r->meaning;
            }
        }
        t.Row(row);
    }
#endif
    return t.ok();
}

bool Reference::WriteParameters(const std::string& folder) const {
    Table t(folder, d_.name, "parameters",
            {"module", "name", "type", "default", "unit", "meaning", "host_channel"});
    const SignalRegistry& reg = *env_->parameters;
    for (int i = 0; i < reg.entry_count; ++i) {
        const RegistryEntry& e = reg.entries[i];
        const SeenRow* r = e.address != nullptr ? RowOf(e, false) : nullptr;
        if (r == nullptr) {
            continue;
        }
        std::vector<std::string> channels;
        for (const ParameterChannel& c : d_.parameters) {
            if (c.target == e.name) {
                channels.push_back(std::to_string(c.channel));
            }
        }
        t.Row({r->module, ShortName(r->name), r->type, r->default_text, r->unit, r->meaning,
               Join(channels)});
    }
    return t.ok();
}

bool Reference::WriteSignals(const std::string& folder) const {
    Table t(folder, d_.name, "signals",
            {"wave", "name", "module", "type", "unit", "meaning", "output_channel", "read_by"});
#if !SVG_REDUCED_BUILD
    const auto* out = ModuleAt<SimOutput>(env_, kSlotSimOutput);
#endif
    const SignalRegistry& vars = *env_->variables;
    for (int i = 0; i < vars.entry_count; ++i) {
        const RegistryEntry& e = vars.entries[i];
        const SeenRow* r = RowOf(e, true);
#if SVG_REDUCED_BUILD
        const std::string channel = std::to_string(i);
#else
        std::vector<std::string> channels;
        for (int k = 0; k < kHostChannels; ++k) {
            if ((out->bindings[k].type_word & kOutputBound) != 0 &&
                out->bindings[k].source == e.address) {
                channels.push_back(std::to_string(k));
            }
        }
        const std::string channel = Join(channels);
#endif
        const auto readers = readers_.find(e.address);
        t.Row({std::to_string(i + 1), e.name, r != nullptr ? r->module : "", TypeText(e.type_code),
               r != nullptr ? r->unit : "", r != nullptr ? r->meaning : "", channel,
               readers != readers_.end() ? Join(readers->second) : ""});
    }
    return t.ok();
}

bool Reference::WriteSlots(const std::string& folder) const {
    Table t(folder, d_.name, "slots", {"module", "input", "type", "unit", "meaning", "source"});
    for (const SeenRow& r : rows_) {
        if (IsInput(r.kind) && r.registered) {
            t.Row({r.module, ShortName(r.name), r.type, r.unit, r.meaning,
                   SourceName(*static_cast<const void* const*>(r.field))});
        }
    }
    return t.ok();
}

}  // namespace svg::reference
