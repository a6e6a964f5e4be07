// fieldfx patterns: the wipe patterns of the transition host.
#include <cstdio>

#include "args.h"
#include "commands.h"
#include "fieldfx/runtime/error.h"

namespace fieldfx::cli {

int patternsCommand(const Words& words) {
    const Args args(words, {{"--output", "-o", true, false}});
    if (args.help()) {
        std::puts("usage: fieldfx patterns [-o DIR]\n"
                  "Lists the wipe patterns with their settings and draws each as PNG into DIR.");
        return 0;
    }
    throw runtime::Error(runtime::ErrorKind::Usage,
                         "wipe patterns are not available in this build (the transition host "
                         "has no pattern library yet)");
}

}  // namespace fieldfx::cli
