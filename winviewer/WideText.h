#pragma once
// Texts as the wide Win32 calls take them: UTF-16, converted where they meet such a call. The
// viewer's own texts (program/ViewerTexts.h) are UTF-8; the model's texts (the project name)
// are Windows-1252.

#include <windows.h>

#include <string>
#include <string_view>

namespace vantrel::winviewer {

// Bytes of the code page `codePage` as UTF-16.
inline std::wstring utf16From(std::string_view bytes, UINT codePage) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int wide = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), wide);
  return text;
}

// A text of program/ViewerTexts.h.
inline std::wstring fromUtf8(std::string_view text) { return utf16From(text, CP_UTF8); }

// A text of the model, such as the project name.
inline std::wstring fromWindows1252(std::string_view bytes) { return utf16From(bytes, 1252); }

}  // namespace vantrel::winviewer
