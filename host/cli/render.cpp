// fieldfx render: an effect over whole clips. A filter renders its input
// from --start to the end (or --duration frames); a transition renders its
// span only: both inputs from --start, --duration defaulting to the shorter.
#include <cstdio>
#include <numeric>

#include "args.h"
#include "commands.h"
#include "fieldfx/runtime/error.h"
#include "progress.h"
#include "job.h"
#include "media.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

const char kHelp[] =
    "usage: fieldfx render NAME [-i IN [-i IN2]] -o OUT [--set name=value]...\n"
    "         [--start N] [--duration N] [--rate FPS] [--active x,y,w,h]\n"
    "         [--pixel-aspect N] [--scale N/D] [--pattern NAME|FILE]\n"
    "         [--field-order tff|bff|progressive] [--size WxH] [--lossless]\n"
    "         [--codec NAME] [--crf N] [--pix-fmt NAME] [--quiet] [-y]\n"
    "\n"
    "Runs NAME over its input clips and writes the output clip. Clips are video\n"
    "files (anything FFmpeg reads), the built-in clips builtin:bars,\n"
    "builtin:motion and builtin:gradient, PAM field sequences (.pam, fields in\n"
    "time order) or PNG frames (one .png, or a numbered sequence such as\n"
    "in%04d.png, split into two fields each).\n"
    "  -i IN             input 0; a transition takes a second -i as input 1\n"
    "                    (default: builtin:motion, and builtin:bars as input 1)\n"
    "  -o OUT            output clip: .mp4, .mov, .mkv (H.264 4:2:0), .avi (FFV1),\n"
    "                    .y4m (4:4:4), .pam, .png for one frame, out%04d.png\n"
    "  --set NAME=VALUE  a parameter (see fieldfx describe NAME); animated with\n"
    "                    keys VALUE@TIME,VALUE@TIME,... (TIME a frame of the\n"
    "                    output or seconds: angle=0@0,45@2s): sliders and\n"
    "                    positions move linearly between keys in whole steps,\n"
    "                    choices and colours change at each key\n"
    "  --start N         first frame of the inputs (default 0)\n"
    "  --duration N      frames to render (filter: default to the end of the\n"
    "                    input; transition: default the shorter input)\n"
    "  --rate FPS        frame rate (25, 30000/1001): N may then be seconds (2s);\n"
    "                    a video input gives its own\n"
    "  --active x,y,w,h  active rectangle of every field (default the field)\n"
    "  --pixel-aspect N  pixel aspect x 1000 (default 1000 / the video's sample\n"
    "                    aspect ratio, 1000 for field files)\n"
    "  --scale N/D       sizes in pixels scaled by N/D (OPF_SCALE)\n"
    "  --pattern P       wipe pattern of Telescope and Glide (fieldfx patterns)\n"
    "  --field-order O   tff, bff or progressive: a video's own order overridden;\n"
    "                    for field files tff (default) or bff\n"
    "  --size WxH        size of the built-in clips (default 720x576)\n"
    "  --lossless        video output without loss: FFV1 4:4:4 with the opacity\n"
    "                    as alpha in .mkv and .avi, H.264 4:4:4 at qp 0 in\n"
    "                    .mp4 and .mov\n"
    "  --codec NAME      video encoder (an FFmpeg encoder name)\n"
    "  --crf N           constant rate factor of H.264 (default 16)\n"
    "  --pix-fmt NAME    encoder pixel format (an FFmpeg name, e.g. yuv422p)\n"
    "  --quiet           no progress bar (there is none when stderr is no terminal)\n"
    "  -y                replace an existing output\n"
    "A video output keeps the first input's frame rate, timestamps, field order,\n"
    "sample aspect and colour tags, with the audio of the input (a filter) or of\n"
    "the incoming clip over the span (a transition). A second input of another\n"
    "size, rate or field order is converted to the first's.\n"
    "The message's duration is twice the frames; positions count fields.\n";

}  // namespace

int renderCommand(const Words& words) {
    const Args args(words, {{"--input", "-i", true, true},
                            {"--output", "-o", true, false},
                            {"--set", nullptr, true, true},
                            {"--start", nullptr, true, false},
                            {"--duration", nullptr, true, false},
                            {"--rate", nullptr, true, false},
                            {"--active", nullptr, true, false},
                            {"--pixel-aspect", nullptr, true, false},
                            {"--scale", nullptr, true, false},
                            {"--pattern", nullptr, true, false},
                            {"--field-order", nullptr, true, false},
                            {"--size", nullptr, true, false},
                            {"--lossless", nullptr, false, false},
                            {"--codec", nullptr, true, false},
                            {"--crf", nullptr, true, false},
                            {"--pix-fmt", nullptr, true, false},
                            {"--quiet", "-q", false, false},
                            {"--yes", "-y", false, false}});
    if (args.help()) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    EffectJob job = prepareJob(args, "render");
    const std::string output = args.value("--output");
    const std::unique_ptr<io::ClipWriter> writer =
        createWriter(output, job.clips, job.order, job.rate, job.firstField, job.fields, job.media);

    Progress progress(stderr, int64_t(job.fields),
                             Progress::wanted(stderr, job.media.quiet));
    std::vector<uint32_t> positions(job.fields);
    std::iota(positions.begin(), positions.end(), 0u);
    runEffect(job, positions, [&](uint32_t p, const io::Field& out) {
        try {
            writer->put(out);
        } catch (const io::IoError& e) {
            throw Error(ErrorKind::Output, e.what());
        }
        progress.update(int64_t(p) + 1);
    });
    progress.finish();
    try {
        writer->commit();
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    std::printf("%s: %zu fields (%zu frames) -> %s\n", job.module->name().c_str(), job.fields,
                job.fields / 2, output.c_str());
    return 0;
}

}  // namespace fieldfx::cli
