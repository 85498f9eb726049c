// sepack make: a package from a stub and cabinets (or folders, made into cabinets first),
// laid out exactly as the extractor reads it. Every input is checked before anything is
// compressed; entries are then compressed side by side and written in order.
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cab/KXCabReader.h"
#include "extractor/PackageLayout.h"
#include "platform/Platform.h"
#include "tools/sepack/CabinetCheck.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"
#include "tools/sepack/FolderCabinet.h"
#include "tools/sepack/ParallelCompress.h"
#include "tools/sepack/Signing.h"
#include "tools/sepack/StubLocator.h"
#include "tools/sepack/TextChecks.h"

namespace sepack {
namespace {

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
  int verbosity = 1;  // 0: errors only (-q), 2: every entry (-v)
};

MakeOptions Parse(const std::vector<std::string>& args) {
  MakeOptions o;
  bool haveOut = false;
  bool optionsEnd = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    if (optionsEnd || a.empty() || a[0] != '-' || a == "-") {
      o.inputs.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnd = true;
      continue;
    }
    // "--name=value" and "-oVALUE" as well as "--name value" and "-o VALUE".
    std::optional<std::string> inlineValue;
    if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
      inlineValue = a.substr(a.find('=') + 1);
      a.resize(a.find('='));
    } else if (a.rfind("-o", 0) == 0 && a.size() > 2) {
      inlineValue = a.substr(2);
      a = "-o";
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
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
    } else if ((a == "-q" || a == "--quiet") && !inlineValue) {
      o.verbosity = 0;
    } else if ((a == "-v" || a == "--verbose") && !inlineValue) {
      o.verbosity = 2;
    } else {
      throw UsageError{"unknown option '" + args[i] + "'"};
    }
  }
  if (!haveOut || o.out.empty()) throw UsageError{"name the package to write with -o OUT"};
  if (o.prompt && o.promptFile) throw UsageError{"give --prompt or --prompt-file, not both"};
  if (o.stub && o.target) throw UsageError{"give --stub or --target, not both"};
  if (o.inputs.empty()) throw UsageError{"no inputs: name at least one cabinet file or folder"};
  return o;
}

std::string PromptText(const MakeOptions& o) {
  std::string prompt;
  std::string from = "--prompt";
  if (o.prompt) prompt = *o.prompt;
  if (o.promptFile) {
    const std::vector<uint8_t> bytes = ReadWholeFile(*o.promptFile);
    prompt.assign(bytes.begin(), bytes.end());
    // A text file ends with a line break; the question does not.
    if (!prompt.empty() && prompt.back() == '\n') prompt.pop_back();
    if (!prompt.empty() && prompt.back() == '\r') prompt.pop_back();
    from = "the prompt file '" + *o.promptFile + "'";
  }
  const size_t nul = prompt.find('\0');
  if (nul != std::string::npos) {
    throw std::runtime_error("the prompt holds a NUL byte (at offset " + std::to_string(nul) +
                             "); the extractor would show only the text before it");
  }
  const size_t bad = InvalidUtf8Offset(prompt);
  if (bad != std::string::npos) {
    throw std::runtime_error(from + " is not valid UTF-8 text (at byte " + std::to_string(bad) +
                             "); save it as UTF-8");
  }
  return prompt;
}

// One entry to be: a cabinet the user gave, or a run of a folder's files made into one.
struct Source {
  std::string label;                // what the user named, for messages
  std::string cabinet;              // the cabinet file to pack
  std::vector<FolderFile> files;    // when made from a folder: written before compressing
  std::vector<std::string> stored;  // the names the cabinet holds
};

