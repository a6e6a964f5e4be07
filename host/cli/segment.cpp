#include "segment.h"

#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>

#include "fieldfx/runtime/error.h"
#include "job.h"
#include "options.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

std::string tagOf(const Tags& tags, const std::string& path, const char* key) {
    const auto it = tags.find(key);
    if (it == tags.end())
        throw Error(ErrorKind::Input, path + " is no fieldfx segment (it has no " + key +
                                          " tag): segments come from fieldfx render --range "
                                          "into a .mkv");
    return it->second;
}

[[noreturn]] void malformed(const std::string& path, const char* key, const std::string& value) {
    throw Error(ErrorKind::Input, path + ": malformed " + key + " tag \"" + value + "\"");
}

std::string rangeText(const FrameRange& r) {
    return std::to_string(r.first) + ":" + std::to_string(r.last);
}

}  // namespace

std::string fileChecksum(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) throw Error(ErrorKind::Input, "cannot read " + path + " for its checksum");
    uint64_t h = 0xcbf29ce484222325ull;
    unsigned char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        for (std::size_t i = 0; i < n; ++i) h = (h ^ buffer[i]) * 0x100000001b3ull;
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) throw Error(ErrorKind::Input, "cannot read " + path + " for its checksum");
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, h);
    return text;
}

std::string contentDigest(const std::string& path) {
    struct stat st;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr || fstat(fileno(f), &st) != 0) {
        if (f != nullptr) std::fclose(f);
        throw Error(ErrorKind::Input, "cannot read " + path + " for its digest");
    }
    constexpr int kBlocks = 16;
    constexpr int64_t kBlock = 1 << 16;
    const int64_t size = st.st_size;
    uint64_t h = 0xcbf29ce484222325ull;
    std::vector<unsigned char> buffer(kBlock);
    bool failed = false;
    for (int b = 0; b < kBlocks && !failed; ++b) {
        // Block b starts at b/(kBlocks-1) of the way to the last block.
        const int64_t span = std::max<int64_t>(0, size - kBlock);
        const int64_t at = size <= kBlock * kBlocks ? b * kBlock : span * b / (kBlocks - 1);
        if (at >= size) break;
        if (fseeko(f, at, SEEK_SET) != 0) {
            failed = true;
            break;
        }
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
        failed = std::ferror(f) != 0;
        for (std::size_t i = 0; i < n; ++i) h = (h ^ buffer[i]) * 0x100000001b3ull;
    }
    std::fclose(f);
    if (failed) throw Error(ErrorKind::Input, "cannot read " + path + " for its digest");
    char text[80];
    std::snprintf(text, sizeof text, "%" PRId64 " %" PRId64 " %016" PRIx64, size,
                  int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, h);
    return text;
}

std::string inputsTag(const std::vector<std::string>& names) {
    std::string tag;
    for (const std::string& name : names)
        if (name.rfind("builtin:", 0) != 0)
            tag += (tag.empty() ? "" : "\n") + name + " " + contentDigest(name);
    return tag;
}

namespace {

// FIELDFX_INPUTS as (name, digest) pairs; the name is all before the digest's
// three words.
std::vector<std::pair<std::string, std::string>> inputDigests(const std::string& tag) {
    std::vector<std::pair<std::string, std::string>> list;
    std::istringstream lines(tag);
    for (std::string line; std::getline(lines, line);) {
        std::size_t cut = line.size();
        for (int words = 0; words < 3 && cut != std::string::npos && cut > 0; ++words)
            cut = line.rfind(' ', cut - 1);
        if (cut == std::string::npos || cut == 0) continue;
        list.emplace_back(line.substr(0, cut), line.substr(cut + 1));
    }
    return list;
}

}  // namespace

std::string changedInput(const std::string& ours, const std::string& theirs) {
    const auto a = inputDigests(ours), b = inputDigests(theirs);
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            return a[i].first + " (" + a[i].second + " against " + b[i].second + ")";
    return ours == theirs ? "" : "the inputs differ";
}

