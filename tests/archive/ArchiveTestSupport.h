#pragma once
// Files and hand-made archives for the archive tests; temporary folders come from tests/support.

#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "tests/support/TempFolder.h"

namespace vantrel::zlb {
class TZLBArchive;
}

namespace vantrel::zlb::test {

using vantrel::test::TempFolder;

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// The unpacked bytes of the archive's member at index.
std::string contentOf(TZLBArchive& zlb, int index);
// Deterministic bytes: compressible text or noise that deflate cannot shrink.
std::string textBytes(std::size_t size, unsigned seed = 1);
std::string noiseBytes(std::size_t size, unsigned seed = 1);
std::string zlibCompress(const std::string& bytes, int level = 6);
std::uint32_t crcOf(const std::string& bytes);

// A member for handMadeArchive: its stored bytes and the registry record that points at them
// (DataOffset is filled in by handMadeArchive unless keepOffset is set).
struct HandMember {
  RegistryEntry entry;
  std::string stored;
  bool keepOffset = false;
};
HandMember rawMember(const std::string& name, const std::string& content);
HandMember zlibMember(const std::string& name, const std::string& content);

// Lays members, registry (zlib stream or raw) and a trailer with a correct CRC out in bytes.
std::string handMadeArchive(std::vector<HandMember> members, bool compressRegistry = true,
                            int entryCountOverride = -1);

}  // namespace vantrel::zlb::test
