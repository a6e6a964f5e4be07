// Video files through libavformat and libavcodec.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <new>

#include "av.h"
#include "fieldfx/fieldio/output_file.h"
#include "frame_fields.h"
#include "frame_table.h"
#include "sources.h"

namespace fieldfx::video {

namespace {

// The field order of the stream: the container's tag or the parser's
// reading of the bitstream's picture timing (H.264 encoders code field
// pictures in an order that decoders do not always report), else what the
// decoder says of the first frame; progressive when neither says anything.
Scan scanOf(AVFieldOrder order, const AVFrame& first) {
    switch (order) {
    case AV_FIELD_TT:
    case AV_FIELD_BT:  // bottom coded first, top shown first
        return Scan::TopFirst;
    case AV_FIELD_BB:
    case AV_FIELD_TB:
        return Scan::BottomFirst;
    default:
        if (!first.interlaced_frame) return Scan::Progressive;
        return first.top_field_first ? Scan::TopFirst : Scan::BottomFirst;
    }
}

// The bytes a YUV4MPEG file holds after its last whole frame, whose packet
// ends at `lastEnd`: its reader drops a last frame that the file cuts short
// without a word. A pipe has no size (a named one says 0): there, once its
// end is reached, the bytes read from it.
int64_t y4mTail(AVFormatContext& input, int64_t lastEnd) {
    if (std::strcmp(input.iformat->name, "yuv4mpegpipe") != 0 || lastEnd < 0) return 0;
    int64_t end = avio_size(input.pb);
    if ((input.pb->seekable & AVIO_SEEKABLE_NORMAL) == 0)
        end = input.pb->eof_reached ? avio_tell(input.pb) : -1;
    return std::max<int64_t>(0, end - lastEnd);
}

// A colour tag as a number, `unspecified` for a value outside the enum's
// `count` (a damaged file's bytes; reading them as the enum would be
// undefined).
template <typename Enum>
int tagValue(const Enum& field, int unspecified, int count) {
    static_assert(sizeof(Enum) == sizeof(int));
    int v;
    std::memcpy(&v, &field, sizeof v);
    return v >= 0 && v < count ? v : unspecified;
}

// Frames of the stream by reading (not decoding) its packets, for containers
// that do not declare a count, and for seeking in H.264; `tail` as y4mTail.
// Each video packet goes into `table` (what seeking needs).
int64_t countPackets(const std::string& path, int stream, int64_t& tail, FrameTable& table) {
    AVFormatContext* raw = nullptr;
    if (av::openInput(&raw, path) < 0) return 0;
    av::InputPtr input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return 0;
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (int(i) != stream) raw->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecParameters& codec = *raw->streams[stream]->codecpar;
    const bool h264 = codec.codec_id == AV_CODEC_ID_H264;
    av::PacketPtr packet = av::allocPacket();
    int64_t count = 0, lastEnd = -1;
    table.clear();
    while (av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == stream)
            table.packets.push_back(
                {packet->size > 0 ? packet->pts : AV_NOPTS_VALUE, packet->dts,
                 (packet->flags & AV_PKT_FLAG_KEY) != 0,
                 h264 && isH264Idr(packet->data, packet->size, codec)});
        if (packet->stream_index == stream && packet->size > 0) ++count;
        lastEnd = packet->pos >= 0 ? packet->pos + packet->size : -1;
        av_packet_unref(packet.get());
    }
    tail = y4mTail(*raw, lastEnd);
    av::takeLogError();
    return count;
}

// The frames the stream's stated duration holds at its frame rate, 0 when
// the container states no duration for it.
int64_t expectedFrames(const AVFormatContext& input, const AVStream& st) {
    AVRational rate = st.avg_frame_rate.num > 0 ? st.avg_frame_rate : st.r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) return 0;
    double seconds = 0;
    if (st.duration > 0 && st.duration != AV_NOPTS_VALUE) {
        seconds = double(st.duration) * av_q2d(st.time_base);
    } else if (const AVDictionaryEntry* tag = av_dict_get(st.metadata, "DURATION", nullptr, 0)) {
        // Matroska's per-track tag, HH:MM:SS.fraction.
        int h = 0, m = 0;
        double sec = 0;
        if (std::sscanf(tag->value, "%d:%d:%lf", &h, &m, &sec) != 3) return 0;
        seconds = h * 3600.0 + m * 60.0 + sec;
        // The tag is where the track ends; a clip cut from a longer one
        // starts later than zero.
        if (st.start_time != AV_NOPTS_VALUE && st.start_time > 0)
            seconds -= double(st.start_time) * av_q2d(st.time_base);
    } else if (input.nb_streams == 1 && input.duration > 0) {
        seconds = double(input.duration) / AV_TIME_BASE;
    }
    return int64_t(seconds * av_q2d(rate) + 0.5);
}

