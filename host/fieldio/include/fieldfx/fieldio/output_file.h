// An output written to a temporary file beside its target and renamed into
// place only when complete: an error never leaves a half-written or
// truncated output. An existing target is replaced only when asked to, and
// a file this process reads as an input (noteInputFile) never.
// A process stopped by a signal removes the temporary files of the outputs
// it was writing with removeUnfinishedOutputs() in its handler.
#ifndef FIELDFX_FIELDIO_OUTPUT_FILE_H
#define FIELDFX_FIELDIO_OUTPUT_FILE_H

#include <cstdio>
#include <string>

#include "fieldfx/fieldio/field.h"

namespace fieldfx::io {

struct Unfinished;

class OutputFile {
public:
    // Creates the temporary file at once, so that a target that exists (and
    // `replace` is false) or cannot be written is reported before any work.
    OutputFile(std::string target, bool replace);
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& target() const { return target_; }
    std::FILE* stream() { return stream_; }
    // Flushes and closes the temporary file (throws IoError on a write error).
    void close();
    // Closes if open and renames the temporary file onto the target.
    void commit();

private:
    std::string target_;
    void placeWithoutReplacing();

    std::string temp_;
    bool replace_ = false;
    Unfinished* slot_ = nullptr;  // where the temporary file is listed for removal
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

// Removes the temporary file of every output not yet committed or
// destroyed; returns how many unfinished outputs were removed and puts the
// target name of the first into `firstTarget` (cut to `size`, terminated).
// Async-signal-safe: for a signal handler that then ends the process, on
// whichever thread the signal arrives.
std::size_t removeUnfinishedOutputs(char* firstTarget = nullptr, std::size_t size = 0);

// Notes `path` (when it names a file) as an input of this process, by its
// device and inode.
void noteInputFile(const std::string& path);
// Forgets `path` as an input: a file that was only looked at, such as an
// earlier segment read to see whether it can stay, and may be replaced.
void forgetInputFile(const std::string& path);
// Throws IoError naming both when `target` is a file noted as an input,
// under whatever name.
void refuseInputTarget(const std::string& target);

}  // namespace fieldfx::io

#endif
