// fieldfx apply's input path: the options a script passes (--position,
// --duration, --odd, --set, --active, --pixel-aspect, --scale, --pattern) and
// the PAM field file it reads, for any operator.
//
// The input is text lines up to the first empty line: the operator's name,
// then one command-line word a line; the bytes after the empty line are the
// field file (a transition gets it as both inputs). Every word is taken with
// its '/' removed and none names the output or the fields (they are fixed:
// the field through an in-memory file, the output in a private temporary
// directory), so nothing outside that directory is written.
//
// Invariants beyond "no crash, no sanitizer report, no leak": the command
// ends with 0 or a runtime::Error (the classified errors the command line
// turns into its exit status), never another exception; after 0 the output
// is a PAM file of one field of the input's size (unless --help asked for
// the help text only), and no temporary file is left in either case.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "fieldfx/fieldio/pam.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/module.h"
#include "memory_file.h"

namespace cli = fieldfx::cli;
namespace io = fieldfx::io;
namespace runtime = fieldfx::runtime;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

std::vector<std::string> operatorNames() {
    std::vector<std::string> names;
    std::stringstream list(FIELDFX_FUZZ_OPERATORS);
    for (std::string name; std::getline(list, name, ',');) names.push_back(name);
    return names;
}

// The transitions among them (two --field).
std::set<std::string>& transitions() {
    static std::set<std::string> names;
    return names;
}

// The private directory of the output.
std::string& outputDir() {
    static std::string dir;
    return dir;
}

// The entries of the output's directory but "." and "..".
std::vector<std::string> entries() {
    std::vector<std::string> names;
    if (DIR* d = opendir(outputDir().c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/fieldfx-fuzz-apply-XXXXXX";
    if (mkdtemp(dir) == nullptr) std::abort();
    outputDir() = dir;
    std::atexit([] { rmdir(outputDir().c_str()); });  // empty after every input
    setenv("FIELDFX_OPS_PATH", FIELDFX_FUZZ_OPS_DIR, 1);
    // Every module stays mapped for the whole run: libFuzzer keeps the
    // coverage counters of each one it has seen, and one unloaded under it
    // would leave them pointing at memory that is gone.
    for (const std::string& name : operatorNames()) {
        const std::string path = std::string(FIELDFX_FUZZ_OPS_DIR) + "/" + name + ".so";
        if (dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE) == nullptr) std::abort();
        if (!runtime::OperatorModule::loadFile(name, path)->isFilter())
            transitions().insert(name);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static MemoryFile field;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t end = bytes.find("\n\n");
    const std::string head = bytes.substr(0, end);
    const std::string pam = end == std::string::npos ? std::string() : bytes.substr(end + 2);

    std::vector<std::string> lines;
    std::stringstream text(head);
    for (std::string line; std::getline(text, line);) {
        std::string word;
        for (char c : line)
            if (c != '/' && c != '\0') word += c;
        lines.push_back(word);
    }
    if (lines.empty() || lines.size() > 24) return 0;
    const std::string path = field.hold(reinterpret_cast<const uint8_t*>(pam.data()), pam.size());
    const std::string output = outputDir() + "/out.pam";
    cli::Words words = {lines[0], "--field", path, "--field", path, "-o", output};
    if (!transitions().count(lines[0])) words.erase(words.begin() + 3, words.begin() + 5);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& w = lines[i];
        if (w == "-o" || w.rfind("--output", 0) == 0 || w.rfind("--field", 0) == 0) continue;
        words.push_back(w);
    }

    bool help = false;  // --help anywhere: the help text, exit 0, nothing written
    for (const std::string& w : words) help = help || w == "--help" || w == "-h";
    bool done = false;
    try {
        done = cli::applyCommand(words) == 0;
    } catch (const runtime::Error&) {
    } catch (const std::bad_alloc&) {
    }
    if (done && !help) {
        io::PamReader in(path), out(output);
        check(out.count() == 1);
        check(out.width(0) == in.width(0) && out.height(0) == in.height(0));
    }
    // Only the output, and nothing of a refused run.
    for (const std::string& name : entries()) check(done && !help && name == "out.pam");
    std::remove(output.c_str());
    return 0;
}
