// Running the fieldfx binary from tests, and PAM files written and read by
// the tests' own code (independent of the runtime's field I/O).
#ifndef FIELDFX_TESTS_CLI_RUN_H
#define FIELDFX_TESTS_CLI_RUN_H

#include <cstdint>
#include <string>
#include <vector>

#include "testhost.h"

namespace clitest {

struct Result {
    int status = -1;  // exit status
    std::string out, err;
};

// Runs fieldfx with `arguments` (shell words, quoted by the caller where
// needed) in the shell, capturing both streams; `environment` is put before
// the command ("NAME=value ...").
Result fieldfx(const std::string& arguments, const std::string& environment = "");

// A fresh empty directory under /tmp.
std::string tempDir(const std::string& tag);
// The names in `dir` (dot files included), sorted.
std::vector<std::string> listDir(const std::string& dir);

// PAM files of fields, written and parsed here byte by byte.
void writePam(const std::string& path, const std::vector<testhost::FieldSpec>& fields);
std::vector<testhost::FieldSpec> readPam(const std::string& path);  // empty on any fault

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);

}  // namespace clitest

#endif
