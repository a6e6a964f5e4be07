// fieldfx studio: a local web page that shows an effect on the user's clips
// and follows every control at once. The pictures come from the operators
// in this process, driven as fieldfx render drives them, and the page shows
// the render command that makes the same bytes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "args.h"
#include "commands.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/studio/server.h"
#include "job.h"
#include "options.h"
#include "studio.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

const char kHelp[] =
    "usage: fieldfx studio [NAME] [-i IN [-i IN2]] [-o OUT] [--port N]\n"
    "         [--listen ADDRESS] [--cache-mb N] [--no-browser] [--root DIR]\n"
    "         [--set name=value]... [--pattern NAME] [--start N] [--duration N]\n"
    "         [--rate FPS] [--active x,y,w,h] [--pixel-aspect N] [--scale N/D]\n"
    "         [--field-order tff|bff|progressive] [--size WxH] [--threads N]\n"
    "\n"
    "Serves a page that shows an effect on the clips while its controls move:\n"
    "every effect, its parameters as sliders, lists, colours and positions\n"
    "dragged on the picture, keys at the current frame, the output, the inputs\n"
    "and a split view, and the fieldfx render command that makes what is shown\n"
    "(the same bytes), with a button that runs it. Prints the page's address\n"
    "and opens it in a browser where there is a display.\n"
    "  NAME              the effect shown first (default Swivel)\n"
    "  -i IN             the clips (as for render; default the built-in clips);\n"
    "                    filters use the first, transitions both\n"
    "  -o OUT            the file the render button writes (default\n"
    "                    studio-render.mp4); the page may rename it within OUT's\n"
    "                    directory\n"
    "  --port N          port to listen on (default: any free port)\n"
    "  --listen ADDRESS  listen on ADDRESS instead of 127.0.0.1 (the page is then\n"
    "                    reachable from other machines: the token still guards it)\n"
    "  --cache-mb N      memory for decoded input fields (default 512)\n"
    "  --no-browser      print the address only\n"
    "  --root DIR        let the page list the folders and files under DIR and\n"
    "                    choose its clips there (default: no folder, only the\n"
    "                    clips given here); nothing outside DIR is shown or read\n"
    "--set and --pattern give the first effect's starting settings; the other\n"
    "effect options are those of fieldfx render and hold for every effect.\n"
    "The server answers only requests with the address's token, from its own\n"
    "page, and reads no file but the clips given here or chosen under --root.\n";

// Opens `url` in the user's browser where there is a display to show it.
void openBrowser(const std::string& url) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) return;
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

}  // namespace

std::vector<OptionSpec> studioOptions() {
    return effectOptions({{"--port", nullptr, true, false},
                          {"--listen", nullptr, true, false},
                          {"--cache-mb", nullptr, true, false},
                          {"--no-browser", nullptr, false, false},
                          {"--root", nullptr, true, false}});
}

int studioCommand(const Words& words) {
    const Args args(words, studioOptions());
    if (args.help()) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.positional().size() > 1)
        throw Error(ErrorKind::Usage, "studio takes at most one operator name (fieldfx studio --help)");
    studio::ServerOptions options;
    if (args.has("--port")) options.port = int(parseCount("--port", args.value("--port"), 65535));
    if (args.has("--listen")) {
        options.address = args.value("--listen");
        if (options.address.empty() || options.address == "0.0.0.0" || options.address == "::")
            throw Error(ErrorKind::Usage,
                        "--listen " + options.address + ": give one address of this machine");
    }
    const std::size_t cacheMb =
        args.has("--cache-mb") ? parseCount("--cache-mb", args.value("--cache-mb"), 1 << 20) : 512;
    const std::unique_ptr<studio::Backend> backend = makeStudioBackend(args, cacheMb << 20);
    studio::Server server(*backend, options);
    try {
        server.bind();
    } catch (const std::runtime_error& e) {
        throw Error(ErrorKind::Usage, e.what());
    }
    std::printf("fieldfx studio: %s\n", server.url().c_str());
    std::fflush(stdout);
    if (!args.has("--no-browser")) openBrowser(server.url());
    server.run();
    return 0;
}

}  // namespace fieldfx::cli
