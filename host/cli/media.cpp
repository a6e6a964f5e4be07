#include "media.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <set>
#include <sstream>

#include "fieldfx/runtime/error.h"
#include "fieldfx/video/field_reader.h"
#include "options.h"
#include "segment.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A video file or built-in clip as a clip of fields, optionally converted to
// match another clip.
class VideoClipReader final : public io::ClipReader {
public:
    VideoClipReader(const std::string& name, const video::SourceOptions& options)
        : reader_(std::make_unique<video::FieldReader>(name, options)) {
        path_ = name;
        refresh();
    }

    std::size_t fieldCount() const override { return std::size_t(source().fieldCount()); }
    const io::Field& field(std::size_t index) override {
        try {
            return source().field(int64_t(index));
        } catch (const video::VideoError& e) {
            throw io::IoError(e.what());
        }
    }

    void takeField(std::size_t index, io::Field& into) override {
        if (conformed_) return io::ClipReader::takeField(index, into);
        try {
            reader_->takeField(int64_t(index), into);
        } catch (const video::VideoError& e) {
            throw io::IoError(e.what());
        }
    }

    std::unique_ptr<io::LaterField> takeLater(std::size_t index) override {
        if (conformed_) return nullptr;
        try {
            std::shared_ptr<const video::FrameFields> frame;
            int which = 0;
            if (!reader_->takeLater(int64_t(index), frame, which)) return nullptr;
            return std::make_unique<Later>(std::move(frame), which);
        } catch (const video::VideoError& e) {
            throw io::IoError(e.what());
        }
    }

    // The clip as delivered, and as the file has it.
    const video::ClipInfo& info() const { return source().info(); }
    const video::ClipInfo& fileInfo() const { return reader_->info(); }

    // The timestamp (in the file's time base) of the frame that field
    // `index` comes from.
    int64_t ptsOfField(std::size_t index) {
        const int64_t i = conformed_ ? conformed_->sourceIndex(int64_t(index)) : int64_t(index);
        try {
            return reader_->pts(i / 2);
        } catch (const video::VideoError& e) {
            throw Error(ErrorKind::Input, e.what());
        }
    }

    // Why frames were reached by reading from the start ("" if they were not).
    const std::string& seekNote() const { return reader_->seekNote(); }

    void conform(const video::ClipInfo& target) {
        conformed_ = std::make_unique<video::ConformedReader>(*reader_, target);
        refresh();
    }

private:
    class Later final : public io::LaterField {
    public:
        Later(std::shared_ptr<const video::FrameFields> frame, int which)
            : frame_(std::move(frame)), which_(which) {}
        void make(io::Field& into) override {
            try {
                frame_->field(which_, into);
            } catch (const video::VideoError& e) {
                throw io::IoError(e.what());
            }
        }

    private:
        std::shared_ptr<const video::FrameFields> frame_;
        int which_;
    };

    video::FieldSource& source() const {
        if (conformed_) return *conformed_;
        return *reader_;
    }
    void refresh() {
        width_ = info().width;
        height_ = info().fieldHeight();
    }

    std::unique_ptr<video::FieldReader> reader_;
    std::unique_ptr<video::ConformedReader> conformed_;
};

// Fields put one by one, written as frames in pairs.
class VideoClipWriter final : public io::ClipWriter {
public:
    VideoClipWriter(const std::string& path, const video::ClipInfo& format,
                    const video::OutputOptions& options, const video::AudioSpan& audio,
                    std::function<int64_t(int64_t)> ptsOfFrame)
        : output_(path, format, options, audio), ptsOfFrame_(std::move(ptsOfFrame)) {}

    void put(const io::Field& field) override {
        if (!pending_) {
            first_ = field;
            pending_ = true;
            return;
        }
        write(field);
    }
    void putSwapping(io::Field& field) override {
        if (!pending_) {
            std::swap(first_, field);
            pending_ = true;
            return;
        }
        write(field);
    }