std::string inputsChangedSince(const std::string& tag) {
    std::string changed;
    for (const auto& [name, digest] : inputDigests(tag)) {
        struct stat st;
        if (stat(name.c_str(), &st) != 0) continue;
        const std::string now = contentDigest(name);
        if (now != digest)
            changed += (changed.empty() ? "" : ", ") + name + " (" + digest + " then, " + now + " now)";
    }
    return changed;
}

std::string formatTag(const video::ClipInfo& f) {
    std::ostringstream s;
    s << f.width << "x" << f.height << " rate=" << f.frameRate.num << "/" << f.frameRate.den
      << " timebase=" << f.timeBase.num << "/" << f.timeBase.den
      << " scan=" << video::scanName(f.scan) << " sar=" << f.sampleAspect.num << "/"
      << f.sampleAspect.den << " colour=" << f.colour.matrix << "," << f.colour.range << ","
      << f.colour.primaries << "," << f.colour.transfer << " alpha=" << int(f.alpha);
    return s.str();
}

std::string audioTag(const video::AudioSpan& a) {
    if (a.source.empty()) return "";
    return std::to_string(a.from) + " " + std::to_string(a.to) + " " + std::to_string(a.shift) +
           " " + a.source;
}

std::string ptsTag(const std::vector<int64_t>& pts) {
    std::string s;
    for (int64_t t : pts) s += (s.empty() ? "" : ",") + std::to_string(t);
    return s;
}

Segment readSegment(const std::string& path, const Tags& tags) {
    Segment seg;
    seg.path = path;
    for (const char* key : {"FIELDFX_BUILD", "FIELDFX_EFFECT"}) seg.identity[key] = tagOf(tags, path, key);
    // Segments of earlier builds carry no digest of their inputs and no
    // coding of their frames.
    for (const char* key : {"FIELDFX_INPUTS", "FIELDFX_CODED"}) {
        const auto it = tags.find(key);
        seg.identity[key] = it == tags.end() ? "" : it->second;
    }

    const std::string range = tagOf(tags, path, "FIELDFX_RANGE");
    const std::string frames = tagOf(tags, path, "FIELDFX_FRAMES");
    char tail;
    if (std::sscanf(range.c_str(), "%u:%u%c", &seg.range.first, &seg.range.last, &tail) != 2 ||
        seg.range.first > seg.range.last)
        malformed(path, "FIELDFX_RANGE", range);
    if (std::sscanf(frames.c_str(), "%u%c", &seg.frames, &tail) != 1 || seg.range.last >= seg.frames)
        malformed(path, "FIELDFX_FRAMES", frames);

    const std::string format = tagOf(tags, path, "FIELDFX_FORMAT");
    video::ClipInfo& f = seg.format;
    char scan[16] = {};
    int alpha = 0;
    if (std::sscanf(format.c_str(),
                    "%dx%d rate=%d/%d timebase=%d/%d scan=%15s sar=%d/%d colour=%d,%d,%d,%d "
                    "alpha=%d%c",
                    &f.width, &f.height, &f.frameRate.num, &f.frameRate.den, &f.timeBase.num,
                    &f.timeBase.den, scan, &f.sampleAspect.num, &f.sampleAspect.den,
                    &f.colour.matrix, &f.colour.range, &f.colour.primaries, &f.colour.transfer,
                    &alpha, &tail) != 14 ||
        !runtime::readScan(scan, f.scan) || f.width <= 0 || f.height <= 0 ||
        f.frameRate.num <= 0 || f.frameRate.den <= 0 || f.timeBase.num <= 0 || f.timeBase.den <= 0)
        malformed(path, "FIELDFX_FORMAT", format);
    f.alpha = alpha != 0;
    f.frames = seg.frames;

    if (const auto tc = tags.find("FIELDFX_TIMECODE"); tc != tags.end())
        f.tags["timecode"] = tc->second;

    const std::string audio = tagOf(tags, path, "FIELDFX_AUDIO");
    if (!audio.empty()) {
        long long from, to, shift;
        int used = 0;
        if (std::sscanf(audio.c_str(), "%lld %lld %lld %n", &from, &to, &shift, &used) != 3 ||
            used == 0 || std::size_t(used) >= audio.size())
            malformed(path, "FIELDFX_AUDIO", audio);
        seg.audio = video::AudioSpan{audio.substr(std::size_t(used)), from, to, shift};
    }

    const std::string pts = tagOf(tags, path, "FIELDFX_PTS");
    std::istringstream list(pts);
    for (std::string item; std::getline(list, item, ',');) {
        char* end = nullptr;
        seg.pts.push_back(std::strtoll(item.c_str(), &end, 10));
        if (item.empty() || *end != '\0') malformed(path, "FIELDFX_PTS", item);
    }
    if (seg.pts.size() != std::size_t(seg.range.last - seg.range.first) + 1)
        throw Error(ErrorKind::Input, path + ": FIELDFX_PTS holds " +
                                          std::to_string(seg.pts.size()) +
                                          " timestamps for the frames " + range);
    return seg;
}

