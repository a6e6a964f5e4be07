// What fieldfx studio's page sends: the state it asks to see (an effect,
// its --set assignments, a built-in wipe pattern, clips under --root) and
// the checked fields of a request, refused with RequestError (400) when
// malformed; the description of a parameter the page builds its control
// from; and the shell quoting of the render command the page shows.
#ifndef FIELDFX_CLI_STUDIO_REQUEST_H
#define FIELDFX_CLI_STUDIO_REQUEST_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fieldfx/runtime/parameters.h"
#include "fieldfx/studio/server.h"

namespace fieldfx::cli::backend {

constexpr std::size_t kMaxSets = 64;     // assignments of one state
constexpr std::size_t kMaxText = 4096;   // characters of one text field

// A word as a POSIX shell reads it back: plain, or in single quotes.
std::string shellWord(const std::string& w);

// What the page asks to see: the effect and its settings.
struct State {
    std::string effect;
    std::vector<std::string> sets;
    std::string pattern;  // a built-in pattern with its settings, or ""
    // Clips chosen on the page, relative to --root (none: the command line's).
    std::vector<std::string> inputs;

    std::string key() const;
};

// The text field `name` of `request` ("" when absent and not required).
std::string textField(const nlohmann::json& request, const char* name, bool required);

// The whole number `name` of `request` within minimum..maximum, or fallback.
int64_t numberField(const nlohmann::json& request, const char* name, int64_t minimum,
                    int64_t maximum, int64_t fallback);

// The wipe pattern as the page gives it: a built-in pattern's name with
// settings, never a file.
void checkPattern(const std::string& text);

// A parameter as the page builds its control: name, kind, range, unit,
// default, entries, the marker's sizes.
nlohmann::json parameterJson(const runtime::Parameter& p);

// The state of a page's request: "effect", "sets", "pattern", "inputs".
State readState(const nlohmann::json& request);

}  // namespace fieldfx::cli::backend

#endif
