#pragma once
// Prototypes, pages and message recorders for the tests of the program builder.

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "builder/ExeAssembly.h"
#include "page/PageFile.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempFolder.h"

namespace vantrel::test {

// A decoded prototype of `size` bytes: a byte pattern that never forms the marker, with a
// prototype record (marker, tag, version, "PROT") at each given offset, cut at the end.
inline std::string decodedPrototype(std::size_t size, const std::vector<std::size_t>& recordsAt) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  const std::string record = std::string("BRXTEXEHVFRM\x01\x00\x00\x00PROT", 20);
  for (std::size_t at : recordsAt) {
    for (std::size_t i = 0; i < record.size() && at + i < size; ++i) bytes[at + i] = record[i];
  }
  return bytes;
}

inline std::string encoded(std::string bytes) {
  exe::encodePrototypeBytes(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
  return bytes;
}

inline std::uint32_t le32At(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at))) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 1))) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 2))) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 3))) << 24;
}

// Records every message of the build; answers OK unless told otherwise.
using BuildMessageRecorder = MessageRecorder<exe::BuildMessage>;

inline mode_t modeOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

// Stands in for osslsigncode: reads the password from its standard input and, when it is
// "geheim", appends a mark to a copy of the program, as a signature is appended.
inline constexpr const char* kSignerScript =
    "#!/bin/sh\n"
    "read password\n"
    "[ \"$password\" = geheim ] || exit 1\n"
    "while [ $# -gt 0 ]; do case \"$1\" in -in) in=$2; shift;; -out) out=$2; shift;; esac; "
    "shift; done\n"
    "cat \"$in\" > \"$out\" && printf SIGNED >> \"$out\"\n";

inline ProjectSettings someSettings() {
  ProjectSettings settings = startupSettings();
  settings.projectName = "Umfrage M\xFCller";
  return settings;
}

}  // namespace vantrel::test
