// Test helper: writes the page for a project given in a plain line format, so that a second
// implementation of the templates can compare pages with the tool's byte for byte.
//
// Input: first line the e-mail address, then one line per row with the nine members
// separated by tabs; every text hex-encoded, so any byte can pass.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "page/FormPage.h"

namespace {

std::optional<std::string> fromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const std::string pair = hex.substr(i, 2);
    if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
    bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
  }
  return bytes;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, '\t')) parts.push_back(part);
  if (!line.empty() && line.back() == '\t') parts.emplace_back();
  return parts;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: page_dump PROJECT.txt\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string line;
  if (!std::getline(in, line)) {
    std::cerr << "no e-mail line\n";
    return 2;
  }
  const auto email = fromHex(line);
  if (!email) {
    std::cerr << "bad e-mail line\n";
    return 2;
  }
  vantrel::FieldList fields;
  while (std::getline(in, line)) {
    const std::vector<std::string> parts = splitTabs(line);
    if (parts.size() != vantrel::kFormFieldMemberCount) {
      std::cerr << "a row needs nine members\n";
      return 2;
    }
    vantrel::FormField field;
    for (int i = 0; i < vantrel::kFormFieldMemberCount; ++i) {
      const auto member = fromHex(parts[static_cast<size_t>(i)]);
      if (!member) {
        std::cerr << "bad member\n";
        return 2;
      }
      vantrel::memberAt(field, i) = *member;
    }
    fields.append(field);
  }
  const std::string page = vantrel::generateFormPage(fields, *email, vantrel::FormMailAddress());
  std::fwrite(page.data(), 1, page.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
