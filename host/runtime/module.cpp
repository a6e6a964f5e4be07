#include "fieldfx/runtime/module.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <elf.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

#include "fieldfx/runtime/error.h"

#ifndef FIELDFX_BUILD_OPS_DIR
#error "FIELDFX_BUILD_OPS_DIR must name the build tree's operator directory"
#endif
#ifndef FIELDFX_INSTALLED_OPS_FROM_BIN
#error "FIELDFX_INSTALLED_OPS_FROM_BIN must name the installed operator directory from bin/"
#endif

namespace fieldfx::runtime {

namespace {

constexpr const char* kSuffix = ".so";
constexpr std::size_t kMaxIdent = 256;
constexpr int kMaxChoiceEntries = 64;

std::string executableDir() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    buf[n] = '\0';
    std::string path(buf);
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string hex(uintptr_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

[[noreturn]] void malformed(const std::string& name, const std::string& what) {
    throw Error(ErrorKind::Module, name + ": malformed description: " + what);
}

void checkDescriptor(const std::string& name, int index, const ParamDescriptor* d) {
    const std::string where = "parameter " + std::to_string(index);
    if (d == nullptr) malformed(name, where + " has no descriptor");
    switch (d->kind) {
        case PARAM_CHOICE: {
            const auto* c = reinterpret_cast<const ChoiceDescriptor*>(d);
            if (c->labels == nullptr) malformed(name, where + ": choice without entries");
            int n = 0;
            while (n < kMaxChoiceEntries && c->labels[n] != 0) ++n;
            if (n == 0) malformed(name, where + ": choice without entries");
            if (n == kMaxChoiceEntries)
                malformed(name, where + ": choice entries without an end within " +
                                    std::to_string(kMaxChoiceEntries));
            break;
        }
        case PARAM_SLIDER: {
            const auto* s = reinterpret_cast<const SliderDescriptor*>(d);
            if (s->minimum > s->maximum)
                malformed(name, where + ": slider minimum " + std::to_string(s->minimum) +
                                    " above its maximum " + std::to_string(s->maximum));
            break;
        }
        case PARAM_POSITION: {
            const auto* p = reinterpret_cast<const PositionDescriptor*>(d);
            if (p->minWidth > p->maxWidth || p->minHeight > p->maxHeight)
                malformed(name, where + ": position size bounds reversed");
            break;
        }
        case PARAM_COLOUR:
        case PARAM_GROUP: break;
        default: malformed(name, where + ": unknown kind " + std::to_string(d->kind));
    }
}

// The module files mapped as themselves, by device and inode: the dynamic
// loader hands out one handle per file, so every further load of a file
// while it is held maps a private copy instead.
std::mutex mappedLock;
std::set<std::pair<uint64_t, uint64_t>> mappedFiles;

bool claimFile(const uint64_t id[2]) {
    std::lock_guard<std::mutex> hold(mappedLock);
    return mappedFiles.emplace(id[0], id[1]).second;
}

void releaseFile(const uint64_t id[2]) {
    std::lock_guard<std::mutex> hold(mappedLock);
    mappedFiles.erase({id[0], id[1]});
}

// A copy of `path` in an anonymous memory file (gone with its last
// descriptor); -1 with errno set on failure.
int privateCopy(const std::string& name, const std::string& path) {
    const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return -1;
    const int out = memfd_create(name.c_str(), MFD_CLOEXEC);
    char buf[1 << 16];
    ssize_t n = 0;
    while (out >= 0 && (n = read(in, buf, sizeof buf)) > 0) {
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buf + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                n = -1;
                break;
            }
            done += w;
        }
        if (n < 0) break;
    }
    const int error = errno;
    close(in);
    if (out >= 0 && n < 0) {
        close(out);
        errno = error;
        return -1;
    }
    return out;
}

[[noreturn]] void damagedModule(const std::string& name, const std::string& path,
                                const std::string& what) {
    throw Error(ErrorKind::Module, name + ": damaged module " + path + ": " + what);
}

#if defined(__x86_64__)
constexpr uint16_t kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr uint16_t kMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr uint16_t kMachine = EM_386;
#else
constexpr uint16_t kMachine = EM_NONE;  // not checked
#endif
using ElfHeader = std::conditional_t<sizeof(void*) == 8, Elf64_Ehdr, Elf32_Ehdr>;
using ElfSegment = std::conditional_t<sizeof(void*) == 8, Elf64_Phdr, Elf32_Phdr>;

// What the dynamic loader would map, checked against the file before it
// does: a module cut short maps pages past its end (SIGBUS on first touch),
// and headers pointing outside the file send the loader astray.
void checkElf(const std::string& name, const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;  // dlopen says why
    struct stat st;
    ElfHeader h;
    const bool read = fstat(fd, &st) == 0 && pread(fd, &h, sizeof h, 0) == ssize_t(sizeof h);
    auto fail = [&](const std::string& what) {
        close(fd);
        damagedModule(name, path, what);
    };
    if (!read || std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0) {
        close(fd);  // no ELF file at all: the loader refuses it cleanly, and says so
        return;
    }
    const uint64_t size = uint64_t(st.st_size);
    if (h.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
        h.e_type != ET_DYN || (kMachine != EM_NONE && h.e_machine != kMachine))
        fail("not a shared library of this machine");
    if (h.e_phentsize != sizeof(ElfSegment) || h.e_phnum == 0 ||
        uint64_t(h.e_phoff) + uint64_t(h.e_phnum) * h.e_phentsize > size)
        fail("its program headers lie outside the file");
    if (h.e_shnum != 0 && uint64_t(h.e_shoff) + uint64_t(h.e_shnum) * h.e_shentsize > size)
        fail("the file is cut short (" + std::to_string(size) +
             " bytes; its section headers end at " +
             std::to_string(uint64_t(h.e_shoff) + uint64_t(h.e_shnum) * h.e_shentsize) + ")");
    for (unsigned i = 0; i < h.e_phnum; ++i) {
        ElfSegment p;
        if (pread(fd, &p, sizeof p, off_t(h.e_phoff + i * sizeof p)) != ssize_t(sizeof p))
            fail("its program headers cannot be read");
        if ((p.p_type == PT_LOAD || p.p_type == PT_DYNAMIC) &&
            (uint64_t(p.p_offset) + p.p_filesz > size || p.p_filesz > p.p_memsz))
            fail("a segment reaches past the end of the file (" + std::to_string(size) + " bytes)");
    }
    close(fd);
}

// The operators this project ships, by file name and the name their
// identification ("$Id: Vendor_Name,v ...") carries: a module of ours
// renamed to another's name is refused rather than run as that one.
struct Shipped {
    const char* file;
    const char* identified;
};
constexpr Shipped kShipped[] = {
    {"Burrow", "Burrow"},       {"Drunken", "Drunken"}, {"Flicker", "Flicker"},
    {"Glide", "Glide"},         {"Heatwave", "Heatwave"}, {"Iris", "Iris"},
    {"Matte", "Matte"},         {"Smudge", "Smudge"},   {"Standbild", "Standbild"},
    {"Swivel", "Rotate"},       {"Telescope", "Telescope"}, {"Tunnel", "Tunnel"},
    {"Widescreen", "Widescreen"},
};

void checkIdentification(const std::string& name, const std::string& path,
                         const std::string& ident) {
    const std::size_t start = ident.find('_'), end = ident.find(",v");
    if (ident.rfind("$Id: ", 0) != 0 || start == std::string::npos || end == std::string::npos ||
        end < start)
        return;
    const std::string identified = ident.substr(start + 1, end - start - 1);
    for (const Shipped& s : kShipped)
        if (identified == s.identified && name != s.file)
            throw Error(ErrorKind::Module, name + ": " + path + " is the module of " + s.file +
                                               " (it identifies itself as " + ident +
                                               "), renamed");
}

// Files probed already, by device, inode, size and time of change.
std::mutex probedLock;
std::set<std::vector<uint64_t>> probedFiles;

// Loads the module in a child process first where that is safe (this
// process has one thread, so the child's loader holds no lock another
// thread took), so that a module whose damage the headers do not show
// (its code or relocations) crashes the child rather than this process.
void probeInChild(const std::string& name, const std::string& path, const struct stat& st) {
    const std::vector<uint64_t> key = {uint64_t(st.st_dev), uint64_t(st.st_ino),
                                       uint64_t(st.st_size), uint64_t(st.st_ctim.tv_sec),
                                       uint64_t(st.st_ctim.tv_nsec)};
    {
        const std::lock_guard<std::mutex> hold(probedLock);
        if (probedFiles.count(key)) return;
    }
    struct stat task;
    if (stat("/proc/self/task", &task) != 0 || task.st_nlink != 3) return;  // ".", ".." and one
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) return;
    if (child == 0) {
        // Nothing of the parent's output is written from here.
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) {
            auto info = reinterpret_cast<GetOperatorInfoFn>(dlsym(handle, "GetOperatorInfo"));
            auto action = reinterpret_cast<OperatorActionFn>(dlsym(handle, "OperatorAction"));
            if (info != nullptr && action != nullptr) {
                try {
                    validateDescription(name, info(), action);
                } catch (...) {
                }
            }
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The child ends with 0 whenever the loader returns, failing or not;
    // anything else is the loader or the module's code giving up.
    if (WIFSIGNALED(status))
        damagedModule(name, path,
                      std::string("loading it crashed (") + strsignal(WTERMSIG(status)) + ")");
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        damagedModule(name, path, "the loader stopped on it (status " +
                                      std::to_string(WEXITSTATUS(status)) + ")");
    const std::lock_guard<std::mutex> hold(probedLock);
    probedFiles.insert(key);
}

}  // namespace

