// Direct looks into files through libavformat for the video tests: the
// packets of a stream and the tags of the video stream, independent of the
// library under test.
#ifndef FIELDFX_TESTS_VIDEO_AV_H
#define FIELDFX_TESTS_VIDEO_AV_H

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include <string>
#include <vector>

namespace videotest {

struct PacketRecord {
    int64_t pts;  // in microseconds
    std::vector<uint8_t> data;
};

struct StreamRecord {
    bool found = false;
    int fieldOrder = 0;  // AVFieldOrder
    int colourSpace = 0, primaries = 0, transfer = 0, range = 0;
    int sarNum = 0, sarDen = 0;
    std::string codec;
    std::string profile;  // FFmpeg's name of the codec profile, "" when none
    std::vector<PacketRecord> packets;
};

// The first stream of `type` in the file with all its packets.
inline StreamRecord readStream(const std::string& path, AVMediaType type) {
    StreamRecord out;
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return out;
    if (avformat_find_stream_info(ctx, nullptr) >= 0) {
        const int index = av_find_best_stream(ctx, type, -1, -1, nullptr, 0);
        if (index >= 0) {
            const AVStream* st = ctx->streams[index];
            const AVCodecParameters* par = st->codecpar;
            out.found = true;
            out.fieldOrder = par->field_order;
            out.colourSpace = par->color_space;
            out.primaries = par->color_primaries;
            out.transfer = par->color_trc;
            out.range = par->color_range;
            out.sarNum = st->sample_aspect_ratio.num;
            out.sarDen = st->sample_aspect_ratio.den;
            out.codec = avcodec_get_name(par->codec_id);
            if (const char* p = avcodec_profile_name(par->codec_id, par->profile)) out.profile = p;
            AVPacket* packet = av_packet_alloc();
            while (av_read_frame(ctx, packet) >= 0) {
                if (packet->stream_index == index)
                    out.packets.push_back(
                        {av_rescale_q(packet->pts, st->time_base, AVRational{1, 1000000}),
                         std::vector<uint8_t>(packet->data, packet->data + packet->size)});
                av_packet_unref(packet);
            }
            av_packet_free(&packet);
        }
    }
    avformat_close_input(&ctx);
    return out;
}

// The planes of the first decoded video frame: plane rows without padding.
struct DecodedFrame {
    int width = 0, height = 0, format = -1;
    std::vector<std::vector<uint8_t>> planes;
    std::vector<int> rowBytes;
};

inline DecodedFrame decodeFirstFrame(const std::string& path) {
    DecodedFrame out;
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return out;
    const AVCodec* codec = nullptr;
    const int index = avformat_find_stream_info(ctx, nullptr) >= 0
                          ? av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0)
                          : -1;
    AVCodecContext* dec = index >= 0 ? avcodec_alloc_context3(codec) : nullptr;
    if (dec != nullptr && avcodec_parameters_to_context(dec, ctx->streams[index]->codecpar) >= 0 &&
        avcodec_open2(dec, codec, nullptr) >= 0) {
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        bool done = false;
        while (!done && av_read_frame(ctx, packet) >= 0) {
            if (packet->stream_index == index && avcodec_send_packet(dec, packet) >= 0 &&
                avcodec_receive_frame(dec, frame) >= 0) {
                out.width = frame->width;
                out.height = frame->height;
                out.format = frame->format;
                for (int p = 0; p < 4 && frame->data[p] != nullptr; ++p) {
                    const bool chroma = p == 1 || p == 2;
                    const int shiftW = chroma ? av_pix_fmt_desc_get(AVPixelFormat(frame->format))->log2_chroma_w : 0;
                    const int shiftH = chroma ? av_pix_fmt_desc_get(AVPixelFormat(frame->format))->log2_chroma_h : 0;
                    const int w = AV_CEIL_RSHIFT(frame->width, shiftW);
                    const int h = AV_CEIL_RSHIFT(frame->height, shiftH);
                    std::vector<uint8_t> plane;
                    for (int y = 0; y < h; ++y)
                        plane.insert(plane.end(), frame->data[p] + y * frame->linesize[p],
                                     frame->data[p] + y * frame->linesize[p] + w);
                    out.planes.push_back(plane);
                    out.rowBytes.push_back(w);
                }
                done = true;
            }
            av_packet_unref(packet);
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&dec);
    avformat_close_input(&ctx);
    return out;
}

}  // namespace videotest

#endif
