// sepack decompress IN OUT: the bytes of the LZH stream IN, as the codec object's Decompress
// gives them.
#include <stdexcept>

#include "tools/sepack/CodecRun.h"
#include "tools/sepack/Command.h"
#include "tools/sepack/FileIo.h"

namespace sepack {
namespace {

int Run(const std::vector<std::string>& args) {
  if (args.size() != 2) throw UsageError{"expected IN and OUT"};
  const std::vector<uint8_t> input = ReadWholeFile(args[0]);
  // The stream carries no check value; only a stream too short for its size field is detected.
  if (input.size() <= 4) {
    throw std::runtime_error("'" + args[0] + "' is not an LZH stream (" +
                             std::to_string(input.size()) + " bytes; at least 5 needed)");
  }
  se::MemoryStream out = RunCodec(CodecOp::kDecompress, input, "decompressing " + args[0]);
  WriteFileAtomically(args[1], out.Memory(), static_cast<size_t>(out.Size()));
  return 0;
}

}  // namespace

const Command kDecompressCommand = {"decompress", "IN OUT",
                                    "decompress the LZH stream IN into file OUT", Run};

}  // namespace sepack
