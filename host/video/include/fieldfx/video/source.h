// Opening a clip: a video file through FFmpeg's libraries, or one of the
// built-in test clips "builtin:bars", "builtin:motion", "builtin:gradient".
#ifndef FIELDFX_VIDEO_SOURCE_H
#define FIELDFX_VIDEO_SOURCE_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fieldfx/video/clip.h"

namespace fieldfx::video {

// The two fields of a frame that is decoded but not yet converted into
// fields: field() converts one, on any thread, both at once if need be.
class FrameFields {
public:
    virtual ~FrameFields() = default;
    // Field `which` (0 first in time, 1 second) into `into`.
    virtual void field(int which, Field& into) const = 0;
};

struct SourceOptions {
    std::optional<Scan> scan;  // overrides the field order the stream gives
    int width = 0;             // size of a built-in clip (0: 720 x 576)
    int height = 0;
    int64_t frames = 0;        // length of a built-in clip (0: 50 frames)
    std::string label;         // the clip's name in messages (default: its path)
};

class Source {
public:
    virtual ~Source() = default;
    const ClipInfo& info() const { return info_; }
    // The next frame; false after the last one. Throws VideoError when the
    // input is damaged.
    virtual bool read(Frame& frame) = 0;
    // read(), leaving the conversion into fields to `later` where the source
    // can (frame.first and frame.second are then not set); a source that
    // cannot converts at once and resets `later`.
    virtual bool readLater(Frame& frame, std::shared_ptr<const FrameFields>& later) {
        later.reset();
        return read(frame);
    }
    // Passes over the next frame, giving only its timestamp; false after
    // the last one. A source that can tell a frame's timestamp without
    // making the frame does so.
    virtual bool skip(int64_t& pts) {
        if (!read(skipped_)) return false;
        pts = skipped_.pts;
        return true;
    }
    // Makes frame `k` the next one read, when the source can get there
    // without reading the frames before it and still give exactly the
    // frames a reading from the start gives. False when it cannot (see
    // seekRefusal); false after the source began to move means the source
    // must be opened again.
    virtual bool seek(int64_t /*k*/) { return false; }
    // Why seek() is refused or was not trusted ("" when it may be tried).
    virtual std::string seekRefusal() { return "it reads its frames in order only"; }
    // The timestamps of frames [k, k + count), as read() would give them,
    // found without making the frames; false when the source cannot tell
    // them so (the frames must then be read).
    virtual bool timestamps(int64_t /*k*/, int64_t /*count*/, std::vector<int64_t>& /*out*/) {
        return false;
    }

protected:
    ClipInfo info_;

private:
    Frame skipped_;
};

// Throws VideoError when the name cannot be opened as a clip.
std::unique_ptr<Source> openSource(const std::string& name, const SourceOptions& options = {});

bool isBuiltinName(const std::string& name);

// The whole stream that descriptor `fd` delivers (a pipe, standard input),
// stored in an unnamed temporary file in $TMPDIR (else /tmp) that lives as
// long as the process, so that it can be measured and read again like a
// file: the name to open it by. Throws VideoError naming `label` when it
// cannot be read or stored.
std::string storePipe(int fd, const std::string& label);
// The names of the built-in clips, "builtin:bars", ...
std::vector<std::string> builtinNames();

}  // namespace fieldfx::video

#endif
