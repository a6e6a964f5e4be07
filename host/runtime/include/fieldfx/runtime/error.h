// Errors of the runtime. Each says what went wrong in words a user can act
// on; the kind lets a front end choose its exit status.
#ifndef FIELDFX_RUNTIME_ERROR_H
#define FIELDFX_RUNTIME_ERROR_H

#include <stdexcept>
#include <string>

namespace fieldfx::runtime {

enum class ErrorKind {
    Usage,   // a bad command line, operator name or parameter value
    Module,  // a module that cannot be loaded or describes itself wrongly
    Input,   // an input file that is missing or malformed
    Output,  // an output that exists or cannot be written
    Render,  // the operator failed to produce a field
    Memory   // memory ran out
};

class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    ErrorKind kind() const { return kind_; }

private:
    ErrorKind kind_;
};

}  // namespace fieldfx::runtime

#endif