    void commit() override {
        try {
            output_.finish();
        } catch (const video::VideoError& e) {
            throw io::IoError(e.what());
        }
        for (const std::string& note : output_.notes())
            std::fprintf(stderr, "fieldfx: note: %s\n", note.c_str());
    }

private:
    void write(const io::Field& field) {
        try {
            output_.write(first_, field, ptsOfFrame_(frames_));
        } catch (const video::VideoError& e) {
            throw io::IoError(e.what());
        }
        ++frames_;
        pending_ = false;
    }

    video::VideoOutput output_;
    std::function<int64_t(int64_t)> ptsOfFrame_;
    io::Field first_;
    bool pending_ = false;
    int64_t frames_ = 0;
};

VideoClipReader* asVideo(const io::ClipReader& clip) {
    return dynamic_cast<VideoClipReader*>(const_cast<io::ClipReader*>(&clip));
}

int64_t microseconds(int64_t pts, video::Rational base) {
    return base.den == 0 ? 0 : pts * 1000000 * base.num / base.den;
}

// A frame rate as a ratio: whole numbers and the NTSC family exactly.
video::Rational rationalRate(double rate) {
    for (int den : {1, 1001}) {
        const double n = rate * den;
        const long rounded = std::lround(n);
        if (std::fabs(n - double(rounded)) < 1e-6 && rounded > 0) return {int(rounded), den};
    }
    return {int(std::lround(rate * 1000)), 1000};
}

}  // namespace

MediaOptions readMediaOptions(const Args& args) {
    MediaOptions m;
    if (args.has("--field-order"))
        m.scan = runtime::parseScan("--field-order", args.value("--field-order"));
    // The built-in clips are at least 16x16 (the video library's own limit).
    if (args.has("--size")) {
        const runtime::Size size = runtime::parseSize("--size", args.value("--size"), {16, 16});
        m.width = size.width;
        m.height = size.height;
    }
    for (const char* option : {"--codec", "--pix-fmt"})
        if (args.has(option) && args.value(option).empty())
            throw Error(ErrorKind::Usage,
                        std::string(option) + " takes a name (an empty one given)");
    m.output.lossless = args.has("--lossless");
    m.output.codec = args.value("--codec");
    m.output.pixelFormat = args.value("--pix-fmt");
    if (args.has("--crf")) m.output.crf = int(parseCount("--crf", args.value("--crf"), 63));
    m.output.replace = args.has("--yes");
    m.output.container = args.value("--format");
    if (args.has("--format") && !video::isContainerName(m.output.container))
        throw Error(ErrorKind::Usage, "-f " + m.output.container +
                                          ": unknown container; choose one of " +
                                          video::containerChoices());
    m.quiet = args.has("--quiet");
    return m;
}

bool isFieldFileName(const std::string& name) {
    return endsWith(name, ".pam") || endsWith(name, ".png");
}

std::vector<std::string> inputNames(const Args& args, bool filter) {
    std::vector<std::string> names = args.values("--input");
    if (names.empty()) {
        names.push_back("builtin:motion");
        if (!filter) names.push_back("builtin:bars");
    }
    return names;
}

std::unique_ptr<io::ClipReader> openClip(const std::string& name, io::FieldOrder order,
                                         const MediaOptions& options) {
    try {
        if (isFieldFileName(name)) return io::ClipReader::open(name, order);
        video::SourceOptions source;
        source.scan = options.scan;
        source.width = options.width;
        source.height = options.height;
        source.frames = options.builtinFrames;
        if (const int fd = video::pipeDescriptor(name, 0); fd >= 0) {
            // A pipe is read to its end first: the render needs the clip's
            // length before its first field, and the reader may open it again.
            static std::set<int> read;
            source.label = fd == 0 ? "standard input" : name;
            if (!read.insert(fd).second)
                throw Error(ErrorKind::Usage, source.label + " is given twice as an input");
            return std::make_unique<VideoClipReader>(video::storePipe(fd, source.label), source);
        }
        return std::make_unique<VideoClipReader>(name, source);
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Input, e.what());
    } catch (const video::VideoError& e) {
        throw Error(ErrorKind::Input, e.what());
    }
}

