#include "tests/support/CabBuilder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace testing_support {
namespace {

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace

std::string MakeStoredCabinet(const std::vector<CabFile>& files, const CabSetLinks& links,
                              const CabReserve& reserve) {
  constexpr size_t kHeader = 36, kFolder = 8, kBlock = 32768;
  std::string all;
  for (const auto& f : files) all += f.data;

  std::string fileRecords;
  uint32_t offset = 0;
  for (const auto& f : files) {
    Put32(fileRecords, static_cast<uint32_t>(f.data.size()));
    Put32(fileRecords, offset);
    Put16(fileRecords, 0);  // folder 0
    Put16(fileRecords, f.date);
    Put16(fileRecords, f.time);
    Put16(fileRecords, f.attribs);
    fileRecords += f.name;
    fileRecords += '\0';
    offset += static_cast<uint32_t>(f.data.size());
  }

  std::string blocks;
  uint16_t blockCount = 0;
  for (size_t at = 0; at < all.size() || blockCount == 0; at += kBlock) {
    std::string chunk = all.substr(at, kBlock);
    Put32(blocks, 0);  // no checksum
    Put16(blocks, static_cast<uint16_t>(chunk.size()));
    Put16(blocks, static_cast<uint16_t>(chunk.size()));
    blocks.append(reserve.data, '\xA5');
    blocks += chunk;
    ++blockCount;
    if (all.empty()) break;
  }

  std::string names;  // reserve sizes and area, previous and next cabinet and disk
  uint16_t flags = 0;
  const bool reserved = reserve.header || reserve.folder || reserve.data;
  if (reserved) {
    flags |= 0x0004;
    Put16(names, reserve.header);
    names += static_cast<char>(reserve.folder);
    names += static_cast<char>(reserve.data);
    names.append(reserve.header, '\x5A');
  }
  if (!links.previous.empty()) {
    flags |= 0x0001;
    names += links.previous + '\0' + "disk" + '\0';
  }
  if (!links.next.empty()) {
    flags |= 0x0002;
    names += links.next + '\0' + "disk" + '\0';
  }
  const uint32_t filesAt = static_cast<uint32_t>(kHeader + names.size() + kFolder + reserve.folder);
  const uint32_t dataAt = filesAt + static_cast<uint32_t>(fileRecords.size());
  std::string cab = "MSCF";
  Put32(cab, 0);
  Put32(cab, dataAt + static_cast<uint32_t>(blocks.size()));
  Put32(cab, 0);
  Put32(cab, filesAt);
  Put32(cab, 0);
  cab += '\x03';
  cab += '\x01';
  Put16(cab, 1);  // folders
  Put16(cab, static_cast<uint16_t>(files.size()));
  Put16(cab, flags);
  Put16(cab, 0x1234);
  Put16(cab, links.index);
  cab += names;
  Put32(cab, dataAt);
  Put16(cab, blockCount);
  Put16(cab, 0);  // no compression
  cab.append(reserve.folder, '\xC3');
  return cab + fileRecords + blocks;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace testing_support
