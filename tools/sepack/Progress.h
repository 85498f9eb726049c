// A progress bar on stderr for long codec runs, fed by the codec's progress callback.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace sepack {

class ProgressBar {
 public:
  // Shown only when stderr is a terminal and `total` input bytes are worth it.
  ProgressBar(std::string label, int64_t total);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  bool Enabled() const { return enabled_; }
  // The codec's TLzhProgressProc: `data` is the ProgressBar.
  static void OnProgress(int32_t bytesLeft, void* data);

 private:
  void Tick(int32_t bytesLeft);
  void Draw(int64_t done);

  std::string label_;
  int64_t total_;
  bool enabled_;
  uint32_t calls_ = 0;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace sepack
