#include "winviewer/ViewerWindow.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "program/ViewerTexts.h"
#include "winviewer/WideText.h"
#include "winviewer/WindowReport.h"

namespace vantrel::winviewer {
namespace {

using namespace viewertext;

constexpr const wchar_t* kFrameClass = L"VantrelFormularFenster";
constexpr const wchar_t* kFallbackClass = L"VantrelFormularHinweis";
constexpr int kIconResource = 1;
constexpr UINT kSwitchToFallback = WM_APP + 1;

constexpr int kSmallestExtent = 64;
constexpr int kLargestExtent = 16384;
constexpr int kToolbarHeight = 32;
constexpr int kButtonWidth = 92;
constexpr int kButtonHeight = 26;
constexpr int kSmallestToolWidth = 56;
constexpr int kTextMargin = 12;
constexpr int kTextRise = 10;
constexpr int kGap = 3;
// What is left of the page when the window is at its smallest; it also takes up a menu bar
// that breaks into two lines in a narrow window.
constexpr int kSmallestPageHeight = 48;
constexpr int kExitRowHeight = kButtonHeight + 2 * 6;
constexpr int kFallbackWidth = 460;
constexpr int kFallbackHeight = 200;

enum Command : int {
  kCmdPrint = 101,
  kCmdExit,
  kCmdAbout,
  kCmdBack,
  kCmdForward,
  kCmdHome,
  kCmdReload,
  kCmdExitButton,
  kCmdFallbackClose,
};

struct Offer {
  WindowElement element;
  Command id;
  std::string_view text;
};

constexpr Offer kNavigation[] = {
    {WindowElement::Back, kCmdBack, kBack},
    {WindowElement::Forward, kCmdForward, kForward},
    {WindowElement::Home, kCmdHome, kHome},
    {WindowElement::Reload, kCmdReload, kReload},
};
constexpr Offer kOthers[] = {
    {WindowElement::Print, kCmdPrint, kPrint},
    {WindowElement::About, kCmdAbout, kAbout},
    {WindowElement::Exit, kCmdExit, kExit},
};

// A button's text without the menu's "&" and "...".
std::wstring buttonText(std::string_view text) {
  std::string plain = withoutMnemonic(text);
  while (!plain.empty() && plain.back() == '.') plain.pop_back();
  return fromUtf8(plain);
}

// Appends a command or a sub-menu to a menu under one of the viewer's texts.
void appendMenu(HMENU menu, UINT flags, UINT_PTR id, std::string_view text) {
  AppendMenuW(menu, flags, id, fromUtf8(text).c_str());
}

HWND makeButton(HWND parent, HINSTANCE instance, const std::wstring& text, int id, HFONT font,
                DWORD kind = BS_PUSHBUTTON) {
  HWND button = CreateWindowExW(
      0, L"BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | kind, 0, 0, kButtonWidth,
      kButtonHeight, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return button;
}

ViewerWindow* windowOf(HWND window) {
  return reinterpret_cast<ViewerWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void remember(HWND window, LPARAM createParameters) {
  const auto* create = reinterpret_cast<const CREATESTRUCTW*>(createParameters);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

// Both windows of the viewer: the program's icon, the arrow cursor, the dialog face colour.
void registerWindowClass(const wchar_t* name, WNDPROC procedure, HINSTANCE instance, HICON icon) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = icon;
  windowClass.hIconSm = icon;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  RegisterClassExW(&windowClass);
}

}  // namespace

int usableExtent(std::int32_t typed) {
  return std::clamp<std::int32_t>(typed, kSmallestExtent, kLargestExtent);
}

ViewerWindow::ViewerWindow(HINSTANCE instance, const exe::WindowSettings& settings,
                           std::wstring pageFile)
    : instance_(instance),
      settings_(settings),
      pageFile_(std::move(pageFile)),
      title_(fromWindows1252(settings.settings.projectName)) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  // The icon of the program's own resources: the builder writes the user's pixels there.
  icon_ = LoadIconW(instance_, MAKEINTRESOURCEW(kIconResource));
}

ViewerWindow::~ViewerWindow() {
  if (browser_) {
    browser_->close();
    browser_->Release();
  }
  if (font_) DeleteObject(font_);
}

bool ViewerWindow::offered(WindowElement element) const {
  return settings_.settings.element(element);
}

HMENU ViewerWindow::buildMenu() const {
  HMENU bar = CreateMenu();
  HMENU file = nullptr;
  if (offered(WindowElement::Print))
    appendMenu(file = CreatePopupMenu(), MF_STRING, kCmdPrint, kPrint);
  if (offered(WindowElement::Exit)) {
    if (!file)
      file = CreatePopupMenu();
    else
      AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    appendMenu(file, MF_STRING, kCmdExit, kExit);
  }
  if (file) appendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), kMenuFile);
  HMENU view = nullptr;
  for (const Offer& offer : kNavigation) {
    if (!offered(offer.element)) continue;
    if (!view) view = CreatePopupMenu();
    appendMenu(view, MF_STRING, offer.id, offer.text);
  }
  if (view) appendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), kMenuView);
  if (offered(WindowElement::About)) {
    HMENU help = CreatePopupMenu();
    appendMenu(help, MF_STRING, kCmdAbout, kAbout);
    appendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), kMenuHelp);
  }
  if (GetMenuItemCount(bar) == 0) {
    DestroyMenu(bar);
    return nullptr;
  }
  return bar;
}