// A decoded frame kept for its fields, which its splitter makes apart.
class DecodedFrame final : public FrameFields {
public:
    DecodedFrame(av::FramePtr frame, std::shared_ptr<const FrameSplitter> splitter)
        : frame_(std::move(frame)), splitter_(std::move(splitter)) {}
    void field(int which, Field& into) const override {
        splitter_->splitField(*frame_, which, into);
    }

private:
    av::FramePtr frame_;
    std::shared_ptr<const FrameSplitter> splitter_;
};

class FileSource final : public Source {
public:
    FileSource(const std::string& path, const SourceOptions& options);
    bool read(Frame& frame) override;
    bool readLater(Frame& frame, std::shared_ptr<const FrameFields>& later) override;
    bool seek(int64_t k) override;
    std::string seekRefusal() override;
    bool timestamps(int64_t k, int64_t count, std::vector<int64_t>& out) override;

private:
    bool next(Frame& frame);
    bool seekable();
    FrameTable table_;  // every video packet (see seekable)
    bool decodeNext();
    int readPacket();
    [[noreturn]] void damaged(const std::string& what);
    [[noreturn]] void truncated(int64_t frames, int64_t tail);

    std::string path_;
    av::InputPtr input_;
    av::CodecPtr decoder_;
    int stream_ = -1;
    av::PacketPtr packet_ = av::allocPacket();
    av::FramePtr decoded_ = av::allocFrame();
    std::shared_ptr<FrameSplitter> splitter_;
    bool pending_ = false;   // decoded_ holds a frame not yet delivered
    bool draining_ = false;  // the demuxer is at its end; the decoder is flushed
    int64_t declared_ = 0;   // the container's frame count, 0 when it gives none
    int64_t packets_ = 0;    // video packets read
    int64_t pictures_ = 0;   // of them, those that are not empty
    // A pipe is read once: its packets after the first frame, read ahead to
    // count them, and whether that reached its end.
    std::deque<av::PacketPtr> readAhead_;
    bool readAll_ = false;
    std::atomic<int> decoderErrors_{0};  // errors the decoder logged
    // Ends the count before the counter goes, a constructor that throws included.
    struct Unwatch {
        const AVCodecContext* decoder = nullptr;
        ~Unwatch() {
            if (decoder != nullptr) av::unwatchErrors(decoder);
        }
    } watching_;
    // Seeking: whether it was checked, the reason it is refused ("" when
    // allowed), and where the codec lets a decoding start (set at opening).
    bool seekChecked_ = false;
    std::string seekRefusal_;
    Restart restart_ = Restart::Never;
    bool pipe_ = false;
    std::string file_;       // the path opened
    int64_t lastEnd_ = -1;   // the file offset after the last packet read
    int64_t frameDuration_ = 1;
    int64_t nextPts_ = 0;
};

