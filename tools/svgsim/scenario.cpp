#include "scenario.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string_view>

#include "channels.h"
#include "platform.h"
#include "text.h"

namespace svgsim {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxIncludeDepth = 4;
constexpr int kHighestHarmonic = 50;

// Channels whose change makes an event of a kind the summary knows.
constexpr int kChannelDeblock = 42;
constexpr int kChannelRunning = 43;
constexpr int kChannelMode = 44;
constexpr int kChannelQsvgCmd = 66;
constexpr int kChannelUcmd = 67;

// Thrown inside the reader and turned into "file:line: what" at its edge.
struct ScenarioError {
    std::string message;
};

class Reader {
  public:
    Reader(std::string file, const toml::table& root) : file_(std::move(file)), root_(root) {}

    [[noreturn]] void Fail(const toml::node& node, const std::string& what) const {
        const auto line = node.source().begin.line;
        throw ScenarioError{file_ + ":" + std::to_string(line) + ": " + what};
    }
    [[noreturn]] void FailFile(const std::string& what) const {
        throw ScenarioError{file_ + ": " + what};
    }

    // Refuses any key of `table` not in `allowed`.
    void KnownKeys(const toml::table& table, std::string_view where,
                   std::initializer_list<std::string_view> allowed) const {
        for (const auto& [key, node] : table) {
            if (std::find(allowed.begin(), allowed.end(), key.str()) == allowed.end()) {
                Fail(node, "unknown key '" + std::string(key.str()) + "' in " + std::string(where));
            }
        }
    }

    double Number(const toml::node& node, std::string_view name) const {
        std::optional<double> value;
        if (const auto* f = node.as_floating_point()) value = f->get();
        if (const auto* i = node.as_integer()) value = static_cast<double>(i->get());
        if (!value) Fail(node, "'" + std::string(name) + "' must be a number");
        if (!std::isfinite(*value)) {
            Fail(node, "'" + std::string(name) + "' must be a finite number (is " +
                           (std::isnan(*value) ? std::string("nan") : std::string("inf")) + ")");
        }
        return *value;
    }
    double Positive(const toml::node& node, std::string_view name) const {
        const double value = Number(node, name);
        if (value <= 0.0) Fail(node, "'" + std::string(name) + "' must be positive");
        return value;
    }
    double NonNegative(const toml::node& node, std::string_view name) const {
        const double value = Number(node, name);
        if (value < 0.0) Fail(node, "'" + std::string(name) + "' must not be negative");
        return value;
    }
    enum class Rule { kAny, kPositive, kNonNegative };
    // `field` from the key when present, checked by the rule; double or optional<double>.
    template <class Field>
    void Take(const toml::table& t, std::string_view key, Field& field, Rule rule) const {
        const toml::node* n = t.get(key);
        if (n == nullptr) return;
        switch (rule) {
            case Rule::kAny:
                field = Number(*n, key);
                break;
            case Rule::kPositive:
                field = Positive(*n, key);
                break;
            case Rule::kNonNegative:
                field = NonNegative(*n, key);
                break;
        }
    }
    std::string Text(const toml::node& node, std::string_view name) const {
        const auto* s = node.as_string();
        if (s == nullptr) Fail(node, "'" + std::string(name) + "' must be a string");
        return s->get();
    }
    bool Flag(const toml::node& node, std::string_view name) const {
        const auto* b = node.as_boolean();
        if (b == nullptr) Fail(node, "'" + std::string(name) + "' must be true or false");
        return b->get();
    }
    const toml::table& Table(const toml::node& node, std::string_view name) const {
        const auto* t = node.as_table();
        if (t == nullptr) Fail(node, "'" + std::string(name) + "' must be a table");
        return *t;
    }

    std::vector<Harmonic> Harmonics(const toml::node& node) const {
        const auto* list = node.as_array();
        if (list == nullptr) Fail(node, "'harmonics' must be an array of tables");
        std::vector<Harmonic> result;
        for (const toml::node& item : *list) {
            const toml::table& t = Table(item, "harmonics entry");
            KnownKeys(t, "a harmonic", {"order", "pu", "deg"});
            Harmonic h;
            const toml::node* order = t.get("order");
            if (order == nullptr) Fail(item, "a harmonic needs 'order'");
            const double n = Number(*order, "order");
            if (n != std::floor(n) || n < 2 || n > kHighestHarmonic) {
                Fail(*order, "'order' must be a whole number from 2 to 50");
            }
            h.order = static_cast<int>(n);
            if (const toml::node* pu = t.get("pu")) h.pu = NonNegative(*pu, "pu");
            if (const toml::node* deg = t.get("deg")) h.deg = Number(*deg, "deg");
            result.push_back(h);
        }
        return result;
    }