void ViewerWindow::buildToolbar() {
  toolbar_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ETCHEDFRAME, 0, 0, 0,
                             kToolbarHeight, frame_, nullptr, instance_, nullptr);
  // Each button as wide as its text in the window's font needs.
  HDC context = GetDC(frame_);
  HGDIOBJ previous = font_ ? SelectObject(context, font_) : nullptr;
  TEXTMETRICW metrics{};
  GetTextMetricsW(context, &metrics);
  buttonHeight_ = std::max<int>(kButtonHeight, metrics.tmHeight + kTextRise);
  auto add = [&](const Offer& offer) {
    if (!offered(offer.element)) return;
    const std::wstring text = buttonText(offer.text);
    SIZE extent{};
    GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &extent);
    HWND button = makeButton(frame_, instance_, text, offer.id, font_);
    tools_.push_back(
        {offer.id, button, std::max<int>(kSmallestToolWidth, extent.cx + 2 * kTextMargin)});
    if (offer.id == kCmdBack) backButton_ = button;
    if (offer.id == kCmdForward) forwardButton_ = button;
  };
  for (const Offer& offer : kNavigation) add(offer);
  firstOther_ = tools_.size();
  for (const Offer& offer : kOthers) add(offer);
  if (previous) SelectObject(context, previous);
  ReleaseDC(frame_, context);
}

