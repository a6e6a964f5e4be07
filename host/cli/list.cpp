// fieldfx list: every operator module on the search path.
#include <cstdio>

#include "args.h"
#include "commands.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/module.h"

namespace fieldfx::cli {

int listCommand(const Words& words) {
    const Args args(words, {});
    if (args.help()) {
        std::puts("usage: fieldfx list\n"
                  "Lists every operator found: name, filter or transition, identification.");
        return 0;
    }
    if (!args.positional().empty())
        throw runtime::Error(runtime::ErrorKind::Usage, "list takes no arguments");
    int broken = 0;
    for (const runtime::ModuleFile& f : runtime::availableModules()) {
        try {
            const auto m = runtime::OperatorModule::loadFile(f.name, f.path);
            std::printf("%-12s %-10s %s\n", m->name().c_str(),
                        m->isFilter() ? "filter" : "transition", m->description().ident.c_str());
        } catch (const runtime::Error& e) {
            std::fprintf(stderr, "fieldfx list: error: %s\n", e.what());
            ++broken;
        }
    }
    return broken == 0 ? 0 : 5;
}

}  // namespace fieldfx::cli