std::vector<std::string> searchPath() {
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("FIELDFX_OPS_PATH")) {
        std::string list(env);
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) dirs.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    const std::string exe = executableDir();
    // An installed binary uses its installation's modules only: the build
    // tree it was made in is none of its business (and may hold other ones).
    struct stat st {};
    const std::string installed = exe + "/" FIELDFX_INSTALLED_OPS_FROM_BIN;
    if (!exe.empty() && stat(installed.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        dirs.push_back(installed);
        return dirs;
    }
    if (!exe.empty()) dirs.push_back(exe + "/../ops");
    dirs.push_back(FIELDFX_BUILD_OPS_DIR);
    return dirs;
}

std::vector<ModuleFile> availableModules() {
    std::map<std::string, std::string> found;
    for (const std::string& dir : searchPath()) {
        DIR* d = opendir(dir.c_str());
        if (d == nullptr) continue;
        while (const dirent* e = readdir(d)) {
            const std::string file = e->d_name;
            const std::size_t n = std::strlen(kSuffix);
            if (file.size() <= n || file.compare(file.size() - n, n, kSuffix) != 0) continue;
            found.emplace(file.substr(0, file.size() - n), dir + "/" + file);
        }
        closedir(d);
    }
    std::vector<ModuleFile> out;
    for (auto& [name, path] : found) out.push_back(ModuleFile{name, path});
    return out;
}

