// fieldfx preview: a contact sheet of an effect over its span, frames spread
// evenly from the first to the last (for a transition, its progress from
// start to end), each tile labelled with its frame number.
#include <sys/stat.h>

#include <cstdio>

#include "args.h"
#include "commands.h"
#include "fieldfx/fieldio/frames.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/video/sheet.h"
#include "job.h"
#include "media.h"
#include "options.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

const char kHelp[] =
    "usage: fieldfx preview NAME [-i IN [-i IN2]] -o SHEET.png [--frames N]\n"
    "         [--columns N] [--tile-width N] [--set name=value]... [--start N]\n"
    "         [--duration N] [--rate FPS] [--active x,y,w,h] [--pixel-aspect N]\n"
    "         [--scale N/D] [--pattern NAME|FILE] [--field-order tff|bff|progressive]\n"
    "         [--size WxH] [--threads N] [-y]\n"
    "\n"
    "Renders NAME as fieldfx render does, but only the frames of a contact\n"
    "sheet: N frames spread evenly over the span, first and last included, each\n"
    "reduced to a tile and labelled with its frame number in the span.\n"
    "  -o SHEET.png      the sheet (8-bit R'G'B' PNG)\n"
    "  --frames N        tiles on the sheet (default 8)\n"
    "  --columns N       tiles a row (default 4)\n"
    "  --tile-width N    width of a tile in pixels (default 240); the height keeps\n"
    "                    the frame's display aspect\n"
    "The effect options, as for fieldfx render:\n";

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int previewCommand(const Words& words) {
    const Args args(words, effectOptions({{"--frames", nullptr, true, false},
                                          {"--columns", nullptr, true, false},
                                          {"--tile-width", nullptr, true, false}}));
    if (args.help()) {
        std::fputs(kHelp, stdout);
        std::fputs(kEffectOptionsHelp, stdout);
        return 0;
    }
    video::SheetLayout layout;
    int count = 8;
    if (args.has("--frames")) count = int(parseCount("--frames", args.value("--frames"), 1000));
    if (args.has("--columns"))
        layout.columns = int(parseCount("--columns", args.value("--columns"), 64));
    if (args.has("--tile-width"))
        layout.tileWidth = int(parseCount("--tile-width", args.value("--tile-width"), 4096));
    if (count < 1 || layout.columns < 1 || layout.tileWidth < 16)
        throw Error(ErrorKind::Usage,
                    "--frames and --columns take at least 1, --tile-width at least 16");
    const std::string output = args.value("--output");
    if (args.has("--output") && (output.size() < 4 || output.substr(output.size() - 4) != ".png"))
        throw Error(ErrorKind::Usage, "-o " + output + ": a preview sheet is a .png file");
    struct stat st;
    if (!args.has("--yes") && stat(output.c_str(), &st) == 0)
        throw Error(ErrorKind::Output, output + ": exists (use -y to replace it)");

    EffectJob job = prepareJob(args, "preview");
    const std::vector<int64_t> frames = video::sheetFrames(int64_t(job.fields / 2), count);
    std::vector<uint32_t> positions;
    for (int64_t f : frames) {
        positions.push_back(uint32_t(2 * f));
        positions.push_back(uint32_t(2 * f + 1));
    }
    std::vector<io::Field> fields;
    runEffect(job, positions, [&](uint32_t, io::Field& out) { fields.push_back(std::move(out)); });

    std::vector<video::SheetTile> tiles;
    const bool firstIsOdd = io::holdsOddLines(job.order, 0);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const io::Field& first = fields[2 * i];
        const io::Field& second = fields[2 * i + 1];
        video::SheetTile tile;
        io::weaveFields(firstIsOdd ? second : first, firstIsOdd ? first : second, tile.frame);
        tile.label = "FRAME " + std::to_string(frames[i]);
        tiles.push_back(std::move(tile));
    }
    layout.title = job.module->name() + ": " + baseName(job.clips[0]->path());
    if (job.clips.size() == 2) layout.title += " TO " + baseName(job.clips[1]->path());
    const video::ClipInfo info = describeClip(*job.clips[0], job.order, job.rate);
    const video::RgbImage sheet = video::renderSheet(
        tiles, layout, video::effectiveMatrix(info.colour, info.height), info.sampleAspect);
    try {
        video::writeSheetPng(output, sheet, args.has("--yes"));
    } catch (const video::VideoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    std::printf("%s: sheet of %zu frames (%dx%d) -> %s\n", job.module->name().c_str(),
                frames.size(), sheet.width, sheet.height, output.c_str());
    return 0;
}

}  // namespace fieldfx::cli
