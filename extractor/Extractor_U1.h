// One extraction run: the package in the program's own file, the question, the work folder,
// each payload entry through the codec and the cabinet reader, the launch, the clean-up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/FileStream.h"

namespace extractor {

class TExtractor {
 public:
  TExtractor() = default;

  void Run();

  // True when the package ends with the signature (before the certificate table, when the
  // file is signed) and its trailer lies inside the file.
  bool CheckSignature();
  // True when the user answered Yes.
  bool AskToContinue();
  // Extracts every payload entry into the work folder. False when an entry's data does not
  // decompress (the run then reports it and cleans up); other failures raise.
  bool ExtractPayload();
  void CreateWorkFolder();
  void LaunchProgram();
  void RemoveWorkFolder();

  const std::string& WorkFolder() const { return WorkFolder_; }
  int32_t PromptLength() const { return PromptLength_; }

  // The work folder's number for a seed: the first draw of the run's generator.
  static uint32_t DrawFolderNumber(uint32_t& state);
  // The generator's seed for a UTC time of day.
  static uint32_t SeedFromTime(uint16_t hour, uint16_t minute, uint16_t second,
                               uint16_t milliseconds);

 private:
  // Where the package ends: the file's size, or the start of a signed file's certificate table.
  int64_t PackageSize();
  int32_t ReadInt32At(int64_t position);
  void ShowError(const std::string& text);

  std::unique_ptr<se::FileStream> PackageStream_;
  int64_t PackageEnd_ = -1;  // found by CheckSignature
  int32_t PromptLength_ = 0;
  std::string WorkFolder_;
  // Set only once this run has created the folder: nothing else is ever emptied or removed.
  bool WorkFolderCreated_ = false;
};

}  // namespace extractor
