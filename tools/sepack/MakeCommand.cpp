// sepack make: a package from a stub and cabinets (or folders, made into cabinets first),
// laid out exactly as the extractor reads it.
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "extractor/PackageLayout.h"
#include "tools/sepack/CabinetCheck.h"
#include "tools/sepack/CodecRun.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"
#include "tools/sepack/FolderCabinet.h"
#include "tools/sepack/StubLocator.h"

namespace sepack {
namespace {
namespace fs = std::filesystem;

// Every entry is written as this file by the extractor; the stored name is only a label.
constexpr const char* kEntryName = "kem.cab";
constexpr int64_t kMaxSize32 = std::numeric_limits<int32_t>::max();

struct MakeOptions {
  std::string out;
  std::optional<std::string> prompt;
  std::optional<std::string> promptFile;
  std::optional<std::string> stub;
  std::optional<std::string> target;
  std::vector<std::string> inputs;
};

MakeOptions Parse(const std::vector<std::string>& args) {
  MakeOptions o;
  bool haveOut = false;
  bool optionsEnd = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnd || a.empty() || a[0] != '-' || a == "-") {
      o.inputs.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnd = true;
      continue;
    }
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "-o" || a == "--output") {
      o.out = value();
      haveOut = true;
    } else if (a == "--prompt") {
      o.prompt = value();
    } else if (a == "--prompt-file") {
      o.promptFile = value();
    } else if (a == "--stub") {
      o.stub = value();
    } else if (a == "--target") {
      o.target = value();
    } else {
      throw UsageError{"unknown option '" + a + "'"};
    }
  }
  if (!haveOut || o.out.empty()) throw UsageError{"name the package to write with -o OUT"};
  if (o.prompt && o.promptFile) throw UsageError{"give --prompt or --prompt-file, not both"};
  if (o.inputs.empty()) throw UsageError{"no inputs: name at least one cabinet file or folder"};
  return o;
}

std::string PromptText(const MakeOptions& o) {
  std::string prompt;
  if (o.prompt) prompt = *o.prompt;
  if (o.promptFile) {
    const std::vector<uint8_t> bytes = ReadWholeFile(*o.promptFile);
    prompt.assign(bytes.begin(), bytes.end());
  }
  const size_t nul = prompt.find('\0');
  if (nul != std::string::npos) {
    throw std::runtime_error("the prompt holds a NUL byte (at offset " + std::to_string(nul) +
                             "); the extractor would show only the text before it");
  }
  return prompt;
}

struct Input {
  std::string label;    // what the user named
  std::string cabinet;  // the cabinet file to pack
};

int Run(const std::vector<std::string>& args) {
  const MakeOptions o = Parse(args);
  const std::string prompt = PromptText(o);
  const std::string stubPath = LocateStub(o.stub, o.target);

  // Everything is checked before anything is compressed.
  ScratchDir scratch("sepack-make");
  std::vector<Input> inputs;
  bool launches = false;
  for (const auto& in : o.inputs) {
    std::error_code ec;
    if (!fs::exists(in, ec)) throw std::runtime_error("'" + in + "' does not exist");
    Input input{in, in};
    if (fs::is_directory(in, ec)) {
      input.cabinet = scratch / ("folder" + std::to_string(inputs.size()) + ".cab");
      MakeFolderCabinet(in, input.cabinet);
    }
    // Refused before the cabinet is read: the codec and the entry fields count in 32 bits.
    const auto size = fs::file_size(input.cabinet, ec);
    if (!ec && size > static_cast<uintmax_t>(kMaxSize32)) {
      throw std::runtime_error("'" + in + "' makes a cabinet of " + std::to_string(size) +
                               " bytes; an entry holds at most 2147483647 bytes");
    }
    const CabinetSummary summary = CheckCabinet(input.cabinet);
    launches = launches || HoldsLaunchedProgram(summary.names);
    inputs.push_back(std::move(input));
  }
  if (!launches) {
    std::fprintf(stderr,
                 "sepack make: note: no input holds a top-level rux.exe; the package will "
                 "extract its files and run nothing\n");
  }

  const std::runtime_error tooLarge(
      "the package would pass the format's limit: payload, prompt and trailer together may "
      "hold at most 2147483647 bytes");
  // Entry count, trailer and prompt; each entry adds its header, name and stream.
  int64_t total = 4 + 12 + static_cast<int64_t>(prompt.size());
  std::vector<extractor::PackageEntry> entries;
  for (const auto& input : inputs) {
    const std::vector<uint8_t> cabinet = ReadWholeFile(input.cabinet);
    se::MemoryStream stream = RunCodec(CodecOp::kCompress, cabinet, "compressing " + input.label);
    total += 8 + static_cast<int64_t>(std::char_traits<char>::length(kEntryName)) + stream.Size();
    if (total > kMaxSize32) throw tooLarge;  // stop before compressing the rest
    entries.push_back({kEntryName, std::string(reinterpret_cast<const char*>(stream.Memory()),
                                               static_cast<size_t>(stream.Size()))});
  }

  std::string tail;
  try {
    tail = extractor::PackageTail(entries, prompt);
  } catch (const std::length_error&) {
    throw tooLarge;
  }
  const size_t count = entries.size();
  entries.clear();
  entries.shrink_to_fit();
  const std::vector<uint8_t> stub = ReadWholeFile(stubPath);
  WriteFileAtomically(o.out,
                      {std::string_view(reinterpret_cast<const char*>(stub.data()), stub.size()),
                       std::string_view(tail)},
                      0777);
  std::printf("%s: %zu %s, %zu bytes (stub %s)\n", o.out.c_str(), count,
              count == 1 ? "entry" : "entries", stub.size() + tail.size(), stubPath.c_str());
  return 0;
}

}  // namespace

const Command kMakeCommand = {
    "make", "-o OUT [--prompt TEXT | --prompt-file FILE] [--stub FILE | --target T] INPUT...",
    "make the SE package OUT from cabinet files or folders (T: linux, win32, win64)", Run};

}  // namespace sepack
