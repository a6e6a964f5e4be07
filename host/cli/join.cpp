// fieldfx join: the segments of a render split by --range, put together into
// the output one machine would have written: the fields in order, with the
// whole render's timestamps, field order, colour tags and audio.
#include <cstdio>

#include "args.h"
#include "commands.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/video/source.h"
#include "media.h"
#include "progress.h"
#include "segment.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

const char kHelp[] =
    "usage: fieldfx join -o OUT SEGMENT... [--lossless] [--codec NAME] [--crf N]\n"
    "         [--pix-fmt NAME] [--quiet] [-y]\n"
    "\n"
    "Puts together the segments that fieldfx render --range wrote (in any order)\n"
    "and writes OUT as a render of the whole span would have: the same fields,\n"
    "timestamps, field order, sample aspect, colour tags and audio. The segments\n"
    "must come from one render (the same fieldfx build, operator module, settings,\n"
    "inputs and span) and hold every frame of the span once; otherwise nothing is\n"
    "written. A lossless OUT (.mkv --lossless, .pam) holds exactly the fields of\n"
    "the single render (.mkv --lossless takes the segments' frames as they are,\n"
    "without decoding them); other outputs are encoded once, as render encodes\n"
    "them. Segments rendered in the output's own codec (render --join-into OUT,\n"
    "or --codec with a ProRes or DNxHR preset) are copied into it without\n"
    "decoding: the same file, or image files, as the single render.\n"
    "  -o OUT            .mp4, .mov, .mkv, .avi, .y4m, .nut, .pam, out%06d.dpx,\n"
    "                    out%06d.tif, - with -f (see fieldfx render)\n"
    "  --lossless, --codec NAME, --crf N, --pix-fmt NAME, -f FORMAT: as for\n"
    "                    fieldfx render\n"
    "  --quiet           no progress bar\n"
    "  -y                replace an existing output\n";

io::FieldOrder orderOf(video::Scan scan) {
    return scan == video::Scan::BottomFirst ? io::FieldOrder::BottomFirst
                                            : io::FieldOrder::TopFirst;
}

std::unique_ptr<video::Source> openSegment(const std::string& path, video::Scan scan) {
    video::SourceOptions options;
    options.scan = scan;
    try {
        return video::openSource(path, options);
    } catch (const video::VideoError& e) {
        throw Error(ErrorKind::Input, e.what());
    }
}

}  // namespace

