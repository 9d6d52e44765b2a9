#include "registry_defaults.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "entry_points.h"
#include "platform.h"
#include "text.h"

namespace svghost {
namespace {

namespace fs = std::filesystem;

// A fresh temporary folder, entered as the working directory and removed with its files when
// the probe leaves, whatever happens in between. The members go in reverse order: first back
// to the previous working directory, then the folder is removed.
class ProbeFolder {
  public:
    bool Enter(std::string& error) {
        std::error_code ec;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        removed_.path =
            fs::temp_directory_path(ec) / ("svg_registry_probe_" + std::to_string(stamp) + "_" +
                                           std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        if (ec || !fs::create_directories(removed_.path, ec) || ec) {
            error = Cat({"cannot create a probe folder: ", ec.message()});
            return false;
        }
        return work_.Enter(removed_.path, error);
    }
    const fs::path& folder() const { return removed_.path; }

  private:
    struct RemovedFolder {
        fs::path path;
        ~RemovedFolder() {
            std::error_code ignored;
            if (!path.empty()) fs::remove_all(path, ignored);
        }
    };
    RemovedFolder removed_;
    WorkingFolder work_;
};

}  // namespace

std::optional<double> RegistryValues::Find(std::string_view name) const {
    const auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

bool ParseDescriptions(std::string_view text, RegistryValues& registry, std::string& error) {
    constexpr std::string_view kDefault = "default=";
    int line_number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (Trim(line).empty()) continue;
        const std::size_t tab = line.find('\t');
        const std::string_view name = Trim(line.substr(0, tab));
        const std::size_t at = line.find(kDefault);
        double value = 0.0;
        if (name.empty() || tab == std::string_view::npos || at == std::string_view::npos) {
            error = Cat({"line ", std::to_string(line_number), ": not a parameter description"});
            return false;
        }
        std::string_view number = line.substr(at + kDefault.size());
        number = Trim(number.substr(0, number.find('\t')));
        if (!ParseNumber(number, value)) {
            error = Cat(
                {"line ", std::to_string(line_number), ": '", number, "' is not a finite number"});
            return false;
        }
        registry.values.insert_or_assign(std::string(name), value);
    }
    return true;
}

bool ProbeRegistry(const std::string& library_path, Entry entry, const std::string& run_folder,
                   RegistryValues& registry, std::string& error) {
    std::error_code ec;
    const fs::path library = fs::absolute(library_path, ec);
    const fs::path stored =
        fs::absolute(fs::path(run_folder.empty() ? "." : run_folder) / "allDescriptions_0.tsv", ec);
    ProbeFolder probe;
    if (!probe.Enter(error)) return false;
    if (fs::exists(stored, ec)) {
        fs::copy_file(stored, probe.folder() / "allDescriptions_0.tsv", ec);
        if (ec) {
            error = Cat({"cannot copy '", stored.string(), "': ", ec.message()});
            return false;
        }
    }

    SharedLibrary shared;
    EntryPoints points;
    if (!shared.Open(library.string(), error) ||
        !FindEntryPoints(shared, LayoutOf(entry).prefix, points, error)) {
        return false;
    }
    std::array<double, kChannels> inputs{}, outputs{};
    std::array<unsigned char, kStorageBytes> storage{};
    std::array<double, 4> record{static_cast<double>(kProbeRunId), 10.0, 10.0, 1.0};
    void* instance = nullptr;
    const int init = points.init(&instance, 0, kChannels, kChannels, record.data(), inputs.data(),
                                 outputs.data(), 0, storage.data(), 0.0, 1.0e-4);
    if (instance != nullptr) points.terminate(instance);
    if (init != 0 || instance == nullptr) {
        error = Cat({points.init_name, " returned ", std::to_string(init),
                     instance == nullptr ? " and no instance" : ""});
        return false;
    }
    const fs::path written =
        probe.folder() / ("allDescriptions_" + std::to_string(kProbeRunId) + ".tsv");
    if (!fs::exists(written, ec)) return true;
    std::string text;
    if (!ReadBinaryFile(written.string(), text, error)) return false;
    if (!ParseDescriptions(text, registry, error)) {
        error = Cat({written.filename().string(), ": ", error});
        return false;
    }
    return true;
}

std::vector<ChannelValue> ParameterChannelValues(const Layout& layout,
                                                 const RegistryValues& registry,
                                                 std::vector<std::string>& missing) {
    std::vector<ChannelValue> result;
    result.reserve(layout.parameters.size());
    for (const svg::ParameterChannel& row : layout.parameters) {
        const std::optional<double> value = registry.Find(row.target);
        if (!value) missing.emplace_back(row.target);
        result.push_back({row.channel, value.value_or(row.registered)});
    }
    return result;
}

}  // namespace svghost
