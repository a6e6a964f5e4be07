// Video beside the field files: inputs and outputs that are not PAM or PNG
// field files go through the video library (video files FFmpeg reads and
// writes, and the built-in clips builtin:bars, builtin:motion and
// builtin:gradient).
#ifndef FIELDFX_CLI_MEDIA_H
#define FIELDFX_CLI_MEDIA_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "args.h"
#include "fieldfx/fieldio/sequence.h"
#include "fieldfx/video/clip.h"
#include "fieldfx/video/output.h"

namespace fieldfx::cli {

// The options of render and preview that concern video.
struct MediaOptions {
    std::optional<video::Scan> scan;  // --field-order
    int width = 0, height = 0;        // --size of the built-in clips
    int64_t builtinFrames = 0;        // length of the built-in clips (0: their default)
    video::OutputOptions output;      // --lossless, --codec, --crf, --pix-fmt, -y
    bool quiet = false;               // --quiet: no progress bar
};

// --field-order (tff, bff, progressive), --size, --lossless, --codec, --crf,
// --pix-fmt, --quiet and -y; throws Error(Usage) for malformed values.
MediaOptions readMediaOptions(const Args& args);

// .pam and .png names (numbered sequences included) are field files.
bool isFieldFileName(const std::string& name);

// The -i values; without any, the built-in clips: builtin:motion for a
// filter, builtin:motion then builtin:bars for a transition.
std::vector<std::string> inputNames(const Args& args, bool filter);

// An input clip; field files open through the field I/O library with
// `order`. Throws Error(Input).
std::unique_ptr<io::ClipReader> openClip(const std::string& name, io::FieldOrder order,
                                         const MediaOptions& options);

// The clip as the video library describes it: a video's own description,
// or for a field file its size, `rate` (25 when 0) and field order, with
// square pixels and no colour tags.
video::ClipInfo describeClip(const io::ClipReader& clip, io::FieldOrder order, double rate);

// The field order of a render whose first input is `first`: a video's own
// order (progressive counts as top field first); `given` for field files.
io::FieldOrder fieldOrderOf(const io::ClipReader& first, io::FieldOrder given);

// The frame rate of a video clip, 0 for field files.
double frameRateOf(const io::ClipReader& clip);

// pixelAspect of the first input: 1000 / its sample aspect for a video,
// 1000 for field files.
int16_t pixelAspectOf(const io::ClipReader& first);

// A transition's second input, when it is a video, converted to the first
// input's frame size, rate and field order where they differ; true when it
// was converted.
bool conformSecondInput(const io::ClipReader& first, io::ClipReader& second,
                        io::FieldOrder order, double rate);

// A part of a render's span written on its own, as a segment for a later
// join: fields [first, first + count) of the span, with `tags` naming the
// render it belongs to.
struct SegmentOutput {
    std::size_t first = 0, count = 0;
    std::map<std::string, std::string> tags;
    std::string joinInto;  // the output the join writes (render --join-into), "" if not given
};

// For each video input whose frames before the render's first were read
// from its start rather than sought, why (Source::seekRefusal).
std::vector<std::string> seekNotes(const std::vector<std::unique_ptr<io::ClipReader>>& clips);

// The coding of a segment's frames (video::intraCoding) when they are
// written in the final output's own codec, for the join to copy: that of
// the output `segment.joinInto` with `options` (given), else of a preset
// such as --codec prores; "" when the segment holds lossless FFV1 frames
// for the join to decode. Throws Error(Usage) when the final output and
// options do not fit together, as the join would.
std::string segmentCoding(const SegmentOutput& segment, const MediaOptions& options);

// The writer of a render's output. Video outputs take the first input's
// frame rate, field order, sample aspect and colour tags and the timestamps
// of its frames from `firstField` on; they carry the audio of the first
// input (a filter) or of the second (a transition) over the span.
// `fields` is the number of fields of the span. With `segment` only its
// fields are written, into a .mkv without audio that records in its tags
// the format, timestamps and audio of the whole output: lossless FFV1, or
// the final codec when the tag FIELDFX_CODED (segmentCoding) names it. Throws
// Error(Output), Error(Usage) for a segment that is not a .mkv.
std::unique_ptr<io::ClipWriter> createWriter(
    const std::string& path, const std::vector<std::unique_ptr<io::ClipReader>>& clips,
    io::FieldOrder order, double rate, std::size_t firstField, std::size_t fields,
    const MediaOptions& options, const SegmentOutput* segment = nullptr);

}  // namespace fieldfx::cli

#endif
