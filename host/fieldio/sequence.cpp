#include "fieldfx/fieldio/sequence.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fieldfx/fieldio/pam.h"
#include "fieldfx/fieldio/png.h"

namespace fieldfx::io {

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class PamClip : public ClipReader {
public:
    explicit PamClip(const std::string& path) : reader_(path) {
        path_ = path;
        width_ = reader_.width(0);
        height_ = reader_.height(0);
        for (std::size_t i = 1; i < reader_.count(); ++i)
            if (reader_.width(i) != width_ || reader_.height(i) != height_)
                throw IoError(path + ": image " + std::to_string(i + 1) + " is " +
                              std::to_string(reader_.width(i)) + "x" +
                              std::to_string(reader_.height(i)) + ", the first " +
                              std::to_string(width_) + "x" + std::to_string(height_));
    }
    std::size_t fieldCount() const override { return reader_.count(); }
    const Field& field(std::size_t index) override {
        if (index != current_) {
            reader_.read(index, field_);
            current_ = index;
        }
        return field_;
    }

private:
    PamReader reader_;
    Field field_;
    std::size_t current_ = std::size_t(-1);
};

// PNG frames: one file, or numbered files; fields split on demand.
class PngClip : public ClipReader {
public:
    PngClip(const std::string& path, FieldOrder order) : order_(order) {
        path_ = path;
        if (NumberedName::parse(path, name_)) {
            numbered_ = true;
            first_ = exists(name_.format(0)) ? 0 : 1;
            // Every frame is an input from now on, though read later.
            for (; exists(name_.format(first_ + frames_)); ++frames_)
                noteInputFile(name_.format(first_ + frames_));
            if (frames_ == 0)
                throw IoError(path + ": no frame files (" + name_.format(0) + " or " +
                              name_.format(1) + " missing)");
        } else {
            frames_ = 1;
        }
        load(0);
        width_ = top_.width;
        height_ = top_.height;
    }
    std::size_t fieldCount() const override { return frames_ * 2; }
    const Field& field(std::size_t index) override {
        if (index / 2 != frame_) load(index / 2);
        return holdsOddLines(order_, unsigned(index & 1)) ? bottom_ : top_;
    }

private:
    void load(std::size_t frame) {
        const std::string file = numbered_ ? name_.format(first_ + frame) : path_;
        const Field f = readPngFrame(file);
        if (frame_ != std::size_t(-1) && (f.width != width_ || f.height != 2 * height_))
            throw IoError(file + ": frame is " + std::to_string(f.width) + "x" +
                          std::to_string(f.height) + ", the first " + std::to_string(width_) +
                          "x" + std::to_string(2 * height_));
        try {
            splitFrame(f, top_, bottom_);
        } catch (const IoError& e) {
            throw IoError(file + ": " + e.what());
        }
        frame_ = frame;
    }

