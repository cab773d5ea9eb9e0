// vantrel-cli zlb: packs, lists, tests and extracts ZLB archives, also the one inside a built
// program. Paths on the command line are UTF-8 and go to the archive as Windows-1252; the
// archive's messages come back the other way.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "archive/ArchiveMessages.h"
#include "archive/ZLIBArchive.h"
#include "base/AtomicFile.h"
#include "base/Win1252.h"
#include "cli/Commands.h"
#include "program/ViewerData.h"

namespace vantrel::cli {
namespace {

using vantrel::zlb::TFileCompressionLevel;
using vantrel::zlb::TZLBArchive;

constexpr const char* kUsage =
    "Aufruf: vantrel-cli zlb create ARCHIV PFAD... [--level none|fastest|default|maximum]"
    " [--save-paths] [--recurse]\n"
    "        vantrel-cli zlb list DATEI\n"
    "        vantrel-cli zlb test DATEI\n"
    "        vantrel-cli zlb extract DATEI [-C ORDNER] [--with-path]\n";

int usage() {
  std::cerr << kUsage;
  return 1;
}

// A command-line argument is a path in the file system's own bytes.
std::filesystem::path pathOf(const std::string& argument) { return argument; }

// Names come from archives, that is from anyone: a control character (C0, DEL or C1) would
// reach the terminal as a command (clear the screen, forge a line), so each is shown as
// "\xNN" instead.
std::string shown(const std::string& text1252) {
  const std::string utf8 = utf8From1252(text1252);
  std::string out;
  out.reserve(utf8.size());
  char escaped[8];
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const bool c1 = byte == 0xC2 && i + 1 < utf8.size() &&
                    static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
    if (byte < 0x20 || byte == 0x7F || c1) {
      const unsigned code = c1 ? static_cast<unsigned char>(utf8[++i]) : byte;
      std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
      out += escaped;
    } else {
      out += utf8[i];
    }
  }
  return out;
}

// A one-line progress bar on standard error, only for a terminal and only once the work has
// taken long enough to be worth watching.
class ProgressBar {
 public:
  ProgressBar() : enabled_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}
  ~ProgressBar() { clear(); }

  void attach(TZLBArchive& archive) {
    if (!enabled_) return;
    archive.OnProgress = [this](const std::string& msg, int percent) { show(msg, percent); };
  }

  void clear() {
    if (drawn_) std::cerr << "\r\033[K" << std::flush;
    drawn_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;

  void show(const std::string& msg, int percent) {
    const auto now = Clock::now();
    if (msg.empty() || now - start_ < std::chrono::milliseconds(500)) return;
    if (drawn_ && percent == lastPercent_ && now - lastDraw_ < std::chrono::milliseconds(200))
      return;
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * 30 / 100;
    std::string label = shown(msg);
    if (label.size() > 40) label = "..." + label.substr(label.size() - 37);
    std::cerr << "\r\033[K[" << std::string(filled, '#') << std::string(30 - filled, '.') << "] "
              << percent << "% " << label << std::flush;
    drawn_ = true;
    lastPercent_ = percent;
    lastDraw_ = now;
  }

  bool enabled_;
  Clock::time_point start_;
  Clock::time_point lastDraw_{};
  int lastPercent_ = -1;
  bool drawn_ = false;
};

std::optional<TFileCompressionLevel> levelFromName(const std::string& name) {
  for (auto level : {TFileCompressionLevel::fcNone, TFileCompressionLevel::fcFastest,
                     TFileCompressionLevel::fcDefault, TFileCompressionLevel::fcMaximum}) {
    if (name == zlb::levelName(level)) return level;
  }
  return std::nullopt;
}

int runCreate(const Args& args) {
  TZLBArchive archive;
  std::optional<std::filesystem::path> target;
  std::vector<std::filesystem::path> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--save-paths") {
      archive.SavePaths = true;
    } else if (arg == "--recurse") {
      archive.RecursePaths = true;
    } else if (arg == "--level" && i + 1 < args.size()) {
      const auto level = levelFromName(args[++i]);
      if (!level) return usage();
      archive.CompressionLevel = *level;
    } else if (arg.rfind("--", 0) == 0) {
      return usage();
    } else {
      if (!target)
        target = pathOf(arg);
      else
        files.push_back(pathOf(arg));
    }
  }
  if (!target || files.empty()) return usage();

  ProgressBar bar;
  bar.attach(archive);
  int problems = 0;
  archive.OnErrorLogged = [&](const std::string& msg) {
    bar.clear();
    std::cerr << shown(msg) << "\n";
    ++problems;
  };
  archive.CreateArchive(*target);
  archive.AddFiles(files);
  const bool written = !archive.GetArchiveFileName().empty();
  archive.CloseArchive();
  bar.clear();
  if (!written) {
    std::cerr << "Unable to open file (" << target->string() << ")\n";
    return 1;
  }
  return problems == 0 ? 0 : 1;
}

