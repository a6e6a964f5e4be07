// The table that seeking in a video file needs: the stream's video packets
// in the order they are stored (the decoding order), the frames in the
// order they are shown, and for frame k the packet where a decoding must
// start to give frame k exactly as a decoding from the file's start does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace fieldfx::video {

// Where a decoding of a codec may start and still give the frames of a
// decoding from the start.
enum class Restart {
    Anywhere,  // every frame is coded on its own (ProRes, DNxHR, DPX, MJPEG, ...)
    Keyframe,  // FFV1: its range coder starts afresh at a keyframe; frames in order
    Idr,       // H.264: at an IDR picture (below); frames shown in another order
    Never,     // others: a keyframe may be followed by frames that refer to frames before it
};

Restart restartOf(const AVCodecParameters& codec);

// Whether the packet holds an H.264 IDR picture: no picture after it in
// decoding order refers to one before it, and every picture before it is
// shown before it. A keyframe of the container may be an open-GOP I picture
// with a recovery point instead, whose followers still refer back: only the
// picture's own NAL unit type tells. The packet's NAL units are prefixed by
// their lengths when the codec's extradata is an avcC record (MP4,
// Matroska), else they follow start codes (Annex B: raw .h264, MPEG-TS).
bool isH264Idr(const uint8_t* data, int size, const AVCodecParameters& codec);

struct PacketEntry {
    int64_t pts = AV_NOPTS_VALUE;  // none for an empty packet
    int64_t dts = AV_NOPTS_VALUE;
    bool key = false;  // the container marks it a keyframe
    bool idr = false;  // an H.264 IDR picture (isH264Idr)
};

class FrameTable {
public:
    std::vector<PacketEntry> packets;  // in decoding order

    // Checks the table against the clip's `frames` for a codec that
    // restarts as `restart`: "" when seeking may be tried, else why not.
    // Orders the timestamps for shownPts.
    std::string check(int64_t frames, Restart restart);
    // The packet where a decoding for frame k starts, -1 where none may.
    // For every codec here that packet's frame is also the j-th shown,
    // where j is its index: the frames before it in decoding order are
    // exactly those shown before it.
    int64_t start(int64_t k, Restart restart) const;
    // Frame k's timestamp, k in showing order (after check).
    int64_t shownPts(int64_t k) const { return shown_[std::size_t(k)]; }
    int64_t size() const { return int64_t(shown_.size()); }
    void clear();

private:
    std::vector<int64_t> shown_;
};

}  // namespace fieldfx::video
