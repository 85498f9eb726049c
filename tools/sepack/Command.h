// One sepack command: its name, help text and entry point. Each lives in its own file and is
// listed in the dispatcher's table (main.cpp).
#pragma once

#include <string>
#include <vector>

namespace sepack {

// Thrown for wrong arguments: the dispatcher prints the command's usage and exits with 2.
struct UsageError {
  std::string message;
};

struct Command {
  const char* name;
  const char* arguments;  // e.g. "IN OUT"
  const char* summary;
  // Returns the exit code; errors are thrown (std::exception: exit 1, UsageError: exit 2).
  int (*run)(const std::vector<std::string>& args);
  // The options and what the command does in detail, for `sepack help COMMAND`.
  const char* details = nullptr;
};

extern const Command kCompressCommand;
extern const Command kDecompressCommand;
extern const Command kMakeCommand;
extern const Command kListCommand;
extern const Command kVerifyCommand;
extern const Command kExtractCabCommand;
extern const Command kExtractCommand;

}  // namespace sepack