Description validateDescription(const std::string& name, const OperatorTag* tags,
                                OperatorActionFn action) {
    if (tags == nullptr) malformed(name, "GetOperatorInfo returned no tag list");
    // Read tag words one at a time: the value after the terminator does not exist.
    int count = 0;
    while (count < kMaxTagEntries && tags[count].tag != 0) ++count;
    if (count == kMaxTagEntries)
        malformed(name, "no end of the tag list within " + std::to_string(kMaxTagEntries) +
                            " entries");
    const uint32_t fixed[] = {OPE_FIRST, OPE_FILTER, OPE_ACTION, OPE_IDENT, OPE_MODE};
    const char* fixedNames[] = {"OPE_FIRST", "OPE_FILTER", "OPE_ACTION", "OPE_IDENT", "OPE_MODE"};
    for (int i = 0; i < 5; ++i) {
        if (i >= count) malformed(name, std::string("the list ends before ") + fixedNames[i]);
        if (tags[i].tag != fixed[i])
            malformed(name, "entry " + std::to_string(i + 1) + " is tag " + hex(tags[i].tag) +
                                ", expected " + fixedNames[i]);
    }
    Description d;
    if (tags[0].value != 0) malformed(name, "OPE_FIRST is not 0");
    if (tags[1].value > 1) malformed(name, "OPE_FILTER is " + hex(tags[1].value) + ", not 0 or 1");
    d.filter = tags[1].value == 1;
    if (tags[2].value != reinterpret_cast<uintptr_t>(action))
        malformed(name, "OPE_ACTION does not name the exported OperatorAction");
    const char* ident = reinterpret_cast<const char*>(tags[3].value);
    if (ident == nullptr) malformed(name, "OPE_IDENT is null");
    const std::size_t len = strnlen(ident, kMaxIdent);
    if (len == kMaxIdent) malformed(name, "identification string longer than 255 bytes");
    d.ident.assign(ident, len);
    d.mode = uint32_t(tags[4].value);
    int next = 5;
    if (next < count && tags[next].tag == OPE_PREFS) {
        d.prefs = reinterpret_cast<PrefsBlockRef*>(tags[next].value);
        if (d.prefs == nullptr || d.prefs->block == nullptr)
            malformed(name, "OPE_PREFS names no preference block");
        if (d.prefs->size != TRANSITION_PREFS_SIZE)
            malformed(name, "preference block of " + std::to_string(d.prefs->size) +
                                " bytes, expected 112");
        ++next;
    }
    for (int index = 1; next < count; ++next, ++index) {
        if (index > 4 || tags[next].tag != OPE_PARAM1 + uint32_t(index - 1))
            malformed(name, "entry " + std::to_string(next + 1) + " is tag " +
                                hex(tags[next].tag) + ", expected " +
                                (index > 4 ? std::string("the end of the list")
                                           : "OPE_PARAM" + std::to_string(index)));
        auto* desc = reinterpret_cast<ParamDescriptor*>(tags[next].value);
        checkDescriptor(name, index, desc);
        d.params.push_back(ParamSlot{index, desc});
    }
    return d;
}

