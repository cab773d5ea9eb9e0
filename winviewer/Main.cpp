// The Windows viewer inside every built program. It finds its data through its marker record,
// reads the WindowSettings and the archive behind its own code, unpacks the form page into a
// private temporary folder (removed again on exit, and at the next start when a run was
// killed) and shows it in the system's browser control.
//
// Exit statuses: 0 shown and closed, 2 own data unusable, 3 the page could be shown nowhere.
// VANTREL_VIEWER_UNATTENDED=1 writes a failure to the standard error output only, without
// the message box, so scripts and tests do not wait for a user who is not there.

#include <windows.h>
// The COM headers need windows.h first.
#include <objbase.h>

#include <string>

#include "program/ViewerTexts.h"
#include "winviewer/PageFolder.h"
#include "winviewer/SelfData.h"
#include "winviewer/ViewerWindow.h"
#include "winviewer/WideText.h"

namespace {

using namespace vantrel;

constexpr int kExitDataError = 2;
constexpr int kExitNoWindow = 3;

bool unattended() {
  wchar_t value[8] = {};
  return GetEnvironmentVariableW(L"VANTREL_VIEWER_UNATTENDED", value, 8) > 0 && value[0] != L'0';
}

void writeToStandardError(const std::string& line) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int reportError(exe::ViewerError error, const std::string& detail) {
  const std::string_view text = viewertext::viewerErrorMessage(error);
  // The German message (UTF-8), then the reader's English detail for a log.
  writeToStandardError(std::string(text) + " (" + detail + ")\n");
  if (!unattended()) {
    MessageBoxW(nullptr, winviewer::fromUtf8(text).c_str(),
                winviewer::fromUtf8(viewertext::kErrorTitle).c_str(), MB_OK | MB_ICONERROR);
  }
  return kExitDataError;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything loads a DLL by name (OLE, the browser control, the shell): only the
  // system folder is searched, never the program's own folder, where a download folder may
  // hold a DLL of the same name.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  const exe::OwnData data =
      winviewer::readOwnData(winviewer::ownProgramPath(), winviewer::markerRecord());
  if (!data) return reportError(data.error, data.detail);

  winviewer::removeStalePageFolders(winviewer::temporaryFolder());
  winviewer::PageFolder folder;
  if (!folder.create(data.page))
    return reportError(exe::ViewerError::CannotExtract, "cannot write the page");

  // Without OLE the control cannot be created and the window falls back to the default
  // browser, which needs no OLE.
  const bool ole = SUCCEEDED(OleInitialize(nullptr));
  int status = kExitNoWindow;
  {
    winviewer::ViewerWindow window(instance, data.settings, folder.pageFile());
    if (window.open()) status = window.run();
  }
  if (ole) OleUninitialize();
  folder.remove();
  return status;
}
