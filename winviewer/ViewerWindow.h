#pragma once
// The viewer's window: the page in the browser control with the window elements the settings
// ask for (menu, tool bar, status bar, exit button), at the settings' size or maximised. When
// the control cannot show the page, the page goes to the default browser and a small window,
// titled like the big one, says so; closing it ends the program.

#include <windows.h>

#include <string>
#include <vector>

#include "program/ViewerRecord.h"
#include "winviewer/BrowserHost.h"

namespace vantrel::winviewer {

// Window width or height from the settings as typed, brought into what a window can be.
int usableExtent(std::int32_t typed);

class ViewerWindow final : public BrowserListener {
 public:
  ViewerWindow(HINSTANCE instance, const exe::WindowSettings& settings, std::wstring pageFile);
  ~ViewerWindow() override;
  ViewerWindow(const ViewerWindow&) = delete;
  ViewerWindow& operator=(const ViewerWindow&) = delete;

  // Opens the window and starts loading the page; false when no window could be made.
  bool open();
  // The message loop; returns when the last window of the viewer is closed.
  int run();

  void pageLoaded() override;
  void navigationFailed() override;
  void statusText(const std::wstring& text) override;
  void historyChanged(bool canGoBack, bool canGoForward) override;

 private:
  static LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM w, LPARAM l);
  static LRESULT CALLBACK fallbackProc(HWND window, UINT message, WPARAM w, LPARAM l);
  struct ToolButton {
    int id;
    HWND window;
    int width;
  };

  LRESULT handleFrame(UINT message, WPARAM w, LPARAM l);
  [[nodiscard]] bool offered(WindowElement element) const;
  HMENU buildMenu() const;
  void buildToolbar();
  void buildStatusbar();
  void buildExitButton();
  // Places the tool bar's buttons in rows that fit `width`, when `move`; returns the bar's
  // height either way.
  int arrangeToolbar(int width, bool move) const;
  // The smallest client area that shows every button: the bar's buttons one under the other.
  [[nodiscard]] SIZE minimumClient() const;
  // The window's frame, menu and title around the client area, as they are now.
  [[nodiscard]] SIZE nonClientSize() const;
  void growToMinimum();
  void layout();
  void activated(WPARAM state);
  [[nodiscard]] bool isOwnChild(HWND window) const;
  bool preTranslate(MSG& message, HACCEL accelerators);
  void command(int id);
  void goHome();
  void showAbout();
  void switchToFallback();
  bool openFallback();

  HINSTANCE instance_;
  exe::WindowSettings settings_;
  std::wstring pageFile_;
  std::wstring title_;
  HFONT font_ = nullptr;
  HICON icon_ = nullptr;
  HWND frame_ = nullptr;
  HWND toolbar_ = nullptr;
  std::vector<ToolButton> tools_;
  std::size_t firstOther_ = 0;
  int buttonHeight_ = 0;
  HWND backButton_ = nullptr;
  HWND forwardButton_ = nullptr;
  // The window's own control that had the focus when the window was deactivated.
  HWND focusBefore_ = nullptr;
  HWND statusbar_ = nullptr;
  HWND exitButton_ = nullptr;
  HWND fallback_ = nullptr;
  BrowserHost* browser_ = nullptr;
  bool pageShown_ = false;
  bool fallingBack_ = false;
};

}  // namespace vantrel::winviewer
