#include "frame_table.h"

#include <algorithm>

namespace fieldfx::video {

Restart restartOf(const AVCodecParameters& codec) {
    const AVCodecDescriptor* d = avcodec_descriptor_get(codec.codec_id);
    if (d != nullptr && (d->props & AV_CODEC_PROP_INTRA_ONLY) != 0) return Restart::Anywhere;
    if (codec.codec_id == AV_CODEC_ID_FFV1) return Restart::Keyframe;
    if (codec.codec_id == AV_CODEC_ID_H264) return Restart::Idr;
    return Restart::Never;
}

namespace {

// The verdict of one NAL unit header: 1 an IDR slice, 0 another picture's
// slice (types 1 to 4), -1 no slice (parameter sets, SEI, delimiters).
int sliceVerdict(uint8_t header) {
    const int type = header & 0x1f;
    if (type == 5) return 1;
    return type >= 1 && type <= 4 ? 0 : -1;
}

}  // namespace

bool isH264Idr(const uint8_t* data, int size, const AVCodecParameters& codec) {
    if (data == nullptr || size <= 0) return false;
    const uint8_t* avcc = codec.extradata;
    if (avcc != nullptr && codec.extradata_size >= 7 && avcc[0] == 1) {
        const int lengthSize = (avcc[4] & 3) + 1;
        for (int at = 0; at + lengthSize < size;) {
            uint32_t length = 0;
            for (int i = 0; i < lengthSize; ++i) length = length << 8 | data[at + i];
            at += lengthSize;
            if (length == 0 || length > uint32_t(size - at)) return false;
            if (const int v = sliceVerdict(data[at]); v >= 0) return v == 1;
            at += int(length);
        }
        return false;
    }
    for (int i = 0; i + 3 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (const int v = sliceVerdict(data[i + 3]); v >= 0) return v == 1;
            i += 2;
        }
    return false;
}

void FrameTable::clear() {
    packets.clear();
    shown_.clear();
}

std::string FrameTable::check(int64_t frames, Restart restart) {
    shown_.clear();
    if (int64_t(packets.size()) != frames)
        return "its container lists " + std::to_string(packets.size()) + " packets for its " +
               std::to_string(frames) + " frames";
    for (const PacketEntry& p : packets) {
        if (p.pts == AV_NOPTS_VALUE) return "a frame of it has no timestamp, or no picture";
        shown_.push_back(p.pts);
    }
    // Codecs that show frames in their stored order must store them so;
    // H.264 may reorder them, each shown at a timestamp of its own.
    const bool rising = std::adjacent_find(shown_.begin(), shown_.end(),
                                           std::greater_equal<>()) == shown_.end();
    if (restart != Restart::Idr && !rising)
        return "its frames' timestamps do not rise from frame to frame";
    std::sort(shown_.begin(), shown_.end());
    if (std::adjacent_find(shown_.begin(), shown_.end()) != shown_.end())
        return "two of its frames have one timestamp";
    return "";
}

int64_t FrameTable::start(int64_t k, Restart restart) const {
    if (k < 0 || k >= size()) return -1;
    switch (restart) {
    case Restart::Anywhere:
        return k;
    case Restart::Keyframe:
        for (int64_t j = k; j >= 0; --j)
            if (packets[std::size_t(j)].key) return j;
        return -1;
    case Restart::Idr: {
        // The last IDR picture at or before frame k that is the j-th shown
        // (j its packet's index): all of the j packets stored before it
        // are shown before it, so a decoding from there gives frames j on.
        int64_t found = -1, latest = INT64_MIN;
        for (int64_t j = 0; j <= k; ++j) {
            const PacketEntry& p = packets[std::size_t(j)];
            if (p.idr && latest < p.pts && p.pts == shown_[std::size_t(j)]) found = j;
            latest = std::max(latest, p.pts);
        }
        return found;
    }
    case Restart::Never:
        break;
    }
    return -1;
}

}  // namespace fieldfx::video
