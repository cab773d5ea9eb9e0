#pragma once
// The private temporary folder the page is unpacked into: "vantrel-formular-*" in the user's
// temporary folder, holding "formular.htm" and a lock file that stays open (and therefore
// cannot be deleted) as long as its viewer runs. Folders of earlier runs that were killed
// before they could clean up are removed at the next start.

#include <windows.h>

#include <string>

namespace vantrel::winviewer {

class PageFolder {
 public:
  PageFolder() = default;
  ~PageFolder();
  PageFolder(const PageFolder&) = delete;
  PageFolder& operator=(const PageFolder&) = delete;

  // Creates the folder and writes the page into it; false when either fails.
  [[nodiscard]] bool create(const std::string& page);
  [[nodiscard]] const std::wstring& pageFile() const { return pageFile_; }
  // Removes the folder with everything in it; the browser may still hold the page for a
  // moment, so a few attempts are made.
  void remove();

 private:
  std::wstring folder_;
  std::wstring pageFile_;
  HANDLE lock_ = INVALID_HANDLE_VALUE;
};

// Removes "vantrel-formular-*" folders in `temp` whose viewer no longer runs.
void removeStalePageFolders(const std::wstring& temp);
std::wstring temporaryFolder();

}  // namespace vantrel::winviewer
