// The fieldfx commands. Each takes the words after its name and returns the
// exit status; errors are thrown as runtime::Error and reported by main.
#ifndef FIELDFX_CLI_COMMANDS_H
#define FIELDFX_CLI_COMMANDS_H

#include <string>
#include <vector>

namespace fieldfx::cli {

using Words = std::vector<std::string>;

int listCommand(const Words& words);
int describeCommand(const Words& words);
int renderCommand(const Words& words);
int previewCommand(const Words& words);
int applyCommand(const Words& words);
int patternsCommand(const Words& words);
int generateCommand(const Words& words);
int joinCommand(const Words& words);
int studioCommand(const Words& words);

}  // namespace fieldfx::cli

#endif
