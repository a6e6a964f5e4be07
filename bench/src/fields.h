// The pictures the benchmarks feed to operators: synthetic fields made in
// memory, and frames read from a raw yuva444p file (the same bytes FFmpeg
// reads in bench/compare-ffmpeg) split into their two fields.
#ifndef FIELDFX_BENCH_FIELDS_H
#define FIELDFX_BENCH_FIELDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "fieldfx/fieldio/field.h"

namespace fieldfx::bench {

// A field of width x height with detail everywhere (ramps, a checker and
// noise from `seed`), opaque, luma and chroma within the limited range, so
// that no operator meets a flat picture.
io::Field syntheticField(int32_t width, int32_t height, uint32_t seed);

// One yuva444p frame of width x height (planes Y, U, V, A one after the
// other, `width` bytes a line) as two fields of 4-byte pixels (opacity, Cb,
// Cr, luma): `top` receives lines 0, 2, 4, ..., `bottom` lines 1, 3, 5, ...
// An odd last line goes to `top` alone.
void splitRawFrame(const uint8_t* frame, int32_t width, int32_t height, io::Field& top,
                   io::Field& bottom);

// Bytes of one yuva444p frame.
std::size_t rawFrameBytes(int32_t width, int32_t height);

// Every whole frame of a raw yuva444p file, as fields in time order (top
// field first). Throws io::IoError when the file cannot be read or holds no
// whole frame.
std::vector<io::Field> readRawFields(const std::string& path, int32_t width, int32_t height);

}  // namespace fieldfx::bench

#endif