std::unique_ptr<OperatorModule> OperatorModule::load(const std::string& name) {
    const std::vector<ModuleFile> modules = availableModules();
    for (const ModuleFile& m : modules)
        if (m.name == name) return loadFile(m.name, m.path);
    std::string known;
    for (const ModuleFile& m : modules) known += (known.empty() ? "" : ", ") + m.name;
    throw Error(ErrorKind::Usage, "unknown operator \"" + name + "\"; known operators: " +
                                      (known.empty() ? "(none found)" : known));
}

std::unique_ptr<OperatorModule> OperatorModule::loadFile(const std::string& name,
                                                         const std::string& path) {
    std::unique_ptr<OperatorModule> m(new OperatorModule());
    m->name_ = name;
    m->path_ = path;
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw Error(ErrorKind::Module,
                    name + ": cannot load " + path + ": " + std::strerror(errno));
    m->fileId_[0] = uint64_t(st.st_dev);
    m->fileId_[1] = uint64_t(st.st_ino);
    checkElf(name, path);
    probeInChild(name, path, st);
    std::string mapped = path;
    m->mapsFile_ = claimFile(m->fileId_);
    if (!m->mapsFile_) {
        m->copyFd_ = privateCopy(name, path);
        if (m->copyFd_ < 0)
            throw Error(ErrorKind::Module, name + ": cannot make a private copy of " + path +
                                               ": " + std::strerror(errno));
        mapped = "/proc/self/fd/" + std::to_string(m->copyFd_);
    }
    m->handle_ = dlopen(mapped.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m->handle_ == nullptr)
        throw Error(ErrorKind::Module, name + ": cannot load " + path + ": " + dlerror());
    auto info = reinterpret_cast<GetOperatorInfoFn>(dlsym(m->handle_, "GetOperatorInfo"));
    m->action_ = reinterpret_cast<OperatorActionFn>(dlsym(m->handle_, "OperatorAction"));
    if (info == nullptr || m->action_ == nullptr)
        throw Error(ErrorKind::Module,
                    name + ": " + path + " does not export GetOperatorInfo and OperatorAction");
    m->description_ = validateDescription(name, info(), m->action_);
    checkIdentification(name, path, m->description_.ident);
    return m;
}

std::unique_ptr<OperatorModule> OperatorModule::copy() const {
    std::unique_ptr<OperatorModule> m = loadFile(name_, path_);
    m->copyValuesFrom(*this);
    return m;
}

void OperatorModule::copyValuesFrom(const OperatorModule& other) const {
    const std::vector<ParamSlot>& from = other.description_.params;
    const std::vector<ParamSlot>& to = description_.params;
    for (std::size_t i = 0; i < from.size() && i < to.size(); ++i) {
        const ParamDescriptor* s = from[i].descriptor;
        ParamDescriptor* d = to[i].descriptor;
        if (s->kind != d->kind) continue;  // the file changed under us; keep its defaults
        switch (s->kind) {
            case PARAM_CHOICE:
                reinterpret_cast<ChoiceDescriptor*>(d)->value =
                    reinterpret_cast<const ChoiceDescriptor*>(s)->value;
                break;
            case PARAM_COLOUR:
                reinterpret_cast<ColourDescriptor*>(d)->value =
                    reinterpret_cast<const ColourDescriptor*>(s)->value;
                break;
            case PARAM_SLIDER:
                reinterpret_cast<SliderDescriptor*>(d)->value =
                    reinterpret_cast<const SliderDescriptor*>(s)->value;
                break;
            case PARAM_POSITION: {
                const auto* ps = reinterpret_cast<const PositionDescriptor*>(s);
                auto* pd = reinterpret_cast<PositionDescriptor*>(d);
                pd->posX = ps->posX;
                pd->posY = ps->posY;
                pd->areaWidth = ps->areaWidth;
                pd->areaHeight = ps->areaHeight;
                break;
            }
            default: break;
        }
    }
}

OperatorModule::~OperatorModule() {
    if (handle_ != nullptr) dlclose(handle_);
    if (copyFd_ >= 0) close(copyFd_);
    if (mapsFile_) releaseFile(fileId_);
}

}  // namespace fieldfx::runtime
