// Writing fields back as frames into a video file, with a source's audio
// copied alongside.
//
// The container comes from the output name; the encoder and its pixel format
// from the name and the options:
//   .mp4 .mov .mkv   H.264, 4:2:0 (lossless: H.264 at qp 0, 4:4:4; .mkv: FFV1)
//   .avi             FFV1, 4:2:0 (lossless: 4:4:4 with the opacity as alpha)
//   .y4m             uncompressed 4:4:4
//   .nut             uncompressed 4:4:4 (lossless: with the opacity as alpha)
//   NAME%06d.dpx     one DPX file a frame, 10-bit R'G'B'
//   NAME%06d.tif     one TIFF file a frame, 16-bit R'G'B'
// .mkv and .avi with --lossless use FFV1 at 4:4:4 with the opacity byte as
// alpha. The codec presets "prores" (ProRes 422 HQ), "prores-4444" (ProRes
// 4444 with the opacity as alpha) and "dnxhr-hq" (DNxHR HQ, 8-bit 4:2:2) go
// into .mov and .mkv. The container may also be named apart from the output
// (`container`, the command line's -f), which a pipe needs. The file is
// written beside the target under a temporary name and moved into place by
// finish(): a failed render leaves no partial output. A pipe ("-", "pipe:",
// "pipe:N") is written as the frames come. Every container and encoder runs
// with FFmpeg's bit-exact flags: the same job writes the same bytes.
#ifndef FIELDFX_VIDEO_OUTPUT_H
#define FIELDFX_VIDEO_OUTPUT_H

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fieldfx/video/clip.h"

namespace fieldfx::video {

struct OutputOptions {
    bool lossless = false;
    std::string codec;   // an FFmpeg encoder name; empty: chosen by the output name
    int crf = -1;        // constant rate factor of H.264/H.265; -1: 16
    std::string pixelFormat;  // an FFmpeg pixel format name; empty: chosen as above
    bool replace = false;     // an existing output may be replaced
    std::string container;    // -f: y4m, nut, mkv, ... (an extension or FFmpeg muxer name)
    // The frames come from copyFrames: packets of parts encoded with these
    // very options, which describe the stream as the encoder would.
    bool copyPackets = false;
    std::map<std::string, std::string> tags;  // container metadata to write
};

// What an output name and options select.
struct OutputFormat {
    std::string muxer;        // FFmpeg muxer name
    std::string encoder;      // FFmpeg encoder name
    std::string pixelFormat;  // encoder input format
    int crf = -1;             // -1: not used by the encoder
    bool losslessH264 = false;
    std::string profile;      // the encoder's "profile" option, "" for its default
    bool sequence = false;    // one image file a frame (the name holds %d)
};

// The descriptor a pipe name stands for: "-" and "pipe:" for `standard`
// (0 for reading, 1 for writing), "pipe:N" for N; -1 for any other name.
int pipeDescriptor(const std::string& name, int standard);

// The names -f takes, for messages: "y4m, nut, mkv, ...", and whether
// `name` is one of them (or an FFmpeg muxer name of one).
std::string containerChoices();
bool isContainerName(const std::string& name);

// "CODEC PIXFMT" of a file's video stream in FFmpeg's names ("prores
// yuv422p10le"), "" when it cannot be read or has none.
std::string videoFormatOf(const std::string& path);

// The container metadata of a file, read without decoding any frame;
// throws VideoError when the file cannot be opened as a container.
std::map<std::string, std::string> containerTags(const std::string& path);

// Whether `codec` is a preset whose every frame is coded on its own, so that
// parts encoded apart can be copied one after the other (ProRes, DNxHR).
bool isIntraPreset(const std::string& codec);

// "ENCODER PROFILE PIXFMT" of an output whose every frame is coded on its
// own, with nothing of the frames before it (ProRes, DNxHR, FFV1, which is
// written with a keyframe every frame, DPX, TIFF): frames of such an
// output encoded in parts are the frames of one encode, and parts with the
// same coding can be copied one after the other. "" for other outputs.
std::string intraCoding(const OutputFormat& format);

// SMPTE timecode `frames` frames after `timecode` ("HH:MM:SS:FF", ';' before
// FF for drop-frame) at `rate`; `timecode` itself when it cannot be read.
std::string timecodeAfter(const std::string& timecode, Rational rate, int64_t frames);

// Throws VideoError for an unsupported name or an option that does not fit.
OutputFormat chooseOutputFormat(const std::string& path, const OutputOptions& options);

// The audio written beside the video: the packets of `source`'s audio stream
// that start in [from, to) (microseconds of the source's timeline), moved by
// `shift` microseconds, otherwise unchanged. The default span is the whole
// stream; an empty source writes no audio.
struct AudioSpan {
    std::string source;
    int64_t from = std::numeric_limits<int64_t>::min();
    int64_t to = std::numeric_limits<int64_t>::max();
    int64_t shift = 0;
};

class VideoOutput {
public:
    // `format` gives the frame size, rate, time base, field order, sample
    // aspect and colour tags of the output (the source's). Creates the
    // temporary file at once: an unwritable or existing output fails here.
    VideoOutput(const std::string& path, const ClipInfo& format, const OutputOptions& options,
                const AudioSpan& audio = {});
    ~VideoOutput();  // removes the temporary file unless finished
    VideoOutput(const VideoOutput&) = delete;
    VideoOutput& operator=(const VideoOutput&) = delete;

    // A file whose video is copied, not encoded: the frames of FFV1 files
    // of one codec setup (the segments of a render) one after the other,
    // described by `format`; `model` is one of these files.
    VideoOutput(const std::string& path, const ClipInfo& format, const std::string& model,
                bool replace, const AudioSpan& audio = {});

    // The next frame: two fields in time order, timestamp in the format's
    // time base.
    void write(const Field& first, const Field& second, int64_t pts);
    // Copying (this constructor, or OutputOptions::copyPackets): every frame
    // of `part`, with the timestamps `pts` (one for each frame, in the
    // format's time base). Throws VideoError for a part of another codec
    // setup or of another number of frames.
    void copyFrames(const std::string& part, const std::vector<int64_t>& pts);
    // Flushes the encoder, copies the rest of the audio span and moves the
    // file into place.
    void finish();

    const OutputFormat& format() const;
    // Things the user should know (audio that the container cannot hold).
    const std::vector<std::string>& notes() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace fieldfx::video

#endif
