#include "winviewer/WindowReport.h"

#include <string>

namespace vantrel::winviewer {
namespace {

std::string number(long value) { return std::to_string(value); }

BOOL CALLBACK addButton(HWND child, LPARAM lines) {
  wchar_t kind[16] = {};
  GetClassNameW(child, kind, 16);
  if (lstrcmpiW(kind, L"BUTTON") != 0 || !IsWindowVisible(child)) return TRUE;
  RECT place{};
  GetWindowRect(child, &place);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&place), 2);
  *reinterpret_cast<std::string*>(lines) += "button " + number(GetDlgCtrlID(child)) + " " +
                                            number(place.left) + " " + number(place.top) + " " +
                                            number(place.right) + " " + number(place.bottom) + " " +
                                            (IsWindowEnabled(child) ? "1" : "0") + "\n";
  return TRUE;
}

void addMenu(HMENU menu, std::string& lines) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      addMenu(sub, lines);
      continue;
    }
    const UINT id = GetMenuItemID(menu, i);
    if (id == 0 || id == static_cast<UINT>(-1)) continue;  // separators
    const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
    lines += "menu " + number(static_cast<long>(id)) + " " +
             ((state & (MF_GRAYED | MF_DISABLED)) ? "0" : "1") + "\n";
  }
}

}  // namespace

void writeWindowReport(HWND frame, bool acceptsDrops) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"VANTREL_VIEWER_REPORT", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  RECT client{};
  GetClientRect(frame, &client);
  std::string lines = "client " + number(client.right) + " " + number(client.bottom) + "\n";
  EnumChildWindows(frame, addButton, reinterpret_cast<LPARAM>(&lines));
  if (HMENU menu = GetMenu(frame)) addMenu(menu, lines);
  lines += std::string("drops ") + (acceptsDrops ? "1" : "0") + "\n";
  HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace vantrel::winviewer