// An empty name opens nothing without a word: said here as the archive says a missing file.
bool openArchive(TZLBArchive& archive, const Args& args, std::size_t at) {
  const std::filesystem::path file = pathOf(args.at(at));
  // A signed program carries its certificate table behind the archive.
  const std::optional<std::uint64_t> end =
      file.empty() ? std::nullopt : exe::archiveEndInFile(file);
  if (end ? archive.OpenArchiveEndingAt(file, *end) : archive.OpenArchive(file)) return true;
  std::cerr << zlb::kArchiveNotFound << "\n";
  return false;
}

int runList(const Args& args) {
  if (args.size() != 1) return usage();
  TZLBArchive archive;
  if (!openArchive(archive, args, 0)) return 1;
  for (int i = 0; i < archive.Count(); ++i) {
    const auto entry = archive.GetEntry(i);
    const char* method = entry.StoredRaw() ? "raw"
                         : entry.LevelUsed() <= 3
                             ? zlb::levelName(static_cast<TFileCompressionLevel>(entry.LevelUsed()))
                             : "?";
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", entry.FileCRC());
    std::cout << shown(entry.StoredName()) << '\t' << entry.FileSize() << '\t' << entry.StoredSize()
              << '\t' << method << '\t' << crc << '\n';
  }
  std::cout << std::flush;
  return std::cout ? 0 : 1;
}

int runTest(const Args& args) {
  if (args.size() != 1) return usage();
  TZLBArchive archive;
  ProgressBar bar;
  bar.attach(archive);
  if (!openArchive(archive, args, 0)) return 1;
  int failures = 0;
  for (int i = 0; i < archive.Count(); ++i) {
    try {
      archive.TestEntry(i);
    } catch (const std::exception& error) {
      bar.clear();
      std::cerr << shown(error.what()) << "\n";
      ++failures;
    }
  }
  bar.clear();
  if (failures > 0) return 1;
  std::cout << "Keine Fehler in " << archive.Count() << " Einträgen\n";
  return 0;
}

int runExtract(const Args& args) {
  if (args.empty()) return usage();
  TZLBArchive archive;
  archive.CheckCRC = true;
  std::filesystem::path destination = ".";
  std::optional<std::size_t> file;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--with-path") {
      archive.ExtractWithPath = true;
    } else if (args[i] == "-C" && i + 1 < args.size()) {
      destination = pathOf(args[++i]);
    } else if (args[i].rfind("-", 0) == 0 || file) {
      return usage();
    } else {
      file = i;
    }
  }
  if (!file) return usage();
  ProgressBar bar;
  bar.attach(archive);
  if (!openArchive(archive, args, *file)) return 1;
  // Each file replaces its target whole, but they reach the disk together at the end: a sync
  // for each of thousands of small files would take several times the extraction itself.
  SyncBatch written;
  archive.SyncLater = &written;
  int failures = 0;
  for (int i = 0; i < archive.Count(); ++i) {
    try {
      // Without an OnReplaceFile handler every member is written or throws: no false comes back.
      static_cast<void>(archive.ExtractFile(i, destination));
    } catch (const std::exception& error) {
      bar.clear();
      std::cerr << shown(error.what()) << "\n";
      ++failures;
    }
  }
  if (const Status synced = written.flush(); !synced) {
    bar.clear();
    // The failure names a folder in the file system's bytes; shown as the archive shows paths.
    std::cerr << shown(utf8To1252(synced.reason()).value_or(synced.reason())) << "\n";
    ++failures;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int runZlb(const Args& args) {
  if (args.empty()) return usage();
  const Args rest(args.begin() + 1, args.end());
  try {
    if (args[0] == "create") return runCreate(rest);
    if (args[0] == "list") return runList(rest);
    if (args[0] == "test") return runTest(rest);
    if (args[0] == "extract") return runExtract(rest);
  } catch (const std::exception& error) {
    std::cerr << shown(error.what()) << "\n";
    return 1;
  }
  return usage();
}

}  // namespace vantrel::cli
