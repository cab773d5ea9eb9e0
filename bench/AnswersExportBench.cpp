// `vantrel-formmail export` over a Maildir of receiver mails (100,000 by default, 20 fields each),
// against `cat` of the same files in the same run, and at a tenth of the mails to show that
// memory stays flat; and the read of "Auswertung" (answers_window_read) of the same mails against
// the export. Prints times, answers per second, peak resident memory and the ratios
// export / cat (time) and window / export (time and memory); never passes or fails.
//
//   answers_export_bench [--answers N]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formmail/MailMessage.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
  double seconds = 0;
  long peakRssKib = 0;
  int exitCode = -1;
};

// Runs `/bin/sh -c command` in a process of its own that reports the peak memory of everything it
// waited for, so that each figure belongs to this command alone.
Run measure(const std::string& command) {
  int report[2];
  if (::pipe(report) != 0) return {};
  const auto start = Clock::now();
  const pid_t watcher = ::fork();
  if (watcher == 0) {
    ::close(report[0]);
    const pid_t child = ::fork();
    if (child == 0) {
      ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const long figures[2] = {usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    (void)!::write(report[1], figures, sizeof figures);
    ::_exit(0);
  }
  ::close(report[1]);
  long figures[2] = {0, -1};
  (void)!::read(report[0], figures, sizeof figures);
  ::close(report[0]);
  ::waitpid(watcher, nullptr, 0);
  Run run;
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.peakRssKib = figures[0];
  run.exitCode = static_cast<int>(figures[1]);
  return run;
}

// Mails as the receiver writes them (LF line ends in a Maildir), with the kinds of field a survey
// has: names, a comment with a line break, an option group with two values, a check box.
std::string surveyMail(int number) {
  using vantrel::formmail::PostedFields;
  vantrel::formmail::MailEnvelope envelope;
  envelope.sender = "formmail@example.org";
  envelope.recipient = "info@example.org";
  envelope.hostName = "bench.example.org";
  envelope.date = std::chrono::system_clock::from_time_t(1'796'664'005 + number);
  envelope.uniqueId = std::to_string(1'796'664'005 + number) + ".M" + std::to_string(number);
  PostedFields fields = {{"Name", "Teilnehmer " + std::to_string(number)},
                         {"Alter", std::to_string(18 + number % 60)},
                         {"Kommentar", "Gut gemacht; \"weiter so\"\r\nZweite Zeile \xFC"},
                         {"Farbe", number % 3 ? "rot" : "blau"},
                         {"Farbe", "gr\xFCn"},
                         {"Newsletter", number % 2 ? "ja" : ""}};
  // Up to twenty fields, as a survey of some length has.
  fields.push_back({"Ort", "Stadt " + std::to_string(number % 97)});
  for (int question = 1; fields.size() < 20; ++question)
    fields.push_back({"Frage" + std::to_string(question), std::to_string((number + question) % 5)});
  const std::string mail =
      vantrel::formmail::composeMail(envelope, "Umfrage", fields, false, "Name");
  std::string unix;
  for (const char c : mail) {
    if (c != '\r') unix += c;
  }
  return unix;
}

std::uintmax_t makeMaildir(const fs::path& maildir, int count) {
  for (const char* folder : {"new", "cur", "tmp"}) fs::create_directories(maildir / folder);
  std::uintmax_t bytes = 0;
  for (int i = 0; i < count; ++i) {
    const std::string mail = surveyMail(i);
    std::ofstream(maildir / "new" / (std::to_string(1'796'664'005 + i) + ".M" + std::to_string(i)),
                  std::ios::binary)
        << mail;
    bytes += mail.size();
  }
  return bytes;
}

// The first `count` mails again, as hard links, for the run at a tenth of the size.
void linkFirst(const fs::path& from, const fs::path& to, int count) {
  for (const char* folder : {"new", "cur", "tmp"}) fs::create_directories(to / folder);
  for (int i = 0; i < count; ++i) {
    const std::string name = std::to_string(1'796'664'005 + i) + ".M" + std::to_string(i);
    fs::create_hard_link(from / "new" / name, to / "new" / name);
  }
}

void print(const char* what, const Run& run, int answers) {
  std::printf("%-44s %7.2f s %10.0f answers/s  peak RSS %7.1f MiB%s\n", what, run.seconds,
              answers / run.seconds, static_cast<double>(run.peakRssKib) / 1024.0,
              run.exitCode == 0 ? "" : "  (FAILED)");
}

}  // namespace

int main(int argc, char** argv) {
  int answers = 100'000;
  if (argc == 3 && std::strcmp(argv[1], "--answers") == 0) answers = std::atoi(argv[2]);
  if (answers < 10) {
    std::fprintf(stderr, "usage: answers_export_bench [--answers N (at least 10)]\n");
    return 2;
  }
  const std::string program = std::string(VANTREL_BIN_DIR) + "/vantrel-formmail";
  const fs::path folder =
      fs::temp_directory_path() / ("vantrel-answers-bench-" + std::to_string(::getpid()));
  const fs::path maildir = folder / "Maildir";
  const fs::path tenth = folder / "Tenth";

  const auto start = Clock::now();
  const std::uintmax_t bytes = makeMaildir(maildir, answers);
  linkFirst(maildir, tenth, answers / 10);
  std::printf("%d mails, %.1f MiB, written in %.1f s\n", answers,
              static_cast<double>(bytes) / (1 << 20),
              std::chrono::duration<double>(Clock::now() - start).count());

  const std::string out = (folder / "out").string();
  // Once unmeasured, so that every run finds the files in the page cache alike.
  (void)measure("find " + maildir.string() + "/new -type f -exec cat {} + > /dev/null");
  // A process forked from this one starts with this one's resident memory counted in its peak;
  // `true` shows that floor, below which no figure here can go.
  const Run floor = measure("true");
  const Run cat = measure("find " + maildir.string() + "/new -type f -exec cat {} + > /dev/null");
  const Run csv =
      measure(program + " export " + maildir.string() + " -o " + out + ".csv 2>/dev/null");
  const Run jsonl = measure(program + " export " + maildir.string() + " --jsonl -o " + out +
                            ".jsonl 2>/dev/null");
  const Run xlsx =
      measure(program + " export " + maildir.string() + " --xlsx -o " + out + ".xlsx 2>/dev/null");
  const std::string window = std::string(VANTREL_BENCH_DIR) + "/answers_window_read";
  const Run read = measure(window + " " + maildir.string() + " >/dev/null 2>&1");
  const Run tenthCsv =
      measure(program + " export " + tenth.string() + " -o " + out + "-tenth.csv 2>/dev/null");

  print("true (the floor of every peak below)", floor, answers);
  print("cat of the same files (find -exec cat)", cat, answers);
  print("export --csv (reads the mails once)", csv, answers);
  print("export --jsonl (reads them once)", jsonl, answers);
  print("export --xlsx", xlsx, answers);
  print("\"Auswertung\" read, table and charts", read, answers);
  print("export --csv of a tenth of the mails", tenthCsv, answers / 10);
  std::printf("ratio export --csv / cat: %.1f (goal at most 2); --jsonl / cat: %.1f\n",
              csv.seconds / cat.seconds, jsonl.seconds / cat.seconds);
  std::printf(
      "ratio \"Auswertung\" / export --csv: time %.2f (goal at most 1), memory %.1f;"
      " \"Auswertung\" peak %.1f MiB (goal at most 150 for 100,000 answers)\n",
      read.seconds / csv.seconds,
      static_cast<double>(read.peakRssKib) / static_cast<double>(csv.peakRssKib),
      static_cast<double>(read.peakRssKib) / 1024.0);
  std::printf("peak RSS, all mails / a tenth: %.2f\n",
              static_cast<double>(csv.peakRssKib) / static_cast<double>(tenthCsv.peakRssKib));
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
