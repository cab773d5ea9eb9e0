#include "program/ExeLayout.h"

#include "base/brixtel.h"

namespace vantrel::exe {

void writeWindowSettings(ByteWriter& file, const WindowSettings& settings) {
  // The project file's settings block up to the name has the same layout.
  writeSettingsBlock(file, settings.settings);
  WriteLengthPrefixedString(file, settings.pagePath);
}

std::string windowSettingsBytes(const WindowSettings& settings) {
  std::string bytes;
  StringWriter writer(bytes);
  writeWindowSettings(writer, settings);
  return bytes;
}

}  // namespace vantrel::exe
