// Command-line options of one command: "-o FILE", "--set a=b", "--set=a=b",
// flags, repeated options, and the remaining positional words.
#ifndef FIELDFX_CLI_ARGS_H
#define FIELDFX_CLI_ARGS_H

#include <map>
#include <string>
#include <vector>

namespace fieldfx::cli {

struct OptionSpec {
    const char* name;   // "--output"
    const char* alias;  // "-o", or null
    bool takesValue;
    bool repeatable;
};

class Args {
public:
    // Throws Error(Usage) for unknown options, missing values and repeats.
    Args(const std::vector<std::string>& words, const std::vector<OptionSpec>& optionSpecs);

    bool help() const { return help_; }
    bool has(const std::string& name) const { return values_.count(name) != 0; }
    std::string value(const std::string& name) const;  // "" when absent
    std::vector<std::string> values(const std::string& name) const;
    const std::vector<std::string>& positional() const { return positional_; }

private:
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> positional_;
    bool help_ = false;
};

}  // namespace fieldfx::cli

#endif
