// TZLBArchive, the facade: its state, lookup and progress. Its other members live beside it:
// ZlbReader.cpp opens archives, ZlbWriter.cpp adds files, ZlbExtraction.cpp extracts members.

#include "archive/ZLIBArchive.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "archive/ArchiveInternal.h"
#include "archive/ArchiveMessages.h"
#include "base/FileIo.h"

namespace vantrel::zlb {

using namespace detail;
namespace fs = std::filesystem;

TZLBArchive::TZLBArchive() = default;

TZLBArchive::~TZLBArchive() {
  Destroying = true;
  if (!ArchiveFileName.empty()) CloseArchive();
}

// ---------------------------------------------------------------------------------------------
// State

void TZLBArchive::forgetArchive() {
  Entries.clear();
  NewArchive = false;
  Trailer = ArchiveTrailer{};
  ArchiveStart = 0;
  ArchiveFileName.clear();
}

void TZLBArchive::CloseArchive() {
  forgetArchive();
  ProgressMode = 5;
  DoProgress();
}

void TZLBArchive::CreateArchive(const fs::path& FileName) {
  CloseArchive();
  ArchiveFileName = FileName;
  if (FileName.empty()) return;
  if (fileExists(FileName)) {
    forgetArchive();
    fail(ArchiveFailure::FileAlreadyExists);
  }
  NewArchive = true;
  if (OnArchiveOpened) OnArchiveOpened(*this);
}

// ---------------------------------------------------------------------------------------------
// Lookup

int TZLBArchive::FindEntry(const std::string& Name) const {
  if (ArchiveFileName.empty()) fail(ArchiveFailure::NoArchiveOpen);
  std::string folder, name;
  splitPath(Name, folder, name);
  // Formed like a stored name, cut as the registry cuts its strings.
  const std::string key = foldAsciiCase(cut255(withBackslashes(folder)) + cut255(name));
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    if (foldAsciiCase(Entries[i].StoredName()) == key) return static_cast<int>(i);
  }
  return -1;
}

RegistryEntry TZLBArchive::GetEntry(int Index) const { return entryAt(Index); }

const RegistryEntry& TZLBArchive::entryAt(int Index) const {
  if (Index < 0 || static_cast<std::size_t>(Index) >= Entries.size())
    fail(ArchiveFailure::IndexOutOfBounds);
  return Entries[static_cast<std::size_t>(Index)];
}

// ---------------------------------------------------------------------------------------------
// Progress

void TZLBArchive::DoProgress(std::uint64_t senderPosition) {
  if (Destroying || !OnProgress) return;
  auto percent = [this](double done) {
    if (ProgressTotal == 0) return 0;
    // nearbyint rounds halves to even under the default rounding mode.
    const double value = std::nearbyint(done / static_cast<double>(ProgressTotal) * 100.0);
    return static_cast<int>(std::clamp(value, double(std::numeric_limits<int>::min()),
                                       double(std::numeric_limits<int>::max())));
  };
  switch (ProgressMode) {
    case 0:
    case 1:
    case 4:
      OnProgress(ProgressMessage, percent(static_cast<double>(ProgressDone)));
      break;
    case 2:
    case 3:
      OnProgress(ProgressMessage, percent(static_cast<double>(senderPosition)));
      break;
    default:
      OnProgress(shown(ArchiveFileName), 0);
      break;
  }
}

void TZLBArchive::logError(const std::string& Msg) {
  if (OnErrorLogged) OnErrorLogged(Msg);
}

}  // namespace vantrel::zlb