    std::vector<ChannelSet> Channels(const toml::table& table) const {
        const svghost::Layout& layout = svghost::LayoutOf(svghost::Entry::kTravik);
        std::vector<ChannelSet> result;
        for (const auto& [key, node] : table) {
            std::string why;
            const std::optional<int> channel = svghost::ResolveInputChannel(layout, key.str(), why);
            if (!channel) Fail(node, "channel '" + std::string(key.str()) + "': " + why);
            result.push_back({*channel, Number(node, key.str())});
        }
        return result;
    }

    void Read(Scenario& s) const {
        KnownKeys(root_, "the scenario",
                  {"include", "name", "duration", "host", "plant", "grid", "channels", "outputs",
                   "events"});
        if (const toml::node* n = root_.get("name")) s.name = Text(*n, "name");
        if (const toml::node* n = root_.get("duration")) s.duration_s = Positive(*n, "duration");
        if (const toml::node* n = root_.get("host")) ReadHost(Table(*n, "host"), s);
        if (const toml::node* n = root_.get("plant")) ReadPlant(Table(*n, "plant"), s.plant);
        if (const toml::node* n = root_.get("grid")) ReadGrid(Table(*n, "grid"), s.grid);
        if (const toml::node* n = root_.get("channels")) {
            for (const ChannelSet& set : Channels(Table(*n, "channels"))) {
                std::erase_if(s.channels,
                              [&](const ChannelSet& old) { return old.channel == set.channel; });
                s.channels.push_back(set);
            }
        }
        if (const toml::node* n = root_.get("outputs")) ReadOutputs(Table(*n, "outputs"), s);
        if (const toml::node* n = root_.get("events")) ReadEvents(*n, s);
    }

  private:
    void ReadHost(const toml::table& t, Scenario& s) const {
        KnownKeys(t, "[host]", {"step", "record"});
        Take(t, "step", s.host_step_s, Rule::kPositive);
        if (const toml::node* n = t.get("record")) {
            const auto* list = n->as_array();
            if (list == nullptr || list->size() != s.record.size()) {
                Fail(*n, "'record' must be an array of four numbers");
            }
            for (std::size_t i = 0; i < s.record.size(); ++i) {
                s.record[i] = Number(*list->get(i), "record");
            }
        }
    }

    void ReadPlant(const toml::table& t, PlantSettings& p) const {
        KnownKeys(t, "[plant]",
                  {"cell_voltage", "precharge", "scr", "grid_x_over_r", "reactor_x_over_r",
                   "cell_loss_pu", "load_p_pu", "load_q_pu", "substep"});
        Take(t, "cell_voltage", p.cell_voltage_v, Rule::kPositive);
        Take(t, "precharge", p.precharge_v, Rule::kNonNegative);
        Take(t, "scr", p.scr, Rule::kPositive);
        Take(t, "grid_x_over_r", p.grid_x_over_r, Rule::kPositive);
        Take(t, "reactor_x_over_r", p.reactor_x_over_r, Rule::kPositive);
        Take(t, "cell_loss_pu", p.cell_loss_pu, Rule::kNonNegative);
        Take(t, "load_p_pu", p.load_p_pu, Rule::kNonNegative);
        Take(t, "load_q_pu", p.load_q_pu, Rule::kNonNegative);
        Take(t, "substep", p.substep_s, Rule::kPositive);
    }

    void ReadGrid(const toml::table& t, GridSource& g) const {
        KnownKeys(t, "[grid]",
                  {"kv", "hz", "phase_deg", "unbalance_pu", "unbalance_deg", "harmonics"});
        Take(t, "kv", g.kv, Rule::kNonNegative);
        Take(t, "hz", g.hz, Rule::kPositive);
        Take(t, "phase_deg", g.phase_deg, Rule::kAny);
        Take(t, "unbalance_pu", g.unbalance_pu, Rule::kNonNegative);
        Take(t, "unbalance_deg", g.unbalance_deg, Rule::kAny);
        if (const toml::node* n = t.get("harmonics")) g.harmonics = Harmonics(*n);
    }

    void ReadOutputs(const toml::table& t, Scenario& s) const {
        KnownKeys(t, "[outputs]", {"csv", "comtrade", "summary"});
        if (const toml::node* n = t.get("csv")) s.outputs.csv = Flag(*n, "csv");
        if (const toml::node* n = t.get("comtrade")) s.outputs.comtrade = Flag(*n, "comtrade");
        if (const toml::node* n = t.get("summary")) s.outputs.summary = Flag(*n, "summary");
    }

