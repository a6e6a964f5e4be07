#include "fieldfx/video/source.h"

#include "sources.h"

namespace fieldfx::video {

bool isBuiltinName(const std::string& name) { return name.rfind("builtin:", 0) == 0; }

std::vector<std::string> builtinNames() {
    return {"builtin:bars", "builtin:motion", "builtin:gradient"};
}

std::unique_ptr<Source> openSource(const std::string& name, const SourceOptions& options) {
    if (isBuiltinName(name)) return openBuiltinSource(name, options);
    return openFileSource(name, options);
}

}  // namespace fieldfx::video
