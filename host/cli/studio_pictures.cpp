#include "studio_pictures.h"

#include <stdio.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "fieldfx/fieldio/png.h"
#include "fieldfx/fieldio/ycbcr.h"

namespace fieldfx::cli::backend {

namespace {

// What `write` puts in a FILE, as bytes.
template <typename Write>
std::string memoryFile(Write write) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* f = open_memstream(&data, &size);
    if (f == nullptr) throw std::runtime_error("out of memory");
    try {
        write(f);
    } catch (...) {
        std::fclose(f);
        std::free(data);
        throw;
    }
    std::fclose(f);
    std::string bytes(data, size);
    std::free(data);
    return bytes;
}

// displayPixel of every pixel value, looked up: red depends on luma and Cr
// only, blue on luma and Cb (tables made at once), green on all three (made
// for a Cb, Cr pair the first time a picture holds it). 16 MiB at most.
class DisplayTable {
public:
    DisplayTable() : green_(std::size_t(1) << 24), filled_(std::size_t(1) << 16) {
        for (int y = 0; y < 256; ++y)
            for (int c = 0; c < 256; ++c) {
                uint8_t out[4];
                const uint8_t red[4] = {255, 128, uint8_t(c), uint8_t(y)};
                displayPixel(red, out);
                red_[std::size_t(y) << 8 | std::size_t(c)] = out[0];
                const uint8_t blue[4] = {255, uint8_t(c), 128, uint8_t(y)};
                displayPixel(blue, out);
                blue_[std::size_t(y) << 8 | std::size_t(c)] = out[2];
            }
    }

    void convert(const uint8_t* in, uint8_t* out) {
        const std::size_t chroma = std::size_t(in[1]) << 8 | in[2];
        if (!filled_[chroma].load(std::memory_order_acquire)) fill(chroma);
        out[0] = red_[std::size_t(in[3]) << 8 | in[2]];
        out[1] = green_[chroma << 8 | in[3]];
        out[2] = blue_[std::size_t(in[3]) << 8 | in[1]];
        out[3] = 255;
    }

private:
    void fill(std::size_t chroma) {
        const std::lock_guard<std::mutex> hold(lock_);
        if (filled_[chroma].load(std::memory_order_relaxed)) return;
        for (int y = 0; y < 256; ++y) {
            const uint8_t px[4] = {255, uint8_t(chroma >> 8), uint8_t(chroma), uint8_t(y)};
            uint8_t out[4];
            displayPixel(px, out);
            green_[chroma << 8 | std::size_t(y)] = out[1];
        }
        filled_[chroma].store(true, std::memory_order_release);
    }

    uint8_t red_[65536], blue_[65536];
    std::vector<uint8_t> green_;  // by Cb, Cr, luma
    std::vector<std::atomic<bool>> filled_;
    std::mutex lock_;
};

}  // namespace

void displayPixel(const uint8_t* px, uint8_t* out) {
    double rgb[3];
    io::pixelToRgb(px, rgb);
    for (int c = 0; c < 3; ++c) {
        const uint32_t s = io::quantise(rgb[c], 65535);
        out[c] = uint8_t((s * 255u + 32767u) / 65535u);
    }
    out[3] = 255;
}

std::string displayImage(const io::Field& image) {
    static DisplayTable table;
    std::string out(8 + std::size_t(image.width) * image.height * 4, '\0');
    const uint32_t dims[2] = {uint32_t(image.width), uint32_t(image.height)};
    for (int i = 0; i < 8; ++i) out[i] = char(dims[i / 4] >> (8 * (i % 4)));
    uint8_t* o = reinterpret_cast<uint8_t*>(out.data()) + 8;
    const uint8_t* in = image.pixels.data();
    for (std::size_t i = 0, n = std::size_t(image.width) * image.height; i < n; ++i, in += 4, o += 4)
        table.convert(in, o);
    return out;
}

std::string pngImage(const io::Field& image) {
    return memoryFile([&](std::FILE* f) { io::writePngFrame(f, image, "picture"); });
}

std::string greyPng(int width, int height, const uint8_t* mask, const std::string& name) {
    return memoryFile([&](std::FILE* f) { io::writeGreyPng(f, width, height, mask, name); });
}

}  // namespace fieldfx::cli::backend
