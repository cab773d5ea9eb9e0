// The whole road of an answer: posted to both front ends, stored as mail, exported by
// `vantrel-formmail export` from the Maildir and from an mbox of the same mails, and the CSV read
// by Python's csv module with the dialect a spreadsheet program is told to use.

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "FormmailTestSupport.h"
#include "FrontEndPrograms.h"
#include "answers/Answer.h"

using namespace formmail_test;

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields withHiddenFields(Fields post, const std::string& order) {
  post.insert(post.end(), {{"B1", "Abschicken"},
                           {"required", "Name"},
                           {"data_order", order},
                           {"submit_to", "info@example.org"},
                           {"form_id", "Umfrage"}});
  return post;
}

// What the generated page posts: Windows-1252.
const Fields kPageAnswer = {{"Name",
                             "J\xFCrgen \"Jo\" Stra\xDF"
                             "er; Sohn"},
                            {"Kommentar", "Zeile 1\r\nZeile 2\r\n\r\nFrom here on; \"zitiert\""},
                            {"Telefon", ""},
                            {"Farbe", "rot"},
                            {"Farbe", "blau"},
                            {"Zusatz", "=1+1 _x0041_"}};
// A post that names UTF-8, with a field the first one did not have.
const Fields kUtf8Answer = {{"Name", "Zo\xC3\xAB \xE2\x98\x95"},
                            {"Kommentar", ""},
                            {"Farbe", "gr\xC3\xBCn"},
                            {"Neu", "x;y"}};

// The rows as Python's csv module reads them, with the export's dialect.
std::vector<std::vector<std::string>> rowsByPython(const std::string& csvPath, char separator) {
  const std::string script =
      "import csv, json, sys\n"
      "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
      "    rows = list(csv.reader(f, delimiter=sys.argv[2], quotechar='\"', doublequote=True,\n"
      "                           strict=True))\n"
      "print(json.dumps(rows))\n";
  const ProcessResult python =
      runProgram(VANTREL_PYTHON3, {"-c", script, csvPath, std::string(1, separator)}, {}, "");
  EXPECT_EQ(python.exitCode, 0) << python.err;
  std::vector<std::vector<std::string>> rows;
  const auto json = nlohmann::json::parse(python.out, nullptr, false);
  if (!json.is_discarded()) rows = json.get<std::vector<std::vector<std::string>>>();
  return rows;
}

