#include "conformance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <set>

namespace cigrehost {
namespace {

constexpr std::uint8_t kEmt = 1;

class Report {
  public:
    explicit Report(std::vector<Finding>& findings) : findings_(findings) {}
    void Add(int point, Level level, std::string text) {
        findings_.push_back({point, level, std::move(text)});
    }
    // A pass for `point` unless a failure was reported for it.
    void PassUnlessFailed(int point, const std::string& text) {
        for (const Finding& f : findings_) {
            if (f.point == point && f.level == Level::kFail) return;
        }
        Add(point, Level::kPass, text);
    }

  private:
    std::vector<Finding>& findings_;
};

bool IsIdentifier(const char* name) {
    if (name == nullptr || name[0] == '\0' || (name[0] >= '0' && name[0] <= '9')) return false;
    for (const char* c = name; *c != '\0'; ++c) {
        const bool ok = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                        (*c >= '0' && *c <= '9') || *c == '_';
        if (!ok) return false;
    }
    return true;
}

// Names, types and widths of one table (point 5); names over 31 characters only warn.
template <class Entry>
void CheckNames(Report& r, const Entry* entries, int count, const char* what, bool ports) {
    std::set<std::string> seen;
    int long_names = 0;
    for (int i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        const std::string where = std::string(what) + " " + std::to_string(i);
        if (!IsIdentifier(e.Name)) {
            r.Add(5, Level::kFail, where + ": name is not a C identifier");
            continue;
        }
        if (!seen.insert(e.Name).second) r.Add(5, Level::kFail, where + ": " + e.Name + " twice");
        long_names += std::strlen(e.Name) > 31 ? 1 : 0;
        if (e.DataType < 1 || e.DataType > 10)
            r.Add(5, Level::kFail, where + ": data type out of range");
        if constexpr (requires { e.Width; }) {
            if (ports && e.Width < 1) r.Add(5, Level::kFail, where + ": width below 1");
        }
    }
    if (long_names > 0) {
        r.Add(5, Level::kWarn,
              std::to_string(long_names) + " " + what + " names longer than 31 characters");
    }
}

void CheckDescription(Report& r, const IEEE_Cigre_DLLInterface_Model_Info& info) {
    const uint8_T* v = info.DLLInterfaceVersion;
    const std::string version = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
                                std::to_string(v[2]) + "." + std::to_string(v[3]);
    r.Add(3, v[0] == 1 && v[1] == 1 ? Level::kPass : Level::kFail, "interface version " + version);
    const char* const texts[] = {info.ModelName,
                                 info.ModelVersion,
                                 info.ModelDescription,
                                 info.GeneralInformation,
                                 info.ModelCreated,
                                 info.ModelCreator,
                                 info.ModelLastModifiedDate,
                                 info.ModelLastModifiedBy,
                                 info.ModelModifiedComment,
                                 info.ModelModifiedHistory};
    for (const char* t : texts) {
        if (t == nullptr) r.Add(3, Level::kFail, "a text of the description is null");
    }
    const double dt = info.FixedStepBaseSampleTime;
    if (dt == -1.0) {
        r.Add(3, Level::kFail, "sample time -1 (\"the host's step\") is not standard");
    } else if (!std::isfinite(dt) || dt <= 0.0) {
        r.Add(3, Level::kFail, "sample time is not a finite positive number");
    }
    if (info.EMT_RMS_Mode > 3 || (info.EMT_RMS_Mode & kEmt) == 0) {
        r.Add(3, Level::kFail,
              "EMT_RMS_Mode " + std::to_string(info.EMT_RMS_Mode) +
                  " does not include EMT, the mode of this host");
    }
    r.PassUnlessFailed(3, "texts, sample time " + std::to_string(dt) + " s, mode " +
                              std::to_string(info.EMT_RMS_Mode));

    const std::pair<int, const void*> tables[] = {{info.NumInputPorts, info.InputPortsInfo},
                                                  {info.NumOutputPorts, info.OutputPortsInfo},
                                                  {info.NumParameters, info.ParametersInfo}};
    for (const auto& [count, table] : tables) {
        if (count < 0 || (count > 0 && table == nullptr)) {
            r.Add(4, Level::kFail, "a count is negative or its table null");
        }
    }
    if (info.NumIntStates < 0 || info.NumFloatStates < 0 || info.NumDoubleStates < 0) {
        r.Add(4, Level::kFail, "a state count is negative");
    }
    r.PassUnlessFailed(
        4, std::to_string(info.NumInputPorts) + " inputs, " + std::to_string(info.NumOutputPorts) +
               " outputs, " + std::to_string(info.NumParameters) + " parameters, states " +
               std::to_string(info.NumIntStates) + "/" + std::to_string(info.NumFloatStates) + "/" +
               std::to_string(info.NumDoubleStates));
    CheckNames(r, info.InputPortsInfo, std::max(info.NumInputPorts, 0), "input", true);
    CheckNames(r, info.OutputPortsInfo, std::max(info.NumOutputPorts, 0), "output", true);
    CheckNames(r, info.ParametersInfo, std::max(info.NumParameters, 0), "parameter", false);
    r.PassUnlessFailed(5, "names, data types and widths");

    for (int i = 0; i < info.NumParameters; ++i) {
        const IEEE_Cigre_DLLInterface_Parameter& p = info.ParametersInfo[i];
        if (p.FixedValue != 0 && p.FixedValue != 1) {
            r.Add(6, Level::kFail, std::string(p.Name) + ": FixedValue not 0 or 1");
        }
        if (p.DataType == IEEE_Cigre_DLLInterface_DataType_c_string_T) {
            if (p.DefaultValue.Char_Ptr == nullptr)
                r.Add(6, Level::kFail, std::string(p.Name) + ": no default text");
        } else if (!(MinOf(p) <= DefaultOf(p) && DefaultOf(p) <= MaxOf(p))) {
            r.Add(6, Level::kFail, std::string(p.Name) + ": default outside [min, max]");
        }
    }
    r.PassUnlessFailed(6, "defaults within their ranges, FixedValue 0 or 1");
}

// The description as bytes: the record and its three tables.
std::vector<unsigned char> DescriptionBytes(const IEEE_Cigre_DLLInterface_Model_Info& info) {
    std::vector<unsigned char> bytes;
    auto add = [&bytes](const void* p, std::size_t n) {
        if (p == nullptr || n == 0) return;
        const std::size_t at = bytes.size();
        bytes.resize(at + n);
        std::memcpy(bytes.data() + at, p, n);
    };
    add(&info, sizeof info);
    add(info.InputPortsInfo,
        sizeof(IEEE_Cigre_DLLInterface_Signal) * std::max(info.NumInputPorts, 0));
    add(info.OutputPortsInfo,
        sizeof(IEEE_Cigre_DLLInterface_Signal) * std::max(info.NumOutputPorts, 0));
    add(info.ParametersInfo,
        sizeof(IEEE_Cigre_DLLInterface_Parameter) * std::max(info.NumParameters, 0));
    return bytes;
}

// Runs instances the way the host's call order prescribes (point 10).
class Runner {
  public:
    Runner(const LoadedModel& model, const Stimulus& stimulus)
        : model_(model), stimulus_(stimulus) {}