int ViewerWindow::arrangeToolbar(int width, bool move) const {
  if (tools_.empty()) return kToolbarHeight;
  int x = kGap;
  int y = kGap;
  for (std::size_t i = 0; i < tools_.size(); ++i) {
    const int buttonWidth = tools_[i].width;
    if (i == firstOther_ && i > 0) x += 2 * kGap;  // navigation apart from the rest
    // A button that does not fit begins the next row: none is ever cut off.
    if (x > kGap && x + buttonWidth + kGap > width) {
      x = kGap;
      y += buttonHeight_ + kGap;
    }
    if (move)
      SetWindowPos(tools_[i].window, nullptr, x, y, buttonWidth, buttonHeight_,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    x += buttonWidth + kGap;
  }
  return y + buttonHeight_ + kGap;
}

SIZE ViewerWindow::minimumClient() const {
  int width = 2 * kGap;
  for (const ToolButton& tool : tools_) width = std::max(width, tool.width + 2 * kGap);
  if (exitButton_) width = std::max(width, kButtonWidth + 2 * 6);
  int height = kSmallestPageHeight;
  if (toolbar_) height += arrangeToolbar(width, false);
  if (statusbar_) {
    RECT status{};
    GetWindowRect(statusbar_, &status);
    height += status.bottom - status.top;
  }
  if (exitButton_) height += kExitRowHeight;
  return SIZE{width, height};
}

SIZE ViewerWindow::nonClientSize() const {
  RECT outer{};
  RECT client{};
  GetWindowRect(frame_, &outer);
  GetClientRect(frame_, &client);
  return SIZE{(outer.right - outer.left) - client.right,
              (outer.bottom - outer.top) - client.bottom};
}

void ViewerWindow::growToMinimum() {
  // Twice: a window made narrower may break its menu bar into two lines, which takes height.
  for (int round = 0; round < 2; ++round) {
    const SIZE least = minimumClient();
    const SIZE around = nonClientSize();
    RECT outer{};
    GetWindowRect(frame_, &outer);
    const int width = std::max<int>(outer.right - outer.left, least.cx + around.cx);
    const int height = std::max<int>(outer.bottom - outer.top, least.cy + around.cy);
    if (width == outer.right - outer.left && height == outer.bottom - outer.top) return;
    SetWindowPos(frame_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void ViewerWindow::buildStatusbar() {
  statusbar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame_,
                               nullptr, instance_, nullptr);
}

void ViewerWindow::buildExitButton() {
  exitButton_ = makeButton(frame_, instance_, fromUtf8(kExitButton), kCmdExitButton, font_);
}

void ViewerWindow::layout() {
  RECT client{};
  GetClientRect(frame_, &client);
  int top = 0;
  int bottom = client.bottom;
  if (toolbar_) {
    top = arrangeToolbar(client.right, true);
    SetWindowPos(toolbar_, HWND_BOTTOM, 0, 0, client.right, top, SWP_NOACTIVATE);
  }
  if (statusbar_) {
    SendMessageW(statusbar_, WM_SIZE, 0, 0);
    RECT status{};
    GetWindowRect(statusbar_, &status);
    bottom -= status.bottom - status.top;
  }
  if (exitButton_) {
    bottom -= kExitRowHeight;
    SetWindowPos(exitButton_, nullptr, client.right - kButtonWidth - 6, bottom + 6, kButtonWidth,
                 kButtonHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const RECT area{0, top, client.right, std::max(top, bottom)};
  if (browser_) browser_->place(area);
}

bool ViewerWindow::open() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  registerWindowClass(kFrameClass, frameProc, instance_, icon_);

  const ProjectSettings& settings = settings_.settings;
  const bool fixed = settings.fixedSize;
  const DWORD style =
      fixed ? (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX) : WS_OVERLAPPEDWINDOW;
  frame_ =
      CreateWindowExW(0, kFrameClass, title_.c_str(), style | WS_CLIPCHILDREN, CW_USEDEFAULT,
                      CW_USEDEFAULT, usableExtent(settings.width), usableExtent(settings.height),
                      nullptr, fixed ? nullptr : buildMenu(), instance_, this);
  if (!frame_) return false;
  if (offered(WindowElement::Toolbar)) buildToolbar();
  if (offered(WindowElement::Statusbar)) buildStatusbar();
  if (offered(WindowElement::ExitButton)) buildExitButton();
  // A window of the typed size may be too small for its buttons; a fixed one cannot be made
  // larger by the user, a sizable one not smaller than this (WM_GETMINMAXINFO).
  growToMinimum();
  historyChanged(false, false);

  browser_ = BrowserHost::create(frame_, this);
  if (!browser_) return openFallback();
  layout();
  ShowWindow(frame_, settings.definedSize ? SW_SHOWNORMAL : SW_SHOWMAXIMIZED);
  UpdateWindow(frame_);
  writeWindowReport(frame_, browser_->acceptsDrops());
  goHome();
  return true;
}

int ViewerWindow::run() {
  ACCEL keys[] = {
      {FVIRTKEY | FCONTROL, 'P', kCmdPrint}, {FVIRTKEY, VK_F5, kCmdReload},
      {FVIRTKEY | FALT, VK_LEFT, kCmdBack},  {FVIRTKEY | FALT, VK_RIGHT, kCmdForward},
      {FVIRTKEY | FALT, VK_HOME, kCmdHome},
  };
  HACCEL accelerators = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (preTranslate(message, accelerators)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (accelerators) DestroyAcceleratorTable(accelerators);
  return static_cast<int>(message.wParam);
}

bool ViewerWindow::preTranslate(MSG& message, HACCEL accelerators) {
  // The small window: Enter and Escape close it, Tab moves as in a dialog.
  if (fallback_ && IsDialogMessageW(fallback_, &message)) return true;
  if (!frame_) return false;
  // The window's shortcuts first, wherever the focus is (Ctrl+P in a form field prints).
  if (accelerators && TranslateAcceleratorW(frame_, accelerators, &message)) return true;
  // Then the page's keys through the control: Tab between fields, Enter sends.
  if (browser_ && browser_->translateKey(message)) return true;
  // Tab, Enter and Space among the window's own buttons.
  return isOwnChild(message.hwnd) && IsDialogMessageW(frame_, &message);
}

bool ViewerWindow::isOwnChild(HWND window) const {
  if (!window) return false;
  if (window == exitButton_) return true;
  return std::any_of(tools_.begin(), tools_.end(),
                     [window](const ToolButton& tool) { return tool.window == window; });
}

void ViewerWindow::activated(WPARAM state) {
  if (!browser_) return;
  if (LOWORD(state) == WA_INACTIVE) {
    const HWND focus = GetFocus();
    focusBefore_ = isOwnChild(focus) ? focus : nullptr;
    browser_->frameActivated(false);
    return;
  }
  browser_->frameActivated(true);
  // Back from another program, the about box or the print dialog: the keyboard goes where it
  // was, which is the page unless one of the window's buttons had it.
  if (focusBefore_ && IsWindow(focusBefore_)) {
    SetFocus(focusBefore_);
  } else {
    browser_->focusPage();
  }
}

void ViewerWindow::goHome() {
  pageShown_ = false;
  statusText(fromUtf8(kStatusLoading));
  if (!browser_->openForm(pageFile_)) PostMessageW(frame_, kSwitchToFallback, 0, 0);
}

void ViewerWindow::pageLoaded() {
  pageShown_ = true;
  statusText(fromUtf8(kStatusDone));
  // The keyboard goes to the new page, unless the user has gone to one of the buttons.
  if (browser_ && GetActiveWindow() == frame_ && !isOwnChild(GetFocus())) browser_->focusPage();
}

void ViewerWindow::navigationFailed() {
  // The form page itself did not come up: the default browser shows it instead. Later pages
  // (the receiver's answer) failing are only reported.
  if (!pageShown_) {
    PostMessageW(frame_, kSwitchToFallback, 0, 0);
  } else {
    statusText(fromUtf8(kStatusFailed));
  }
}

void ViewerWindow::statusText(const std::wstring& text) {
  if (statusbar_) SendMessageW(statusbar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ViewerWindow::historyChanged(bool canGoBack, bool canGoForward) {
  if (backButton_) EnableWindow(backButton_, canGoBack);
  if (forwardButton_) EnableWindow(forwardButton_, canGoForward);
  // The menu's commands alike.
  HMENU menu = frame_ ? GetMenu(frame_) : nullptr;
  if (!menu) return;
  EnableMenuItem(menu, kCmdBack, MF_BYCOMMAND | (canGoBack ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(menu, kCmdForward, MF_BYCOMMAND | (canGoForward ? MF_ENABLED : MF_GRAYED));
}

void ViewerWindow::command(int id) {
  if (!browser_) return;
  if (!offered(WindowElement::Print) && id == kCmdPrint) return;  // a shortcut of an absent command
  switch (id) {
    case kCmdPrint:
      browser_->print();
      // The dialog gave the keyboard to the control's outer window; the page takes it back.
      if (browser_) browser_->focusPage();
      break;
    case kCmdExit:
    case kCmdExitButton:
      PostMessageW(frame_, WM_CLOSE, 0, 0);
      break;
    case kCmdAbout:
      showAbout();
      // The window may have fallen back to the small one while the box was open.
      if (browser_) browser_->focusPage();
      break;
    case kCmdBack:
      if (offered(WindowElement::Back)) browser_->goBack();
      break;
    case kCmdForward:
      if (offered(WindowElement::Forward)) browser_->goForward();
      break;
    case kCmdHome:
      if (offered(WindowElement::Home)) goHome();
      break;
    case kCmdReload:
      if (offered(WindowElement::Reload)) browser_->reload();
      break;
    default:
      break;
  }
}

void ViewerWindow::showAbout() {
  const std::wstring title = fromUtf8(kAboutTitlePrefix) + title_;
  const std::wstring text = title_ + fromUtf8(kAboutText);
  MSGBOXPARAMSW box{};
  box.cbSize = sizeof(box);
  box.hwndOwner = frame_;
  box.hInstance = instance_;
  box.lpszText = text.c_str();
  box.lpszCaption = title.c_str();
  box.dwStyle = MB_OK | MB_USERICON;
  box.lpszIcon = MAKEINTRESOURCEW(kIconResource);
  MessageBoxIndirectW(&box);
}

void ViewerWindow::switchToFallback() {
  if (fallingBack_) return;
  if (browser_) {
    browser_->close();
    browser_->Release();
    browser_ = nullptr;
  }
  if (!openFallback()) PostQuitMessage(3);
}

bool ViewerWindow::openFallback() {
  fallingBack_ = true;
  if (frame_) DestroyWindow(frame_);
  frame_ = nullptr;
  const auto opened = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", pageFile_.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (opened <= 32) {
    MessageBoxW(nullptr, fromUtf8(kNoBrowserAtAll).c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
    return false;
  }
  registerWindowClass(kFallbackClass, fallbackProc, instance_, icon_);
  fallback_ = CreateWindowExW(0, kFallbackClass, title_.c_str(),
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                              CW_USEDEFAULT, CW_USEDEFAULT, kFallbackWidth, kFallbackHeight,
                              nullptr, nullptr, instance_, this);
  if (!fallback_) return false;
  RECT client{};
  GetClientRect(fallback_, &client);
  HWND text = CreateWindowExW(0, L"STATIC", fromUtf8(kFallbackText).c_str(), WS_CHILD | WS_VISIBLE,
                              12, 12, client.right - 24, client.bottom - 24 - kButtonHeight - 12,
                              fallback_, nullptr, instance_, nullptr);
  SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  HWND close = makeButton(fallback_, instance_, fromUtf8(kFallbackClose), kCmdFallbackClose, font_,
                          BS_DEFPUSHBUTTON);
  SetWindowPos(close, nullptr, client.right - kButtonWidth - 12, client.bottom - kButtonHeight - 12,
               kButtonWidth, kButtonHeight, SWP_NOZORDER);
  ShowWindow(fallback_, SW_SHOWNORMAL);
  SetFocus(close);
  return true;
}

LRESULT ViewerWindow::handleFrame(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_SIZE:
      layout();
      return 0;
    case WM_GETMINMAXINFO:
      if (!IsIconic(frame_)) {
        const SIZE least = minimumClient();
        const SIZE around = nonClientSize();
        auto* limits = reinterpret_cast<MINMAXINFO*>(l);
        limits->ptMinTrackSize = POINT{least.cx + around.cx, least.cy + around.cy};
      }
      return 0;
    case WM_ACTIVATE:
      if (HIWORD(w) || !browser_) return DefWindowProcW(frame_, message, w, l);  // minimised
      activated(w);
      return 0;
    case WM_SETFOCUS:
      if (browser_) browser_->focusPage();
      return 0;
    case WM_DPICHANGED: {
      // Moved to a monitor of another scale: take the size Windows proposes for it, so the
      // window keeps its size as the user sees it (the page scales itself).
      const auto* proposed = reinterpret_cast<const RECT*>(l);
      SetWindowPos(frame_, nullptr, proposed->left, proposed->top, proposed->right - proposed->left,
                   proposed->bottom - proposed->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_COMMAND:
      command(LOWORD(w));
      return 0;
    case kSwitchToFallback:
      switchToFallback();
      return 0;
    case WM_DESTROY:
      // The control lets go of its window before the window goes.
      if (browser_) {
        browser_->close();
        browser_->Release();
        browser_ = nullptr;
      }
      // The frame also goes when the fallback window takes over; only then the program lives on.
      if (!fallingBack_) PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(frame_, message, w, l);
  }
}

LRESULT CALLBACK ViewerWindow::frameProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) remember(window, l);
  ViewerWindow* self = windowOf(window);
  if (!self || !self->frame_) return DefWindowProcW(window, message, w, l);
  return self->handleFrame(message, w, l);
}

LRESULT CALLBACK ViewerWindow::fallbackProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) remember(window, l);
  // The close button, Enter and Escape (IsDialogMessage sends IDOK and IDCANCEL).
  if (message == WM_COMMAND &&
      (LOWORD(w) == kCmdFallbackClose || LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    if (ViewerWindow* self = windowOf(window)) self->fallback_ = nullptr;
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

}  // namespace vantrel::winviewer
