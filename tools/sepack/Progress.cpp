#include "tools/sepack/Progress.h"

#include <cstdio>

#include "platform/Platform.h"

namespace sepack {
namespace {
constexpr int64_t kMinBytesForBar = 4 << 20;
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
// The callback runs once per input byte: look at the clock only every so many calls.
constexpr uint32_t kCallsPerClockCheck = 1 << 16;
constexpr int kBarWidth = 40;
}  // namespace

ProgressBar::ProgressBar(std::string label, int64_t total)
    : label_(std::move(label)),
      total_(total),
      enabled_(total >= kMinBytesForBar &&
               plat::Current().IsConsole(plat::Current().StandardStream(plat::StdStream::kError))) {
}

ProgressBar::~ProgressBar() {
  if (enabled_) {
    Draw(total_);
    std::fputc('\n', stderr);
  }
}

void ProgressBar::OnProgress(int32_t bytesLeft, void* data) {
  static_cast<ProgressBar*>(data)->Tick(bytesLeft);
}

void ProgressBar::Tick(int32_t bytesLeft) {
  if (++calls_ < kCallsPerClockCheck) return;
  calls_ = 0;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  Draw(total_ - bytesLeft);
}

void ProgressBar::Draw(int64_t done) {
  const int64_t permille = total_ > 0 ? done * 1000 / total_ : 1000;
  const int filled = static_cast<int>(permille * kBarWidth / 1000);
  char bar[kBarWidth + 1];
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = '\0';
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar, static_cast<int>(permille / 10));
  std::fflush(stderr);
}

}  // namespace sepack
