#include "winviewer/ViewerWindow.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "program/ViewerTexts.h"
#include "winviewer/WideText.h"

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
constexpr int kGap = 3;
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

HWND makeButton(HWND parent, HINSTANCE instance, const std::wstring& text, int id, HFONT font) {
  HWND button = CreateWindowExW(
      0, L"BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
      kButtonWidth, kButtonHeight, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      instance, nullptr);
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
  int x = kGap;
  auto add = [&](const Offer& offer) {
    if (!offered(offer.element)) return;
    HWND button = makeButton(frame_, instance_, buttonText(offer.text), offer.id, font_);
    SetWindowPos(button, HWND_TOP, x, kGap, kButtonWidth, kButtonHeight, 0);
    if (offer.id == kCmdBack) backButton_ = button;
    if (offer.id == kCmdForward) forwardButton_ = button;
    x += kButtonWidth + kGap;
  };
  for (const Offer& offer : kNavigation) add(offer);
  x += 2 * kGap;
  for (const Offer& offer : kOthers) add(offer);
  historyChanged(false, false);
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
    SetWindowPos(toolbar_, HWND_BOTTOM, 0, 0, client.right, kToolbarHeight, SWP_NOACTIVATE);
    top = kToolbarHeight;
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

  browser_ = BrowserHost::create(frame_, this);
  if (!browser_) return openFallback();
  layout();
  ShowWindow(frame_, settings.definedSize ? SW_SHOWNORMAL : SW_SHOWMAXIMIZED);
  UpdateWindow(frame_);
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
    if (frame_ && accelerators && TranslateAcceleratorW(frame_, accelerators, &message)) continue;
    if (browser_ && browser_->translateKey(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (accelerators) DestroyAcceleratorTable(accelerators);
  return static_cast<int>(message.wParam);
}

void ViewerWindow::goHome() {
  pageShown_ = false;
  statusText(fromUtf8(kStatusLoading));
  if (!browser_->navigate(pageFile_)) PostMessageW(frame_, kSwitchToFallback, 0, 0);
}

void ViewerWindow::pageLoaded() {
  pageShown_ = true;
  statusText(fromUtf8(kStatusDone));
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
}

void ViewerWindow::command(int id) {
  if (!browser_) return;
  if (!offered(WindowElement::Print) && id == kCmdPrint) return;  // a shortcut of an absent command
  switch (id) {
    case kCmdPrint:
      browser_->print();
      break;
    case kCmdExit:
    case kCmdExitButton:
      PostMessageW(frame_, WM_CLOSE, 0, 0);
      break;
    case kCmdAbout:
      showAbout();
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
  HWND close = makeButton(fallback_, instance_, fromUtf8(kFallbackClose), kCmdFallbackClose, font_);
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
  if (message == WM_COMMAND && LOWORD(w) == kCmdFallbackClose) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

}  // namespace vantrel::winviewer
