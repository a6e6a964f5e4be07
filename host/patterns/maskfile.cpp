// Mask files: reading a file, and the binary PGM (P5) format.
#include <cstdio>
#include <memory>
#include <new>

#include "checks.h"
#include "fieldfx/patterns/patterns.h"
#include "fieldfx/png/png.h"

namespace fieldfx::patterns {
namespace {

constexpr long kMaxFileBytes = 256L << 20;

// A PNG mask: its grey samples, 8 or 16 bits, colour turned grey.
bool decodePng(std::span<const uint8_t> bytes, GrayImage& image, std::string* error) {
    png::Image decoded;
    std::string why;
    if (!png::decode(bytes, png::Decoded::Grey, {kMaxSide, kMaxSide, uint64_t(kMaxPixels)},
                     decoded, why))
        return fail(error, "PNG: " + why);
    try {
        std::vector<uint16_t> samples(std::size_t(decoded.width) * decoded.height);
        for (uint32_t y = 0; y < decoded.height; ++y) {
            const uint8_t* p = decoded.row(y);
            for (uint32_t x = 0; x < decoded.width; ++x, p += decoded.depth / 8)
                samples[std::size_t(y) * decoded.width + x] =
                    static_cast<uint16_t>(decoded.depth == 16 ? p[0] << 8 | p[1] : p[0]);
        }
        image.width = int(decoded.width);
        image.height = int(decoded.height);
        image.maxValue = decoded.depth == 16 ? 65535 : 255;
        image.samples = std::move(samples);
        return true;
    } catch (const std::bad_alloc&) {
        return fail(error, "out of memory");
    }
}

bool isSpace(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the PGM header number at `at` after skipping white space and
// comments ('#' to the end of the line). Values above `limit` fail.
bool headerNumber(std::span<const uint8_t> bytes, std::size_t& at, uint32_t limit,
                  uint32_t& value) {
    for (;;) {
        while (at < bytes.size() && isSpace(bytes[at])) ++at;
        if (at < bytes.size() && bytes[at] == '#') {
            while (at < bytes.size() && bytes[at] != '\n' && bytes[at] != '\r') ++at;
            continue;
        }
        break;
    }
    if (at >= bytes.size() || bytes[at] < '0' || bytes[at] > '9') return false;
    value = 0;
    while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9') {
        value = value * 10 + (bytes[at++] - '0');
        if (value > limit) return false;
    }
    return true;
}

}  // namespace

bool decodePgm(std::span<const uint8_t> bytes, GrayImage& image, std::string* error) {
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5')
        return fail(error, "not a binary PGM (P5) file");
    std::size_t at = 2;
    uint32_t width = 0, height = 0, maxValue = 0;
    if (!headerNumber(bytes, at, kMaxSide, width) || !headerNumber(bytes, at, kMaxSide, height) ||
        !headerNumber(bytes, at, 65535, maxValue))
        return fail(error, "PGM header is malformed or out of range");
    if (width == 0 || height == 0 || maxValue == 0)
        return fail(error, "PGM header has a zero size or maximum");
    if (!checkMaskSize(int(width), int(height), error)) return false;
    // Exactly one white space character separates the header from the samples.
    if (at >= bytes.size() || !isSpace(bytes[at])) return fail(error, "PGM header is malformed");
    ++at;
    const std::size_t count = std::size_t(width) * height;
    const std::size_t sampleBytes = maxValue < 256 ? 1 : 2;
    if (bytes.size() - at < count * sampleBytes) return fail(error, "PGM samples are truncated");
    try {
        std::vector<uint16_t> samples(count);
        const uint8_t* p = bytes.data() + at;
        for (std::size_t i = 0; i < count; ++i) {
            // 16-bit samples are stored most significant byte first.
            const uint32_t s = sampleBytes == 1 ? p[i] : uint32_t(p[2 * i]) << 8 | p[2 * i + 1];
            if (s > maxValue) return fail(error, "PGM sample exceeds the maximum value");
            samples[i] = static_cast<uint16_t>(s);
        }
        image.width = int(width);
        image.height = int(height);
        image.maxValue = maxValue;
        image.samples = std::move(samples);
    } catch (const std::bad_alloc&) {
        return fail(error, "out of memory");
    }
    return true;
}

bool pngSupported() { return png::supported(); }

bool loadMaskFile(const std::string& path, GrayImage& image, std::string* error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) return fail(error, "cannot open " + path);
    std::vector<uint8_t> bytes;
    try {
        uint8_t chunk[65536];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
            if (long(bytes.size() + got) > kMaxFileBytes)
                return fail(error, path + " is too large");
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
    } catch (const std::bad_alloc&) {
        return fail(error, "out of memory");
    }
    if (std::ferror(file.get())) return fail(error, "cannot read " + path);
    std::string why;
    bool ok;
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '5')
        ok = decodePgm(bytes, image, &why);
    else if (png::hasSignature(bytes))
        ok = decodePng(bytes, image, &why);
    else
        ok = fail(&why, "not a PGM (P5) or PNG file");
    return ok ? true : fail(error, path + ": " + why);
}

}  // namespace fieldfx::patterns
