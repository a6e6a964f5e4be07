// PAM (Netpbm P7) files of fields: DEPTH 4, MAXVAL 255, the operators' own
// 4-byte pixels in memory order, one or many images per file (a field
// sequence in time order). Any TUPLTYPE is read; TUPLTYPE FIELDFX_PIXEL is
// written.
#ifndef FIELDFX_FIELDIO_PAM_H
#define FIELDFX_FIELDIO_PAM_H

#include <cstdio>
#include <string>
#include <vector>

#include "fieldfx/fieldio/field.h"

namespace fieldfx::io {

// Reads the images of a PAM file on demand. Opening checks every header and
// that the file holds all the bytes they declare.
class PamReader {
public:
    explicit PamReader(const std::string& path);  // throws IoError
    ~PamReader();
    PamReader(const PamReader&) = delete;
    PamReader& operator=(const PamReader&) = delete;

    std::size_t count() const { return images_.size(); }
    int32_t width(std::size_t i) const { return images_[i].width; }
    int32_t height(std::size_t i) const { return images_[i].height; }
    // Image i into `out` (reusing its storage when the size matches).
    void read(std::size_t i, Field& out);

private:
    struct Image {
        long offset;
        int32_t width, height;
    };
    std::string path_;
    std::FILE* file_ = nullptr;
    std::vector<Image> images_;
};

std::vector<Field> readPam(const std::string& path);

// Appends fields as PAM images to an open stream.
void writePamImage(std::FILE* out, const Field& field, const std::string& path);

}  // namespace fieldfx::io

#endif