video::ClipInfo describeClip(const io::ClipReader& clip, io::FieldOrder order, double rate) {
    if (const VideoClipReader* v = asVideo(clip)) return v->info();
    video::ClipInfo info;
    info.name = clip.path();
    info.width = clip.fieldWidth();
    info.height = 2 * clip.fieldHeight();
    info.frameRate = rationalRate(rate > 0.0 ? rate : 25.0);
    info.timeBase = {info.frameRate.den, info.frameRate.num};
    info.scan = order == io::FieldOrder::BottomFirst ? video::Scan::BottomFirst
                                                     : video::Scan::TopFirst;
    info.sampleAspect = {1, 1};
    info.frames = int64_t(clip.fieldCount() / 2);
    return info;
}

io::FieldOrder fieldOrderOf(const io::ClipReader& first, io::FieldOrder given) {
    if (const VideoClipReader* v = asVideo(first))
        return v->info().scan == video::Scan::BottomFirst ? io::FieldOrder::BottomFirst
                                                          : io::FieldOrder::TopFirst;
    return given;
}

double frameRateOf(const io::ClipReader& clip) {
    if (const VideoClipReader* v = asVideo(clip)) return v->info().frameRate.value();
    return 0.0;
}

int16_t pixelAspectOf(const io::ClipReader& first) {
    if (const VideoClipReader* v = asVideo(first))
        return int16_t(video::pixelAspectOf(v->fileInfo().sampleAspect));
    return 1000;
}

bool conformSecondInput(const io::ClipReader& first, io::ClipReader& second,
                        io::FieldOrder order, double rate) {
    VideoClipReader* v = asVideo(second);
    if (v == nullptr) return false;
    const video::ClipInfo target = describeClip(first, order, rate);
    if (!video::needsConforming(target, v->info())) return false;
    v->conform(target);
    return true;
}

std::vector<std::string> seekNotes(const std::vector<std::unique_ptr<io::ClipReader>>& clips) {
    std::vector<std::string> notes;
    for (const auto& clip : clips)
        if (const VideoClipReader* v = asVideo(*clip); v != nullptr && !v->seekNote().empty())
            notes.push_back(clip->path() + ": the frames before the first one needed were decoded "
                            "from its start, since it cannot seek exactly: " + v->seekNote());
    return notes;
}

std::string segmentCoding(const SegmentOutput& segment, const MediaOptions& options) {
    if (segment.joinInto.empty() && !video::isIntraPreset(options.output.codec)) return "";
    video::OutputOptions final = options.output;
    final.container.clear();
    try {
        return video::intraCoding(
            video::chooseOutputFormat(segment.joinInto.empty() ? "segment.mkv" : segment.joinInto,
                                      final));
    } catch (const video::VideoError& e) {
        throw Error(ErrorKind::Usage, std::string("--join-into: ") + e.what());
    }
}

