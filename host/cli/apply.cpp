// fieldfx apply: OP_OPEN, one OP_PROCESS on raw fields, OP_CLOSE; for
// scripting and tests. Position and duration are the message's own values.
#include <cstdio>

#include "args.h"
#include "commands.h"
#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/fieldio/pam.h"
#include "fieldfx/runtime/error.h"
#include "options.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

const char kHelp[] =
    "usage: fieldfx apply NAME --field IN.pam [--field IN2.pam] -o OUT.pam\n"
    "         --position P --duration D [--odd] [--set name=value]...\n"
    "         [--active x,y,w,h] [--pixel-aspect N] [--scale N/D]\n"
    "         [--pattern NAME|FILE] [-y]\n"
    "\n"
    "Sends NAME one process request for field P of an effect of D fields and\n"
    "writes the field it hands back. Each --field is a PAM file of one field;\n"
    "a transition's second --field is input 1. Defaults: the active rectangle\n"
    "is the whole field, pixel aspect 1000, no OPF_SCALE, OPF_ODD_FIELD only\n"
    "with --odd, new images filled with BLACK_PIXEL (bytes FF 80 80 10).\n"
    "  --position P      the message's position (fields, 0..D-1)\n"
    "  --duration D      the message's duration (fields, at least 1)\n"
    "  --odd             the field holds the frame's odd lines\n"
    "  -y                replace an existing output\n"
    "Other options as for fieldfx render.\n";

// The same field at every position.
class OneField : public runtime::FieldSource {
public:
    explicit OneField(io::Field f) : field_(std::move(f)) {}
    const io::Field* fieldAt(uint32_t) override { return &field_; }
    const io::Field& field() const { return field_; }

private:
    io::Field field_;
};

io::Field readOneField(const std::string& path) {
    try {
        io::PamReader reader(path);
        if (reader.count() != 1)
            throw Error(ErrorKind::Input, path + ": holds " + std::to_string(reader.count()) +
                                              " images; --field takes a file of one field");
        io::Field f;
        reader.read(0, f);
        return f;
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Input, e.what());
    }
}

}  // namespace

int applyCommand(const Words& words) {
    const Args args(words, {{"--field", nullptr, true, true},
                            {"--output", "-o", true, false},
                            {"--position", nullptr, true, false},
                            {"--duration", nullptr, true, false},
                            {"--odd", nullptr, false, false},
                            {"--set", nullptr, true, true},
                            {"--active", nullptr, true, false},
                            {"--pixel-aspect", nullptr, true, false},
                            {"--scale", nullptr, true, false},
                            {"--pattern", nullptr, true, false},
                            {"--yes", "-y", false, false}});
    if (args.help()) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.positional().size() != 1)
        throw Error(ErrorKind::Usage, "apply takes one operator name (fieldfx apply --help)");
    const auto module = runtime::OperatorModule::load(args.positional()[0]);
    runtime::ParameterSet params(*module);
    applySettings(args, params, false);
    runtime::EffectSettings settings;
    readGeometryOptions(args, settings);
    const std::vector<uint8_t> prefs = patternPreferences(args, *module);

    if (!args.has("--position") || !args.has("--duration"))
        throw Error(ErrorKind::Usage, "apply needs --position P and --duration D");
    const uint32_t duration = parseCount("--duration", args.value("--duration"), UINT32_MAX);
    const uint32_t position = parseCount("--position", args.value("--position"), UINT32_MAX);
    if (duration == 0) throw Error(ErrorKind::Usage, "--duration must be at least 1 field");
    if (position >= duration)
        throw Error(ErrorKind::Usage, "--position " + std::to_string(position) +
                                          " is beyond the duration: positions run 0.." +
                                          std::to_string(duration - 1));
    settings.duration = duration;

    const std::vector<std::string> fields = args.values("--field");
    const std::size_t needed = module->isFilter() ? 1 : 2;
    if (fields.size() != needed)
        throw Error(ErrorKind::Usage,
                    module->name() + " is a " + (module->isFilter() ? "filter" : "transition") +
                        ": it takes " + (needed == 1 ? "one --field" : "two --field (input 0, input 1)") +
                        ", " + std::to_string(fields.size()) + " given");
    if (!args.has("--output")) throw Error(ErrorKind::Usage, "no output (-o OUT.pam)");
    const std::string output = args.value("--output");
    if (output.size() < 4 || output.compare(output.size() - 4, 4, ".pam") != 0)
        throw Error(ErrorKind::Usage, output + ": apply writes one field as PAM (.pam)");

    std::vector<OneField> sources;
    for (const std::string& f : fields) sources.emplace_back(readOneField(f));
    const io::Field& first = sources[0].field();
    if (sources.size() == 2 && !sources[1].field().sameSize(first))
        throw Error(ErrorKind::Input, "the fields differ in size");
    checkActiveWithin(settings, first.width, first.height);

    std::unique_ptr<io::OutputFile> out;
    try {
        out = std::make_unique<io::OutputFile>(output, args.has("--yes"));
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    runtime::Effect effect(*module);
    for (std::size_t i = 0; i < sources.size(); ++i) effect.setInput(int(i), &sources[i]);
    if (!prefs.empty()) effect.applyPreferences(prefs);
    effect.open(settings, first.width, first.height);
    const io::Field& result = effect.process(position, args.has("--odd"));
    try {
        io::writePamImage(out->stream(), result, output);
        effect.close();
        printWarnings(effect);
        out->commit();
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    return 0;
}

}  // namespace fieldfx::cli