std::vector<Segment> orderSegments(std::vector<Segment> segments) {
    if (segments.empty()) throw Error(ErrorKind::Usage, "no segments to join");
    std::sort(segments.begin(), segments.end(), [](const Segment& a, const Segment& b) {
        return a.range.first != b.range.first ? a.range.first < b.range.first
                                              : a.range.last < b.range.last;
    });
    const Segment& first = segments.front();
    std::vector<std::string> missing;
    uint32_t next = 0;  // the first frame no segment so far covers
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        if (s.identity.at("FIELDFX_INPUTS") != first.identity.at("FIELDFX_INPUTS"))
            throw Error(ErrorKind::Input,
                        s.path + " was rendered from other input than " + first.path + ": " +
                            changedInput(s.identity.at("FIELDFX_INPUTS"),
                                         first.identity.at("FIELDFX_INPUTS")) +
                            "; render the segments of the changed input again");
        for (const auto& [key, value] : s.identity)
            if (first.identity.at(key) != value)
                throw Error(ErrorKind::Input,
                            s.path + " belongs to another render than " + first.path + ": its " +
                                key + " is \"" + value + "\", not \"" + first.identity.at(key) +
                                "\"");
        if (s.frames != first.frames || formatTag(s.format) != formatTag(first.format) ||
            audioTag(s.audio) != audioTag(first.audio))
            throw Error(ErrorKind::Input, s.path + " belongs to another render than " +
                                              first.path + ": its span or format differs");
        if (i > 0 && s.range.first < next) {
            const Segment& prev = segments[i - 1];
            throw Error(ErrorKind::Input,
                        s.range.first == prev.range.first && s.range.last == prev.range.last
                            ? s.path + " repeats the frames " + rangeText(s.range) + " of " +
                                  prev.path
                            : s.path + " (frames " + rangeText(s.range) + ") overlaps " +
                                  prev.path + " (frames " + rangeText(prev.range) + ")");
        }
        if (s.range.first > next)
            missing.push_back(std::to_string(next) + ":" + std::to_string(s.range.first - 1));
        next = s.range.last + 1;
    }
    if (next < first.frames)
        missing.push_back(std::to_string(next) + ":" + std::to_string(first.frames - 1));
    if (!missing.empty()) {
        std::string list;
        for (const std::string& m : missing) list += (list.empty() ? "" : ", ") + m;
        throw Error(ErrorKind::Input, "the segments are incomplete: no segment holds the frames " +
                                          list + " of the span 0:" +
                                          std::to_string(first.frames - 1));
    }
    return segments;
}

}  // namespace fieldfx::cli