    static std::optional<EventKind> KindNamed(std::string_view text) {
        constexpr std::pair<std::string_view, EventKind> kKinds[] = {
            {"other", EventKind::kOther},
            {"reactive", EventKind::kReactiveCommand},
            {"voltage", EventKind::kVoltageCommand},
            {"grid_voltage", EventKind::kGridVoltage},
            {"grid_frequency", EventKind::kGridFrequency},
            {"grid_phase", EventKind::kGridPhase},
            {"deblock", EventKind::kDeblock},
            {"running", EventKind::kRunning},
        };
        for (const auto& [name, kind] : kKinds) {
            if (name == text) return kind;
        }
        return std::nullopt;
    }

    // The kind a summary needs, from what the event changes: commands first, then the grid.
    static EventKind KindOf(const ScenarioEvent& e) {
        const auto sets = [&](int channel) {
            return std::any_of(e.channels.begin(), e.channels.end(),
                               [&](const ChannelSet& c) { return c.channel == channel; });
        };
        if (sets(kChannelQsvgCmd) || sets(kChannelMode)) return EventKind::kReactiveCommand;
        if (sets(kChannelUcmd)) return EventKind::kVoltageCommand;
        if (sets(kChannelDeblock)) return EventKind::kDeblock;
        if (sets(kChannelRunning)) return EventKind::kRunning;
        if (e.grid.kv || e.grid.unbalance_pu || e.grid.harmonics) return EventKind::kGridVoltage;
        if (e.grid.hz) return EventKind::kGridFrequency;
        if (e.grid.phase_jump_deg) return EventKind::kGridPhase;
        return EventKind::kOther;
    }

    static std::string Describe(const ScenarioEvent& e) {
        const svghost::Layout& layout = svghost::LayoutOf(svghost::Entry::kTravik);
        std::string text;
        const auto add = [&](std::string_view name, double value) {
            if (!text.empty()) text += ", ";
            text += name;
            text += " = ";
            text += svghost::FormatNumber(value);
        };
        for (const ChannelSet& c : e.channels) {
            const std::string_view name = svghost::InputName(layout, c.channel);
            add(name.empty() ? std::to_string(c.channel) : std::string(name), c.value);
        }
        if (e.grid.kv) add("grid kV", *e.grid.kv);
        if (e.grid.hz) add("grid Hz", *e.grid.hz);
        if (e.grid.phase_jump_deg) add("grid phase jump deg", *e.grid.phase_jump_deg);
        if (e.grid.unbalance_pu) add("grid unbalance pu", *e.grid.unbalance_pu);
        if (e.grid.harmonics) add("grid harmonics", static_cast<double>(e.grid.harmonics->size()));
        return text;
    }

    void ReadEvents(const toml::node& node, Scenario& s) const {
        const auto* list = node.as_array();
        if (list == nullptr) Fail(node, "'events' must be an array of tables ([[events]])");
        double previous = 0.0;
        for (const toml::node& item : *list) {
            const toml::table& t = Table(item, "events entry");
            KnownKeys(t, "an event", {"time", "what", "kind", "channels", "grid"});
            ScenarioEvent e;
            const toml::node* time = t.get("time");
            if (time == nullptr) Fail(item, "an event needs 'time'");
            e.time = NonNegative(*time, "time");
            if (e.time < previous) {
                Fail(*time, "event at " + svghost::FormatNumber(e.time) + " s comes after one at " +
                                svghost::FormatNumber(previous) +
                                " s: events must be in time order");
            }
            previous = e.time;
            if (const toml::node* n = t.get("channels"))
                e.channels = Channels(Table(*n, "channels"));
            if (const toml::node* n = t.get("grid")) {
                const toml::table& g = Table(*n, "grid");
                KnownKeys(
                    g, "an event's grid",
                    {"kv", "hz", "phase_jump_deg", "unbalance_pu", "unbalance_deg", "harmonics"});
                Take(g, "kv", e.grid.kv, Rule::kNonNegative);
                Take(g, "hz", e.grid.hz, Rule::kPositive);
                Take(g, "phase_jump_deg", e.grid.phase_jump_deg, Rule::kAny);
                Take(g, "unbalance_pu", e.grid.unbalance_pu, Rule::kNonNegative);
                Take(g, "unbalance_deg", e.grid.unbalance_deg, Rule::kAny);
                if (const toml::node* v = g.get("harmonics")) e.grid.harmonics = Harmonics(*v);
            }
            if (e.channels.empty() && !e.grid.kv && !e.grid.hz && !e.grid.phase_jump_deg &&
                !e.grid.unbalance_pu && !e.grid.unbalance_deg && !e.grid.harmonics) {
                Fail(item, "an event must change a channel or the grid");
            }
            e.kind = KindOf(e);
            if (const toml::node* n = t.get("kind")) {
                const std::optional<EventKind> kind = KindNamed(Text(*n, "kind"));
                if (!kind) {
                    Fail(*n,
                         "'kind' must be one of other, reactive, voltage, grid_voltage, "
                         "grid_frequency, grid_phase, deblock, running");
                }
                e.kind = *kind;
            }
            e.what = Describe(e);
            if (const toml::node* n = t.get("what")) e.what = Text(*n, "what");
            s.events.push_back(std::move(e));
        }
    }

