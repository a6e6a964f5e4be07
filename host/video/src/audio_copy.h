// Copies the audio packets of a source into an output unchanged, within a
// span of time and moved by a constant offset.
#ifndef FIELDFX_VIDEO_AUDIO_COPY_H
#define FIELDFX_VIDEO_AUDIO_COPY_H

#include <string>
#include <vector>

#include "av.h"
#include "fieldfx/video/output.h"

namespace fieldfx::video {

class AudioCopier {
public:
    // Opens the span's source and adds a stream for its audio to `mux` when
    // it has audio that the container can hold; otherwise explains in `notes`
    // why there is none.
    AudioCopier(const AudioSpan& span, AVFormatContext* mux, std::vector<std::string>& notes);

    // An audio stream was added to the output.
    bool active() const { return out_ != nullptr; }

    // Writes the packets that start before `until` (microseconds of the
    // output's timeline), or all the span's remaining ones.
    void copyUntil(int64_t until);
    void copyRest() { copyUntil(INT64_MAX); }

private:
    bool next();  // reads the next packet of the span into packet_

    AudioSpan span_;
    AVFormatContext* mux_;
    av::InputPtr input_;
    int stream_ = -1;
    AVStream* out_ = nullptr;
    av::PacketPtr packet_ = av::allocPacket();
    bool pending_ = false;
    bool ended_ = true;
};

}  // namespace fieldfx::video

#endif
