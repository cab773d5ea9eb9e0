#include "ArchiveTestSupport.h"

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "archive/ZLIBArchive.h"

namespace vantrel::zlb::test {

std::string contentOf(TZLBArchive& zlb, int index) {
  std::ostringstream out;
  zlb.ExtractToStream(index, out);
  return out.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("read " + path);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

std::string textBytes(std::size_t size, unsigned seed) {
  static const char* words[] = {"Formular ", "Feld ", "Name ", "Adresse ",
                                "senden\n",  "und ",  "der "};
  std::string text;
  unsigned state = seed;
  while (text.size() < size) {
    state = state * 1103515245u + 12345u;
    text += words[(state >> 16) % 7];
  }
  text.resize(size);
  return text;
}

std::string noiseBytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& b : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    b = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string zlibCompress(const std::string& bytes, int level) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()), level);
  out.resize(size);
  return out;
}

std::uint32_t crcOf(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

static HandMember member(const std::string& name, const std::string& content, bool raw) {
  HandMember m;
  std::string folder, file = name;
  if (auto cut = name.rfind('\\'); cut != std::string::npos) {
    folder = name.substr(0, cut + 1);
    file = name.substr(cut + 1);
  }
  m.entry.SetEntryName(file);
  m.entry.SetEntryPath(folder);
  m.entry.SetFileSize(static_cast<std::uint32_t>(content.size()));
  m.entry.SetFileCRC(crcOf(content));
  m.entry.SetStoredRaw(raw);
  m.stored = raw ? content : zlibCompress(content);
  m.entry.SetLevelUsed(raw ? 0 : 2);
  m.entry.SetStoredSize(static_cast<std::uint32_t>(m.stored.size()));
  return m;
}

HandMember rawMember(const std::string& name, const std::string& content) {
  return member(name, content, true);
}
HandMember zlibMember(const std::string& name, const std::string& content) {
  return member(name, content, false);
}

std::string handMadeArchive(std::vector<HandMember> members, bool compressRegistry,
                            int entryCountOverride) {
  std::string file;
  std::string records;
  for (auto& m : members) {
    if (!m.keepOffset) m.entry.SetDataOffset(static_cast<std::uint32_t>(file.size()));
    file += m.stored;
    records.append(reinterpret_cast<const char*>(m.entry.Bytes.data()), m.entry.Bytes.size());
  }
  ArchiveTrailer trailer;
  trailer.RegistryOffset = static_cast<std::uint32_t>(file.size());
  if (compressRegistry) {
    const std::string registry = zlibCompress(records);
    file += registry;
    trailer.RegistrySize = static_cast<std::uint32_t>(registry.size());
    trailer.RegistryCompressed = 1;
  } else {
    file += records;
  }
  trailer.EntryCount =
      entryCountOverride >= 0 ? entryCountOverride : static_cast<int>(members.size());
  trailer.AlwaysOne = 1;
  trailer.ArchiveCRC = crcOf(file);
  const auto bytes = trailer.toBytes();
  file.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return file;
}

}  // namespace vantrel::zlb::test