std::unique_ptr<io::ClipWriter> createWriter(
    const std::string& path, const std::vector<std::unique_ptr<io::ClipReader>>& clips,
    io::FieldOrder order, double rate, std::size_t firstField, std::size_t fields,
    const MediaOptions& options, const SegmentOutput* segment) {
    if (segment != nullptr && !endsWith(path, ".mkv"))
        throw Error(ErrorKind::Usage, "-o " + path + ": a part of the span (--range) is written "
                                      "as a lossless segment, into a .mkv");
    try {
        if (isFieldFileName(path))
            return io::ClipWriter::create(path, order, fields, options.output.replace);

        video::ClipInfo format = describeClip(*clips[0], order, rate);
        const int64_t frames = int64_t(fields / 2);
        // The timecode of the output's first frame.
        if (const auto tc = format.tags.find("timecode"); tc != format.tags.end() && firstField > 0)
            tc->second = video::timecodeAfter(tc->second, format.frameRate, int64_t(firstField / 2));
        format.frames = frames;
        VideoClipReader* first = asVideo(*clips[0]);
        std::function<int64_t(int64_t)> ptsOfFrame = [](int64_t k) { return k; };
        if (first != nullptr)
            ptsOfFrame = [first, firstField](int64_t k) {
                return first->ptsOfField(firstField + 2 * std::size_t(k));
            };
        // The output's span in time, from its first frame.
        const int64_t spanStart = microseconds(ptsOfFrame(0), format.timeBase);
        const int64_t spanLength =
            frames * 1000000 * format.frameRate.den / std::max(1, format.frameRate.num);

        video::AudioSpan audio;
        if (clips.size() == 1) {
            if (first != nullptr && first->fileInfo().audio) {
                audio.source = first->path();
                // The whole clip keeps all its audio, priming included.
                if (firstField > 0) audio.from = spanStart;
                if (firstField + fields < clips[0]->fieldCount()) audio.to = spanStart + spanLength;
            }
        } else if (VideoClipReader* incoming = asVideo(*clips[1]);
                   incoming != nullptr && incoming->fileInfo().audio) {
            // The incoming clip's audio over the transition's span.
            audio.source = incoming->path();
            audio.from = microseconds(incoming->ptsOfField(firstField),
                                      incoming->fileInfo().timeBase);
            audio.to = audio.from + spanLength;
            audio.shift = spanStart - audio.from;
        }
        if (segment == nullptr)
            return std::make_unique<VideoClipWriter>(path, format, options.output, audio,
                                                     ptsOfFrame);

        // The segment: the whole output described in its tags, its frames
        // stored as they are (limited range, opacity as alpha) without audio.
        const int64_t firstFrame = int64_t(segment->first / 2);
        std::vector<int64_t> pts(segment->count / 2);
        for (std::size_t k = 0; k < pts.size(); ++k) pts[k] = ptsOfFrame(firstFrame + int64_t(k));
        video::OutputOptions lossless;
        lossless.lossless = true;
        lossless.replace = options.output.replace;
        video::ClipInfo stored = format;
        stored.frames = int64_t(pts.size());
        // A final codec whose frames are coded one by one is written as it
        // is, for the join to copy: the encoder of the final output with its
        // profile, pixel format and colour range.
        const auto coded = segment->tags.find("FIELDFX_CODED");
        if (coded != segment->tags.end() && !coded->second.empty()) {
            std::istringstream words(coded->second);
            std::string encoder, profile;
            words >> encoder >> profile >> lossless.pixelFormat;
            lossless.lossless = false;
            lossless.codec = video::isIntraPreset(options.output.codec) ? options.output.codec
                                                                         : encoder;
            if (video::intraCoding(video::chooseOutputFormat(path, lossless)) != coded->second)
                throw Error(ErrorKind::Usage, "-o " + path + ": a segment cannot hold " +
                                                  coded->second + " frames");
        } else {
            // Lossless FFV1 that the join decodes: limited-range pixels.
            stored.colour.range = 1;
        }
        lossless.tags = segment->tags;
        lossless.tags["FIELDFX_FORMAT"] = cli::formatTag(format);
        lossless.tags["FIELDFX_AUDIO"] = cli::audioTag(audio);
        if (const auto tc = format.tags.find("timecode"); tc != format.tags.end())
            lossless.tags["FIELDFX_TIMECODE"] = tc->second;
        lossless.tags["FIELDFX_PTS"] = cli::ptsTag(pts);
        return std::make_unique<VideoClipWriter>(
            path, stored, lossless, video::AudioSpan{},
            [pts](int64_t k) { return pts[std::size_t(k)]; });
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    } catch (const video::VideoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
}

}  // namespace fieldfx::cli
