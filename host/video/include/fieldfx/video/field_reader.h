// Fields of a clip by their index in time, for a host that asks for field
// after field: frame k holds fields 2k and 2k + 1. Reading goes forward; a
// request for a field before the frames kept, or far beyond them, seeks
// where the source can do so exactly (Source::seek), else reopens the clip
// or reads on to it.
#ifndef FIELDFX_VIDEO_FIELD_READER_H
#define FIELDFX_VIDEO_FIELD_READER_H

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fieldfx/video/source.h"

namespace fieldfx::video {

class FieldSource {
public:
    virtual ~FieldSource() = default;
    // The clip as the fields are delivered (size, rate, field order).
    virtual const ClipInfo& info() const = 0;
    int64_t fieldCount() const { return info().fieldCount(); }
    // Field `index` in time, valid until the next call. Throws VideoError
    // beyond the clip's end or when the input is damaged.
    virtual const Field& field(int64_t index) = 0;
};

class FieldReader final : public FieldSource {
public:
    FieldReader(const std::string& name, const SourceOptions& options = {});
    const ClipInfo& info() const override { return source_->info(); }
    const Field& field(int64_t index) override;
    // Field `index` exchanged for `into` (whose buffer the reader decodes
    // into later): a caller that keeps the field needs no copy. Asked for
    // again, the field is read again.
    void takeField(int64_t index, Field& into);
    // takeField() with the conversion of the decoded frame left undone: the
    // frame whose fields `which` of `frame` makes (on any thread). False
    // when the source converts at once: takeField then.
    bool takeLater(int64_t index, std::shared_ptr<const FrameFields>& frame, int& which);
    // Frame `k` (both fields and its timestamp).
    const Frame& frame(int64_t k);
    // The timestamp of frame `k`: kept for every frame read so far, so a
    // writer asking for one behind the frames kept reopens nothing. Safe
    // beside a thread that reads frames for a frame read already; any other
    // is read here, which only the reading thread may do.
    int64_t pts(int64_t k);
    // Why the reader went to a frame by reading from the start rather than
    // seeking ("" when it never had to, or seeking worked).
    const std::string& seekNote() const { return seekNote_; }

private:
    // Frame `k` read, its fields perhaps not yet made (later_).
    Frame& readFrame(int64_t k);
    // Reopens the source when field `index` is of a kept frame that gave it up.
    void rereadTaken(int64_t index);

    std::string name_;
    SourceOptions options_;
    std::unique_ptr<Source> source_;
    Frame frames_[2];      // the last two frames read
    std::shared_ptr<const FrameFields> later_[2];  // of each, its fields when not yet made
    uint8_t taken_[2] = {0, 0};  // of each, the fields given up (bit 0 first, 1 second)
    int64_t newest_ = -1;  // index of the newest frame read
    void reopen();
    void notePts(int64_t k, int64_t pts);
    std::string seekNote_, refusal_;
    bool seeking_ = true;  // seeking not refused yet
    std::mutex ptsLock_;
    std::vector<int64_t> pts_;  // of the frames up to the last known: as read, or as the source told; kNoPts if neither
    int64_t* ptsSlot(int64_t k);  // under ptsLock_
};

// A second input made to match the first: its fields scaled to the target's
// frame size, taken at the target's field rate (the nearest earlier field in
// time), and moved half a field line where the target's field of that index
// holds the other lines.
class ConformedReader final : public FieldSource {
public:
    ConformedReader(FieldSource& source, const ClipInfo& target);
    ~ConformedReader() override;
    const ClipInfo& info() const override { return info_; }
    const Field& field(int64_t index) override;

    // The source field that field `index` is made from.
    int64_t sourceIndex(int64_t index) const;

private:
    struct Scaler;
    FieldSource& source_;
    ClipInfo info_;
    std::unique_ptr<Scaler> scaler_;
    Field scaled_, result_;
    int64_t made_ = -1;
};

// Whether `second` needs a ConformedReader to match `first`.
bool needsConforming(const ClipInfo& first, const ClipInfo& second);

}  // namespace fieldfx::video

#endif
