// fieldfx describe NAME: the operator's parameters, one line each (name,
// kind, range or entries, default, unit) with the help text below.
#include <algorithm>
#include <cstdio>

#include "args.h"
#include "commands.h"
#include "fieldfx/runtime/catalogue.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/parameters.h"

namespace fieldfx::cli {

namespace {
// Characters, not bytes, of a UTF-8 text (the degree sign is two bytes).
std::size_t displayWidth(const std::string& s) {
    return std::size_t(std::count_if(s.begin(), s.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}
}  // namespace

int describeCommand(const Words& words) {
    const Args args(words, {});
    if (args.help() || args.positional().size() != 1) {
        if (!args.help())
            throw runtime::Error(runtime::ErrorKind::Usage, "describe takes one operator name");
        std::puts("usage: fieldfx describe NAME\n"
                  "Shows NAME's parameters: name, kind, range or entries, default, unit and\n"
                  "help. Values for --set use the name (any case) and the syntax of RANGE.");
        return 0;
    }
    const auto module = runtime::OperatorModule::load(args.positional()[0]);
    const runtime::ParameterSet params(*module);
    std::printf("%s: %s, %s\n", module->name().c_str(),
                module->isFilter() ? "filter" : "transition", module->description().ident.c_str());
    if (module->description().prefs != nullptr)
        std::puts("wipe pattern: chosen with --pattern (see fieldfx patterns)");
    if (params.all().empty()) {
        std::puts("no parameters");
        return 0;
    }
    struct Row {
        std::string cells[5];
        std::string help;
    };
    std::vector<Row> rows{{{"NAME", "KIND", "RANGE", "DEFAULT", "UNIT"}, ""}};
    for (const runtime::Parameter& p : params.all())
        rows.push_back(Row{{p.name, p.kindName(), p.rangeText(), p.valueText(), p.unitText()},
                           p.helpText()});
    std::size_t width[4] = {};
    for (const Row& r : rows)
        for (int i = 0; i < 4; ++i) width[i] = std::max(width[i], displayWidth(r.cells[i]));
    for (const Row& r : rows) {
        std::string line;
        for (int i = 0; i < 5; ++i) {
            line += r.cells[i];
            if (i < 4) line += std::string(width[i] - displayWidth(r.cells[i]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::puts(line.c_str());
        if (!r.help.empty()) std::printf("%s%s\n", std::string(width[0] + 2, ' ').c_str(), r.help.c_str());
    }
    return 0;
}

}  // namespace fieldfx::cli
