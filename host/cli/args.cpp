#include "args.h"

#include "fieldfx/runtime/error.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

Args::Args(const std::vector<std::string>& words, const std::vector<OptionSpec>& optionSpecs) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--help" || w == "-h") {
            help_ = true;
            continue;
        }
        if (w.size() < 2 || w[0] != '-' || (w[1] >= '0' && w[1] <= '9')) {
            positional_.push_back(w);
            continue;
        }
        std::string name = w, inlineValue;
        bool hasInline = false;
        const std::size_t eq = w.find('=');
        if (w.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = w.substr(0, eq);
            inlineValue = w.substr(eq + 1);
            hasInline = true;
        }
        const OptionSpec* optionSpec = nullptr;
        for (const OptionSpec& s : optionSpecs)
            if (name == s.name || (s.alias != nullptr && name == s.alias)) optionSpec = &s;
        if (optionSpec == nullptr) throw Error(ErrorKind::Usage, "unknown option " + name);
        std::vector<std::string>& slot = values_[optionSpec->name];
        if (!slot.empty() && !optionSpec->repeatable)
            throw Error(ErrorKind::Usage,
                        std::string("option ") + optionSpec->name + " given twice");
        if (!optionSpec->takesValue) {
            if (hasInline) throw Error(ErrorKind::Usage, name + " takes no value");
            slot.push_back("");
            continue;
        }
        if (!hasInline) {
            if (i + 1 >= words.size())
                throw Error(ErrorKind::Usage, "option " + name + " needs a value");
            inlineValue = words[++i];
        }
        slot.push_back(inlineValue);
    }
}

std::string Args::value(const std::string& name) const {
    const auto it = values_.find(name);
    return it == values_.end() || it->second.empty() ? "" : it->second.back();
}

std::vector<std::string> Args::values(const std::string& name) const {
    const auto it = values_.find(name);
    return it == values_.end() ? std::vector<std::string>{} : it->second;
}

}  // namespace fieldfx::cli
