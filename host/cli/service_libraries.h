// The five service libraries (fieldhost, imagehost, logger, texthost,
// transhost) are loaded by the command line itself, not by the dynamic
// loader at start: a missing or unloadable one is a module error (exit 5)
// that names it, instead of the loader's own message and status 127.
#ifndef FIELDFX_CLI_SERVICE_LIBRARIES_H
#define FIELDFX_CLI_SERVICE_LIBRARIES_H

namespace fieldfx::cli {

// Loads the libraries (found through the binary's run path, as the loader
// would) and makes their symbols global, for the operator modules loaded
// later. Throws runtime::Error (Module) naming the first one that fails.
void loadServiceLibraries();

}  // namespace fieldfx::cli

#endif
