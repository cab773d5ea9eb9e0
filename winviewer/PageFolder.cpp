#include "winviewer/PageFolder.h"

#include <cwchar>

#include "program/ViewerRecord.h"
#include "winviewer/WideText.h"

namespace vantrel::winviewer {
namespace {

constexpr const wchar_t* kFolderPrefix = L"vantrel-formular-";
constexpr const wchar_t* kLockName = L"viewer.lock";
// A folder without its lock file may belong to a viewer that is creating it right now.
constexpr ULONGLONG kYoungFolder100ns = 60ULL * 10000000ULL;
constexpr int kRemoveAttempts = 20;
constexpr DWORD kRemovePauseMs = 50;

ULONGLONG ticksOf(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool isYoung(const std::wstring& folder) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(folder.c_str(), GetFileExInfoStandard, &data)) return false;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return ticksOf(now) < ticksOf(data.ftCreationTime) + kYoungFolder100ns;
}

// Deletes a folder and its contents; a link inside is removed as a link, never followed.
bool removeTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      const DWORD attributes = found.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        removeTree(path);
      } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(path.c_str());
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  return RemoveDirectoryW(folder.c_str()) != 0;
}

bool writeWhole(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t left = bytes.size() - done;
    const DWORD ask = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, ask, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

std::wstring temporaryFolder() {
  wchar_t buffer[MAX_PATH + 2] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH + 1) return std::wstring();
  std::wstring folder(buffer, length);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

void removeStalePageFolders(const std::wstring& temp) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((temp + L"\\" + kFolderPrefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const DWORD attributes = found.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    const std::wstring folder = temp + L"\\" + found.cFileName;
    const std::wstring lock = folder + L"\\" + kLockName;
    // A running viewer holds its lock open without delete sharing: deleting it fails.
    if (GetFileAttributesW(lock.c_str()) != INVALID_FILE_ATTRIBUTES) {
      if (!DeleteFileW(lock.c_str())) continue;
    } else if (isYoung(folder)) {
      continue;
    }
    removeTree(folder);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

PageFolder::~PageFolder() { remove(); }

bool PageFolder::create(const std::string& page) {
  const std::wstring temp = temporaryFolder();
  if (temp.empty()) return false;
  wchar_t unique[64];
  for (unsigned attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
    std::swprintf(unique, 64, L"%lx-%llx-%u", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()), attempt);
    const std::wstring candidate = temp + L"\\" + kFolderPrefix + unique;
    if (CreateDirectoryW(candidate.c_str(), nullptr)) folder_ = candidate;
  }
  if (folder_.empty()) return false;
  lock_ = CreateFileW((folder_ + L"\\" + kLockName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (lock_ == INVALID_HANDLE_VALUE) return false;
  pageFile_ = folder_ + L"\\" + fromUtf8(exe::kViewerPageName);
  HANDLE file = CreateFileW(pageFile_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool written = writeWhole(file, page);
  return CloseHandle(file) && written;
}

void PageFolder::remove() {
  if (lock_ != INVALID_HANDLE_VALUE) {
    CloseHandle(lock_);
    lock_ = INVALID_HANDLE_VALUE;
  }
  if (folder_.empty()) return;
  for (int attempt = 0; attempt < kRemoveAttempts; ++attempt) {
    if (removeTree(folder_) || GetFileAttributesW(folder_.c_str()) == INVALID_FILE_ATTRIBUTES)
      break;
    Sleep(kRemovePauseMs);
  }
  folder_.clear();
}

}  // namespace vantrel::winviewer
