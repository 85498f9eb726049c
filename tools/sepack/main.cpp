// sepack: the packer's command-line tool. Dispatches to one command per file.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"

namespace {

const sepack::Command* const kCommands[] = {&sepack::kMakeCommand,       &sepack::kListCommand,
                                            &sepack::kVerifyCommand,     &sepack::kExtractCommand,
                                            &sepack::kExtractCabCommand, &sepack::kCompressCommand,
                                            &sepack::kDecompressCommand};

void PrintHelp(std::FILE* to) {
  std::fprintf(to,
               "usage: sepack COMMAND ARGS...\n"
               "       sepack help COMMAND | --help | --version\n\ncommands:\n");
  for (const auto* c : kCommands) {
    std::fprintf(to, "  %s %s\n      %s\n", c->name, c->arguments, c->summary);
  }
}

void PrintCommandHelp(const sepack::Command& c) {
  std::printf("usage: sepack %s %s\n  %s\n", c.name, c.arguments, c.summary);
  if (c.details && *c.details) std::printf("\n%s", c.details);
}

}  // namespace

int main(int argc, char** argv) {
  // UTF-8 on Windows, whatever the console's code page.
  const std::vector<std::string> args = plat::Current().CommandArguments(argc, argv);
  if (args.empty()) {
    PrintHelp(stderr);
    return 2;
  }
  if (args[0] == "help" && args.size() == 2) {
    for (const auto* c : kCommands) {
      if (args[1] != c->name) continue;
      PrintCommandHelp(*c);
      return 0;
    }
    std::fprintf(stderr, "sepack: unknown command '%s'\n", args[1].c_str());
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp(stdout);
    return 0;
  }
  if (args[0] == "--version") {
    std::printf("sepack %s\n", SEPACK_VERSION);
    return 0;
  }
  for (const auto* c : kCommands) {
    if (args[0] != c->name) continue;
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (rest.size() == 1 && (rest[0] == "--help" || rest[0] == "-h")) {
      PrintCommandHelp(*c);
      return 0;
    }
    sepack::RemoveScratchOnInterrupt();
    try {
      return c->run(rest);
    } catch (const sepack::UsageError& e) {
      std::fprintf(stderr, "sepack %s: %s\nusage: sepack %s %s\n", c->name, e.message.c_str(),
                   c->name, c->arguments);
      return 2;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "sepack %s: %s\n", c->name, e.what());
      return 1;
    }
  }
  std::fprintf(stderr, "sepack: unknown command '%s'\n", args[0].c_str());
  PrintHelp(stderr);
  return 2;
}
