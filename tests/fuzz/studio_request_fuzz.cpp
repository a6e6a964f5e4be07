// fieldfx studio's calls with any JSON body: the page's state (effect, --set
// assignments with keys, pattern), positions, views and formats reach the
// operators only as render would take them; anything else is refused with a
// message, never a crash. The first byte picks the call; the rest is the
// body. The render call is left out (it writes files).
#include <cstdlib>
#include <cstring>
#include <string>

#include "args.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/studio/server.h"
#include "studio.h"

namespace cli = fieldfx::cli;
namespace studio = fieldfx::studio;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

studio::Backend& backend() {
    // Small built-in clips: a filter's one and a transition's two inputs.
    static const cli::Args args({"Swivel", "--size", "64x48", "--duration", "3", "--no-browser"},
                                cli::studioOptions());
    static const std::unique_ptr<studio::Backend> b = cli::makeStudioBackend(args, 4 << 20);
    return *b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kCalls[] = {"state", "frame", "pattern", "catalogue", "progress", "clips"};
    if (size < 1) return 0;
    const std::string call = kCalls[data[0] % 6];
    nlohmann::json request;
    try {
        request = nlohmann::json::parse(data + 1, data + size);
    } catch (const nlohmann::json::exception&) {
        return 0;  // the server refuses it before any call
    }
    if (!request.is_object()) return 0;
    // One page: its module copies stay loaded (libFuzzer keeps the coverage
    // counters of every module it saw, and an unloaded one takes them away).
    if (request.contains("session") && request["session"].is_string()) request["session"] = "fuzz";
    try {
        const studio::Reply reply = backend().handle(call, request);
        if (call == "state") {
            const auto j = nlohmann::json::parse(reply.body);
            check(j.at("command").get<std::string>().rfind("fieldfx render ", 0) == 0);
        } else if (call == "frame" && reply.contentType == "application/octet-stream") {
            // Width and height, then four bytes a pixel.
            check(reply.body.size() >= 8);
            uint32_t dims[2];
            std::memcpy(dims, reply.body.data(), 8);
            check(reply.body.size() == 8 + std::size_t(dims[0]) * dims[1] * 4);
        }
    } catch (const studio::RequestError& e) {
        check(e.status() >= 400 && e.status() < 500 && std::strlen(e.what()) > 0);
    } catch (const nlohmann::json::exception&) {
        // A value of the wrong type: the server answers 400.
    }
    return 0;
}