FileSource::FileSource(const std::string& path, const SourceOptions& options)
    : path_(options.label.empty() ? path : options.label) {
    io::noteInputFile(path);
    av::installLogCapture();
    av::takeLogError();
    AVFormatContext* raw = nullptr;
    if (int r = av::openInput(&raw, path); r < 0)
        throw VideoError("cannot open '" + path_ + "': " + av::describe(r));
    input_.reset(raw);
    if (int r = avformat_find_stream_info(raw, nullptr); r < 0)
        throw VideoError("'" + path_ + "': cannot read its streams: " + av::describe(r));
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream_ == AVERROR_DECODER_NOT_FOUND)
        throw VideoError("'" + path_ + "': no decoder for its video codec");
    if (stream_ < 0) throw VideoError("'" + path_ + "' has no video stream");
    AVStream* st = raw->streams[stream_];
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (int(i) != stream_) raw->streams[i]->discard = AVDISCARD_ALL;

    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_) throw VideoError("out of memory");
    avcodec_parameters_to_context(decoder_.get(), st->codecpar);
    // Damage is reported, not concealed.
    decoder_->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK;
    av::watchErrors(decoder_.get(), &decoderErrors_);
    watching_.decoder = decoder_.get();
    decoder_->thread_count = 0;
    // The size limit of every reader, before the decoder allocates a picture.
    decoder_->max_pixels = int64_t(io::kMaxPicturePixels);
    // Slice threads only: with frame threads, a frame that fails to decode
    // under AV_EF_EXPLODE trips an assertion in libavcodec 5.1 (damaged MPEG-4
    // Visual (mpeg4) in AVI aborts the process instead of returning the error).
    decoder_->thread_type = FF_THREAD_SLICE;
    if (int r = avcodec_open2(decoder_.get(), codec, nullptr); r < 0)
        throw VideoError("'" + path_ + "': cannot decode " + codec->name + ": " + av::describe(r));

    info_.name = path;
    info_.timeBase = {st->time_base.num, st->time_base.den};
    AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = {25, 1};
    info_.frameRate = {rate.num, rate.den};
    frameDuration_ = std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), st->time_base));
    const AVRational sar = av_guess_sample_aspect_ratio(raw, st, nullptr);
    info_.sampleAspect = {sar.num, sar.den};
    info_.audio = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
    for (const AVDictionaryEntry* tag = nullptr;
         (tag = av_dict_get(raw->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr;)
        info_.tags[tag->key] = tag->value;
    // .mov keeps the timecode with the video track.
    if (const AVDictionaryEntry* tc = av_dict_get(st->metadata, "timecode", nullptr, 0))
        info_.tags.emplace("timecode", tc->value);

    if (!decodeNext()) damaged("holds no video frames");
    pending_ = true;
    const AVFrame& first = *decoded_;
    const auto format = AVPixelFormat(first.format);
    info_.width = first.width;
    info_.height = first.height;
    info_.alpha = av::hasAlpha(format);
    info_.scan = options.scan ? *options.scan : scanOf(st->codecpar->field_order, first);

    const AVCodecParameters& par = *st->codecpar;
    ColourTags& tags = info_.colour;
    // The stream's tag, else the first frame's.
    auto tag = [](const auto& stream, const auto& frame, int unspecified, int count) {
        const int s = tagValue(stream, unspecified, count);
        return s != unspecified ? s : tagValue(frame, unspecified, count);
    };
    tags.matrix = tag(par.color_space, first.colorspace, AVCOL_SPC_UNSPECIFIED, AVCOL_SPC_NB);
    tags.primaries =
        tag(par.color_primaries, first.color_primaries, AVCOL_PRI_UNSPECIFIED, AVCOL_PRI_NB);
    tags.transfer = tag(par.color_trc, first.color_trc, AVCOL_TRC_UNSPECIFIED, AVCOL_TRC_NB);
    tags.range = tag(par.color_range, first.color_range, AVCOL_RANGE_UNSPECIFIED, AVCOL_RANGE_NB);
    if (av::isFullRangeFormat(format)) tags.range = AVCOL_RANGE_JPEG;
    FrameFormat source{first.width, first.height, format, info_.scan, tags.range, tags.matrix};
    if (av::isRgb(format)) {
        // R'G'B' pictures become Y'CbCr in the matrix their size suggests,
        // and say so from here on.
        tags.matrix = defaultMatrix(first.height);
        tags.range = AVCOL_RANGE_MPEG;
        source.matrix = tags.matrix;
        source.range = AVCOL_RANGE_JPEG;
    }
    splitter_ = std::make_shared<FrameSplitter>(source);

    declared_ = st->nb_frames > 0 ? st->nb_frames : 0;
    restart_ = restartOf(*st->codecpar);
    // Every frame a container states takes a byte of the file at least: a
    // greater count is damage, not a clip to make room for.
    if (const int64_t bytes = raw->pb != nullptr ? avio_size(raw->pb) : -1;
        bytes > 0 && declared_ > bytes)
        damaged("states " + std::to_string(declared_) + " frames in " + std::to_string(bytes) +
                " bytes: its frame count is damaged");
    // AVI counts the empty entries of dropped frames among its frames.
    const bool exact = declared_ > 0 && std::strcmp(raw->iformat->name, "avi") != 0;
    int64_t tail = 0;
    const bool pipe = raw->pb != nullptr && (raw->pb->seekable & AVIO_SEEKABLE_NORMAL) == 0;
    pipe_ = pipe;
    file_ = path;
    if (!exact && pipe) {
        // No second reading to count the frames: its packets are kept.
        int64_t pictures = pictures_, end = lastEnd_;
        for (av::PacketPtr p = av::allocPacket(); av_read_frame(raw, p.get()) >= 0;
             p = av::allocPacket())
            if (p->stream_index == stream_) {
                pictures += p->size > 0;
                end = p->pos >= 0 ? p->pos + p->size : -1;
                readAhead_.push_back(std::move(p));
            }
        readAll_ = true;
        info_.frames = pictures;
        tail = y4mTail(*raw, end);
    } else {
        info_.frames = exact ? declared_ : countPackets(path, stream_, tail, table_);
    }
    if (tail > 0) truncated(info_.frames, tail);
    // A container that states the stream's duration but holds fewer frames
    // than it needs was cut short (a few frames of slack for rounding).
    const int64_t expected = expectedFrames(*raw, *st);
    if (!exact && info_.frames + std::max<int64_t>(2, expected / 50) < expected)
        damaged("ends after " + std::to_string(info_.frames) + " of about " +
                std::to_string(expected) + " frames: the file is truncated");
}

void FileSource::truncated(int64_t frames, int64_t tail) {
    damaged("is truncated: frame " + std::to_string(frames + 1) + " is cut short (" +
            std::to_string(tail) + " bytes of it)");
}

void FileSource::damaged(const std::string& what) {
    throw VideoError("'" + path_ + "' " + what);
}

bool FileSource::decodeNext() {
    for (;;) {
        int r = avcodec_receive_frame(decoder_.get(), decoded_.get());
        if (r == 0) {
            if (decoderErrors_ > 0)
                damaged("is damaged: frame " + std::to_string(packets_) + " fails its check");
            if (decoded_->decode_error_flags != 0 || (decoded_->flags & AV_FRAME_FLAG_CORRUPT))
                damaged("is damaged: a frame near frame " + std::to_string(packets_) +
                    " does not decode cleanly");
            return true;
        }
        if (r == AVERROR_EOF) return false;
        if (r == AVERROR(ENOMEM)) throw std::bad_alloc();
        if (r != AVERROR(EAGAIN))
            damaged("is damaged: a frame near frame " + std::to_string(packets_) +
                    " does not decode: " + av::describe(r));
        if (draining_) return false;
        r = readPacket();
        if (r == AVERROR_EOF) {
            if (const int64_t tail = y4mTail(*input_, lastEnd_); tail > 0)
                truncated(packets_, tail);
            draining_ = true;
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        if (r < 0)
            damaged("cannot be read past frame " + std::to_string(packets_) + ": " +
                    av::describe(r));
        if (packet_->stream_index != stream_) {
            av_packet_unref(packet_.get());
            continue;
        }
        ++packets_;
        pictures_ += packet_->size > 0;
        lastEnd_ = packet_->pos >= 0 ? packet_->pos + packet_->size : -1;
        if (packet_->size == 0) {  // a dropped frame; an empty packet would end decoding
            av_packet_unref(packet_.get());
            continue;
        }
        const bool corrupt = (packet_->flags & AV_PKT_FLAG_CORRUPT) != 0;
        av::takeLogError();
        if (corrupt) damaged("is truncated or damaged at frame " + std::to_string(packets_));
        r = avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (r < 0 && r != AVERROR(EAGAIN))
            damaged("is damaged at frame " + std::to_string(packets_) + ": " + av::describe(r));
    }
}

int FileSource::readPacket() {
    if (!readAhead_.empty()) {
        av_packet_move_ref(packet_.get(), readAhead_.front().get());
        readAhead_.pop_front();
        return 0;
    }
    return readAll_ ? AVERROR_EOF : av_read_frame(input_.get(), packet_.get());
}

// The next decoded frame into decoded_, with its timestamp into `frame`.
bool FileSource::next(Frame& frame) {
    if (!pending_ && !decodeNext()) {
        if (declared_ > packets_)
            damaged("ends after " + std::to_string(packets_) + " of its " +
                    std::to_string(declared_) + " frames: the file is truncated");
        return false;
    }
    pending_ = false;
    const int64_t pts = decoded_->best_effort_timestamp;
    frame.pts = pts != AV_NOPTS_VALUE ? pts : nextPts_;
    nextPts_ = frame.pts + frameDuration_;
    return true;
}

bool FileSource::read(Frame& frame) {
    if (!next(frame)) return false;
    splitter_->split(*decoded_, frame.first, frame.second);
    return true;
}

// The decoder's picture is referenced, not copied: the decoder takes
// another buffer for the next one.
bool FileSource::readLater(Frame& frame, std::shared_ptr<const FrameFields>& later) {
    if (!splitter_->splitsDirectly()) {
        later.reset();
        return read(frame);
    }
    if (!next(frame)) return false;
    splitter_->check(*decoded_);
    av::FramePtr kept = av::allocFrame();
    if (int r = av_frame_ref(kept.get(), decoded_.get()); r < 0) throw std::bad_alloc();
    later = std::make_shared<DecodedFrame>(std::move(kept), splitter_);
    return true;
}

// Seeking. A decoding that starts at a frame gives the frames of a decoding
// from the start only where no frame depends on the frames before that
// one (Restart): codecs whose every frame is coded on its own at any frame,
// FFV1 at a keyframe, H.264 at an IDR picture. Other codecs (MPEG-2, HEVC,
// ...) are read from the start. A frame is found by its packet's
// timestamp, from a table of every video packet: the one the count of the
// frames read at opening (Matroska and others that state no count), else
// the container's index (QuickTime, which lists every frame). H.264 needs
// the packets themselves, to tell an IDR picture from another keyframe: its
// table is read here when the opening did not read one.
bool FileSource::seekable() {
    if (seekChecked_) return seekRefusal_.empty();
    seekChecked_ = true;
    AVStream& st = *input_->streams[stream_];
    const char* codec = avcodec_get_name(st.codecpar->codec_id);
    if (pipe_ || readAll_) {
        seekRefusal_ = "it is a pipe, read once";
        return false;
    }
    if (restart_ == Restart::Never) {
        seekRefusal_ = std::string(codec) + " codes frames from others, and a frame after a "
                       "keyframe may still refer to frames before it";
        return false;
    }
    if (restart_ == Restart::Idr && table_.packets.empty()) {
        int64_t tail = 0;
        countPackets(file_, stream_, tail, table_);
    } else if (table_.packets.empty()) {
        const int entries = avformat_index_get_entries_count(&st);
        for (int i = 0; i < entries; ++i) {
            const AVIndexEntry* e = avformat_index_get_entry(&st, i);
            table_.packets.push_back({e->size > 0 ? e->timestamp : AV_NOPTS_VALUE, e->timestamp,
                                      (e->flags & AVINDEX_KEYFRAME) != 0, false});
        }
    }
    seekRefusal_ = table_.check(info_.frames, restart_);
    if (!seekRefusal_.empty()) table_.clear();
    return seekRefusal_.empty();
}

std::string FileSource::seekRefusal() {
    seekable();
    return seekRefusal_;
}

bool FileSource::seek(int64_t k) {
    if (k < 0 || k >= info_.frames || !seekable()) return false;
    const auto refuse = [this](const std::string& why) {
        seekRefusal_ = why;
        return false;
    };
    // The decoding starts at packet j, which is also the j-th frame shown.
    // A decoding from the first packet is one from the start, and says so.
    const int64_t j = table_.start(k, restart_);
    if (j < 0 || (j == 0 && k > 0))
        return refuse(std::string(restart_ == Restart::Idr ? "no IDR picture" : "no keyframe") +
                      " after its first stands at or before frame " + std::to_string(k + 1));
    const PacketEntry& start = table_.packets[std::size_t(j)];
    const int64_t from = start.pts;
    // The container's index may count in decoding timestamps (QuickTime),
    // which stand at or before the packet's showing one.
    const int64_t to = start.dts != AV_NOPTS_VALUE ? std::min(start.dts, from) : from;
    if (av_seek_frame(input_.get(), stream_, to, AVSEEK_FLAG_BACKWARD) < 0)
        return refuse("its container did not seek");
    avcodec_flush_buffers(decoder_.get());
    pending_ = draining_ = false;
    readAhead_.clear();
    lastEnd_ = -1;
    // The container may stand before packet j (at a cue of Matroska, a
    // keyframe before): the packets before j's are passed over unread.
    av::PacketPtr first = av::allocPacket();
    for (std::size_t passed = 0;; ++passed) {
        if (passed > table_.packets.size() || av_read_frame(input_.get(), first.get()) < 0)
            return refuse("its container's seek did not find frame " + std::to_string(j + 1));
        if (first->stream_index == stream_ && first->size > 0 && first->pts == from) break;
        av_packet_unref(first.get());
    }
    readAhead_.push_back(std::move(first));
    packets_ = pictures_ = j;
    // Decoded from packet j on, the frames before k dropped.
    if (restart_ != Restart::Anywhere)
        for (int64_t i = j; i <= k; ++i) {
            if (!decodeNext()) return refuse("it ended after a seek");
            if (decoded_->best_effort_timestamp != table_.shownPts(i) ||
                (i == j && !decoded_->key_frame))
                return refuse("its frame " + std::to_string(i + 1) + " is not what its "
                              "container lists");
            pending_ = true;  // frame i, decoded and not yet delivered
        }
    return true;
}

bool FileSource::timestamps(int64_t k, int64_t count, std::vector<int64_t>& out) {
    out.clear();
    // H.264's table is read from the file's packets: only once a seek needs
    // it, not for a plain render from the start.
    if (!seekChecked_ && table_.packets.empty() &&
        restart_ == Restart::Idr)
        return false;
    if (k < 0 || !seekable()) return false;
    for (int64_t i = k; i < k + count && i < table_.size(); ++i) out.push_back(table_.shownPts(i));
    return !out.empty();
}

}  // namespace

std::unique_ptr<Source> openFileSource(const std::string& path, const SourceOptions& options) {
    return std::make_unique<FileSource>(path, options);
}

}  // namespace fieldfx::video
