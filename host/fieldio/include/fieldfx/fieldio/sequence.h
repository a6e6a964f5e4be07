// Clips: field sequences read from and written to files, chosen by name.
//   NAME.pam        a PAM field sequence (fields in time order)
//   NAME.png        one PNG frame (two fields)
//   NAME%04d.png    a numbered PNG frame sequence (%d, %4d, %04d, ...); read
//                   from number 0 or 1 on while the files exist, written from 0
#ifndef FIELDFX_FIELDIO_SEQUENCE_H
#define FIELDFX_FIELDIO_SEQUENCE_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "fieldfx/fieldio/field.h"
#include "fieldfx/fieldio/frames.h"
#include "fieldfx/fieldio/output_file.h"

namespace fieldfx::io {

// A name with one printf-style frame number: prefix, %[0][width]d, suffix.
struct NumberedName {
    std::string prefix, suffix;
    int width = 0;
    bool zeroPad = false;

    // False when `name` holds no % at all; throws on a malformed pattern.
    static bool parse(const std::string& name, NumberedName& out);
    std::string format(std::size_t number) const;
};

// A field read from its clip but not yet converted into 4-byte pixels:
// make() does that, on any thread (a video's frames are decoded in order on
// one thread, their fields made on others).
class LaterField {
public:
    virtual ~LaterField() = default;
    virtual void make(Field& into) = 0;  // throws IoError
};

class ClipReader {
public:
    virtual ~ClipReader() = default;
    static std::unique_ptr<ClipReader> open(const std::string& path, FieldOrder order);

    virtual std::size_t fieldCount() const = 0;
    int32_t fieldWidth() const { return width_; }
    int32_t fieldHeight() const { return height_; }
    // Field `index` in time; valid until the next call.
    virtual const Field& field(std::size_t index) = 0;
    // Field `index` into `into`: a reader that can give the field up
    // exchanges buffers (and reads it again if asked for it later); the
    // others copy.
    virtual void takeField(std::size_t index, Field& into) { into = field(index); }
    // takeField() with the conversion left to the returned field; null from
    // a reader that converts as it reads (takeField then).
    virtual std::unique_ptr<LaterField> takeLater(std::size_t) { return nullptr; }
    const std::string& path() const { return path_; }

protected:
    std::string path_;
    int32_t width_ = 0, height_ = 0;
};

class ClipWriter {
public:
    virtual ~ClipWriter() = default;
    // A writer for `fieldCount` fields; every output file is created (as a
    // temporary) at once, so existing or unwritable outputs fail here.
    static std::unique_ptr<ClipWriter> create(const std::string& path, FieldOrder order,
                                              std::size_t fieldCount, bool replace);

    virtual void put(const Field& field) = 0;  // the next field in time
    // put() for a field its caller gives up: a writer that keeps fields may
    // take its buffer, leaving `field` with another (of any size).
    virtual void putSwapping(Field& field) { put(field); }
    virtual void commit() = 0;                 // all outputs into place
};

}  // namespace fieldfx::io

#endif