    // FirstCall, CheckParameters, initial outputs 0, Initialize; false on an error.
    bool Start(Instance& in, long k = 0) {
        in.record.Time = Time(k);
        stimulus_(in, k);
        if (Stop(in, in.Call(model_.first_call, "Model_FirstCall"))) return false;
        if (Stop(in, in.Call(model_.check_parameters, "Model_CheckParameters"))) return false;
        in.ZeroOutputs();
        return !Stop(in, in.Call(model_.initialize, "Model_Initialize"));
    }
    // One sample; false on an error or a non-finite output.
    bool Step(Instance& in, long k, bool hold = false) {
        in.record.Time = Time(k);
        stimulus_(in, k);
        if (hold) {
            in.ZeroOutputs();
            if (Stop(in, in.Call(model_.initialize, "Model_Initialize"))) return false;
        }
        if (Stop(in, in.Call(model_.outputs, "Model_Outputs"))) return false;
        for (int i = 0; i < model_.info->NumOutputPorts; ++i) {
            if (!std::isfinite(in.Output(i))) {
                error = "output " + std::string(model_.info->OutputPortsInfo[i].Name) +
                        " not finite at sample " + std::to_string(k);
                return false;
            }
        }
        return true;
    }
    // Samples [from, to) with the outputs of each appended to `trace`.
    bool Steps(Instance& in, long from, long to, std::vector<double>& trace) {
        for (long k = from; k < to; ++k) {
            if (!Step(in, k)) return false;
            const std::vector<double> o = in.Outputs();
            trace.insert(trace.end(), o.begin(), o.end());
        }
        return true;
    }
    double Time(long k) const {
        return static_cast<double>(k) * model_.info->FixedStepBaseSampleTime;
    }

