#pragma once
// A first look at the raw bytes a client has sent, before GNU libmicrohttpd parses them. The
// library reads some header shapes leniently (it joins an obs-folded line to the line before,
// cuts a value at a NUL) and hands on what is left, so its own view cannot tell such a request
// from an honest one; a proxy in front may read the same bytes differently. Those shapes are
// refused here, on the bytes as sent.

#include <cstddef>
#include <string_view>

namespace vantrel::formmail {

enum class ScreenVerdict {
  Incomplete,  // the first request's header block has not arrived whole yet
  Sound,       // it has, and nothing sent so far has a refused shape
  Refused,     // a header line has a shape two parsers could read apart
  TooLarge,    // the first header block is longer than allowed
};

struct Screening {
  ScreenVerdict verdict = ScreenVerdict::Incomplete;
  // Whole header blocks found sound: the first and the pipelined ones behind it whose bodies
  // have arrived before them, so that their start is known.
  std::size_t soundRequests = 0;
};

// Refused anywhere in a header block: a control character other than a tab (a NUL, a CR not
// followed by LF), a line ending in a bare LF, a line that begins with a blank (obs-fold), a
// header name that is empty or holds anything but token characters (a blank before the colon)
// and a request line that is not "METHOD TARGET HTTP/...". Empty lines before a request line
// are skipped, as the protocol allows.
[[nodiscard]] Screening screenRequests(std::string_view bytes, std::size_t maxHeaderBlock);

}  // namespace vantrel::formmail
