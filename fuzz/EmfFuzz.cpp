// Fuzzes the conversion of enhanced metafiles to SVG over arbitrary bytes: the header checks of
// emfToSvg, the record checks of the converter program, and the conversion as the tool runs it,
// through that program. See MetafileChecks.h for what is held of every input; beyond that, a
// metafile the record checks refuse is refused by the conversion with the same reason.
//
// The record checks also run here, in this process, so that the fuzzer sees what they cover; the
// drawing stays in the converter program, where libemf2svg reads past damaged records without
// ending the run (this program is not distributed, so linking libUEMF here is no concern).
// Its texts are not held to be XML text: libemf2svg writes them into CDATA sections as they
// are, so a text holding "]]>" or a control character still breaks the document.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/MetafileChecks.h"
#include "icon/emfconverter/EmfRecords.h"

namespace {

vantrel::MetafileSvg convertLikeTheTool(std::string_view bytes, std::int64_t maxPixels) {
  const vantrel::EmfConverter converter{VANTREL_EMF_CONVERTER};
  const vantrel::EmfToDraw toDraw = vantrel::checkEmfHeader(bytes, maxPixels);
  const vantrel::EmfRecordCheck check = vantrel::checkEmfRecords(toDraw.records);
  const auto refusal = vantrel::emfRefusalReason(static_cast<int>(check.verdict));
  if (!refusal) return vantrel::emfToSvg(bytes, maxPixels, converter);
  try {
    (void)vantrel::emfToSvg(bytes, maxPixels, converter);  // must throw, checked below
  } catch (const vantrel::PictureError& error) {
    vantrel::fuzz::requireMetafile(std::string(error.what()).find(*refusal) != std::string::npos,
                                   "the converter's reason is the record checks' reason");
    throw;
  }
  vantrel::fuzz::requireMetafile(false, "records the checks refuse are not drawn");
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vantrel::fuzz::AllocationWatch::install();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return vantrel::fuzz::fuzzMetafile(data, size, vantrel::fuzz::XmlText::NotPromised,
                                     convertLikeTheTool);
}