    std::string file_;
    const toml::table& root_;
};

// The TOML reader's test for non-ASCII whitespace reaches an "unreachable" point (undefined
// behaviour) for the characters U+00A1..U+0499, U+2E6E..U+3267 and U+FB06..U+FEFE (except
// U+3000), wherever they stand. They are refused before it sees them. Finds the first one:
// its code point, line and column (from 1), or line 0.
struct Unreadable {
    std::uint32_t code_point;
    int line;
    int column;
};

Unreadable FirstUnreadableCharacter(const std::string& text) {
    int line = 1;
    int column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        ++column;
        if (c == '\n') {
            ++line;
            column = 0;
            continue;
        }
        std::uint32_t cp = 0;
        std::size_t more = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1Fu;
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0Fu;
            more = 2;
        } else {
            continue;  // ASCII, or a byte the reader itself refuses as malformed UTF-8
        }
        if (i + more >= text.size()) {
            continue;
        }
        bool valid = true;
        for (std::size_t k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = valid && (next & 0xC0u) == 0x80u;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        if (!valid) {
            continue;
        }
        const bool unreadable = (cp >= 0xA1 && cp <= 0x499) ||
                                (cp >= 0x2E6E && cp <= 0x3267 && cp != 0x3000) ||
                                (cp >= 0xFB06 && cp <= 0xFEFE);
        if (unreadable) {
            return {cp, line, column};
        }
        i += more;
    }
    return {0, 0, 0};
}

bool ParseLevel(const std::string& text, const std::string& path, Scenario& scenario,
                std::string& error, int depth) {
    if (const Unreadable u = FirstUnreadableCharacter(text); u.line != 0) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(u.code_point));
        error = path + ":" + std::to_string(u.line) + ":" + std::to_string(u.column) +
                ": the character " + code +
                " cannot be read safely by the TOML reader; leave it out of the file";
        return false;
    }
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        error = path + ":" + std::to_string(e.source().begin.line) + ": " +
                std::string(e.description());
        return false;
    }
    try {
        const Reader reader(path, root);
        if (const toml::node* include = root.get("include")) {
            const std::string name = reader.Text(*include, "include");
            if (depth >= kMaxIncludeDepth) reader.Fail(*include, "includes nested too deeply");
            const fs::path base = fs::path(path).parent_path() / name;
            std::string base_text;
            if (!svghost::ReadBinaryFile(base.string(), base_text, error)) {
                reader.Fail(*include, "cannot include '" + name + "': " + error);
            }
            if (!ParseLevel(base_text, base.string(), scenario, error, depth + 1)) return false;
        }
        reader.Read(scenario);
        if (depth == 0) {
            if (scenario.duration_s <= 0.0) reader.FailFile("needs a positive 'duration'");
            for (const ScenarioEvent& e : scenario.events) {
                if (e.time > scenario.duration_s) {
                    reader.FailFile("event at " + svghost::FormatNumber(e.time) +
                                    " s lies beyond the duration");
                }
            }
            std::stable_sort(
                scenario.events.begin(), scenario.events.end(),
                [](const ScenarioEvent& a, const ScenarioEvent& b) { return a.time < b.time; });
            if (scenario.name.empty()) scenario.name = fs::path(path).stem().string();
        }
    } catch (const ScenarioError& e) {
        error = e.message;
        return false;
    }
    return true;
}

}  // namespace

bool ParseScenario(const std::string& text, const std::string& path, Scenario& scenario,
                   std::string& error) {
    scenario = Scenario{};
    scenario.file = path;
    // Negative: the rated voltage and frequency of the run's channels 61 and 62.
    scenario.grid.kv = -1.0;
    scenario.grid.hz = -1.0;
    return ParseLevel(text, path, scenario, error, 0);
}

bool LoadScenario(const std::string& path, Scenario& scenario, std::string& error) {
    std::string text;
    if (!svghost::ReadBinaryFile(path, text, error)) return false;
    return ParseScenario(text, path, scenario, error);
}

}  // namespace svgsim
