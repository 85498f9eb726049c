// sepack decompress IN OUT: the bytes of the LZH stream IN, as the codec object's Decompress
// gives them, within the bound the extractor holds every entry to.
#include <stdexcept>
#include <string_view>

#include "extractor/PackageLayout.h"
#include "tools/sepack/CodecRun.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"

namespace sepack {
namespace {

int Run(const std::vector<std::string>& args) {
  if (args.size() != 2) throw UsageError{"expected IN and OUT"};
  CheckOutputIsNotAnInput(args[1], {args[0]}, /*folderInputs=*/false);
  AtomicOutput output(args[1]);
  const std::vector<uint8_t> input = ReadWholeFile(args[0]);
  // The stream carries no check value: only its size word can be judged, and the decoder
  // makes as many bytes as that word asks for.
  if (input.size() <= 4) {
    throw std::runtime_error("'" + args[0] + "' is not an LZH stream (" +
                             std::to_string(input.size()) + " bytes; at least 5 needed)");
  }
  const int64_t size = static_cast<int64_t>(input.size());
  const int32_t declared = extractor::LittleEndian32(input.data() + input.size() - 4);
  if (declared < 0 || declared > extractor::MaxDecodedSize(size)) {
    throw std::runtime_error("'" + args[0] + "' is not an LZH stream: its size word (" +
                             std::to_string(declared) + ") cannot belong to a stream of " +
                             std::to_string(size) + " bytes, which decodes to at most " +
                             std::to_string(extractor::MaxDecodedSize(size)));
  }
  se::MemoryStream out = RunCodec(CodecOp::kDecompress, input, "decompressing " + args[0]);
  output.Write(std::string_view(reinterpret_cast<const char*>(out.Memory()),
                                static_cast<size_t>(out.Size())));
  output.Commit();
  return 0;
}

}  // namespace

const Command kDecompressCommand = {
    "decompress", "IN OUT",
    "decompress the LZH stream IN into file OUT ('-': standard "
    "input or output)",
    Run,
    "IN or OUT may be '-' for standard input or output. A stream whose size word is more than\n"
    "48 bytes for each byte before it is refused, as the stub refuses it.\n"};

}  // namespace sepack