ProcessResult exportCommand(const std::vector<std::string>& arguments,
                            const std::map<std::string, std::string>& environment = {}) {
  std::vector<std::string> all = {"export"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return runProgram(kServer, all, environment, "");
}

// A workbook as openpyxl reads it: per row the cells as [kind, value] (kind "s" for text, "d"
// for a date-time, value as text), the header's boldness, the frozen cell and the column widths.
nlohmann::json workbookByPython(const std::string& path) {
  const std::string script =
      "import json, sys, openpyxl\n"
      "book = openpyxl.load_workbook(sys.argv[1])\n"
      "sheet = book.active\n"
      "rows = [[[c.data_type, '' if c.value is None else str(c.value)] for c in row]\n"
      "        for row in sheet.iter_rows()]\n"
      "widths = [sheet.column_dimensions[chr(65 + i)].width for i in range(sheet.max_column)]\n"
      "print(json.dumps({'rows': rows, 'bold': [c.font.bold for c in sheet[1]],\n"
      "                  'frozen': sheet.freeze_panes, 'widths': widths}))\n";
  const ProcessResult python = runProgram(VANTREL_PYTHON3, {"-c", script, path}, {}, "");
  EXPECT_EQ(python.exitCode, 0) << python.err;
  return nlohmann::json::parse(python.out, nullptr, false);
}

// "2026-12-07T17:20:05Z" as the time in Berlin, as Python writes a date-time.
std::string berlinTime(const std::string& utc) {
  std::tm parts{};
  if (!strptime(utc.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts)) return "not a time: " + utc;
  const std::time_t when = timegm(&parts);
  const char* before = std::getenv("TZ");
  const std::string saved = before ? before : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  std::tm local{};
  localtime_r(&when, &local);
  before ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

TEST(AnswersRoundTrip, PostsToBothFrontEndsExportExactlyAsPosted) {
  if (std::string(VANTREL_PYTHON3).empty()) GTEST_SKIP() << "python3 is not installed";
  TempFolder dir;
  const std::string config = dir.file("formmail.conf");
  const std::string maildir = dir.file("Maildir");
  writeFile(config,
            "[formmail]\nallow = info@example.org\nsender = formmail@example.org\n"
            "maildir = " +
                maildir + "\nrate_state = " + dir.file("rate") + "\n");

  const std::string order = "Name,Kommentar,Telefon,Farbe,Farbe";
  const std::string cgiBody = formBody(withHiddenFields(kPageAnswer, order));
  const ProcessResult cgi = runProgram(kCgi, {},
                                       {{"REQUEST_METHOD", "POST"},
                                        {"SCRIPT_NAME", kPath},
                                        {"REMOTE_ADDR", "192.0.2.44"},
                                        {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                                        {"CONTENT_LENGTH", std::to_string(cgiBody.size())},
                                        {"VANTREL_FORMMAIL_CONFIG", config}},
                                       cgiBody);
  ASSERT_EQ(cgi.out.rfind("Status: 200", 0), 0U) << cgi.out << cgi.err;
  {
    ServerProcess server(kServer, config);
    ASSERT_NE(server.port(), 0);
    HttpConnection connection(server.port());
    ASSERT_TRUE(connection.send(
        httpRequest("POST", kPath, formBody(withHiddenFields(kUtf8Answer, order)),
                    "Content-Type: application/x-www-form-urlencoded; charset=utf-8\r\n")));
    ASSERT_EQ(connection.receive().status, 200);
  }
  const std::vector<std::string> mails = mailsIn(maildir);
  ASSERT_EQ(mails.size(), 2U);
  writeFile(dir.file("answers.mbox"), mboxrdOf(mails));

  const std::vector<std::string> header = {"Eingang (UTC)", "Name",   "Kommentar", "Telefon",
                                           "Farbe",         "Zusatz", "Neu"};
  const std::vector<std::string> first = {
      "J\xC3\xBCrgen \"Jo\" Stra\xC3\x9F"
      "er; Sohn",
      "Zeile 1\r\nZeile 2\r\n\r\nFrom here on; \"zitiert\"",
      "",
      "rot, blau",
      "=1+1 _x0041_",
      ""};
  const std::vector<std::string> second = {"Zo\xC3\xAB \xE2\x98\x95",
                                           "",
                                           "",
                                           "gr\xC3\xBC"
                                           "n",
                                           "",
                                           "x;y"};
  const std::regex time(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
  const struct {
    std::string source;
    std::vector<std::string> options;
    char separator;
  } exports[] = {{maildir, {}, ';'}, {dir.file("answers.mbox"), {"--comma"}, ','}};
  for (const auto& e : exports) {
    SCOPED_TRACE(e.source);
    const std::string out = dir.file("answers.csv");
    std::vector<std::string> arguments = {e.source, "-o", out};
    arguments.insert(arguments.end(), e.options.begin(), e.options.end());
    const ProcessResult exported = exportCommand(arguments);
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_NE(exported.err.find("2 Antwort(en) geschrieben"), std::string::npos) << exported.err;
    EXPECT_EQ(readFile(out).rfind("\xEF\xBB\xBF", 0), 0U) << "a byte order mark first";
    const auto rows = rowsByPython(out, e.separator);
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(rows[0], header);
    for (std::size_t row = 1; row < 3; ++row) {
      ASSERT_EQ(rows[row].size(), header.size());
      EXPECT_TRUE(std::regex_match(rows[row][0], time)) << rows[row][0];
      EXPECT_EQ(std::vector<std::string>(rows[row].begin() + 1, rows[row].end()),
                row == 1 ? first : second);
    }
  }

  // The workbook: every answer a text cell (a formula too), the time a date-time in local time.
  const std::string book = dir.file("answers.xlsx");
  const ProcessResult workbook =
      exportCommand({maildir, "--xlsx", "-o", book}, {{"TZ", "Europe/Berlin"}});
  ASSERT_EQ(workbook.exitCode, 0) << workbook.err;
  EXPECT_NE(workbook.err.find("geschrieben nach " + book), std::string::npos) << workbook.err;
  const nlohmann::json read = workbookByPython(book);
  ASSERT_TRUE(read.is_object()) << "openpyxl could not read the workbook";
  ASSERT_EQ(read["rows"].size(), 3U);
  std::vector<std::string> bookHeader;
  for (const auto& cell : read["rows"][0]) bookHeader.push_back(cell[1]);
  std::vector<std::string> expectedHeader = header;
  expectedHeader[0] = "Eingang (Ortszeit)";
  EXPECT_EQ(bookHeader, expectedHeader);
  EXPECT_EQ(read["bold"], nlohmann::json(std::vector<bool>(header.size(), true)));
  EXPECT_EQ(read["frozen"], "A2");
  const ProcessResult inOrder = exportCommand({maildir, "--jsonl"});
  std::istringstream jsonLines(inOrder.out);
  for (std::size_t row = 1; row < 3; ++row) {
    const auto& cells = read["rows"][row];
    ASSERT_EQ(cells.size(), header.size());
    std::string line;
    std::getline(jsonLines, line);
    const auto answer = vantrel::answers::parseAnswerJson(line);
    ASSERT_TRUE(answer.ok()) << answer.reason();
    EXPECT_EQ(cells[0][0], "d") << cells[0];
    EXPECT_EQ(cells[0][1], berlinTime(answer.value().receivedUtc));
    const auto& expected = row == 1 ? first : second;
    for (std::size_t column = 1; column < header.size(); ++column) {
      if (expected[column - 1].empty()) continue;  // an empty answer leaves its cell empty
      EXPECT_EQ(cells[column][0], "s") << column;
      // A cell breaks its lines at LF alone; a typed "_x0041_" keeps its "_" as the workbook's
      // escape "_x005F_" (openpyxl shows the escape, spreadsheets the "_"), never becomes "A".
      const std::string lines = std::regex_replace(expected[column - 1], std::regex("\r\n"), "\n");
      EXPECT_EQ(cells[column][1],
                std::regex_replace(lines, std::regex("_x([0-9A-Fa-f]{4})_"), "_x005F_x$1_"))
          << column;
    }
  }
  for (const auto& width : read["widths"]) {
    EXPECT_GE(width.get<double>(), 8);
    EXPECT_LE(width.get<double>(), 61);
  }
  const ProcessResult noFile = exportCommand({maildir, "--xlsx"});
  EXPECT_EQ(noFile.exitCode, 2) << "a workbook is never written to standard output";

  // JSON lines keep what CSV cannot: every value of a repeated name on its own, in post order.
  const ProcessResult lines = exportCommand({maildir, "--jsonl", "--form", "Umfrage"});
  ASSERT_EQ(lines.exitCode, 0) << lines.err;
  const auto firstLine =
      vantrel::answers::parseAnswerJson(lines.out.substr(0, lines.out.find('\n')));
  ASSERT_TRUE(firstLine.ok()) << firstLine.reason();
  EXPECT_EQ(firstLine.value().formId, "Umfrage");
  EXPECT_EQ(firstLine.value().required, std::vector<std::string>{"Name"});
  const std::vector<std::pair<std::string, std::string>> posted = {
      {"Name", first[0]}, {"Kommentar", first[1]}, {"Telefon", ""},
      {"Farbe", "rot"},   {"Farbe", "blau"},       {"Zusatz", "=1+1 _x0041_"}};
  EXPECT_EQ(firstLine.value().fields, posted);

  const ProcessResult otherForm = exportCommand({maildir, "--jsonl", "--form", "Andere"});
  EXPECT_EQ(otherForm.out, "");
  EXPECT_NE(otherForm.err.find("anderer Formulare 2"), std::string::npos) << otherForm.err;
  EXPECT_EQ(exportCommand({maildir, "--tab"}).exitCode, 2);
}

// Every source the export cannot read is named with the reason, in German.
TEST(AnswersRoundTrip, TheExportSaysInGermanWhyItCannotReadASource) {
  TempFolder dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir.file("Ablage/Unterordner"));
  writeFile(dir.file("Ablage/notiz.txt"), "keine Mail");
  fs::create_directories(dir.file("Gesperrt/new"));
  fs::permissions(dir.file("Gesperrt/new"), fs::perms::none);
  const struct {
    std::string source;
    std::string said;
  } sources[] = {
      {dir.file("nirgends"), dir.file("nirgends") + " gibt es nicht."},
      {dir.file("Ablage"), dir.file("Ablage") + " ist kein Maildir (kein new/ oder cur/ darin)"},
      {dir.file("Gesperrt"), "Keine Berechtigung, " + dir.file("Gesperrt/new") + " zu lesen"},
  };
  for (const auto& s : sources) {
    SCOPED_TRACE(s.source);
    if (::geteuid() == 0 && s.said.starts_with("Keine Berechtigung")) continue;  // root reads all
    const ProcessResult exported = exportCommand({s.source});
    EXPECT_EQ(exported.exitCode, 1);
    EXPECT_EQ(exported.err.rfind("vantrel-formmail export: " + s.said, 0), 0U) << exported.err;
    EXPECT_EQ(exported.out, "");
  }
  fs::permissions(dir.file("Gesperrt/new"), fs::perms::owner_all);
}
