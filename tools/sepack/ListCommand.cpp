// sepack list [--json] PKG: the prompt, the entries and the files in each entry's cabinet,
// with their sizes, dates and attributes; as JSON for machines.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "tools/sepack/CabinetWalk.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"
#include "tools/sepack/PackageReader.h"
#include "tools/sepack/Signing.h"
#include "tools/sepack/TextChecks.h"

namespace sepack {
namespace {

// Text for the terminal: control bytes shown as escapes.
std::string Printable(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// A JSON string. Text that is not UTF-8 (an ANSI name) is taken byte for byte as Latin-1.
std::string Json(const std::string& text) {
  const bool utf8 = InvalidUtf8Offset(text) == std::string::npos;
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F || (!utf8 && c >= 0x80)) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

struct EntryListing {
  const EntryInfo* entry;
  std::vector<CabinetFile> files;
  std::string error;  // why its cabinet cannot be read; empty when it can
};

void PrintText(const std::string& path, const PackageInfo& info,
               const std::vector<EntryListing>& entries) {
  std::printf("package: %s (%lld bytes; payload area at byte %lld, %d bytes)\n", path.c_str(),
              static_cast<long long>(info.fileSize), static_cast<long long>(info.areaOffset),
              info.areaSize);
  std::printf("%s\n", SignatureLine(info).c_str());
  if (info.prompt) {
    std::printf("prompt: \"%s\"\n", Printable(*info.prompt).c_str());
  } else {
    std::printf("prompt: (default question)\n");
  }
  std::printf("entries: %d\n", info.entryCount > 0 ? info.entryCount : 0);
  for (const EntryListing& l : entries) {
    const EntryInfo& e = *l.entry;
    std::printf("entry %d: \"%s\", %d bytes compressed, %d bytes decompressed\n", e.number,
                Printable(e.name).c_str(), e.compressedSize, e.uncompressedSize);
    if (!l.error.empty()) {
      std::printf("  cannot read this entry's cabinet: %s\n", l.error.c_str());
      continue;
    }
    for (const CabinetFile& f : l.files) std::printf("  %s\n", FormatFileLine(f).c_str());
    std::printf("  (%zu %s)\n", l.files.size(), l.files.size() == 1 ? "file" : "files");
  }
  if (info.ignoredBytes > 0) {
    std::printf("%lld bytes after the last entry are ignored\n",
                static_cast<long long>(info.ignoredBytes));
  }
}

void PrintJson(const std::string& path, const PackageInfo& info,
               const std::vector<EntryListing>& entries) {
  std::printf("{\"package\": %s, \"size\": %lld, \"areaOffset\": %lld, \"areaSize\": %d,\n",
              Json(path).c_str(), static_cast<long long>(info.fileSize),
              static_cast<long long>(info.areaOffset), info.areaSize);
  std::printf(" \"prompt\": %s, \"entryCount\": %d, \"ignoredBytes\": %lld,\n",
              info.prompt ? Json(*info.prompt).c_str() : "null", info.entryCount,
              static_cast<long long>(info.ignoredBytes));
  if (info.certificateTable) {
    std::printf(" \"signed\": {\"tableOffset\": %lld, \"tableSize\": %lld},\n",
                static_cast<long long>(info.certificateTable->offset),
                static_cast<long long>(info.certificateTable->size));
  } else {
    std::printf(" \"signed\": null,\n");
  }
  std::printf(" \"damage\": %s,\n \"entries\": [",
              info.damage.empty() ? "null" : Json(info.damage).c_str());
  for (size_t i = 0; i < entries.size(); ++i) {
    const EntryListing& l = entries[i];
    const EntryInfo& e = *l.entry;
    std::printf(
        "%s\n  {\"number\": %d, \"name\": %s, \"compressedSize\": %d, "
        "\"cabinetSize\": %d, \"error\": %s, \"files\": [",
        i ? "," : "", e.number, Json(e.name).c_str(), e.compressedSize, e.uncompressedSize,
        l.error.empty() ? "null" : Json(l.error).c_str());
    for (size_t k = 0; k < l.files.size(); ++k) {
      const CabinetFile& f = l.files[k];
      std::printf("%s\n    {\"name\": %s, \"size\": %d, \"time\": %s, \"attributes\": %u}",
                  k ? "," : "", Json(f.name).c_str(), f.size,
                  Json(FormatDosDateTime(f.date, f.time)).c_str(), f.attributes);
    }
    std::printf("%s]}", l.files.empty() ? "" : "\n  ");
  }
  std::printf("%s]}\n", entries.empty() ? "" : "\n ");
}

int Run(const std::vector<std::string>& args) {
  bool json = false;
  std::optional<std::string> path;
  for (const std::string& a : args) {
    if (a == "--json") {
      json = true;
    } else if (!path && (a.empty() || a[0] != '-')) {
      path = a;
    } else {
      throw UsageError{"expected [--json] PKG"};
    }
  }
  if (!path) throw UsageError{"expected [--json] PKG"};
  PackageReader package(*path);
  const PackageInfo& info = package.Info();

  ScratchDir scratch("sepack-list");
  const std::string cabinet = scratch / "kem.cab";
  std::vector<EntryListing> entries;
  bool sound = true;
  for (const EntryInfo& e : info.entries) {
    EntryListing listing{&e, {}, {}};
    try {
      DecodeEntryToFile(package, e, cabinet);
      listing.files = ListCabinet(cabinet);
    } catch (const std::exception& error) {
      listing.error = error.what();
      sound = false;
    }
    entries.push_back(std::move(listing));
  }
  if (json) {
    PrintJson(*path, info, entries);
  } else {
    PrintText(*path, info, entries);
  }
  if (!info.damage.empty()) {
    std::fprintf(stderr, "sepack list: damaged package: %s\n", info.damage.c_str());
    return 1;
  }
  return sound ? 0 : 1;
}

}  // namespace

const Command kListCommand = {
    "list", "[--json] PKG",
    "show the prompt, the entries and the files (size, date, attributes) of the SE package PKG",
    Run,
    "  --json   the same as one JSON object: the package's fields and, for each entry, its\n"
    "           files with name, size, time (as stored) and attribute bits\n"
    "Attributes in the text listing: R read-only, H hidden, S system, A archive, X execute.\n"
    "Exit 1 when the package is damaged or an entry's cabinet cannot be read.\n"};

}  // namespace sepack
