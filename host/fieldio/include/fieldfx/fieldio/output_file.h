// An output written to a temporary file beside its target and renamed into
// place only when complete: an error never leaves a half-written or
// truncated output. An existing target is replaced only when asked to.
// A process stopped by a signal removes the temporary files of the outputs
// it was writing with removeUnfinishedOutputs() in its handler.
#ifndef FIELDFX_FIELDIO_OUTPUT_FILE_H
#define FIELDFX_FIELDIO_OUTPUT_FILE_H

#include <cstdio>
#include <string>

#include "fieldfx/fieldio/field.h"

namespace fieldfx::io {

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
    std::string temp_;
    int slot_ = -1;  // where the temporary file's name is listed for removal
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

// Removes the temporary file of every output not yet committed or
// destroyed. Async-signal-safe: for a signal handler that then ends the
// process, on whichever thread the signal arrives.
void removeUnfinishedOutputs();

}  // namespace fieldfx::io

#endif
