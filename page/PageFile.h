#pragma once
// Putting the page on disk. The page is written to a new file beside the old one and renamed
// over it, so a failed write leaves the old page whole, and the caller always learns of it:
// an old page must never be shown or packed as if it were the current one.

#include <filesystem>
#include <string>
#include <string_view>

#include "base/Result.h"
#include "project/FieldList.h"
#include "project/FormMailAddress.h"

namespace vantrel {

class SyncBatch;

inline constexpr std::string_view kPageWriteFailedMessage =
    "Die Datei formular.htm konnte nicht geschrieben werden!";

// What the tool and vantrel-cli say of a page that posts to the respondent's own computer
// (FormMailAddress::postsToOwnComputer), naming the address; UTF-8.
std::string ownComputerReceiverText(const FormMailAddress& action);

// Replaces the file at `path` with `bytes`: a new file in the same folder, written in full and
// flushed (or, with `later`, left to that batch's flush), then renamed over the old one. On
// failure the new file is removed again and the old file, if any, is untouched. An existing
// file's permission bits are kept.
[[nodiscard]] Status replaceFileContents(const std::filesystem::path& path, std::string_view bytes,
                                         SyncBatch* later = nullptr);

// What the tool's "render" does: the page for these fields and this address, posting to
// `action`, written as `folder` / "formular.htm".
[[nodiscard]] Status writeFormPage(const std::filesystem::path& folder, const FieldList& fields,
                                   std::string_view email,
                                   const FormMailAddress& action = FormMailAddress(),
                                   SyncBatch* later = nullptr);

}  // namespace vantrel