    std::string error;

  private:
    bool Stop(Instance& in, int result) {
        if (result == 2) {
            error =
                in.record.LastErrorMessage != nullptr ? in.record.LastErrorMessage : "(no message)";
            return true;
        }
        return false;
    }
    const LoadedModel& model_;
    const Stimulus& stimulus_;
};

// The nearest value of a type beyond a bound (integers: one step; floats: the next one).
double JustBelow(int data_type, double bound) {
    if (data_type == IEEE_Cigre_DLLInterface_DataType_real32_T) {
        return std::nextafter(static_cast<float>(bound), -std::numeric_limits<float>::infinity());
    }
    if (data_type == IEEE_Cigre_DLLInterface_DataType_real64_T) {
        return std::nextafter(bound, -std::numeric_limits<double>::infinity());
    }
    return bound - 1.0;
}

double JustAbove(int data_type, double bound) {
    if (data_type == IEEE_Cigre_DLLInterface_DataType_real32_T) {
        return std::nextafter(static_cast<float>(bound), std::numeric_limits<float>::infinity());
    }
    if (data_type == IEEE_Cigre_DLLInterface_DataType_real64_T) {
        return std::nextafter(bound, std::numeric_limits<double>::infinity());
    }
    return bound + 1.0;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// Each distinct problem once, with the number of calls that showed it.
void CollectProblems(Report& r, const Instance& in, int point) {
    std::vector<std::pair<std::string, int>> distinct;
    for (const std::string& p : in.problems) {
        auto same = std::find_if(distinct.begin(), distinct.end(),
                                 [&p](const auto& d) { return d.first == p; });
        if (same == distinct.end()) {
            distinct.emplace_back(p, 1);
        } else {
            ++same->second;
        }
    }
    for (const auto& [text, calls] : distinct) {
        r.Add(point, Level::kFail,
              calls == 1 ? text : text + " (" + std::to_string(calls) + " calls)");
    }
}

// Points 7 to 15 on one loaded library; the reference trace of a full run in `trace`.
void CheckRuns(Report& r, const LoadedModel& model, const Stimulus& stimulus,
               const ConformanceOptions& o, std::vector<double>& trace) {
    const long steps = o.steps;
    const long snap = o.snapshot_at > 0 ? o.snapshot_at : steps / 3;
    const long release = o.release_at > 0 ? o.release_at : steps / 10;
    Runner run(model, stimulus);

    Instance alone(model, kEmt);
    r.Add(7, Level::kPass, "zero-filled instance, EMT mode, blocks from the offset rule, guards");
    if (!run.Start(alone) || !run.Steps(alone, 0, steps, trace)) {
        r.Add(10, Level::kFail, "reference run: " + run.error);
        CollectProblems(r, alone, 9);
        return;
    }
    CollectProblems(r, alone, 9);
    r.PassUnlessFailed(9, "every call returned 0, 1 or 2 with its message; no guard touched");
    r.Add(10, Level::kPass, std::to_string(steps) + " samples at t = k dt, outputs finite");

    // Point 8: defaults accepted; the host's range check refuses values just outside.
    {
        Instance in(model, kEmt);
        const int result = in.Call(model.check_parameters, "Model_CheckParameters");
        r.Add(8, result == 0 || result == 1 ? Level::kPass : Level::kFail,
              "CheckParameters with the defaults returned " + std::to_string(result));
        int refused_by_model = 0;
        int probed = 0;
        Instance probe(model, kEmt);
        for (int i = 0; i < model.info->NumParameters; ++i) {
            const IEEE_Cigre_DLLInterface_Parameter& p = model.info->ParametersInfo[i];
            if (p.DataType == IEEE_Cigre_DLLInterface_DataType_c_string_T) continue;
            for (const double v :
                 {JustBelow(p.DataType, MinOf(p)), JustAbove(p.DataType, MaxOf(p))}) {
                std::string why;
                // Values the type cannot hold (beyond a full range) are not probed.
                probe.ForceParameter(i, v);
                const bool held = std::isfinite(v) && probe.Parameter(i) == v;
                probe.ForceParameter(i, DefaultOf(p));
                if (!held) continue;
                ++probed;
                if (probe.SetParameter(i, v, why)) {
                    r.Add(8, Level::kFail,
                          std::string(p.Name) + ": range check let " + std::to_string(v) +
                              " through");
                }
                probe.ForceParameter(i, v);
                if (probe.Call(model.check_parameters, "Model_CheckParameters") == 2) {
                    ++refused_by_model;
                }
                probe.ForceParameter(i, DefaultOf(p));
            }
        }
        CollectProblems(r, probe, 8);
        r.PassUnlessFailed(8, std::to_string(probed) +
                                  " values just outside a range refused by the"
                                  " host's check, " +
                                  std::to_string(refused_by_model) +
                                  " also by the model with a message");
    }

    // Point 11: two instances interleaved.
    {
        Instance a(model, kEmt);
        Instance b(model, kEmt);
        std::vector<double> ta;
        std::vector<double> tb;
        bool ok = run.Start(a) && run.Start(b);
        for (long k = 0; ok && k < steps; ++k) {
            ok = run.Steps(a, k, k + 1, ta) && run.Steps(b, k, k + 1, tb);
        }
        r.Add(11, ok && SameBits(ta, trace) && SameBits(tb, trace) ? Level::kPass : Level::kFail,
              ok ? "two interleaved instances against one alone" : run.error);
    }

    // Point 12: snapshot at `snap` into a fresh instance.
    {
        Instance a(model, kEmt);
        std::vector<double> before;
        std::vector<double> tail;
        bool ok = run.Start(a) && run.Steps(a, 0, snap, before);
        auto copy = std::make_unique<Instance>(model, kEmt);
        ok = ok && run.Start(*copy);
        copy->CopyStateFrom(a);
        a.record.DoubleStates = nullptr;  // the original is gone
        ok = ok && copy->Call(model.first_call, "Model_FirstCall") != 2 &&
             run.Steps(*copy, snap, steps, tail);
        before.insert(before.end(), tail.begin(), tail.end());
        r.Add(12, ok && SameBits(before, trace) ? Level::kPass : Level::kFail,
              ok ? "states and outputs copied at sample " + std::to_string(snap) +
                       " into a fresh instance"
                 : run.error);
    }

    // Point 13: held until `release`, then free: the same as a start at the release.
    {
        Instance held(model, kEmt);
        Instance fresh(model, kEmt);
        bool ok = run.Start(held);
        for (long k = 0; ok && k <= release; ++k) ok = run.Step(held, k, true);
        ok = ok && run.Start(fresh, release) && run.Step(fresh, release);
        std::vector<double> th;
        std::vector<double> tf;
        ok = ok && run.Steps(held, release + 1, steps, th) &&
             run.Steps(fresh, release + 1, steps, tf);
        r.Add(13, ok && SameBits(th, tf) ? Level::kPass : Level::kFail,
              ok ? "held to sample " + std::to_string(release) + ", then as a start there"
                 : run.error);
    }

    // Point 14: Terminate after a run and right after CheckParameters.
    {
        Instance early(model, kEmt);
        early.Call(model.first_call, "Model_FirstCall");
        early.Call(model.check_parameters, "Model_CheckParameters");
        alone.problems.clear();
        const int t1 = early.Call(model.terminate, "Model_Terminate");
        const int t2 = alone.Call(model.terminate, "Model_Terminate");
        CollectProblems(r, alone, 9);
        r.Add(14, t1 == 0 && t2 == 0 ? Level::kPass : Level::kFail,
              "Terminate after CheckParameters returned " + std::to_string(t1) +
                  ", after the run " + std::to_string(t2));
    }

    // Point 15: RMS only.
    if ((model.info->EMT_RMS_Mode & 2) == 0) {
        r.Add(15, Level::kNotApplicable, "EMT model");
    } else {
        Instance in(model, 2);
        bool ok = in.Call(model.first_call, "Model_FirstCall") != 2 &&
                  in.Call(model.check_parameters, "Model_CheckParameters") != 2 &&
                  in.Call(model.initialize, "Model_Initialize") != 2;
        for (long k = 0; ok && k < 10; ++k) {
            ok = in.Call(model.outputs, "Model_Outputs") != 2;
            for (int n = 0; ok && n < 3; ++n) ok = in.Call(model.iterate, "Model_Iterate") != 2;
        }
        r.Add(15, ok ? Level::kPass : Level::kFail, "Outputs followed by three Iterate calls");
    }
}

}  // namespace

std::vector<Finding> CheckConformance(const std::string& library_path, const Stimulus& stimulus,
                                      const ConformanceOptions& options) {
    std::vector<Finding> findings;
    Report r(findings);
    std::vector<double> first;
    for (int load = 1; load <= 2; ++load) {
        LoadedModel model;
        std::string error;
        if (!model.Load(library_path, error)) {
            r.Add(1, Level::kFail, error);
            return findings;
        }
        if (load == 2) {
            // Point 14: a second load in the same process runs as the first did.
            Runner run(model, stimulus);
            Instance in(model, kEmt);
            std::vector<double> trace;
            const bool ok = run.Start(in) && run.Steps(in, 0, options.steps, trace) &&
                            in.Call(model.terminate, "Model_Terminate") == 0;
            r.Add(14, ok && SameBits(trace, first) ? Level::kPass : Level::kFail,
                  "loaded, run and unloaded a second time with the same results");
            break;
        }
        r.Add(1, Level::kPass, "library loaded, the five core functions found");
        for (const std::string& name : model.missing_optional) {
            r.Add(1, Level::kWarn, name + " is not exported (some importers need all eight)");
        }
        const std::vector<unsigned char> description = DescriptionBytes(*model.info);
        r.Add(2, model.get_info() == model.info ? Level::kPass : Level::kFail,
              "Model_GetInfo gives one pointer");
        CheckDescription(r, *model.info);
        CheckRuns(r, model, stimulus, options, first);
        r.Add(2, DescriptionBytes(*model.get_info()) == description ? Level::kPass : Level::kFail,
              "the description is unchanged after the runs");
    }
    return findings;
}

int PrintFindings(const std::vector<Finding>& findings, std::string& out) {
    int failures = 0;
    for (int point = 1; point <= 15; ++point) {
        for (const Finding& f : findings) {
            if (f.point != point) continue;
            const char* level = f.level == Level::kPass   ? "PASS"
                                : f.level == Level::kWarn ? "WARN"
                                : f.level == Level::kFail ? "FAIL"
                                                          : "N/A ";
            failures += f.level == Level::kFail ? 1 : 0;
            out += "point " + std::string(point < 10 ? " " : "") + std::to_string(point) + " " +
                   level + "  " + f.text + "\n";
        }
    }
    out += failures == 0 ? "conformance: all points met\n"
                         : "conformance: " + std::to_string(failures) + " failures\n";
    return failures;
}

}  // namespace cigrehost
