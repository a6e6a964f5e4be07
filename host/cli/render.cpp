// fieldfx render: an effect over whole clips. A filter renders its input
// from --start to the end (or --duration frames); a transition renders its
// span only: both inputs from --start, --duration defaulting to the shorter.
#include <sys/stat.h>

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>

#include "args.h"
#include "commands.h"
#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/runtime/error.h"
#include "progress.h"
#include "job.h"
#include "media.h"
#include "segment.h"
#include "fieldfx/video/source.h"

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
    "         [--codec NAME] [--crf N] [--pix-fmt NAME] [-f FORMAT] [--threads N]\n"
    "         [--quiet] [-y]\n"
    "\n"
    "Runs NAME over its input clips and writes the output clip. Clips are video\n"
    "files (anything FFmpeg reads), the built-in clips builtin:bars,\n"
    "builtin:motion and builtin:gradient, PAM field sequences (.pam, fields in\n"
    "time order) or PNG frames (one .png, or a numbered sequence such as\n"
    "in%04d.png, split into two fields each). -i - (or pipe:) reads standard\n"
    "input, which is read to its end before the render starts (y4m, nut, mkv and\n"
    "anything else FFmpeg recognises by its content).\n"
    "  -o OUT            output clip: .mp4, .mov, .mkv (H.264 4:2:0), .avi (FFV1),\n"
    "                    .y4m (4:4:4), .nut (uncompressed 4:4:4), .pam, .png for\n"
    "                    one frame, out%04d.png, out%06d.dpx (10-bit R'G'B'),\n"
    "                    out%06d.tif (16-bit R'G'B'); - (or pipe:) for standard\n"
    "                    output, with -f\n"
    "  --range R         render only frames FIRST:LAST of the span (LAST included,\n"
    "                    empty: to the end) or the PART-th of PARTS equal shares,\n"
    "                    as a segment for fieldfx join: a .mkv (lossless FFV1,\n"
    "                    or the final codec, see --join-into; no audio) whose\n"
    "                    fields are those of the whole render\n"
    "  --join-into OUT   with --range: the output the join will write; with\n"
    "                    --codec, --lossless and --pix-fmt its name selects the\n"
    "                    codec as -o does. A codec that codes every frame on its\n"
    "                    own (ProRes, DNxHR, FFV1 in .avi or .mkv --lossless, DPX,\n"
    "                    TIFF) is written into the segment as the whole render\n"
    "                    writes it, and the join copies the frames. --codec with\n"
    "                    a ProRes or DNxHR preset does so without --join-into\n"
    "  --reuse           with --range: keep OUT when it already holds this segment\n"
    "                    (the same build, settings, range and inputs' content)\n"
    "  --check-segment   with --range: only say whether OUT holds this segment\n"
    "                    (exit 0) or not (exit 3, with the reason)\n"
    "  --print-span      only print the number of frames of the span\n"
    "  --progress-lines  progress as lines on stderr for a log, \"progress: 40/80\n"
    "                    fields (50%)\", when the percentage changes (at most one\n"
    "                    a second), in place of the bar\n";

const char kOutputHelp[] =
    "  --lossless        video output without loss: FFV1 4:4:4 with the opacity\n"
    "                    as alpha in .mkv and .avi, H.264 4:4:4 at qp 0 in\n"
    "                    .mp4 and .mov\n"
    "  --codec NAME      video encoder (an FFmpeg encoder name), or a preset for\n"
    "                    .mov and .mkv: prores (ProRes 422 HQ), prores-4444\n"
    "                    (with the opacity as alpha), dnxhr-hq (8-bit 4:2:2),\n"
    "                    dnxhr-hqx (10-bit 4:2:2), dnxhr-444\n"
    "  -f FORMAT         the output's container where its name does not say:\n"
    "                    y4m, nut or mkv for a pipe (-o -), or any output type\n"
    "  --crf N           constant rate factor of H.264 (default 16)\n"
    "  --pix-fmt NAME    encoder pixel format (an FFmpeg name, e.g. yuv422p)\n"
    "  --quiet           no progress bar (there is none when stderr is no terminal)\n"
    "A video output keeps the first input's frame rate, timestamps, field order,\n"
    "sample aspect and colour tags, with the audio of the input (a filter) or of\n"
    "the incoming clip over the span (a transition), and its timecode where the\n"
    "container keeps one (.mov, .mkv). Files are written bit-exact: the same\n"
    "render writes the same bytes. A second input of another\n"
    "size, rate or field order is converted to the first's.\n"
    "The message's duration is twice the frames; positions count fields.\n";

// Why the file at `path` is not the segment a render would write now ("" when
// it is): the same build, effect, inputs' content, range and span.
std::string segmentDiffers(const std::string& path, const SegmentOutput& segment) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return "there is no " + path;
    Tags tags;
    try {
        tags = video::containerTags(path);
    } catch (const video::VideoError& e) {
        return e.what();
    }
    for (const char* key :
         {"FIELDFX_BUILD", "FIELDFX_EFFECT", "FIELDFX_INPUTS", "FIELDFX_RANGE", "FIELDFX_FRAMES",
          "FIELDFX_CODED"}) {
        const auto it = tags.find(key);
        const std::string have = it == tags.end() ? "" : it->second;
        const std::string& want = segment.tags.at(key);
        if (have == want) continue;
        if (std::string(key) == "FIELDFX_INPUTS")
            return path + " was rendered from other input: " + changedInput(want, have);
        return path + " belongs to another render (its " + key + " differs)";
    }
    return "";
}

