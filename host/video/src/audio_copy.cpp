#include "audio_copy.h"

#include "fieldfx/fieldio/output_file.h"

namespace fieldfx::video {

namespace {

int64_t microseconds(int64_t t, AVRational base) { return av_rescale_q(t, base, AV_TIME_BASE_Q); }

std::string extensionOf(const AVFormatContext* mux) {
    return mux->oformat->extensions ? std::string(".") + mux->oformat->extensions : mux->oformat->name;
}

}  // namespace

AudioCopier::AudioCopier(const AudioSpan& span, AVFormatContext* mux,
                         std::vector<std::string>& notes)
    : span_(span), mux_(mux) {
    if (span.source.empty()) return;
    // Read as an input: the output, checked again as it is renamed, never replaces it.
    io::noteInputFile(span.source);
    AVFormatContext* raw = nullptr;
    if (int r = av::openInput(&raw, span.source); r < 0)
        throw VideoError("cannot open '" + span.source + "' for its audio: " + av::describe(r));
    input_.reset(raw);
    if (int r = avformat_find_stream_info(raw, nullptr); r < 0)
        throw VideoError("'" + span.source + "': cannot read its streams: " + av::describe(r));
    stream_ = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream_ < 0) return;
    const AVCodecParameters* par = raw->streams[stream_]->codecpar;
    const char* codec = avcodec_get_name(par->codec_id);
    if (mux->oformat->audio_codec == AV_CODEC_ID_NONE) {
        notes.push_back(std::string("the audio of '") + span.source + "' is left out: " +
                        mux->oformat->name + " files hold no audio");
        return;
    }
    if (avformat_query_codec(mux->oformat, par->codec_id, FF_COMPLIANCE_NORMAL) == 0) {
        notes.push_back("the audio of '" + span.source + "' (" + codec + ") is left out: " +
                        extensionOf(mux) + " files cannot hold it (.mkv can)");
        return;
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (int(i) != stream_) raw->streams[i]->discard = AVDISCARD_ALL;
    out_ = avformat_new_stream(mux, nullptr);
    if (out_ == nullptr || avcodec_parameters_copy(out_->codecpar, par) < 0)
        throw VideoError("out of memory");
    out_->codecpar->codec_tag = 0;
    out_->time_base = raw->streams[stream_]->time_base;
    ended_ = false;
}

bool AudioCopier::next() {
    const AVStream* in = input_->streams[stream_];
    for (;;) {
        const int r = av_read_frame(input_.get(), packet_.get());
        if (r == AVERROR_EOF) return false;
        if (r < 0)
            throw VideoError("'" + span_.source + "': cannot read its audio: " + av::describe(r));
        if (packet_->stream_index != stream_) {
            av_packet_unref(packet_.get());
            continue;
        }
        const int64_t pts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
        if (pts == AV_NOPTS_VALUE) {
            av_packet_unref(packet_.get());
            continue;
        }
        // Packets that start within the span belong to it, so that a span
        // moved to the start of an output never begins before it.
        const int64_t start = microseconds(pts, in->time_base);
        if (start >= span_.from && start < span_.to) return true;
        av_packet_unref(packet_.get());
        if (start >= span_.to) return false;
    }
}

void AudioCopier::copyUntil(int64_t until) {
    if (ended_) return;
    const AVStream* in = input_->streams[stream_];
    const int64_t shift = av_rescale_q(span_.shift, AV_TIME_BASE_Q, in->time_base);
    for (;;) {
        if (!pending_) {
            if (!next()) {
                ended_ = true;
                return;
            }
            pending_ = true;
        }
        const int64_t pts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
        if (until != INT64_MAX && microseconds(pts, in->time_base) + span_.shift >= until) return;
        if (packet_->pts != AV_NOPTS_VALUE) packet_->pts += shift;
        if (packet_->dts != AV_NOPTS_VALUE) packet_->dts += shift;
        av_packet_rescale_ts(packet_.get(), in->time_base, out_->time_base);
        packet_->stream_index = out_->index;
        packet_->pos = -1;
        const int r = av_interleaved_write_frame(mux_, packet_.get());
        pending_ = false;
        if (r < 0) throw VideoError("cannot write audio: " + av::describe(r));
    }
}

}  // namespace fieldfx::video
