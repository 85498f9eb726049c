#include "tools/sepack/CodecRun.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "lzh/LzhCodec.h"
#include "lzh/LzhEncoder.h"
#include "platform/Platform.h"
#include "tools/sepack/FileIo.h"
#include "tools/sepack/Progress.h"

namespace sepack {
namespace {

constexpr int64_t kMaxInput = std::numeric_limits<int32_t>::max();

std::runtime_error ReadError(const std::string& path) {
  return std::runtime_error("cannot read '" + path + "': " + LastErrorText());
}

// The encoder's input: a file read in pieces of 1 MiB.
class FileSource {
 public:
  explicit FileSource(const std::string& path)
      : path_(path),
        file_(plat::Current().OpenFile(path, plat::access::kRead, plat::share::kRead,
                                       plat::Disposition::kOpenExisting,
                                       plat::attr::kNormal | plat::flag::kSequentialScan)) {
    if (file_ == plat::kInvalidFile) throw ReadError(path);
  }
  ~FileSource() { plat::Current().Close(file_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  int64_t Size() {
    auto& os = plat::Current();
    const int64_t size = os.Seek(file_, 0, plat::SeekOrigin::kEnd);
    if (size < 0 || os.Seek(file_, 0, plat::SeekOrigin::kBegin) != 0) throw ReadError(path_);
    return size;
  }
  // Reports the bytes left of `total` to `bar` after every read, as the codec object does.
  void Report(ProgressBar* bar, int64_t total) {
    bar_ = bar;
    total_ = total;
  }

  void Read(uint8_t* buffer, uint16_t count, uint16_t& actual) {
    // The encoder asks for one byte at a time: that case stays short.
    if (count == 1 && next_ < end_ && bar_ == nullptr) {
      *buffer = buffer_[next_++];
      actual = 1;
      ++taken_;
      return;
    }
    actual = 0;
    while (actual < count) {
      if (next_ == end_ && !Fill()) break;
      const size_t n = std::min<size_t>(count - actual, end_ - next_);
      std::copy_n(buffer_.data() + next_, n, buffer + actual);
      next_ += n;
      actual = static_cast<uint16_t>(actual + n);
    }
    taken_ += actual;
    if (bar_ != nullptr) {
      ProgressBar::OnProgress(static_cast<int32_t>(std::max<int64_t>(total_ - taken_, 0)), bar_);
    }
  }

 private:
  bool Fill() {
    uint32_t done = 0;
    if (!plat::Current().Read(file_, buffer_.data(), static_cast<uint32_t>(buffer_.size()), done)) {
      throw ReadError(path_);
    }
    read_ += done;
    // The codec counts its input in 32-bit signed integers; a file may have grown since it was
    // measured.
    if (read_ > kMaxInput) {
      throw std::runtime_error("'" + path_ + "' holds 2 GiB or more; the codec takes at most " +
                               std::to_string(kMaxInput) + " bytes");
    }
    next_ = 0;
    end_ = done;
    return done != 0;
  }

  std::string path_;
  plat::FileHandle file_;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(1 << 20);
  size_t next_ = 0, end_ = 0;
  int64_t read_ = 0, taken_ = 0, total_ = 0;
  ProgressBar* bar_ = nullptr;
};

class StreamSink {
 public:
  explicit StreamSink(se::MemoryStream& out) : out_(out) {}
  void Write(const uint8_t* buffer, uint16_t count, uint16_t& actual) {
    if (count == 1) {
      out_.WriteByte(*buffer);
    } else {
      out_.Write(buffer, count);
    }
    actual = count;
  }

 private:
  se::MemoryStream& out_;
};

}  // namespace

se::MemoryStream RunCodec(CodecOp op, const std::vector<uint8_t>& input, const std::string& label,
                          bool progress) {
  // The codec counts input bytes in 32-bit signed integers.
  if (input.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::runtime_error(label + ": input larger than 2 GiB - 1 bytes is not supported");
  }
  se::MemoryStream out;
  lzh::TCustom_lzh codec;
  codec.FInBuffer = input.data();
  codec.FInSize = static_cast<int32_t>(input.size());
  codec.FOutStream = &out;
  ProgressBar bar(label, progress ? static_cast<int64_t>(input.size()) : 0);
  if (bar.Enabled()) {
    codec.FOnProgress = &ProgressBar::OnProgress;
    codec.FProgressData = &bar;
  }
  const bool ok = op == CodecOp::kCompress ? codec.Compress() : codec.Decompress();
  if (!ok) {
    // Decompress also answers false for a stream it cannot decode.
    throw std::runtime_error(label + (op == CodecOp::kCompress
                                          ? ": the codec could not get its working memory"
                                          : ": not a valid LZH stream"));
  }
  return out;
}

se::MemoryStream CompressFile(const std::string& path, const std::string& label, bool progress) {
  FileSource source(path);
  const int64_t size = source.Size();
  if (size > kMaxInput) {
    throw std::runtime_error(label + ": input larger than 2 GiB - 1 bytes is not supported");
  }
  se::MemoryStream out;
  // Room for the stream of an input that does not compress, so that it never moves: moving
  // would hold it twice.
  out.Reserve(static_cast<size_t>(size + size / 16 + 4096));
  StreamSink sink(out);
  ProgressBar bar(label, progress ? size : 0);
  if (bar.Enabled()) source.Report(&bar, size);
  int64_t coded = 0;
  try {
    coded = lzh::EncodeStream(lzh::TLzhReadProc::Bind<&FileSource::Read>(&source),
                              lzh::TLzhWriteProc::Bind<&StreamSink::Write>(&sink));
  } catch (const lzh::ElzhException&) {
    throw std::runtime_error(label + ": the codec could not get its working memory");
  }
  const auto count = static_cast<uint32_t>(coded);
  const uint8_t trailer[4] = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                              static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 24)};
  out.Write(trailer, sizeof trailer);
  return out;
}

}  // namespace sepack
