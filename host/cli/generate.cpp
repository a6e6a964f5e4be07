// fieldfx generate: a synthetic clip to run effects on without any footage:
// colour bars, a luma ramp and a disc that moves from field to field.
#include <cmath>
#include <cstdio>

#include "args.h"
#include "commands.h"
#include "fieldfx/fieldio/frames.h"
#include "fieldfx/fieldio/sequence.h"
#include "fieldfx/fieldio/ycbcr.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/values.h"
#include "options.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

struct Rgb {
    double r, g, b;
};

// Frame line `y` of frame `frame` (the field it belongs to moves the disc
// by half a frame's step, as interlaced footage does).
void paintLine(io::Field& frame, int32_t y, uint32_t frameIndex, int variant) {
    static const Rgb kBars[2][7] = {
        {{.75, .75, .75}, {.75, .75, 0}, {0, .75, .75}, {0, .75, 0}, {.75, 0, .75}, {.75, 0, 0},
         {0, 0, .75}},
        {{.1, .2, .6}, {.9, .5, .1}, {.2, .7, .3}, {.8, .8, .8}, {.6, .1, .4}, {.1, .6, .7},
         {.95, .85, .2}}};
    const int32_t w = frame.width, h = frame.height;
    const double t = 2.0 * frameIndex + (y & 1);  // time in fields
    const double cx = w * (0.2 + 0.6 * (0.5 + 0.5 * std::sin(t * 0.05)));
    const double cy = h * 0.45, radius = h * 0.12;
    uint8_t* px = frame.row(y);
    for (int32_t x = 0; x < w; ++x, px += 4) {
        Rgb c;
        if (y < h * 2 / 3) {
            c = kBars[variant & 1][std::min<int32_t>(6, x * 7 / w)];
        } else {
            const double v = double(x) / (w - 1 > 0 ? w - 1 : 1);
            c = variant ? Rgb{v, 1.0 - v, 0.5} : Rgb{v, v, v};
        }
        const double dx = x - cx, dy = y - cy;
        if (dx * dx + dy * dy <= radius * radius) c = variant ? Rgb{1, 1, 1} : Rgb{.1, .1, .1};
        if (x % 64 == 0 || y % 64 == 0) c = Rgb{c.r * 0.5, c.g * 0.5, c.b * 0.5};
        io::rgbToPixel(c.r, c.g, c.b, 255, px);
    }
}

}  // namespace

int generateCommand(const Words& words) {
    const Args args(words, {{"--output", "-o", true, false},
                            {"--frames", nullptr, true, false},
                            {"--fields", nullptr, true, false},
                            {"--size", nullptr, true, false},
                            {"--variant", nullptr, true, false},
                            {"--yes", "-y", false, false}});
    if (args.help()) {
        std::puts("usage: fieldfx generate -o OUT [--frames N | --fields N] [--size WxH]\n"
                  "         [--variant 0|1] [-y]\n"
                  "Writes a synthetic clip (colour bars, a ramp, a moving disc) as PAM fields\n"
                  "or PNG frames (top field first). --fields N writes N fields (a PAM output\n"
                  "may end inside a frame; --fields 1 makes a single field for apply).\n"
                  "--size is the frame's: width 1..8192, an even height 2..8192.\n"
                  "Defaults: 10 frames of 720x576 (fields of 720x288), variant 0.");
        return 0;
    }
    if (!args.has("--output")) throw Error(ErrorKind::Usage, "no output (-o OUT)");
    if (args.has("--frames") && args.has("--fields"))
        throw Error(ErrorKind::Usage, "--frames and --fields exclude each other");
    const uint32_t fields =
        args.has("--fields")   ? parseCount("--fields", args.value("--fields"), 200000)
        : args.has("--frames") ? 2 * parseCount("--frames", args.value("--frames"), 100000)
                               : 20;
    const uint32_t frames = (fields + 1) / 2;
    const int variant = args.has("--variant") ? int(parseCount("--variant", args.value("--variant"), 1)) : 0;
    int32_t w = 720, h = 576;
    if (args.has("--size")) {
        // Frames of two fields of one height.
        const runtime::Size size = runtime::parseSize("--size", args.value("--size"), {1, 2, true});
        w = size.width;
        h = size.height;
    }
    if (fields == 0) throw Error(ErrorKind::Usage, "--frames and --fields must be at least 1");
    std::unique_ptr<io::ClipWriter> writer;
    try {
        writer = io::ClipWriter::create(args.value("--output"), io::FieldOrder::TopFirst, fields,
                                        args.has("--yes"));
        io::Field frame(w, h), top, bottom;
        for (uint32_t f = 0; f < frames; ++f) {
            for (int32_t y = 0; y < h; ++y) paintLine(frame, y, f, variant);
            io::splitFrame(frame, top, bottom);
            writer->put(top);
            if (2 * f + 1 < fields) writer->put(bottom);
        }
        writer->commit();
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    std::printf("generated %u fields of %dx%d -> %s\n", fields, w, h / 2,
                args.value("--output").c_str());
    return 0;
}

}  // namespace fieldfx::cli