// Stored names compare as the Windows file system does: without case, either separator.
std::string NameKey(std::string name) {
  for (char& c : name) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

// The checks every cabinet's names must pass: each stays inside the work folder, none is
// given twice, and the launched program is there (warned about when it is not, or only in
// another case).
void CheckNames(const std::vector<Source>& sources, int verbosity) {
  std::map<std::string, const Source*> seen;
  bool exact = false;
  std::string otherCase;
  for (const Source& s : sources) {
    for (const std::string& name : s.stored) {
      if (!cab::IsSafeStoredName(name, /*windows=*/true)) {
        throw std::runtime_error("'" + s.label + "' holds the file '" + name +
                                 "', whose name leads out of the folder it is extracted into");
      }
      const auto [it, fresh] = seen.emplace(NameKey(name), &s);
      if (!fresh) {
        throw std::runtime_error("the file '" + name + "' is given twice (in '" +
                                 it->second->label + "' and in '" + s.label +
                                 "'); extracted into one folder, one would overwrite the other");
      }
      if (name == "rux.exe") exact = true;
      if (NameKey(name) == "rux.exe" && name != "rux.exe") otherCase = name;
    }
  }
  if (exact || verbosity == 0) return;
  if (!otherCase.empty()) {
    std::fprintf(stderr,
                 "sepack make: warning: the program is stored as '%s'; the Windows stub runs "
                 "it, the Linux stub looks for 'rux.exe' and runs nothing\n",
                 otherCase.c_str());
  } else {
    std::fprintf(stderr,
                 "sepack make: note: no input holds a top-level rux.exe; the package will "
                 "extract its files and run nothing\n");
  }
}

std::vector<Source> PlanSources(const MakeOptions& o, const ScratchDir& scratch) {
  std::vector<Source> sources;
  for (const auto& in : o.inputs) {
    plat::FileDetails details;
    if (!plat::Current().FileInfo(in, details)) {
      throw std::runtime_error("'" + in + "' does not exist");
    }
    if (details.attributes & plat::attr::kDirectory) {
      const auto runs = SplitIntoCabinets(CollectFolder(in), kCabinetTargetBytes);
      for (size_t r = 0; r < runs.size(); ++r) {
        Source s;
        s.label = runs.size() == 1 ? in
                                   : in + " (part " + std::to_string(r + 1) + " of " +
                                         std::to_string(runs.size()) + ")";
        s.cabinet = scratch / ("folder" + std::to_string(sources.size()) + ".cab");
        s.files = runs[r];
        for (const FolderFile& f : s.files) s.stored.push_back(f.stored);
        sources.push_back(std::move(s));
      }
      continue;
    }
    // Refused before the cabinet is read: the codec and the entry fields count in 32 bits.
    if (details.size > static_cast<uint64_t>(kMaxSize32)) {
      throw std::runtime_error("'" + in + "' is a cabinet of " + std::to_string(details.size) +
                               " bytes; an entry holds at most 2147483647 bytes");
    }
    Source s{in, in, {}, CheckCabinet(in).names};
    sources.push_back(std::move(s));
  }
  return sources;
}

int Run(const std::vector<std::string>& args) {
  const MakeOptions o = Parse(args);
  const std::string prompt = PromptText(o);
  const std::string stubPath = LocateStub(o.stub, o.target);
  CheckStub(stubPath);
  RefuseSignedStub(stubPath);

  std::vector<std::string> read = o.inputs;
  read.push_back(stubPath);
  if (o.promptFile) read.push_back(*o.promptFile);
  CheckOutputIsNotAnInput(o.out, read);
  AtomicOutput output(o.out, 0777);
  // A package written to standard output leaves the reports to standard error.
  std::FILE* const report = o.out == "-" ? stderr : stdout;

  ScratchDir scratch("sepack-make");
  const std::vector<Source> sources = PlanSources(o, scratch);
  CheckNames(sources, o.verbosity);

  output.Append(stubPath);
  const int64_t stubSize = output.Written();
  extractor::PackageTailWriter tail([&output](std::string_view piece) { output.Write(piece); },
                                    sources.size());
  const std::runtime_error tooLarge(
      "the package would pass the format's limit: payload, prompt and trailer together may "
      "hold at most 2147483647 bytes");
  std::vector<CompressJob> jobs;
  for (const Source& s : sources) {
    jobs.push_back({"compressing " + s.label, [&s] {
                      if (!s.files.empty()) WriteFolderCabinet(s.files, s.cabinet);
                      return s.cabinet;
                    }});
  }
  CompressInOrder(
      jobs,
      [&](size_t index, std::string_view stream) {
        try {
          tail.AddEntry(kEntryName, stream);
        } catch (const std::length_error&) {
          throw tooLarge;  // the rest is not compressed
        }
        if (o.verbosity > 1) {
          std::fprintf(report, "entry %zu: %s, %zu bytes\n", index + 1,
                       sources[index].label.c_str(), stream.size());
        }
      },
      0, FolderCabinetsAtOnce());
  try {
    tail.PadForSigning(stubSize, prompt.size());
    tail.Finish(prompt);
  } catch (const std::length_error&) {
    throw tooLarge;
  }
  output.Commit();
  if (o.verbosity > 0) {
    std::fprintf(report, "%s: %zu %s, %lld bytes (stub %s, %lld bytes)\n", o.out.c_str(),
                 sources.size(), sources.size() == 1 ? "entry" : "entries",
                 static_cast<long long>(output.Written()), stubPath.c_str(),
                 static_cast<long long>(stubSize));
  }
  return 0;
}

}  // namespace

const Command kMakeCommand = {
    "make",
    "-o OUT [--prompt TEXT | --prompt-file FILE] [--stub FILE | --target T] [-q | -v] INPUT...",
    "make the SE package OUT from cabinet files or folders (T: linux, win32, win64)", Run,
    "options:\n"
    "  -o OUT, -oOUT, --output=OUT  the package to write (whole or not at all)\n"
    "  --prompt TEXT          the question the stub asks (UTF-8); default \"Continue?\"\n"
    "  --prompt-file FILE     the question from a UTF-8 file, its last line break dropped\n"
    "  --stub FILE            the stub to copy: a bare extractor, not a package\n"
    "  --target T             the installed or built stub for linux, win32 or win64\n"
    "                         (default: linux on Linux, win32 on Windows)\n"
    "  -q, --quiet            print nothing but errors\n"
    "  -v, --verbose          print each entry as it is written\n"
    "\n"
    "Each cabinet INPUT becomes one entry. A folder INPUT becomes MSZIP cabinets of about 4 MiB\n"
    "of files each, stored by relative path with their times (UTC, capped by\n"
    "SOURCE_DATE_EPOCH), read-only and execute bits; empty folders, links to folders and\n"
    "special files are reported and left out. Entries are compressed side by side, one thread\n"
    "a core; the output does not depend on the number of cores.\n"
    "Refused before any work: names that would leave the work folder or that two inputs share\n"
    "(without case), an output that is an input or lies inside an input folder, a package over\n"
    "the format's 2 GiB. Warned about: no rux.exe at the top level, or one in another case.\n"
    "Ctrl-C removes every scratch file. Exit codes: 0 done, 1 failed, 2 wrong arguments.\n"};

}  // namespace sepack
