// Encoding fields as frames and muxing them with the copied audio.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

#include "audio_copy.h"
#include "av.h"
#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/fieldio/sequence.h"
#include "fieldfx/video/output.h"
#include "frame_fields.h"

extern "C" {
#include <libavutil/crc.h>
#include <libavutil/opt.h>
}

namespace fieldfx::video {

namespace {

// libavformat writes through these into the temporary file.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
int writeBytes(void* opaque, const uint8_t* data, int size) {
#else
int writeBytes(void* opaque, uint8_t* data, int size) {
#endif
    auto* file = static_cast<std::FILE*>(opaque);
    errno = 0;
    if (std::fwrite(data, 1, std::size_t(size), file) == std::size_t(size)) return size;
    // The reason, "No space left on device" above all, rather than a bare I/O error.
    return AVERROR(errno != 0 ? errno : EIO);
}

// ... or straight into a pipe, as the frames come.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
int writePipe(void* opaque, const uint8_t* data, int size) {
#else
int writePipe(void* opaque, uint8_t* data, int size) {
#endif
    const int fd = *static_cast<int*>(opaque);
    for (int done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, std::size_t(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return AVERROR(errno);
        done += int(n);
    }
    return size;
}

int64_t seekBytes(void* opaque, int64_t offset, int whence) {
    auto* file = static_cast<std::FILE*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat st;
        if (std::fflush(file) != 0 || fstat(fileno(file), &st) != 0) return AVERROR(EIO);
        return st.st_size;
    }
    if (fseeko(file, offset, whence & ~AVSEEK_FORCE) != 0) return AVERROR(EIO);
    return ftello(file);
}

AVRational rational(Rational r) { return {r.num, r.den}; }

}  // namespace

struct VideoOutput::State {
    std::string path;
    OutputFormat format;
    ClipInfo clip;
    std::unique_ptr<io::OutputFile> file;
    int pipe = -1;  // the descriptor of a pipe output
    // An image sequence: the files of its frames, one a frame.
    io::NumberedName numbered;
    bool isNumbered = false;
    std::vector<std::unique_ptr<io::OutputFile>> frameFiles;
    int64_t images = 0;  // frames written
    bool copying = false;  // an encoder describes the stream; its frames are copied
    int partFormat = -1;   // copying: the pixel format the first part decodes to
    bool replace = false;
    AVIOContext* io = nullptr;
    AVFormatContext* mux = nullptr;
    av::CodecPtr encoder;
    // Copying instead: the video stream's parameters, those of every part.
    std::unique_ptr<AVCodecParameters, void (*)(AVCodecParameters*)> copied{
        nullptr, [](AVCodecParameters* p) { avcodec_parameters_free(&p); }};
    AVStream* video = nullptr;
    std::unique_ptr<FrameWeaver> weaver;
    av::FramePtr frame;
    av::PacketPtr packet = av::allocPacket();
    std::unique_ptr<AudioCopier> audio;
    std::vector<std::string> notes;
    int64_t lastPts = INT64_MIN;
    bool finished = false;

    ~State() { closeContainer(); }  // file's destructor removes the file unless committed

    void closeContainer() {
        audio.reset();
        if (mux != nullptr) avformat_free_context(mux);
        mux = nullptr;
        video = nullptr;
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }

    // The container with the encoder's stream and the span's audio, checked
    // by the muxer; a negative result says why it refuses them.
    int openContainer(const AVOutputFormat* muxer, const AudioSpan& span,
                      const std::map<std::string, std::string>& tags) {
        if (int r = avformat_alloc_output_context2(&mux, muxer, nullptr, path.c_str()); r < 0)
            fail("cannot set up the container", r);
        constexpr int kBufferSize = 1 << 16;
        auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
        if (buffer == nullptr) io = nullptr;
        else if (pipe >= 0) io = avio_alloc_context(buffer, kBufferSize, 1, &pipe, nullptr, writePipe, nullptr);
        else io = avio_alloc_context(buffer, kBufferSize, 1, file->stream(), nullptr, writeBytes, seekBytes);
        if (io == nullptr) {
            av_free(buffer);
            throw VideoError("out of memory");
        }
        if (pipe >= 0) io->seekable = 0;
        mux->pb = io;
        // No version strings, dates or random identifiers: the same job
        // writes the same bytes.
        mux->flags |= AVFMT_FLAG_BITEXACT;
        for (const auto& [key, value] : tags) av_dict_set(&mux->metadata, key.c_str(), value.c_str(), 0);
        // Matroska and AVI store a stream that starts before zero (the
        // priming packet of AAC audio) as it is; shifting every stream
        // instead would move the video's timestamps.
        if (format.muxer == "matroska" || format.muxer == "avi")
            mux->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
        video = avformat_new_stream(mux, nullptr);
        if (video == nullptr) throw VideoError("out of memory");
        // The timecode of the first frame, where the container keeps one
        // (a tmcd track in .mov, a tag in .mkv).
        if (const auto tc = clip.tags.find("timecode"); tc != clip.tags.end())
            av_dict_set(&video->metadata, "timecode", tc->second.c_str(), 0);
        if (encoder) {
            avcodec_parameters_from_context(video->codecpar, encoder.get());
            video->time_base = encoder->time_base;
            video->avg_frame_rate = encoder->framerate;
            video->sample_aspect_ratio = encoder->sample_aspect_ratio;
        } else if (avcodec_parameters_copy(video->codecpar, copied.get()) < 0) {
            throw VideoError("out of memory");
        } else {
            video->time_base = rational(clip.timeBase);
            video->avg_frame_rate = rational(clip.frameRate);
            video->sample_aspect_ratio = video->codecpar->sample_aspect_ratio;
        }
        audio = std::make_unique<AudioCopier>(span, mux, notes);
        return avformat_init_output(mux, nullptr);
    }

    // The format the name and options select, and the temporary file.
    void create(const std::string& target, const ClipInfo& format, const OutputOptions& options) {
        av::installLogCapture();
        av::takeLogError();
        this->format = chooseOutputFormat(target, options);
        path = target;
        clip = format;
        replace = options.replace;
        pipe = pipeDescriptor(target, 1);
        if (pipe >= 0) {
            path = pipe == 1 ? "standard output" : target;
            // A reader that goes away ends the render with an error naming
            // the pipe (EPIPE), instead of a silent death by SIGPIPE.
            std::signal(SIGPIPE, SIG_IGN);
            return;
        }
        try {
            if (this->format.sequence) {
                createSequence();
                return;
            }
            file = std::make_unique<io::OutputFile>(path, options.replace);
        } catch (const io::IoError& e) {
            throw VideoError(e.what());
        }
    }

    // The files of an image sequence are checked now (none may exist unless
    // replaced) and created one a frame; they are moved into place together
    // when the sequence is finished.
    void createSequence() {
        isNumbered = io::NumberedName::parse(path, numbered);
        if (!isNumbered && clip.frames != 1)
            throw VideoError("cannot write '" + path + "': one file holds one frame, the output has " +
                             std::to_string(clip.frames) + " (use a numbered name such as out%06d" +
                             path.substr(path.rfind('.')) + ")");
        struct stat st;
        for (int64_t k = 0; k < clip.frames && !replace; ++k)
            if (stat(frameName(k).c_str(), &st) == 0)
                throw VideoError(frameName(k) + ": exists (use -y to replace it)");
        frameFiles.push_back(std::make_unique<io::OutputFile>(frameName(0), replace));
    }

    std::string frameName(int64_t k) const {
        return isNumbered ? numbered.format(std::size_t(k)) : path;
    }

    // One encoded frame of a sequence into its own file.
    void writeImage(const AVPacket& p) {
        const std::size_t k = std::size_t(images++);
        try {
            if (k >= std::size_t(clip.frames)) throw io::IoError(path + ": more frames than announced");
            while (frameFiles.size() <= k)
                frameFiles.push_back(std::make_unique<io::OutputFile>(
                    frameName(int64_t(frameFiles.size())), replace));
            io::OutputFile& out = *frameFiles[k];
            if (std::fwrite(p.data, 1, std::size_t(p.size), out.stream()) != std::size_t(p.size))
                throw io::IoError(out.target() + ": cannot write: " + std::strerror(errno));
            out.close();
        } catch (const io::IoError& e) {
            throw VideoError(e.what());
        }
    }

    // The container with the video stream and, when it takes it, the audio;
    // its header written.
    void start(const AudioSpan& span, const std::map<std::string, std::string>& tags) {
        if (format.sequence) {
            if (!span.source.empty())
                notes.push_back("the audio of '" + span.source + "' is left out: an image "
                                "sequence holds none");
            return;
        }
        const AVOutputFormat* muxer = av_guess_format(format.muxer.c_str(), nullptr, nullptr);
        int r = openContainer(muxer, span, tags);
        if (r < 0 && audio->active()) {
            // The container takes the video but not this audio: write the video.
            notes.push_back("the audio of '" + span.source + "' is left out: " + av::describe(r));
            closeContainer();
            r = openContainer(muxer, {}, tags);
        }
        if (r >= 0) r = avformat_write_header(mux, nullptr);
        if (r < 0) fail("the container refused the streams", r);
    }

    [[noreturn]] void fail(const std::string& what, int code) {
        if (pipe >= 0 && code == AVERROR(EPIPE))
            throw VideoError("cannot write '" + path + "': its reader closed the pipe");
        if (code == AVERROR(ENOMEM)) throw std::bad_alloc();  // said as such, not as a write error
        throw VideoError("cannot write '" + path + "': " + what + ": " + av::describe(code));
    }

    void encode(const AVFrame* input) {
        int r = avcodec_send_frame(encoder.get(), input);
        if (r < 0) fail("the encoder refused a frame", r);
        for (;;) {
            r = avcodec_receive_packet(encoder.get(), packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) fail("encoding failed", r);
            if (format.sequence) {
                writeImage(*packet);
                av_packet_unref(packet.get());
                continue;
            }
            av_packet_rescale_ts(packet.get(), encoder->time_base, video->time_base);
            packet->stream_index = video->index;
            r = av_interleaved_write_frame(mux, packet.get());
            if (r < 0) fail("the file could not be written", r);
        }
    }
};

VideoOutput::VideoOutput(const std::string& path, const ClipInfo& clip,
                         const OutputOptions& options, const AudioSpan& audio)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.create(path, clip, options);
    const AVOutputFormat* muxer = av_guess_format(s.format.muxer.c_str(), nullptr, nullptr);

    // FFmpeg's DNxHR encoder refuses smaller frames with a message its
    // thread start-up hides.
    if (s.format.encoder == "dnxhd" && (clip.width < 256 || clip.height < 120))
        throw VideoError("cannot write '" + s.path + "': DNxHR codes frames of 256x120 and up, "
                         "not " + std::to_string(clip.width) + "x" + std::to_string(clip.height) +
                         " (ProRes and FFV1 take any size)");

    // The encoder, configured like the source.
    const AVCodec* codec = avcodec_find_encoder_by_name(s.format.encoder.c_str());
    s.encoder.reset(avcodec_alloc_context3(codec));
    if (!s.encoder) throw VideoError("out of memory");
    AVCodecContext& enc = *s.encoder;
    const AVPixelFormat pixelFormat = av_get_pix_fmt(s.format.pixelFormat.c_str());
    enc.width = clip.width;
    enc.height = clip.height;
    enc.pix_fmt = pixelFormat;
    enc.framerate = rational(clip.frameRate);
    // Containers that count in frames get the frame duration as time base.
    const bool frameCounted =
        s.format.muxer == "avi" || s.format.muxer == "yuv4mpegpipe" || s.format.sequence;
    enc.time_base = frameCounted ? av_inv_q(enc.framerate) : rational(clip.timeBase);
    if (clip.sampleAspect.num > 0) enc.sample_aspect_ratio = rational(clip.sampleAspect);
    // R'G'B' pictures use the whole range of their samples.
    const bool fullRange = clip.colour.range == AVCOL_RANGE_JPEG || av::isRgb(pixelFormat);
    enc.color_range = fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    enc.colorspace = av::isRgb(pixelFormat) ? AVCOL_SPC_RGB : AVColorSpace(clip.colour.matrix);
    enc.color_primaries = AVColorPrimaries(clip.colour.primaries);
    enc.color_trc = AVColorTransferCharacteristic(clip.colour.transfer);
    if (clip.scan == Scan::Progressive) {
        enc.field_order = AV_FIELD_PROGRESSIVE;
    } else {
        enc.field_order = clip.scan == Scan::TopFirst ? AV_FIELD_TT : AV_FIELD_BB;
        // DNxHR has no interlaced coding: its frames are coded whole, the
        // field order kept in the container.
        if (s.format.profile.rfind("dnxhr", 0) != 0)
            enc.flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
        else if (s.format.muxer == "mov")
            s.notes.push_back("'" + s.path + "' keeps no field order: FFmpeg's .mov writer "
                              "records none for DNxHR, so the file reads as progressive (.mkv "
                              "keeps it)");
    }
    if (!s.format.sequence && (muxer->flags & AVFMT_GLOBALHEADER))
        enc.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    enc.flags |= AV_CODEC_FLAG_BITEXACT;
    enc.thread_count = 0;
    AVDictionary* settings = nullptr;
    if (s.format.crf >= 0) av_dict_set_int(&settings, "crf", s.format.crf, 0);
    if (s.format.losslessH264) av_dict_set(&settings, "qp", "0", 0);
    // H.264 codes the field order from the start of the stream.
    if (s.format.encoder == "libx264" && clip.scan != Scan::Progressive)
        av_dict_set(&settings, "x264-params",
                    clip.scan == Scan::TopFirst ? "tff=1" : "bff=1", 0);
    // x265 writes its banner and settings to stderr itself, past FFmpeg's
    // log: only its errors are wanted.
    if (s.format.encoder == "libx265") av_dict_set(&settings, "x265-params", "log-level=error", 0);
    // FFV1 version 3 records each frame's field order and checks every slice
    // with a CRC.
    if (s.format.encoder == "ffv1") av_dict_set(&settings, "level", "3", 0);
    // FFV1 carries its context state over from frame to frame up to the next
    // keyframe (every 12th by default); a keyframe every frame makes each
    // frame stand alone, so that a damaged frame stays alone and frames
    // encoded in parts (the segments of a farm) are those of one encode.
    if (s.format.encoder == "ffv1") enc.gop_size = 1;
    if (!s.format.profile.empty()) av_dict_set(&settings, "profile", s.format.profile.c_str(), 0);
    errno = 0;
    const int opened = avcodec_open2(&enc, codec, &settings);
    const int error = errno;
    av_dict_free(&settings);
    // An external encoder (x264) reports its failed allocation as its own
    // failure; errno tells.
    if (opened == AVERROR_EXTERNAL && error == ENOMEM) throw std::bad_alloc();
    if (opened < 0) s.fail(std::string("cannot start the ") + codec->name + " encoder", opened);

    s.start(audio, options.tags);

    const int matrix = effectiveMatrix(clip.colour, clip.height);
    s.weaver = std::make_unique<FrameWeaver>(FrameFormat{
        clip.width, clip.height, pixelFormat, clip.scan, fullRange ? 2 : 1, matrix});
    s.frame = av::allocFrame(pixelFormat, clip.width, clip.height);
    if (options.copyPackets) {
        s.copying = true;
        s.copied.reset(avcodec_parameters_alloc());
        if (!s.copied || avcodec_parameters_from_context(s.copied.get(), &enc) < 0)
            throw VideoError("out of memory");
    }
}

namespace {

// The video stream of an FFV1 file and its parameters.
struct Part {
    av::InputPtr input;
    int stream = -1;
    const AVCodecParameters* par = nullptr;
};

Part openPart(const std::string& path, AVCodecID codec = AV_CODEC_ID_FFV1) {
    Part p;
    AVFormatContext* raw = nullptr;
    if (int r = av::openInput(&raw, path); r < 0)
        throw VideoError("cannot open '" + path + "': " + av::describe(r));
    p.input.reset(raw);
    if (int r = avformat_find_stream_info(raw, nullptr); r < 0)
        throw VideoError("'" + path + "': cannot read its streams: " + av::describe(r));
    p.stream = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (p.stream < 0) throw VideoError("'" + path + "' has no video stream");
    p.par = raw->streams[p.stream]->codecpar;
    if (p.par->codec_id != codec)
        throw VideoError("'" + path + "': only " + avcodec_get_name(codec) +
                         " video is copied here, not " + avcodec_get_name(p.par->codec_id));
    // FFV1 version 3's header ends with a CRC-32 of its own.
    if (codec == AV_CODEC_ID_FFV1 &&
        (p.par->extradata_size < 4 ||
         av_crc(av_crc_get_table(AV_CRC_32_IEEE), 0, p.par->extradata,
                size_t(p.par->extradata_size)) != 0))
        throw VideoError("'" + path + "' is damaged: its FFV1 header fails its CRC");
    return p;
}

// The slices of an FFV1 version 3 frame, as its encoder here writes them,
// each end with its size (24 bits), an error byte and a CRC-32 over the
// whole slice that leaves the remainder 0; walking them from the end checks
// every byte of the frame without decoding it.
bool slicesIntact(const uint8_t* data, int size) {
    constexpr int kTrailer = 3 + 5;
    const AVCRC* table = av_crc_get_table(AV_CRC_32_IEEE);
    int end = size;
    while (end > 0) {
        if (end < kTrailer) return false;
        const uint8_t* t = data + end - kTrailer;
        const int slice = ((t[0] << 16) | (t[1] << 8) | t[2]) + kTrailer;
        if (slice > end || av_crc(table, 0, data + end - slice, size_t(slice)) != 0) return false;
        end -= slice;
    }
    return size > 0;
}

bool sameSetup(const AVCodecParameters& a, const AVCodecParameters& b) {
    return a.codec_id == b.codec_id && a.format == b.format && a.width == b.width &&
           a.height == b.height && a.extradata_size == b.extradata_size &&
           (a.extradata_size == 0 || std::memcmp(a.extradata, b.extradata, a.extradata_size) == 0);
}

}  // namespace

VideoOutput::VideoOutput(const std::string& path, const ClipInfo& clip, const std::string& model,
                         bool replace, const AudioSpan& audio)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    OutputOptions lossless;
    lossless.lossless = true;
    lossless.replace = replace;
    s.create(path, clip, lossless);
    if (s.format.muxer != "matroska")
        throw VideoError("'" + path + "': copied video goes into .mkv");
    const Part part = openPart(model);
    s.copied.reset(avcodec_parameters_alloc());
    if (!s.copied || avcodec_parameters_copy(s.copied.get(), part.par) < 0)
        throw VideoError("out of memory");
    // The stream described as the whole clip is, whatever the parts say.
    AVCodecParameters& par = *s.copied;
    par.codec_tag = 0;
    par.field_order = clip.scan == Scan::Progressive ? AV_FIELD_PROGRESSIVE
                      : clip.scan == Scan::TopFirst  ? AV_FIELD_TT
                                                     : AV_FIELD_BB;
    if (clip.sampleAspect.num > 0) par.sample_aspect_ratio = rational(clip.sampleAspect);
    par.color_range = clip.colour.range == AVCOL_RANGE_JPEG ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    par.color_space = AVColorSpace(clip.colour.matrix);
    par.color_primaries = AVColorPrimaries(clip.colour.primaries);
    par.color_trc = AVColorTransferCharacteristic(clip.colour.transfer);
    s.start(audio, {});
}

void VideoOutput::copyFrames(const std::string& path, const std::vector<int64_t>& pts) {
    State& s = *state_;
    if (!s.copied) throw VideoError("'" + s.path + "' encodes its video: nothing is copied");
    const Part part = openPart(path, s.copied->codec_id);
    // (A container may add its own header to parts of intra-coded video,
    // as Matroska keeps ProRes's fourcc: only the frames' format counts.)
    const AVCodecParameters& a = *part.par;
    const AVCodecParameters& b = *s.copied;
    // (Copying, the parts are compared with each other in the format their
    // decoder gives, which may be wider than the encoder's: ProRes 4444
    // decodes to 12 bits.)
    if (s.copying ? a.codec_id != b.codec_id || a.width != b.width || a.height != b.height ||
                        (s.partFormat >= 0 && a.format != s.partFormat)
                  : !sameSetup(a, b))
        throw VideoError("'" + path + "' was encoded otherwise than the other parts");
    s.partFormat = a.format;
    const AVRational source = rational(s.clip.timeBase);
    const AVRational frame = av_inv_q(rational(s.clip.frameRate));
    std::size_t k = 0;
    for (;;) {
        const int r = av_read_frame(part.input.get(), s.packet.get());
        if (r == AVERROR_EOF) break;
        if (r < 0) throw VideoError("'" + path + "': cannot read it: " + av::describe(r));
        if (s.packet->stream_index != part.stream) {
            av_packet_unref(s.packet.get());
            continue;
        }
        if (k == pts.size())
            throw VideoError("'" + path + "' holds more than its " + std::to_string(pts.size()) +
                             " frames");
        AVPacket& p = *s.packet;
        // FFV1 frames carry slice CRCs; ProRes frames carry no check of their own.
        if (a.codec_id == AV_CODEC_ID_FFV1 && !slicesIntact(p.data, p.size))
            throw VideoError("'" + path + "' is damaged: frame " + std::to_string(k + 1) +
                             " fails its slice CRC");
        if (s.format.sequence) {
            // An image sequence's file is the encoder's packet.
            s.writeImage(p);
            av_packet_unref(&p);
            ++k;
            continue;
        }
        p.stream_index = s.video->index;
        if (s.copying) {
            // The timestamps the encoder would have given the packet.
            const int64_t t = av_rescale_q_rnd(pts[k], source, s.encoder->time_base,
                                               AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
            p.pts = p.dts = av_rescale_q(t, s.encoder->time_base, s.video->time_base);
        } else {
            p.pts = p.dts = av_rescale_q(pts[k], source, s.video->time_base);
        }
        p.duration = av_rescale_q(1, frame, s.video->time_base);
        p.pos = -1;
        if (int w = av_interleaved_write_frame(s.mux, &p); w < 0)
            s.fail("the file could not be written", w);
        s.audio->copyUntil(av_rescale_q(pts[k], source, AV_TIME_BASE_Q) +
                           av_rescale_q(1, frame, AV_TIME_BASE_Q));
        ++k;
    }
    if (k != pts.size())
        throw VideoError("'" + path + "' holds " + std::to_string(k) + " of its " +
                         std::to_string(pts.size()) + " frames");
}

std::string videoFormatOf(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (av::openInput(&raw, path) < 0) return "";
    av::InputPtr input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return "";
    const int stream = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) return "";
    const AVCodecParameters& par = *raw->streams[stream]->codecpar;
    const char* format = av_get_pix_fmt_name(AVPixelFormat(par.format));
    return std::string(avcodec_get_name(par.codec_id)) + " " + (format ? format : "?");
}

std::map<std::string, std::string> containerTags(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (int r = av::openInput(&raw, path); r < 0)
        throw VideoError("cannot open '" + path + "': " + av::describe(r));
    av::InputPtr input(raw);
    std::map<std::string, std::string> tags;
    for (const AVDictionaryEntry* e = nullptr;
         (e = av_dict_get(raw->metadata, "", e, AV_DICT_IGNORE_SUFFIX)) != nullptr;)
        tags[e->key] = e->value;
    return tags;
}

VideoOutput::~VideoOutput() = default;

void VideoOutput::write(const Field& first, const Field& second, int64_t pts) {
    State& s = *state_;
    if (s.finished) throw VideoError("'" + s.path + "' is already finished");
    if (!s.encoder || s.copying)
        throw VideoError("'" + s.path + "' copies its video: nothing is encoded");
    AVFrame& frame = *s.frame;
    if (av_frame_make_writable(&frame) < 0) throw VideoError("out of memory");
    s.weaver->weave(first, second, frame);
    const AVRational source = rational(s.clip.timeBase);
    int64_t t = av_rescale_q_rnd(pts, source, s.encoder->time_base,
                                 AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    if (s.lastPts != INT64_MIN && t <= s.lastPts) t = s.lastPts + 1;
    s.lastPts = t;
    frame.pts = t;
    frame.interlaced_frame = s.clip.scan != Scan::Progressive;
    frame.top_field_first = s.clip.scan == Scan::TopFirst;
    frame.sample_aspect_ratio = s.encoder->sample_aspect_ratio;
    frame.color_range = s.encoder->color_range;
    frame.colorspace = s.encoder->colorspace;
    frame.color_primaries = s.encoder->color_primaries;
    frame.color_trc = s.encoder->color_trc;
    s.encode(&frame);
    // Audio up to the end of this frame.
    const int64_t end = av_rescale_q(pts, source, AV_TIME_BASE_Q) +
                        av_rescale_q(1, av_inv_q(rational(s.clip.frameRate)), AV_TIME_BASE_Q);
    if (s.audio) s.audio->copyUntil(end);
}

void VideoOutput::finish() {
    State& s = *state_;
    if (s.finished) return;
    if (s.encoder) s.encode(nullptr);
    if (s.audio) s.audio->copyRest();
    if (s.format.sequence) {
        if (s.images != s.clip.frames)
            throw VideoError("'" + s.path + "': the sequence ends after " +
                             std::to_string(s.images) + " of its " +
                             std::to_string(s.clip.frames) + " frames");
        try {
            for (auto& f : s.frameFiles) f->commit();
        } catch (const io::IoError& e) {
            throw VideoError(e.what());
        }
        s.finished = true;
        return;
    }
    if (int r = av_write_trailer(s.mux); r < 0) s.fail("the container could not be closed", r);
    avio_flush(s.io);
    if (s.io->error < 0) s.fail("the file could not be written", s.io->error);
    if (!s.file) {
        s.finished = true;
        return;
    }
    try {
        s.file->commit();
    } catch (const io::IoError& e) {
        throw VideoError(e.what());
    }
    s.finished = true;
}

const OutputFormat& VideoOutput::format() const { return state_->format; }
const std::vector<std::string>& VideoOutput::notes() const { return state_->notes; }

}  // namespace fieldfx::video