    FieldOrder order_;
    NumberedName name_;
    bool numbered_ = false;
    std::size_t first_ = 0, frames_ = 0, frame_ = std::size_t(-1);
    Field top_, bottom_;
};

class PamWriter : public ClipWriter {
public:
    PamWriter(const std::string& path, bool replace) : out_(path, replace) {}
    void put(const Field& field) override { writePamImage(out_.stream(), field, out_.target()); }
    void commit() override { out_.commit(); }

private:
    OutputFile out_;
};

class PngWriter : public ClipWriter {
public:
    PngWriter(const std::string& path, FieldOrder order, std::size_t fieldCount, bool replace)
        : order_(order) {
        if (fieldCount % 2 != 0)
            throw IoError(path + ": " + std::to_string(fieldCount) +
                          " fields cannot be woven into whole frames (write .pam instead)");
        NumberedName name;
        numbered_ = NumberedName::parse(path, name);
        if (numbered_) {
            for (std::size_t i = 0; i < fieldCount / 2; ++i) targets_.push_back(name.format(i));
        } else {
            if (fieldCount != 2)
                throw IoError(path + ": one PNG holds one frame, the output has " +
                              std::to_string(fieldCount / 2) +
                              " (use a numbered name such as out%04d.png)");
            targets_.push_back(path);
        }
        // Every target is checked now; the files are created one frame at a
        // time (the first at once, which proves the directory writable).
        for (const std::string& t : targets_) {
            refuseInputTarget(t);
            if (!replace && exists(t)) throw IoError(t + ": exists (use -y to replace it)");
        }
        // Frames of an older, longer sequence that would follow the new last
        // one: a reader would take them for part of it. Removed once the new
        // frames are in place, and only with -y.
        for (std::size_t i = targets_.size(); numbered_ && exists(name.format(i)); ++i) {
            refuseInputTarget(name.format(i));
            if (!replace)
                throw IoError(name.format(i) + ": exists and would follow the new frames (use -y "
                              "to remove it)");
            stale_.push_back(name.format(i));
        }
        replace_ = replace;
        if (!targets_.empty()) files_.push_back(std::make_unique<OutputFile>(targets_[0], replace));
    }
    void put(const Field& field) override {
        if (!havePending_) {
            pending_ = field;
            havePending_ = true;
            return;
        }
        const bool firstIsOdd = holdsOddLines(order_, 0);
        weaveFields(firstIsOdd ? field : pending_, firstIsOdd ? pending_ : field, frame_);
        havePending_ = false;
        if (next_ >= targets_.size()) throw IoError("more frames than announced");
        if (next_ == files_.size())
            files_.push_back(std::make_unique<OutputFile>(targets_[next_], replace_));
        OutputFile& out = *files_[next_++];
        writePngFrame(out.stream(), frame_, out.target());
        out.close();
    }
    void commit() override {
        if (havePending_ || next_ != targets_.size())
            throw IoError(targets_.front() + ": the output ends inside a frame");
        for (std::size_t i = 0; i < files_.size(); ++i) {
            try {
                files_[i]->commit();
            } catch (const IoError&) {
                // A frame made meanwhile by someone else: without -y the
                // frames placed so far were new, and go again.
                if (!replace_)
                    for (std::size_t j = 0; j < i; ++j) std::remove(targets_[j].c_str());
                throw;
            }
        }
        for (const std::string& s : stale_)
            if (std::remove(s.c_str()) != 0 && exists(s))
                throw IoError(s + ": cannot remove this frame of the older sequence: " +
                              std::strerror(errno));
    }

private:
    FieldOrder order_;
    std::vector<std::string> targets_;
    std::vector<std::string> stale_;  // frames of a longer sequence beyond the new end
    bool numbered_ = false;
    std::vector<std::unique_ptr<OutputFile>> files_;
    std::size_t next_ = 0;
    bool replace_ = false;
    Field pending_, frame_;
    bool havePending_ = false;
};

}  // namespace

bool NumberedName::parse(const std::string& name, NumberedName& out) {
    const std::size_t pct = name.find('%');
    if (pct == std::string::npos) return false;
    std::size_t i = pct + 1;
    out = NumberedName{};
    if (i < name.size() && name[i] == '0') {
        out.zeroPad = true;
        ++i;
    }
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])) &&
           out.width < 100)
        out.width = out.width * 10 + (name[i++] - '0');
    if (i >= name.size() || name[i] != 'd' || out.width >= 100)
        throw IoError(name + ": a frame number is written %d, %4d or %04d");
    out.prefix = name.substr(0, pct);
    out.suffix = name.substr(i + 1);
    if (out.suffix.find('%') != std::string::npos)
        throw IoError(name + ": only one frame number (%d) in a name");
    return true;
}

std::string NumberedName::format(std::size_t number) const {
    std::string digits = std::to_string(number);
    if (digits.size() < std::size_t(width))
        digits.insert(0, std::size_t(width) - digits.size(), zeroPad ? '0' : ' ');
    return prefix + digits + suffix;
}

std::unique_ptr<ClipReader> ClipReader::open(const std::string& path, FieldOrder order) {
    if (endsWith(path, ".pam")) return std::make_unique<PamClip>(path);
    if (endsWith(path, ".png")) return std::make_unique<PngClip>(path, order);
    throw IoError(path + ": unknown kind of file (expected .pam or .png)");
}

std::unique_ptr<ClipWriter> ClipWriter::create(const std::string& path, FieldOrder order,
                                               std::size_t fieldCount, bool replace) {
    if (endsWith(path, ".pam")) {
        if (path.find('%') != std::string::npos)
            throw IoError(path + ": a PAM output holds the whole sequence; no %d in its name");
        return std::make_unique<PamWriter>(path, replace);
    }
    if (endsWith(path, ".png")) return std::make_unique<PngWriter>(path, order, fieldCount, replace);
    throw IoError(path + ": unknown kind of file (expected .pam or .png)");
}

}  // namespace fieldfx::io