int joinCommand(const Words& words) {
    const Args args(words, {{"--output", "-o", true, false},
                            {"--lossless", nullptr, false, false},
                            {"--codec", nullptr, true, false},
                            {"--crf", nullptr, true, false},
                            {"--pix-fmt", nullptr, true, false},
                            {"--format", "-f", true, false},
                            {"--quiet", "-q", false, false},
                            {"--yes", "-y", false, false}});
    if (args.help()) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (!args.has("--output")) throw Error(ErrorKind::Usage, "no output (-o OUT)");
    const std::string output = args.value("--output");
    const MediaOptions media = readMediaOptions(args);

    std::vector<Segment> segments;
    for (const std::string& path : args.positional()) {
        // The tags alone: a segment's frames are decoded, if at all, when
        // they are joined.
        Tags tags;
        try {
            tags = video::containerTags(path);
        } catch (const video::VideoError& e) {
            throw Error(ErrorKind::Input, e.what());
        }
        segments.push_back(readSegment(path, tags));
    }
    segments = orderSegments(std::move(segments));
    // The segments must be of the inputs as they are now, whose audio the
    // output takes.
    if (const std::string changed = inputsChangedSince(segments.front().identity.at("FIELDFX_INPUTS"));
        !changed.empty())
        throw Error(ErrorKind::Input, "the segments were rendered from other input than there is "
                                      "now: " + changed + "; render them again");

    const Segment& whole = segments.front();
    const std::size_t fields = std::size_t(whole.frames) * 2;
    const video::OutputOptions& out = media.output;
    // Segments in the output's own codec (written with render --join-into,
    // or --codec with a ProRes or DNxHR preset) are copied packet for packet
    // into its container or image files: the single render's output.
    bool copyCoded = false;
    if (const std::string& coded = whole.identity.at("FIELDFX_CODED");
        !coded.empty() && !isFieldFileName(output)) {
        try {
            copyCoded = video::intraCoding(video::chooseOutputFormat(output, out)) == coded;
        } catch (const video::VideoError& e) {
            throw Error(ErrorKind::Output, e.what());
        }
    }
    // A lossless .mkv takes the FFV1 frames of lossless segments as they
    // are. They hold limited-range pixels, as the single render does unless
    // its source is full-range.
    const bool copy = !copyCoded && whole.identity.at("FIELDFX_CODED").empty() &&
                      output.size() > 4 && output.compare(output.size() - 4, 4, ".mkv") == 0 &&
                      out.lossless && out.codec.empty() && out.pixelFormat.empty() &&
                      whole.format.colour.range != 2 &&
                      video::videoFormatOf(whole.path).rfind("ffv1 ", 0) == 0;
    std::unique_ptr<io::ClipWriter> fieldFile;
    std::unique_ptr<video::VideoOutput> video;
    try {
        if (isFieldFileName(output))
            fieldFile = io::ClipWriter::create(output, orderOf(whole.format.scan), fields,
                                               out.replace);
        else if (copy)
            video = std::make_unique<video::VideoOutput>(output, whole.format, whole.path,
                                                         out.replace, whole.audio);
        else if (copyCoded) {
            video::OutputOptions copying = out;
            copying.copyPackets = true;
            video = std::make_unique<video::VideoOutput>(output, whole.format, copying, whole.audio);
        }
        else
            video = std::make_unique<video::VideoOutput>(output, whole.format, out, whole.audio);
    } catch (const std::runtime_error& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    Progress progress(stderr, int64_t(fields), Progress::wanted(stderr, media.quiet));
    int64_t done = 0;
    for (const Segment& s : segments) {
        if (copy || copyCoded) {
            try {
                video->copyFrames(s.path, s.pts);
            } catch (const video::VideoError& e) {
                throw Error(ErrorKind::Input, e.what());
            }
            progress.update(done += int64_t(2 * s.pts.size()));
            continue;
        }
        const std::unique_ptr<video::Source> source = openSegment(s.path, whole.format.scan);
        if (source->info().frames != int64_t(s.pts.size()))
            throw Error(ErrorKind::Input, s.path + " holds " +
                                              std::to_string(source->info().frames) +
                                              " frames where its range " +
                                              std::to_string(s.range.first) + ":" +
                                              std::to_string(s.range.last) + " needs " +
                                              std::to_string(s.pts.size()));
        video::Frame frame;
        for (int64_t pts : s.pts) {
            try {
                if (!source->read(frame))
                    throw Error(ErrorKind::Input, s.path + " ends before its last frame");
            } catch (const video::VideoError& e) {
                throw Error(ErrorKind::Input, e.what());
            }
            try {
                if (video) {
                    video->write(frame.first, frame.second, pts);
                } else {
                    fieldFile->put(frame.first);
                    fieldFile->put(frame.second);
                }
            } catch (const std::runtime_error& e) {
                throw Error(ErrorKind::Output, e.what());
            }
            progress.update(done += 2);
        }
    }
    progress.finish();
    try {
        if (fieldFile) {
            fieldFile->commit();
        } else {
            video->finish();
            for (const std::string& note : video->notes())
                std::fprintf(stderr, "fieldfx: note: %s\n", note.c_str());
        }
    } catch (const std::runtime_error& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    std::fprintf(video::pipeDescriptor(output, 1) == 1 ? stderr : stdout,
                 "join: %zu segments, %zu fields (%zu frames%s) -> %s\n", segments.size(), fields,
                 fields / 2, copy || copyCoded ? ", copied" : "", output.c_str());
    return 0;
}

}  // namespace fieldfx::cli
