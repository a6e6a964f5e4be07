#include "fieldfx/fieldio/pam.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "fieldfx/fieldio/output_file.h"

namespace fieldfx::io {

namespace {

constexpr int32_t kMaxSide = 32767;  // FieldImage holds 16-bit sizes

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw IoError(path + ": " + what);
}

// One header line without its newline; false at end of file.
bool headerLine(std::FILE* f, std::string& line) {
    line.clear();
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
        if (line.size() > 1024) return false;
        line.push_back(char(c));
    }
    return c == '\n' || !line.empty();
}

bool parseCount(const std::string& text, int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

PamReader::PamReader(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) fail(path, std::string("cannot open: ") + std::strerror(errno));
    noteInputFile(path);
    // A malformed file is refused without keeping it open: the destructor does
    // not run for a constructor that throws.
    try {
        std::fseek(file_, 0, SEEK_END);
        const long size = std::ftell(file_);
        std::fseek(file_, 0, SEEK_SET);
        std::string line;
        for (;;) {
            const long start = std::ftell(file_);
            if (start == size) break;
            if (!headerLine(file_, line) || line != "P7") {
                if (images_.empty()) fail(path, "not a PAM file (no P7 header)");
                fail(path, "image " + std::to_string(images_.size() + 1) +
                               ": no P7 header after the previous image (trailing bytes)");
            }
            const std::string where = "image " + std::to_string(images_.size() + 1);
            int32_t width = -1, height = -1, depth = -1, maxval = -1;
            bool ended = false;
            while (headerLine(file_, line)) {
                if (line.empty() || line[0] == '#') continue;
                if (line == "ENDHDR") {
                    ended = true;
                    break;
                }
                const std::size_t space = line.find(' ');
                const std::string key = line.substr(0, space);
                std::string value = space == std::string::npos ? "" : line.substr(space + 1);
                while (!value.empty() && value.back() == ' ') value.pop_back();
                int32_t* target = key == "WIDTH"    ? &width
                                  : key == "HEIGHT" ? &height
                                  : key == "DEPTH"  ? &depth
                                  : key == "MAXVAL" ? &maxval
                                                    : nullptr;
                if (key == "TUPLTYPE") continue;
                if (target == nullptr) fail(path, where + ": unknown header line \"" + line + "\"");
                if (!parseCount(value, *target))
                    fail(path, where + ": bad " + key + " \"" + value + "\"");
            }
            if (!ended) fail(path, where + ": header ends without ENDHDR (truncated)");
            if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
                fail(path, where + ": size " + std::to_string(width) + "x" + std::to_string(height) +
                               " outside 1..32767");
            if (uint64_t(width) * uint64_t(height) > kMaxPicturePixels)
                fail(path, where + ": size " + std::to_string(width) + "x" +
                               std::to_string(height) + " above the limit of " +
                               std::to_string(kMaxPicturePixels) + " pixels");
            if (depth != 4) fail(path, where + ": DEPTH must be 4 (4-byte pixels)");
            if (maxval != 255) fail(path, where + ": MAXVAL must be 255");
            const long offset = std::ftell(file_);
            const long bytes = long(width) * height * 4;
            if (size - offset < bytes)
                fail(path, where + ": truncated: " + std::to_string(size - offset) + " of " +
                               std::to_string(bytes) + " pixel bytes present");
            images_.push_back(Image{offset, width, height});
            std::fseek(file_, offset + bytes, SEEK_SET);
        }
        if (images_.empty()) fail(path, "empty file, no PAM image");
    } catch (...) {
        std::fclose(file_);
        throw;
    }
}

PamReader::~PamReader() {
    if (file_ != nullptr) std::fclose(file_);
}

void PamReader::read(std::size_t i, Field& out) {
    const Image& img = images_.at(i);
    if (out.width != img.width || out.height != img.height) out = Field(img.width, img.height);
    if (std::fseek(file_, img.offset, SEEK_SET) != 0 ||
        std::fread(out.pixels.data(), 1, out.pixels.size(), file_) != out.pixels.size())
        fail(path_, "image " + std::to_string(i + 1) + ": read error");
}

std::vector<Field> readPam(const std::string& path) {
    PamReader reader(path);
    std::vector<Field> fields(reader.count());
    for (std::size_t i = 0; i < fields.size(); ++i) reader.read(i, fields[i]);
    return fields;
}

void writePamImage(std::FILE* out, const Field& field, const std::string& path) {
    const bool ok =
        std::fprintf(out,
                     "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE FIELDFX_PIXEL\n"
                     "ENDHDR\n",
                     int(field.width), int(field.height)) > 0 &&
        std::fwrite(field.pixels.data(), 1, field.pixels.size(), out) == field.pixels.size();
    if (!ok) fail(path, std::string("write error: ") + std::strerror(errno));
}

}  // namespace fieldfx::io
