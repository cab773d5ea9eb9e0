// Fuzzes the conversion of enhanced metafiles to SVG (the header checks of emfToSvg, then
// libemf2svg) over arbitrary bytes; see MetafileChecks.h for what is held of every input.
// Its texts are not held to be XML text: libemf2svg writes them into CDATA sections as they
// are, so a text holding "]]>" or a control character still breaks the document.

#include <cstddef>
#include <cstdint>

#include "fuzz/MetafileChecks.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vantrel::fuzz::AllocationWatch::install();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return vantrel::fuzz::fuzzMetafile(data, size, vantrel::fuzz::XmlText::NotPromised,
                                     [](std::string_view bytes, std::int64_t maxPixels) {
                                       return vantrel::emfToSvg(bytes, maxPixels);
                                     });
}
