// Segments of a render split by frame ranges (render --range on farm nodes)
// and their join. A segment is a .mkv of its frames (lossless FFV1, or the
// final output's codec where that codes each frame on its own); container
// tags record what the join needs to rebuild the single-machine output and to
// check that every segment belongs to the same render:
//   FIELDFX_BUILD   checksums of the fieldfx binary and the operator module
//   FIELDFX_EFFECT  the operator, its settings, inputs and span
//   FIELDFX_INPUTS  a digest of the content of every input file and mask
//                   file: "NAME SIZE MTIME HASH" a line (see contentDigest)
//   FIELDFX_RANGE   the frames of the span in this segment, "FIRST:LAST"
//   FIELDFX_FRAMES  the frames of the whole span
//   FIELDFX_FORMAT  the output format of the whole render (size, rate, time
//                   base, field order, sample aspect, colour tags, alpha)
//   FIELDFX_AUDIO   the audio the whole render copies (empty: none)
//   FIELDFX_TIMECODE the timecode of the whole render's first frame, when
//                   its input has one
//   FIELDFX_PTS     the timestamps of the segment's frames, in that time base
//   FIELDFX_CODED   the coding of the final output (video::intraCoding) when
//                   the segment's frames are in it, for the join to copy;
//                   empty for lossless FFV1 frames that the join decodes
// The segment file itself stores limited-range pixels and millisecond
// timestamps; the tags keep the exact values.
#ifndef FIELDFX_CLI_SEGMENT_H
#define FIELDFX_CLI_SEGMENT_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fieldfx/runtime/values.h"
#include "fieldfx/video/clip.h"
#include "fieldfx/video/output.h"

namespace fieldfx::cli {

using Tags = std::map<std::string, std::string>;

// A 64-bit FNV-1a checksum of a file's bytes, in hex; throws Error(Input).
std::string fileChecksum(const std::string& path);

// What tells one version of a file from another, fast whatever its size:
// "SIZE MTIME HASH", the size in bytes, the modification time in
// nanoseconds and a 64-bit FNV-1a hash (hex) of 16 blocks of 64 KiB spread
// evenly over the file, the first and the last included (the whole file when
// it is smaller). Throws Error(Input) when the file cannot be read.
std::string contentDigest(const std::string& path);

// The FIELDFX_INPUTS text for these files (names as given; the built-in
// clips, which the build defines, are left out).
std::string inputsTag(const std::vector<std::string>& names);

// --range FIRST:LAST or PART/PARTS is read by runtime::parseRange.
using runtime::FrameRange;

// What the tags carry about the whole render's output.
std::string formatTag(const video::ClipInfo& format);
std::string audioTag(const video::AudioSpan& audio);
std::string ptsTag(const std::vector<int64_t>& pts);

// One segment file as the join sees it.
struct Segment {
    std::string path;
    FrameRange range;
    uint32_t frames = 0;       // of the whole span
    video::ClipInfo format;    // of the whole render
    video::AudioSpan audio;
    std::vector<int64_t> pts;  // one per frame of the segment
    Tags identity;             // FIELDFX_BUILD, FIELDFX_EFFECT, FIELDFX_INPUTS, FIELDFX_CODED
};

// The first input named in two FIELDFX_INPUTS texts whose digests differ,
// with both digests ("" when they agree).
std::string changedInput(const std::string& ours, const std::string& theirs);

// The inputs of a FIELDFX_INPUTS text whose files are there and hold another
// content now, with both digests ("" when none).
std::string inputsChangedSince(const std::string& tag);

// The segment's tags read back; throws Error(Input) naming the file when it
// is no segment or a tag is malformed.
Segment readSegment(const std::string& path, const Tags& tags);

// The segments in frame order, checked to belong to one render and to cover
// its span exactly once; throws Error(Input) naming missing, repeated and
// overlapping frames and segments of another build or effect.
std::vector<Segment> orderSegments(std::vector<Segment> segments);

}  // namespace fieldfx::cli

#endif
