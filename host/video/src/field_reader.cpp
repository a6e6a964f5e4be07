#include <algorithm>
#include <cstring>

#include "av.h"
#include "fieldfx/video/field_reader.h"
#include "frame_fields.h"

namespace fieldfx::video {

namespace {
constexpr int64_t kNoPts = INT64_MIN;
// Timestamps asked for ahead of the frames read come in batches of this many.
constexpr int64_t kPtsBatch = 1024;
}  // namespace

FieldReader::FieldReader(const std::string& name, const SourceOptions& options)
    : name_(name), options_(options), source_(openSource(name, options)) {}

// Frame k's entry, the table grown to it: a file's stated frame count is
// not trusted with memory before its frames are read.
int64_t* FieldReader::ptsSlot(int64_t k) {
    if (k < 0 || k >= info().frames) return nullptr;
    if (k >= int64_t(pts_.size())) pts_.resize(std::size_t(k) + 1, kNoPts);
    return &pts_[std::size_t(k)];
}

void FieldReader::reopen() {
    source_ = openSource(name_, options_);
    newest_ = -1;
}

void FieldReader::notePts(int64_t k, int64_t pts) {
    const std::lock_guard<std::mutex> hold(ptsLock_);
    int64_t* slot = ptsSlot(k);
    if (slot == nullptr) return;
    int64_t& known = *slot;
    if (known != kNoPts && known != pts)
        throw VideoError("'" + name_ + "': frame " + std::to_string(k + 1) + " has the timestamp " +
                         std::to_string(pts) + ", its container's index said " +
                         std::to_string(known));
    known = pts;
}

const Frame& FieldReader::frame(int64_t k) {
    Frame& f = readFrame(k);
    if (std::shared_ptr<const FrameFields> later = std::move(later_[k & 1])) {
        later->field(0, f.first);
        later->field(1, f.second);
    }
    return f;
}

Frame& FieldReader::readFrame(int64_t k) {
    if (k < 0 || k >= info().frames)
        throw VideoError("'" + name_ + "' has no frame " + std::to_string(k) + " (it has " +
                         std::to_string(info().frames) + ")");
    // Back before the two frames kept, or on past more than a few: straight
    // to the frame before k (the two kept are k - 1 and k), where the source
    // can seek exactly; else from the start, reading on.
    const bool back = k < newest_ - 1;
    if ((back || k > newest_ + 2) && seeking_) {
        if (const std::string why = source_->seekRefusal(); !why.empty()) {
            seeking_ = false;
            refusal_ = why;
        } else if (const int64_t to = std::max<int64_t>(0, k - 1); source_->seek(to)) {
            newest_ = to - 1;
            taken_[0] = taken_[1] = 0;
        } else {
            seeking_ = false;
            refusal_ = source_->seekRefusal();
            reopen();
        }
    }
    // Frames before k - 1 read only to be passed over.
    if ((back || k > newest_ + 2) && !seeking_ && k > 1) seekNote_ = refusal_;
    if (k < newest_ - 1) reopen();
    while (newest_ < k) {
        // Frames before the two kept are passed over.
        if (newest_ + 1 < k - 1) {
            int64_t pts = 0;
            if (!source_->skip(pts))
                throw VideoError("'" + name_ + "' ends after " + std::to_string(newest_ + 1) +
                                 " frames");
            ++newest_;
            notePts(newest_, pts);
            continue;
        }
        Frame& next = frames_[(newest_ + 1) & 1];
        taken_[(newest_ + 1) & 1] = 0;
        if (!source_->readLater(next, later_[(newest_ + 1) & 1]))
            throw VideoError("'" + name_ + "' ends after " + std::to_string(newest_ + 1) +
                             " frames");
        ++newest_;
        notePts(newest_, next.pts);
    }
    return frames_[k & 1];
}

int64_t FieldReader::pts(int64_t k) {
    {
        const std::lock_guard<std::mutex> hold(ptsLock_);
        if (k >= 0 && k < int64_t(pts_.size()) && pts_[std::size_t(k)] != kNoPts)
            return pts_[std::size_t(k)];
    }
    // A frame not read yet: its timestamp from the container where the
    // source can tell it without making the frame.
    std::vector<int64_t> batch;
    if (k > newest_ && k < info().frames && source_->timestamps(k, kPtsBatch, batch) &&
        !batch.empty()) {
        const std::lock_guard<std::mutex> hold(ptsLock_);
        for (std::size_t i = 0; i < batch.size(); ++i)
            if (int64_t* slot = ptsSlot(k + int64_t(i)); slot != nullptr && *slot == kNoPts)
                *slot = batch[i];
        return batch[0];
    }
    return frame(k).pts;
}

// A kept frame whose field was given up reads it again, from the start.
void FieldReader::rereadTaken(int64_t index) {
    const int64_t k = index >= 0 ? index / 2 : -1;
    if (k >= 0 && k >= newest_ - 1 && k <= newest_ && (taken_[k & 1] >> (index & 1) & 1) != 0) {
        const int64_t to = std::max<int64_t>(0, k - 1);
        if (!seeking_ || !source_->seekRefusal().empty() || !source_->seek(to)) reopen();
        else newest_ = to - 1;
    }
}

const Field& FieldReader::field(int64_t index) {
    rereadTaken(index);
    const Frame& f = frame(index >= 0 ? index / 2 : -1);
    return (index & 1) ? f.second : f.first;
}

void FieldReader::takeField(int64_t index, Field& into) {
    field(index);
    Frame& f = frames_[(index / 2) & 1];
    std::swap(into, (index & 1) ? f.second : f.first);
    taken_[(index / 2) & 1] |= uint8_t(1u << (index & 1));
}

bool FieldReader::takeLater(int64_t index, std::shared_ptr<const FrameFields>& frame,
                            int& which) {
    rereadTaken(index);
    readFrame(index >= 0 ? index / 2 : -1);
    const std::shared_ptr<const FrameFields>& later = later_[(index / 2) & 1];
    if (!later) return false;
    frame = later;
    which = int(index & 1);
    taken_[(index / 2) & 1] |= uint8_t(1u << (index & 1));
    return true;
}

struct ConformedReader::Scaler {
    av::ScalerPtr sws;
    av::FramePtr from, to;
};

bool needsConforming(const ClipInfo& first, const ClipInfo& second) {
    return first.width != second.width || first.height != second.height ||
           first.scan != second.scan ||
           int64_t(first.frameRate.num) * second.frameRate.den !=
               int64_t(second.frameRate.num) * first.frameRate.den;
}

ConformedReader::ConformedReader(FieldSource& source, const ClipInfo& target)
    : source_(source), info_(source.info()) {
    const ClipInfo& from = source.info();
    info_.width = target.width;
    info_.height = target.height;
    info_.scan = target.scan;
    info_.frameRate = target.frameRate;
    info_.timeBase = target.timeBase;
    // Fields j with sourceIndex(j) inside the source.
    const int64_t num = from.fieldCount() * target.frameRate.num * from.frameRate.den;
    const int64_t den = int64_t(target.frameRate.den) * from.frameRate.num;
    info_.frames = den > 0 ? (num + den - 1) / den / 2 : 0;
    if (from.width != target.width || from.fieldHeight() != target.fieldHeight()) {
        scaler_ = std::make_unique<Scaler>();
        const AVPixelFormat planar = AV_PIX_FMT_YUVA444P;
        scaler_->sws = av::makeScaler({from.width, from.fieldHeight(), planar, 1, 2, -513},
                                      {target.width, target.fieldHeight(), planar, 1, 2, -513});
        scaler_->from = av::allocFrame(planar, from.width, from.fieldHeight());
        scaler_->to = av::allocFrame(planar, target.width, target.fieldHeight());
    }
}

ConformedReader::~ConformedReader() = default;

int64_t ConformedReader::sourceIndex(int64_t index) const {
    const ClipInfo& from = source_.info();
    return index * from.frameRate.num * info_.frameRate.den /
           (int64_t(from.frameRate.den) * info_.frameRate.num);
}

const Field& ConformedReader::field(int64_t index) {
    if (index == made_) return result_;
    const int64_t i = sourceIndex(index);
    const Field& in = source_.field(i);
    const Field* sized = &in;
    if (scaler_) {
        for (int r = 0; r < in.height; ++r) unpackRow(in.row(r), true, r, *scaler_->from);
        sws_scale(scaler_->sws.get(), scaler_->from->data, scaler_->from->linesize, 0, in.height,
                  scaler_->to->data, scaler_->to->linesize);
        if (scaled_.width != info_.width || scaled_.height != info_.fieldHeight())
            scaled_ = Field(info_.width, info_.fieldHeight());
        for (int r = 0; r < scaled_.height; ++r) packRow(*scaler_->to, r, true, scaled_.row(r));
        sized = &scaled_;
    }
    const bool haveOdd = fieldHoldsOddLines(source_.info().scan, i & 1);
    const bool wantOdd = fieldHoldsOddLines(info_.scan, index & 1);
    result_ = *sized;
    if (haveOdd != wantOdd) {
        // Frame line 2y + 1 lies halfway between the even field's rows y and
        // y + 1; frame line 2y halfway between the odd field's rows y - 1
        // and y. Rows beyond the field repeat its edge row.
        const int h = sized->height;
        const std::size_t bytes = std::size_t(sized->width) * 4;
        for (int y = 0; y < h; ++y) {
            const int a = wantOdd ? y : std::max(y - 1, 0);
            const int b = wantOdd ? std::min(y + 1, h - 1) : y;
            const uint8_t* pa = sized->row(a);
            const uint8_t* pb = sized->row(b);
            uint8_t* out = result_.row(y);
            for (std::size_t k = 0; k < bytes; ++k) out[k] = uint8_t((pa[k] + pb[k] + 1) / 2);
        }
    }
    made_ = index;
    return result_;
}

}  // namespace fieldfx::video
