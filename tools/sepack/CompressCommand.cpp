// sepack compress IN OUT: IN as an LZH stream (bit stream + 4-byte size), exactly as the codec
// object's Compress writes it.
#include <string_view>

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
  se::MemoryStream out = RunCodec(CodecOp::kCompress, input, "compressing " + args[0]);
  output.Write(std::string_view(reinterpret_cast<const char*>(out.Memory()),
                                static_cast<size_t>(out.Size())));
  output.Commit();
  return 0;
}

}  // namespace

const Command kCompressCommand = {
    "compress", "IN OUT",
    "compress file IN into the LZH stream OUT ('-': standard "
    "input or output)",
    Run,
    "IN or OUT may be '-' for standard input or output. OUT is written whole or not at all,\n"
    "and may not be IN.\n"};

}  // namespace sepack
