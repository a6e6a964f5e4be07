// fieldfx: load operators by name, set their parameters by name, and render
// field sequences through them.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "commands.h"
#include "service_libraries.h"
#include "fieldfx/fieldio/field.h"
#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/runtime/error.h"

namespace {

const char kUsage[] =
    "usage: fieldfx COMMAND [options]   (fieldfx COMMAND --help for details)\n"
    "\n"
    "commands:\n"
    "  list       every operator found: name, filter or transition, identification\n"
    "  describe   an operator's parameters: name, kind, range, default, unit, help\n"
    "  render     run an effect over clips (video files, built-in clips, PAM\n"
    "             field sequences, PNG frames)\n"
    "  preview    a contact sheet (PNG) of an effect over its span\n"
    "  apply      one request on raw fields, for scripting and tests\n"
    "  patterns   the wipe patterns of the transition host\n"
    "  generate   write a synthetic test clip\n"
    "  join       put together the segments of a render split with --range\n"
    "  studio     a local web page that shows an effect while its controls move\n"
    "\n"
    "exit status: 0 done, 1 the operator failed, 2 usage error (command line,\n"
    "operator or parameter), 3 input error, 4 output error, 5 malformed or damaged\n"
    "module, 6 out of memory.\n"
    "Operators are looked up in $FIELDFX_OPS_PATH (colon-separated), then in the\n"
    "installation's lib/fieldfx/ops (found from this binary's place) or, for a\n"
    "binary not installed, in ops/ beside its directory and in the build tree.\n"
    "fieldfx --version prints the version.\n";

// Every signal that ends the process and can be caught stops it wherever it
// is (on any thread): the temporary files of unfinished outputs are removed,
// the reason is written, naming what was removed, and the signal is raised
// again so that the caller sees it. A crash is handled the same way, so
// that it leaves no temporary file either.
struct StopSignal {
    int number;
    const char* text;
};
constexpr StopSignal kStopSignals[] = {
    {SIGINT, "interrupted (SIGINT)"},   {SIGTERM, "terminated (SIGTERM)"},
    {SIGHUP, "hung up (SIGHUP)"},       {SIGQUIT, "quit (SIGQUIT)"},
    {SIGPIPE, "broken pipe (SIGPIPE)"}, {SIGALRM, "alarm clock (SIGALRM)"},
    {SIGUSR1, "stopped by SIGUSR1"},    {SIGUSR2, "stopped by SIGUSR2"},
    {SIGXCPU, "CPU time limit (SIGXCPU)"}, {SIGXFSZ, "file size limit (SIGXFSZ)"},
    {SIGVTALRM, "virtual alarm (SIGVTALRM)"}, {SIGPROF, "profiling alarm (SIGPROF)"},
    {SIGPOLL, "stopped by SIGPOLL"},    {SIGPWR, "power failure (SIGPWR)"},
    {SIGSTKFLT, "stopped by SIGSTKFLT"}, {SIGSEGV, "crashed (SIGSEGV)"},
    {SIGBUS, "crashed (SIGBUS)"},       {SIGILL, "crashed (SIGILL)"},
    {SIGFPE, "crashed (SIGFPE)"},       {SIGABRT, "aborted (SIGABRT)"},
    {SIGSYS, "crashed (SIGSYS)"},
};

void say(const char* text) {
    if (write(STDERR_FILENO, text, std::strlen(text)) < 0) {
        // Nothing more can be said.
    }
}

void onStopSignal(int signal) {
    char target[512];
    const std::size_t removed = fieldfx::io::removeUnfinishedOutputs(target, sizeof target);
    // A reader that stops reading (fieldfx list | head) is no news unless
    // an output was cut short by it.
    const bool quiet = signal == SIGPIPE && removed == 0;
    const char* reason = "stopped by a signal";
    for (const StopSignal& s : kStopSignals)
        if (s.number == signal) reason = s.text;
    if (!quiet) {
        say("fieldfx: ");
        say(reason);
        if (removed > 0) {
            say("; unfinished output removed: ");
            say(target);
            if (removed > 1) say(" and the files written with it");
        }
        say("\n");
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void handleStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const StopSignal& s : kStopSignals) sigaddset(&action.sa_mask, s.number);
    for (const StopSignal& s : kStopSignals) {
        struct sigaction previous {};
        // A signal the caller ignores (nohup, a background shell job) stays
        // ignored; one with a handler already (a sanitizer's) keeps it.
        if (sigaction(s.number, nullptr, &previous) != 0 ||
            (previous.sa_flags & SA_SIGINFO) != 0 || previous.sa_handler != SIG_DFL)
            continue;
        sigaction(s.number, &action, nullptr);
    }
}

int exitStatus(fieldfx::runtime::ErrorKind kind) {
    using fieldfx::runtime::ErrorKind;
    switch (kind) {
        case ErrorKind::Render: return 1;
        case ErrorKind::Usage: return 2;
        case ErrorKind::Input: return 3;
        case ErrorKind::Output: return 4;
        case ErrorKind::Module: return 5;
        case ErrorKind::Memory: return 6;
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace fieldfx::cli;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::puts("fieldfx " FIELDFX_VERSION);
        return 0;
    }
    handleStopSignals();
    const std::string command = argv[1];
    const Words words(argv + 2, argv + argc);
    try {
        loadServiceLibraries();
        if (command == "list") return listCommand(words);
        if (command == "describe") return describeCommand(words);
        if (command == "render") return renderCommand(words);
        if (command == "preview") return previewCommand(words);
        if (command == "apply") return applyCommand(words);
        if (command == "patterns") return patternsCommand(words);
        if (command == "generate") return generateCommand(words);
        if (command == "join") return joinCommand(words);
        if (command == "studio") return studioCommand(words);
        std::fprintf(stderr, "fieldfx: unknown command \"%s\"\n\n%s", command.c_str(), kUsage);
        return 2;
    } catch (const fieldfx::runtime::Error& e) {
        if (e.kind() == fieldfx::runtime::ErrorKind::Memory)
            std::fprintf(stderr, "fieldfx %s: error: out of memory (%s)\n", command.c_str(),
                         e.what());
        else
            std::fprintf(stderr, "fieldfx %s: error: %s\n", command.c_str(), e.what());
        return exitStatus(e.kind());
    } catch (const std::bad_alloc&) {
        // Whoever ran out (an operator's copy, a decoder, an encoder), the
        // cause is the same and so is the remedy.
        std::fprintf(stderr, "fieldfx %s: error: out of memory\n", command.c_str());
        return 6;
    } catch (const fieldfx::io::IoError& e) {
        // File errors not classified where they arose: reading comes first.
        std::fprintf(stderr, "fieldfx %s: error: %s\n", command.c_str(), e.what());
        return 3;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fieldfx %s: error: %s\n", command.c_str(), e.what());
        return 1;
    }
}
