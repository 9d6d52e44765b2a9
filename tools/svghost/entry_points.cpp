#include "entry_points.h"

#include "text.h"

namespace svghost {

bool FindEntryPoints(const SharedLibrary& library, std::string_view prefix, EntryPoints& entry,
                     std::string& error) {
    entry.init_name = Cat({"Init", prefix, "DLL"});
    entry.step_name = Cat({"Step", prefix, "DLL"});
    entry.terminate_name = Cat({"Terminate", prefix, "DLL"});
    const AnyFunction init = library.Find(entry.init_name.c_str(), error);
    const AnyFunction step = init ? library.Find(entry.step_name.c_str(), error) : nullptr;
    const AnyFunction terminate =
        step ? library.Find(entry.terminate_name.c_str(), error) : nullptr;
    if (!terminate) return false;
    entry.init = reinterpret_cast<InitFunction>(init);
    entry.step = reinterpret_cast<StepFunction>(step);
    entry.terminate = reinterpret_cast<TerminateFunction>(terminate);
    return true;
}

}  // namespace svghost
