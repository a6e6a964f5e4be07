// Operator modules: found by name on a search path, loaded, and their
// description validated before anything else touches them.
//
// Search path: the directories of FIELDFX_OPS_PATH (colon-separated), then
// either the operator directory of the installation the running binary is
// part of (bin/fieldfx, lib/fieldfx/ops/<Name>.so; lib/<multiarch>/... in the
// Debian package), if there is one, or else the directory `ops` next to the
// binary's directory (a build tree: bin/fieldfx, ops/<Name>.so) and the
// operator directory of the build tree the runtime was built in.
#ifndef FIELDFX_RUNTIME_MODULE_H
#define FIELDFX_RUNTIME_MODULE_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fieldfx/operator.h"

namespace fieldfx::runtime {

std::vector<std::string> searchPath();

struct ModuleFile {
    std::string name;  // file name without ".so"
    std::string path;
};

// Every module on the search path, sorted by name; a name found in an
// earlier directory hides the same name later on the path.
std::vector<ModuleFile> availableModules();

// One parameter tag of the description.
struct ParamSlot {
    int index;  // 1 for OPE_PARAM1, ...
    ParamDescriptor* descriptor;
};

struct Description {
    bool filter = true;
    uint32_t mode = 0;
    std::string ident;
    PrefsBlockRef* prefs = nullptr;  // OPE_PREFS, Telescope and Glide
    std::vector<ParamSlot> params;
};

// The longest description accepted: five fixed entries, a preference block
// and four parameters fit well within it.
constexpr int kMaxTagEntries = 16;

// Checks a tag list against the contract: the fixed entries in order, then
// OPE_PREFS where present, then OPE_PARAM1 upward, a terminator within
// kMaxTagEntries, well-formed descriptors. Throws Error(Module) naming the
// fault. `action` is the exported entry point that OPE_ACTION must name.
Description validateDescription(const std::string& name, const OperatorTag* tags,
                                OperatorActionFn action);

// A loaded operator module. Every OperatorModule is a private copy of its
// file, with its own library-wide state and its own descriptors: the first
// load of a file maps the file itself, further loads while it is held map
// copies of it. One copy drives one effect at a time, from one thread at a
// time; several copies run side by side on different threads.
class OperatorModule {
public:
    // Loads `name` from the search path; an unknown name is a usage error
    // that lists the known modules.
    static std::unique_ptr<OperatorModule> load(const std::string& name);
    static std::unique_ptr<OperatorModule> loadFile(const std::string& name,
                                                    const std::string& path);
    // Another private copy of this module with the same parameter values.
    std::unique_ptr<OperatorModule> copy() const;
    // Writes the parameter values of `other`, a copy of the same module,
    // into this one's descriptors (which are the module's writable memory).
    void copyValuesFrom(const OperatorModule& other) const;
    ~OperatorModule();
    OperatorModule(const OperatorModule&) = delete;
    OperatorModule& operator=(const OperatorModule&) = delete;

    const std::string& name() const { return name_; }
    const std::string& path() const { return path_; }
    const Description& description() const { return description_; }
    bool isFilter() const { return description_.filter; }
    int32_t action(OperatorMessage& msg) const { return action_(&msg); }

private:
    friend class Effect;  // claims the copy while an effect drives it
    OperatorModule() = default;
    std::string name_, path_;
    void* handle_ = nullptr;
    uint64_t fileId_[2] = {0, 0};  // device and inode of the file
    bool mapsFile_ = false;        // maps the file itself (and holds its claim)
    int copyFd_ = -1;              // or a private copy of it in this file
    mutable std::atomic<bool> driven_{false};
    OperatorActionFn action_ = nullptr;
    Description description_;
};

}  // namespace fieldfx::runtime

#endif