// The output written on a thread of its own: encoding a frame runs beside
// the workers that render the next ones and beside the reading ahead. The
// fields wait in a short queue whose buffers go round (each field put is
// exchanged for one the writer is done with).
class WriterThread {
public:
    WriterThread(io::ClipWriter& writer, std::size_t depth) : writer_(writer), queue_(depth) {
        thread_ = std::thread([this] { run(); });
    }
    ~WriterThread() {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            abandon_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    // Queues `field`, taking its buffer; rethrows a failure of the writer.
    void put(io::Field& field) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return count_ < queue_.size() || error_; });
        if (error_) std::rethrow_exception(error_);
        std::swap(queue_[(head_ + count_) % queue_.size()], field);
        ++count_;
        hold.unlock();
        changed_.notify_all();
    }

    // Waits until every queued field is written; rethrows a failure.
    void finish() {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            ending_ = true;
        }
        changed_.notify_all();
        thread_.join();
        if (error_) std::rethrow_exception(error_);
    }

private:
    void run() {
        for (;;) {
            io::Field* field = nullptr;
            {
                std::unique_lock<std::mutex> hold(lock_);
                changed_.wait(hold, [&] { return count_ > 0 || ending_ || abandon_; });
                if (abandon_ || count_ == 0) return;
                field = &queue_[head_];  // put() never touches this slot while it is counted
            }
            try {
                writer_.putSwapping(*field);
            } catch (...) {
                const std::lock_guard<std::mutex> hold(lock_);
                error_ = std::current_exception();
                changed_.notify_all();
                return;
            }
            {
                const std::lock_guard<std::mutex> hold(lock_);
                head_ = (head_ + 1) % queue_.size();
                --count_;
            }
            changed_.notify_all();
        }
    }

    io::ClipWriter& writer_;
    std::vector<io::Field> queue_;
    std::size_t head_ = 0, count_ = 0;
    bool ending_ = false, abandon_ = false;
    std::exception_ptr error_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::thread thread_;
};

}  // namespace

int renderCommand(const Words& words) {
    const Args args(words, effectOptions({{"--range", nullptr, true, false},
                                          {"--lossless", nullptr, false, false},
                                          {"--codec", nullptr, true, false},
                                          {"--crf", nullptr, true, false},
                                          {"--pix-fmt", nullptr, true, false},
                                          {"--format", "-f", true, false},
                                          {"--reuse", nullptr, false, false},
                                          {"--check-segment", nullptr, false, false},
                                          {"--print-span", nullptr, false, false},
                                          {"--join-into", nullptr, true, false},
                                          {"--progress-lines", nullptr, false, false},
                                          {"--quiet", "-q", false, false}}));
    if (args.help()) {
        std::fputs(kUsage, stdout);
        std::fputs(kEffectOptionsHelp, stdout);
        std::fputs(kOutputHelp, stdout);
        return 0;
    }
    EffectJob job = prepareJob(args, "render");
    const std::string output = args.value("--output");
    if (args.has("--print-span")) {
        std::printf("%zu\n", job.fields / 2);
        return 0;
    }
    const bool check = args.has("--check-segment");
    if ((args.has("--reuse") || check || args.has("--join-into")) && !job.segment)
        throw Error(ErrorKind::Usage, "--reuse, --check-segment and --join-into go with --range");
    if (job.segment) {
        job.segment->joinInto = args.value("--join-into");
        job.segment->tags["FIELDFX_CODED"] = segmentCoding(*job.segment, job.media);
    }
    if (args.has("--reuse") || check) {
        // The segment file is read to compare it and then forgotten as an
        // input, so that a stale one can be replaced: first make sure it is
        // not one of the render's real inputs.
        try {
            io::refuseInputTarget(output);
        } catch (const io::IoError& e) {
            throw Error(ErrorKind::Output, e.what());
        }
        const std::string why = segmentDiffers(output, *job.segment);
        io::forgetInputFile(output);
        if (check && !why.empty()) throw Error(ErrorKind::Input, why);
        if (why.empty()) {
            std::printf("%s: %s already holds this segment\n", job.module->name().c_str(),
                        output.c_str());
            return 0;
        }
        job.media.output.replace = true;  // a stale segment gives way
    }
    const std::unique_ptr<io::ClipWriter> writer =
        createWriter(output, job.clips, job.order, job.rate, job.firstField, job.fields, job.media,
                     job.segment ? &*job.segment : nullptr);
    const std::size_t first = job.segment ? job.segment->first : 0;
    const std::size_t fields = job.segment ? job.segment->count : job.fields;

    Progress progress(stderr, int64_t(fields), Progress::wanted(stderr, job.media.quiet));
    if (args.has("--progress-lines")) progress.writeLines();
    std::vector<uint32_t> positions(fields);
    std::iota(positions.begin(), positions.end(), uint32_t(first));
    // With more than one thread the output is written on its own.
    std::optional<WriterThread> writing;
    if (job.threads > 1 && fields > 2) writing.emplace(*writer, 8);
    runEffect(job, positions, [&](uint32_t p, io::Field& out) {
        try {
            if (writing) writing->put(out);
            else writer->putSwapping(out);
        } catch (const io::IoError& e) {
            throw Error(ErrorKind::Output, e.what());
        }
        progress.update(int64_t(p - first) + 1);
    });
    try {
        if (writing) writing->finish();
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    progress.finish();
    for (const std::string& note : seekNotes(job.clips))
        std::fprintf(stderr, "fieldfx: note: %s\n", note.c_str());
    try {
        writer->commit();
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    // Standard output may be the video itself.
    std::fprintf(video::pipeDescriptor(output, 1) == 1 ? stderr : stdout,
                 "%s: %zu fields (%zu frames) -> %s\n", job.module->name().c_str(), fields,
                 fields / 2, output.c_str());
    return 0;
}

}  // namespace fieldfx::cli
