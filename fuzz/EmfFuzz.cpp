// Fuzzes the conversion of enhanced metafiles to SVG over arbitrary bytes: the header checks of
// emfToSvg, the record checks of the converter program, and for the records those checks pass
// the conversion as the tool runs it, through the converter program of this build. See
// MetafileChecks.h for what is held of every input.
//
// The record checks run here, in this process, where the fuzzer sees what they cover (this
// program is not distributed, so linking libUEMF here is no concern); the converter program runs
// the same checks first, so it is started only for records they pass, which are the only ones it
// draws. Starting it costs more than all the checks: the fuzzer tries many more inputs this way.
// The drawing itself stays in the converter, where libemf2svg may read past damaged records
// without ending the run.
// Its texts are not held to be XML text: libemf2svg writes them into CDATA sections as they
// are, so a text holding "]]>" or a control character still breaks the document.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/FailureKinds.h"
#include "fuzz/MetafileChecks.h"
#include "icon/emfconverter/EmfRecords.h"

namespace {

vantrel::MetafileSvg convertLikeTheTool(std::string_view bytes, std::int64_t maxPixels) {
  const vantrel::EmfToDraw toDraw = vantrel::checkEmfHeader(bytes, maxPixels);
  const vantrel::EmfRecordCheck check = vantrel::checkEmfRecords(toDraw.records);
  if (const auto refusal = vantrel::emfRefusalReason(static_cast<int>(check.verdict)))
    throw vantrel::PictureError(vantrel::failure(vantrel::PictureFailure::EmfNotValid, *refusal));
  return vantrel::emfToSvg(bytes, maxPixels, vantrel::EmfConverter{VANTREL_EMF_CONVERTER});
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
