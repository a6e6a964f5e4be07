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

const char kUsage[] =
    "usage: fieldfx render NAME [-i IN [-i IN2]] -o OUT [--set name=value]...\n"
    "         [--start N] [--duration N] [--range FIRST:LAST|PART/PARTS]\n"
    "         [--rate FPS] [--active x,y,w,h]\n"
    "         [--pixel-aspect N] [--scale N/D] [--pattern NAME|FILE]\n"
    "         [--field-order tff|bff|progressive] [--size WxH] [--lossless]\n"
    "         [--codec NAME] [--crf N] [--pix-fmt NAME] [--threads N] [--quiet] [-y]\n"
    "\n"
    "Runs NAME over its input clips and writes the output clip. Clips are video\n"
    "files (anything FFmpeg reads), the built-in clips builtin:bars,\n"
    "builtin:motion and builtin:gradient, PAM field sequences (.pam, fields in\n"
    "time order) or PNG frames (one .png, or a numbered sequence such as\n"
    "in%04d.png, split into two fields each).\n"
    "  -o OUT            output clip: .mp4, .mov, .mkv (H.264 4:2:0), .avi (FFV1),\n"
    "                    .y4m (4:4:4), .pam, .png for one frame, out%04d.png\n"
    "  --range R         render only frames FIRST:LAST of the span (LAST included,\n"
    "                    empty: to the end) or the PART-th of PARTS equal shares,\n"
    "                    as a segment for fieldfx join: a .mkv (lossless, no\n"
    "                    audio) whose fields are those of the whole render\n";

const char kOutputHelp[] =
    "  --lossless        video output without loss: FFV1 4:4:4 with the opacity\n"
    "                    as alpha in .mkv and .avi, H.264 4:4:4 at qp 0 in\n"
    "                    .mp4 and .mov\n"
    "  --codec NAME      video encoder (an FFmpeg encoder name)\n"
    "  --crf N           constant rate factor of H.264 (default 16)\n"
    "  --pix-fmt NAME    encoder pixel format (an FFmpeg name, e.g. yuv422p)\n"
    "  --quiet           no progress bar (there is none when stderr is no terminal)\n"
    "A video output keeps the first input's frame rate, timestamps, field order,\n"
    "sample aspect and colour tags, with the audio of the input (a filter) or of\n"
    "the incoming clip over the span (a transition). A second input of another\n"
    "size, rate or field order is converted to the first's.\n"
    "The message's duration is twice the frames; positions count fields.\n";

}  // namespace

int renderCommand(const Words& words) {
    const Args args(words, effectOptions({{"--range", nullptr, true, false},
                                          {"--lossless", nullptr, false, false},
                                          {"--codec", nullptr, true, false},
                                          {"--crf", nullptr, true, false},
                                          {"--pix-fmt", nullptr, true, false},
                                          {"--quiet", "-q", false, false}}));
    if (args.help()) {
        std::fputs(kUsage, stdout);
        std::fputs(kEffectOptionsHelp, stdout);
        std::fputs(kOutputHelp, stdout);
        return 0;
    }
    EffectJob job = prepareJob(args, "render");
    const std::string output = args.value("--output");
    const std::unique_ptr<io::ClipWriter> writer =
        createWriter(output, job.clips, job.order, job.rate, job.firstField, job.fields, job.media,
                     job.segment ? &*job.segment : nullptr);
    const std::size_t first = job.segment ? job.segment->first : 0;
    const std::size_t fields = job.segment ? job.segment->count : job.fields;

    Progress progress(stderr, int64_t(fields), Progress::wanted(stderr, job.media.quiet));
    std::vector<uint32_t> positions(fields);
    std::iota(positions.begin(), positions.end(), uint32_t(first));
    runEffect(job, positions, [&](uint32_t p, io::Field& out) {
        try {
            writer->putSwapping(out);
        } catch (const io::IoError& e) {
            throw Error(ErrorKind::Output, e.what());
        }
        progress.update(int64_t(p - first) + 1);
    });
    progress.finish();
    try {
        writer->commit();
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    std::printf("%s: %zu fields (%zu frames) -> %s\n", job.module->name().c_str(), fields,
                fields / 2, output.c_str());
    return 0;
}

}  // namespace fieldfx::cli
