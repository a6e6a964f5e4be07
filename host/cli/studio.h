// The backend of fieldfx studio's server: the page's calls (catalogue,
// state, frame, pattern, render, progress) answered with the operators of
// this program, for the clips and effect options of `args` (as the studio
// command reads them). Apart from the command so that tests and fuzz
// targets can call it without a server.
#ifndef FIELDFX_CLI_STUDIO_H
#define FIELDFX_CLI_STUDIO_H

#include <cstddef>
#include <memory>

#include "args.h"
#include "fieldfx/studio/server.h"

namespace fieldfx::cli {

// The options the studio command takes, effect options included.
std::vector<OptionSpec> studioOptions();

// Throws runtime::Error for bad options (unknown effect, more than two
// inputs, a pattern file).
std::unique_ptr<studio::Backend> makeStudioBackend(const Args& args, std::size_t cacheBytes);

}  // namespace fieldfx::cli

#endif
