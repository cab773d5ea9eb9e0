// Fuzzes the conversion of Windows metafiles to SVG (libwmf behind wmfToSvg) over arbitrary
// bytes; see MetafileChecks.h for what is held of every input.

#include <cstddef>
#include <cstdint>

#include "fuzz/MetafileChecks.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vantrel::fuzz::AllocationWatch::install();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return vantrel::fuzz::fuzzMetafile(data, size, vantrel::fuzz::XmlText::Promised,
                                     [](std::string_view bytes, std::int64_t maxPixels) {
                                       return vantrel::wmfToSvg(bytes, maxPixels);
                                     });
}
