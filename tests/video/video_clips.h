// The clips the video tests read, made by the ffmpeg program on first use.
// All are 64 x 48 at 25 frames/s, 10 frames (0.4 s), unless named otherwise.
//
// The field pattern: frame n has luma 120 + 12n on its even lines and
// 40 + 12n on its odd lines, and Cb/Cr 170/150 on the chroma lines of the
// even field, 90/100 on those of the odd field (chroma line parity is field
// parity in interlaced 4:2:0 and in 4:2:2).
#ifndef FIELDFX_TESTS_VIDEO_CLIPS_H
#define FIELDFX_TESTS_VIDEO_CLIPS_H

#include "video_testing.h"

namespace videotest {

constexpr int kEvenLuma = 120, kOddLuma = 40, kLumaStep = 12;
constexpr int kEvenCb = 170, kEvenCr = 150, kOddCb = 90, kOddCr = 100;

inline std::string patternSource(const std::string& format, const std::string& setfield,
                                 const std::string& size = "64x48") {
    std::string graph = "color=c=black:s=" + size + ":r=25:d=0.4,format=" + format +
                        ",geq=lum='if(mod(Y,2),40+12*N,120+12*N)'"
                        ":cb='if(mod(Y,2),90,170)':cr='if(mod(Y,2),100,150)'";
    if (!setfield.empty()) graph += ",setfield=" + setfield;
    return graph;
}

inline std::vector<std::string> tone() {
    return {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=0.4"};
}

// Lossless (FFV1) clips of the field pattern.
inline std::string ffv1Pattern(const std::string& format, const std::string& order) {
    const std::string setfield = order == "tt" ? "tff" : order == "bb" ? "bff" : "prog";
    return clip("pattern-" + format + "-" + order + ".mkv",
                {"-f", "lavfi", "-i", patternSource(format, setfield), "-c:v", "ffv1",
                 "-field_order", order});
}

// A 4:4:4 clip whose every sample is known: Y' = (7x + 13y + 5n) mod 220 + 16,
// Cb = (3x + 5y) mod 200 + 20, Cr = (x + 11y + n) mod 200 + 20 at frame line y.
inline std::string ffv1Exact444(const std::string& order, const std::string& size = "64x48") {
    const std::string setfield = order == "tt" ? "tff" : order == "bb" ? "bff" : "prog";
    return clip("exact444-" + order + "-" + size + ".mkv",
                {"-f", "lavfi", "-i",
                 "color=c=black:s=" + size + ":r=25:d=0.4,format=yuv444p,"
                 "geq=lum='mod(7*X+13*Y+5*N,220)+16':cb='mod(3*X+5*Y,200)+20'"
                 ":cr='mod(X+11*Y+N,200)+20',setfield=" + setfield,
                 "-c:v", "ffv1", "-field_order", order});
}
inline int exactLuma(int x, int line, int n) { return (7 * x + 13 * line + 5 * n) % 220 + 16; }
inline int exactCb(int x, int line) { return (3 * x + 5 * line) % 200 + 20; }
inline int exactCr(int x, int line, int n) { return (x + 11 * line + n) % 200 + 20; }

// Interlaced 4:2:0 (top field first) whose Cb rises by 8 a chroma line:
// chroma line R holds 20 + 8R, Cr is 128, luma 100. Even chroma lines belong
// to the even field, odd ones to the odd field.
inline std::string ffv1ChromaRamp() {
    return clip("chroma-ramp-420-tt.mkv",
                {"-f", "lavfi", "-i",
                 "color=c=black:s=64x48:r=25:d=0.08,format=yuv420p,"
                 "geq=lum=100:cb='20+8*Y':cr=128,setfield=tff",
                 "-c:v", "ffv1", "-field_order", "tt"});
}

// H.264 clips of the field pattern with audio: interlaced 4:2:0 top field
// first in MP4 with AAC; interlaced 4:2:2 bottom field first in Matroska
// with FLAC; progressive 4:2:0 in MP4 with AAC. Tagged BT.709 with a sample
// aspect of 16:15.
inline std::string h264Pattern(const std::string& format, const std::string& order,
                               const std::string& container) {
    const std::string setfield = order == "tt" ? "tff" : order == "bb" ? "bff" : "prog";
    std::vector<std::string> args = {"-f", "lavfi", "-i",
                                     patternSource(format, setfield) + ",setsar=16/15"};
    for (const std::string& a : tone()) args.push_back(a);
    for (const char* a : {"-c:v", "libx264", "-crf", "8", "-colorspace", "bt709",
                          "-color_primaries", "bt709", "-color_trc", "bt709", "-field_order"})
        args.push_back(a);
    args.push_back(order);
    if (order != "progressive") {
        args.push_back("-flags");
        args.push_back("+ildct+ilme");
    }
    args.push_back("-c:a");
    args.push_back(container == "mkv" ? "flac" : "aac");
    return clip("h264-" + format + "-" + order + "." + container, args);
}

// Detailed moving content (FFmpeg's testsrc2), 320 x 240, interlaced 4:2:0
// H.264, for quality measurements.
inline std::string h264Detailed() {
    return clip("detailed-420-tt.mp4",
                {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=0.4,format=yuv420p,setfield=tff",
                 "-c:v", "libx264", "-crf", "12", "-flags", "+ildct+ilme", "-field_order", "tt"});
}

}  // namespace videotest

#endif
