// Answers read back from the receiver's mails: the JSON part, the CSV of the export, and every
// kind of source with the mails a real mailbox holds beside good ones (foreign, duplicated,
// truncated, of another version, far too large).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "FormmailTestSupport.h"
#include "answers/AnswerCsv.h"
#include "answers/AnswerExport.h"
#include "answers/AnswerReader.h"
#include "answers/MailPart.h"
#include "answers/Mbox.h"
#include "base/FailureKinds.h"
#include "formmail/ExportCommand.h"
#include "formmail/MailMessage.h"

using formmail_test::TempFolder;
using vantrel::formmail::composeMail;
using vantrel::formmail::MailEnvelope;
using vantrel::formmail::PostedFields;
using vantrel::test::putFile;

// Inside the namespace under test, so that its names are found before those of other test
// files compiled together with this one.
namespace vantrel::answers {

namespace {

namespace fs = std::filesystem;

std::string withLfLineEnds(const std::string& mail) {
  std::string unix;
  for (std::size_t i = 0; i < mail.size(); ++i) {
    if (!(mail[i] == '\r' && i + 1 < mail.size() && mail[i + 1] == '\n')) unix += mail[i];
  }
  return unix;
}

// A mail as the receiver stores it in a Maildir (LF line ends), from a Windows-1252 post.
std::string receiverMail(const std::string& uniqueId, const PostedFields& fields,
                         const std::string& formId = "Formular") {
  MailEnvelope envelope;
  envelope.sender = "formmail@example.org";
  envelope.recipient = "info@example.org";
  envelope.hostName = "host.example.org";
  envelope.date = std::chrono::system_clock::from_time_t(1'796'664'005);
  envelope.uniqueId = uniqueId;
  return withLfLineEnds(composeMail(envelope, formId, fields, false, "Name, Farbe"));
}

// A multipart mail with a text part and the given part, as other programs may write one.
std::string mailWithPart(const std::string& messageId, const std::string& partHeaders,
                         const std::string& partBody) {
  return "Message-ID: <" + messageId +
         ">\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"\n\n"
         "--b\nContent-Type: text/plain\n\nText\n--b\n" +
         partHeaders + "\n\n" + partBody + "\n--b--\n";
}

std::string answerOf(const std::string& formId, const std::string& value) {
  Answer answer;
  answer.formId = formId;
  answer.receivedUtc = "2026-12-07T17:20:05Z";
  answer.fields = {{"Name", value}};
  return answerJson(answer);
}

const std::string kJsonPart =
    "Content-Type: application/json; charset=UTF-8\n"
    "Content-Disposition: attachment; filename=\"antwort.json\"";

struct Collected {
  ReadSummary summary;
  std::vector<Answer> answers;
};

Collected readAll(const fs::path& source) {
  Collected collected;
  ReadCallbacks callbacks;
  callbacks.onAnswer = [&](Answer&& answer) { collected.answers.push_back(std::move(answer)); };
  auto summary = readAnswers(source, callbacks);
  EXPECT_TRUE(summary.ok()) << summary.reason();
  if (summary.ok()) collected.summary = summary.value();
  return collected;
}

void makeMaildir(const TempFolder& dir) {
  for (const char* folder : {"Maildir", "Maildir/new", "Maildir/cur", "Maildir/tmp"})
    fs::create_directories(dir.path() / folder);
}

// A file of `size` bytes that costs no disk: `start`, then a hole.
void sparseFile(const std::string& path, const std::string& start, off_t size) {
  putFile(path, start);
  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
}

long peakRssKib() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct SourceCase {
  const char* name;
  // Makes the source in the folder and gives its path.
  std::function<std::string(const TempFolder&)> make;
  ReadSummary expected;              // counts only
  std::vector<std::string> formIds;  // of the answers delivered, in order
  std::string problem;               // a piece of the first problem, when one is expected
};

}  // namespace

TEST(AnswerJson, CarriesEveryTextExactlyAndKeepsItsShape) {
  Answer answer;
  answer.formId = "Umfrage \"2026\"";
  answer.receivedUtc = "2026-12-07T17:20:05Z";
  answer.fields = {{"Name", "J\xC3\xBCrgen; \"Jo\""},
                   {"Kommentar", "Zeile 1\r\nZeile 2\n\tEnde \\ / \xF0\x9F\x98\x80"},
                   {"Leer", ""},
                   {"Farbe", "rot"},
                   {"Farbe", "blau"},
                   {std::string("N\0ull", 5), std::string("\x01\x1F", 2)}};
  answer.required = {"Name", "Farbe"};
  const std::string json = answerJson(answer);
  EXPECT_EQ(json.find('\n'), std::string::npos) << "one line, for JSON lines";
  EXPECT_EQ(json.rfind(R"({"format":"vantrel-antwort","version":1,"form_id":"Umfrage \"2026\"",)"
                       R"("received_utc":"2026-12-07T17:20:05Z","fields":[{"name":"Name",)",
                       0),
            0U)
      << json;
  const auto back = parseAnswerJson(json);
  ASSERT_TRUE(back.ok()) << back.reason();
  EXPECT_EQ(back.value().formId, answer.formId);
  EXPECT_EQ(back.value().receivedUtc, answer.receivedUtc);
  EXPECT_EQ(back.value().fields, answer.fields);
  EXPECT_EQ(back.value().required, answer.required);
  EXPECT_EQ(back.value().survey, "");
  EXPECT_EQ(json.find("survey"), std::string::npos) << "without a survey the part is as before";
  answer.survey = "kunden-2026";
  const auto withSurvey = parseAnswerJson(answerJson(answer));
  ASSERT_TRUE(withSurvey.ok()) << withSurvey.reason();
  EXPECT_EQ(withSurvey.value().survey, "kunden-2026");

  const struct {
    std::string json;
    std::string reason;
  } refused[] = {
      {"[1]", "The answer part is no JSON object."},
      {R"({"format":"vantrel-antwort","version":1)", "The answer part is no JSON object."},
      {R"({"version":1,"form_id":"","received_utc":"","fields":[]})",
       "The answer part is not of the format vantrel-antwort."},
      {R"({"format":"vantrel-antwort","form_id":"","received_utc":"","fields":[]})",
       "The answer part has no version."},
      {R"({"format":"vantrel-antwort","version":2,"form_id":"","received_utc":"","fields":[]})",
       "The answer part has version 2, not 1."},
      {R"({"format":"vantrel-antwort","version":1,"form_id":"","received_utc":"",)"
       R"("fields":[{"name":"a","value":1}]})",
       "The answer part lacks a field or has one of the wrong kind."},
      {R"({"format":"vantrel-antwort","version":1,"received_utc":"","fields":[]})",
       "The answer part lacks a field or has one of the wrong kind."},
      {R"({"format":"vantrel-antwort","version":1,"form_id":"","survey":1,"received_utc":"",)"
       R"("fields":[]})",
       "The answer part lacks a field or has one of the wrong kind."},
      // Nested or countless values are refused before they are parsed: each would cost many
      // times its bytes.
      {R"({"format":"vantrel-antwort","version":1,"form_id":"","received_utc":"","fields":[],)"
       R"("x":)" +
           std::string(8, '[') + std::string(8, ']') + "}",
       "The answer part nests deeper than 8 levels."},
      {R"({"format":"vantrel-antwort","version":1,"form_id":"","received_utc":"","fields":[],)"
       R"("x":"[[[[[[[[[[\"]]]]]]]]]]",)"
       R"("x":[)" +
           std::string(kMostAnswerJsonValues, ',') + "]}",
       "The answer part holds more than 1000000 values."},
  };
  for (const auto& bad : refused) {
    const auto parsed = parseAnswerJson(bad.json);
    EXPECT_FALSE(parsed.ok()) << bad.json;
    EXPECT_EQ(parsed.reason(), bad.reason) << bad.json;
  }
}

TEST(AnswerCsv, QuotesWhatSpreadsheetsWouldSplitAndReadsItBack) {
  const std::vector<std::string> fields = {"2026-12-07 17:20:05", "plain", "a;b", "say \"hi\"",
                                           "Zeile 1\r\nZeile 2",  "",      "a,b", "\n"};
  // Every text is quoted, since spreadsheet programs split at tab, comma and semicolon at once;
  // the time of receipt stays bare so that it is read as a time.
  EXPECT_EQ(csvRecord(fields, ';'),
            "\"2026-12-07 17:20:05\";\"plain\";\"a;b\";\"say \"\"hi\"\"\";\"Zeile 1\r\nZeile 2\";"
            "\"\";\"a,b\";\"\n\"\r\n");
  EXPECT_EQ(csvRecord(fields, ','),
            "\"2026-12-07 17:20:05\",\"plain\",\"a;b\",\"say \"\"hi\"\"\",\"Zeile 1\r\nZeile 2\","
            "\"\",\"a,b\",\"\n\"\r\n");
  EXPECT_EQ(csvAnswerRecord("2026-12-07 17:20:05", {"a\tb", "=1+1"}, ';'),
            "2026-12-07 17:20:05;\"a\tb\";\"=1+1\"\r\n");
  EXPECT_EQ(csvTimeFromUtc("2026-12-07T17:20:05Z"), "2026-12-07 17:20:05");
  EXPECT_EQ(utcFromCsvTime("2026-12-07 17:20:05"), "2026-12-07T17:20:05Z");
  EXPECT_EQ(csvTimeFromUtc("gestern"), "gestern");

  TempFolder dir;
  for (const char separator : {';', ','}) {
    putFile(dir / "records.csv", csvRecord(fields, separator) +
                                     csvRecord({"x", "\"\""}, separator) + "last;without;line end");
    vantrel::File file;
    ASSERT_TRUE(file.openForReading(dir / "records.csv"));
    CsvRecordReader reader(file, separator, 1000);
    std::vector<std::string> record;
    ASSERT_EQ(reader.next(record), CsvRecordReader::Outcome::record);
    EXPECT_EQ(record, fields);
    ASSERT_EQ(reader.next(record), CsvRecordReader::Outcome::record);
    EXPECT_EQ(record, (std::vector<std::string>{"x", "\"\""}));
    ASSERT_EQ(reader.next(record), CsvRecordReader::Outcome::record);
    EXPECT_EQ(record.size(), separator == ';' ? 3U : 1U);
    EXPECT_EQ(reader.next(record), CsvRecordReader::Outcome::end);
  }
  putFile(dir / "open.csv", "a;\"never closed" + std::string(2000, 'x'));
  vantrel::File file;
  ASSERT_TRUE(file.openForReading(dir / "open.csv"));
  CsvRecordReader reader(file, ';', 1000);
  std::vector<std::string> record;
  EXPECT_EQ(reader.next(record), CsvRecordReader::Outcome::tooLarge);
}

// Every kind of source, with the mails that keep good ones company in real mailboxes.
TEST(AnswerReader, CountsForeignBrokenAndDuplicatedMailsAndDeliversTheRest) {
  const std::string good1 = receiverMail("1796664005.M1P1Q1", {{"Name", "Eva"}}, "Umfrage");
  const std::string good2 = receiverMail("1796664006.M1P1Q2", {{"Name", "Bo"}}, "Formular");
  const std::string foreign =
      "From: someone@example.org\nSubject: Hallo\nMessage-ID: <x@y>\n\nNur Text.\n";
  const auto cutAt = [](const std::string& mail, const std::string& marker) {
    return mail.substr(0, mail.find(marker) + marker.size());
  };
  const auto json = [](const std::string& formId) { return answerOf(formId, "J\xC3\xBCrgen"); };
  const auto maildirWith = [](const TempFolder& dir, const std::vector<std::string>& mails) {
    makeMaildir(dir);
    for (std::size_t i = 0; i < mails.size(); ++i)
      putFile(dir / ("Maildir/" + std::string(i % 2 ? "cur/" : "new/") + std::to_string(i)),
              mails[i]);
    return dir / "Maildir";
  };
  const auto emlFolderWith = [](const TempFolder& dir, const std::vector<std::string>& mails) {
    fs::create_directories(dir.path() / "eml");
    for (std::size_t i = 0; i < mails.size(); ++i)
      putFile(dir / ("eml/" + std::to_string(i) + ".eml"), mails[i]);
    putFile(dir / "eml/notes.txt", "not a mail");
    return dir / "eml";
  };
  const auto mboxOf = formmail_test::mboxrdOf;

  const std::vector<SourceCase> cases = {
      {"a Maildir: good mails, a foreign one and a second copy of one",
       [&](const TempFolder& dir) {
         return maildirWith(dir, {good1, foreign, good2, good1});
       },
       {2, 1, 1, 0, {}, false},
       {"Umfrage", "Formular"},
       ""},
      {"a mail cut inside the answer part",
       [&](const TempFolder& dir) { return maildirWith(dir, {cutAt(good1, "base64\n\neyJ")}); },
       {0, 0, 0, 1, {}, false},
       {},
       "The mail ends before its last part."},
      {"a mail cut inside its headers",
       [&](const TempFolder& dir) { return maildirWith(dir, {cutAt(good1, "MIME-Version")}); },
       {0, 0, 0, 1, {}, false},
       {},
       "The mail ends inside its headers."},
      {"a part of a later version, and one that is no JSON",
       [&](const TempFolder& dir) {
         std::string later = json("F");
         later.replace(later.find("\"version\":1"), 11, "\"version\":2");
         return maildirWith(dir, {mailWithPart("v2@x", kJsonPart, later),
                                  mailWithPart("text@x", kJsonPart, "Hallo")});
       },
       {0, 0, 0, 2, {}, false},
       {},
       "The answer part has version 2, not 1."},
      {"a mail without the part, and one with a bad transfer encoding",
       [&](const TempFolder& dir) {
         return emlFolderWith(
             dir, {mailWithPart("pdf@x", "Content-Type: application/pdf", "%PDF"),
                   mailWithPart("uu@x", kJsonPart + "\nContent-Transfer-Encoding: x-uuencode",
                                "begin 644")});
       },
       {0, 0, 1, 1, {}, false},
       {},
       "The answer part has an unknown transfer encoding."},
      {"a folder of .eml files with the part quoted-printable, 8bit and bad base64",
       [&](const TempFolder& dir) {
         return emlFolderWith(
             dir,
             {mailWithPart("qp@x", kJsonPart + "\nContent-Transfer-Encoding: quoted-printable",
                           vantrel::formmail::quotedPrintable(json("QP"))),
              mailWithPart("8bit@x", kJsonPart + "\nContent-Transfer-Encoding: 8bit", json("8bit")),
              mailWithPart("b64@x", kJsonPart + "\nContent-Transfer-Encoding: base64", "eyJ!mb3"),
              mailWithPart("nested@x", "Content-Type: multipart/alternative; boundary=\"inner\"",
                           "--inner\n" + kJsonPart + "\n\n" + json("nested") + "\n--inner--")});
       },
       {3, 0, 0, 1, {}, false},
       {"QP", "8bit", "nested"},
       "The answer part is not valid base64."},
      {"a Maildir with a mail of 1 GiB",
       [&](const TempFolder& dir) {
         const std::string path = maildirWith(dir, {good1});
         sparseFile(path + "/new/huge", good2.substr(0, 200), off_t{1} << 30);
         return path;
       },
       {1, 0, 0, 1, {}, false},
       {"Umfrage"},
       "The mail is larger than 16 MiB and was skipped."},
      {"an mbox with quoted From lines, a copy and a 40 MiB mail of one line",
       [&](const TempFolder& dir) {
         const std::string fromLine = receiverMail(
             "1796664007.M1P1Q3", {{"Kommentar", "From here\n>From there\nFrom"}}, "Quoted");
         const std::string path = dir / "answers.mbox";
         const std::string start = mboxOf({good1, fromLine, good1}) +
                                   "From formmail@example.org Mon Dec  7 17:20:05 2026\nX: ";
         sparseFile(path, start, off_t{40} << 20);
         const std::string last = "\n\n" + mboxOf({good2});
         const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
         EXPECT_EQ(::write(fd, last.data(), last.size()), static_cast<ssize_t>(last.size()));
         ::close(fd);
         return path;
       },
       {3, 1, 0, 1, {}, false},
       {"Umfrage", "Quoted", "Formular"},
       "answers.mbox, mail 4 at byte "},
      {"an mbox that ends inside its last mail",
       [&](const TempFolder& dir) {
         const std::string mbox = mboxOf({good2, good1});
         putFile(dir / "cut.mbox", mbox.substr(0, mbox.size() - 40));
         return dir / "cut.mbox";
       },
       {1, 0, 0, 1, {}, false},
       {"Formular"},
       "The mail ends before its last part."},
      {"a single mail file",
       [&](const TempFolder& dir) {
         putFile(dir / "one.eml", good1);
         return dir / "one.eml";
       },
       {1, 0, 0, 0, {}, false},
       {"Umfrage"},
       ""},
  };
  for (const SourceCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    const std::string source = c.make(dir);
    const long rssBefore = peakRssKib();
    const Collected read = readAll(source);
    // Nothing is read whole: a mail of 1 GiB would show here.
    EXPECT_LT(peakRssKib() - rssBefore, 200 * 1024);
    EXPECT_EQ(read.summary.answers, c.expected.answers);
    EXPECT_EQ(read.summary.duplicates, c.expected.duplicates);
    EXPECT_EQ(read.summary.withoutAnswerPart, c.expected.withoutAnswerPart);
    EXPECT_EQ(read.summary.broken, c.expected.broken);
    EXPECT_FALSE(read.summary.cancelled);
    std::vector<std::string> formIds;
    for (const Answer& answer : read.answers) formIds.push_back(answer.formId);
    EXPECT_EQ(formIds, c.formIds);
    if (c.problem.empty()) {
      EXPECT_TRUE(read.summary.problems.empty());
    } else {
      ASSERT_FALSE(read.summary.problems.empty());
      EXPECT_NE(read.summary.problems.front().detail.find(c.problem), std::string::npos)
          << read.summary.problems.front().detail;
    }
  }
}

TEST(AnswerReader, ReadsTheFieldsBackExactlyAndAnExportToo) {
  TempFolder dir;
  makeMaildir(dir);
  const PostedFields posted = {{"Name",
                                "J\xFCrgen \"Jo\"; Stra\xDF"
                                "e"},
                               {"Kommentar", "Zeile 1\r\nZeile 2\n"},
                               {"Telefon", ""},
                               {"Farbe", "rot"},
                               {"Farbe", "blau"}};
  putFile(dir / "Maildir/new/1", receiverMail("1796664005.M1P1Q1", posted));
  putFile(dir / "Maildir/new/2",
          receiverMail("1796664005.M1P1Q2", {{"Extra", "x"}, {"Name", "Bo"}}, "Andere"));
  const Collected read = readAll(dir / "Maildir");
  ASSERT_EQ(read.answers.size(), 2U);
  const Answer& first = read.answers[0];
  EXPECT_EQ(first.formId, "Formular");
  EXPECT_EQ(first.receivedUtc, "2026-12-07T17:20:05Z");
  EXPECT_EQ(first.messageId, "<1796664005.M1P1Q1@host.example.org>");
  EXPECT_EQ(first.required, (std::vector<std::string>{"Name", "Farbe"}));
  const std::vector<std::pair<std::string, std::string>> utf8 = {
      {"Name",
       "J\xC3\xBCrgen \"Jo\"; Stra\xC3\x9F"
       "e"},
      {"Kommentar", "Zeile 1\r\nZeile 2\n"},
      {"Telefon", ""},
      {"Farbe", "rot"},
      {"Farbe", "blau"}};
  EXPECT_EQ(first.fields, utf8);
  ColumnOrder columns;
  for (const Answer& answer : read.answers) columns.add(answer);
  EXPECT_EQ(columns.names(),
            (std::vector<std::string>{"Name", "Kommentar", "Telefon", "Farbe", "Extra"}));

  std::string csv;
  const auto exported = exportAnswers(dir / "Maildir", {}, [&](std::string_view bytes) {
    csv += bytes;
    return vantrel::Status();
  });
  ASSERT_TRUE(exported.ok()) << exported.reason();
  EXPECT_EQ(exported.value().written, 2U);
  EXPECT_EQ(csv,
            "\xEF\xBB\xBF"
            "\"Eingang (UTC)\";\"Name\";\"Kommentar\";\"Telefon\";\"Farbe\";\"Extra\"\r\n"
            "2026-12-07 17:20:05;\"J\xC3\xBCrgen \"\"Jo\"\"; Stra\xC3\x9F"
            "e\";\"Zeile 1\r\nZeile 2\n\";\"\";\"rot, blau\";\"\"\r\n"
            "2026-12-07 17:20:05;\"Bo\";\"\";\"\";\"\";\"x\"\r\n");

  ExportOptions onlyOne;
  onlyOne.formId = "Andere";
  onlyOne.format = ExportFormat::jsonLines;
  std::string lines;
  const auto selected = exportAnswers(dir / "Maildir", onlyOne, [&](std::string_view bytes) {
    lines += bytes;
    return vantrel::Status();
  });
  ASSERT_TRUE(selected.ok());
  EXPECT_EQ(selected.value().written, 1U);
  EXPECT_EQ(selected.value().otherForms, 1U);
  EXPECT_EQ(lines, answerJson(read.answers[1]) + "\n");

  // The export read back as a source: empty cells were not answers, repeated values share one.
  putFile(dir / "export.csv", csv);
  const Collected again = readAll(dir / "export.csv");
  ASSERT_EQ(again.answers.size(), 2U);
  EXPECT_EQ(again.answers[0].receivedUtc, "2026-12-07T17:20:05Z");
  EXPECT_EQ(again.answers[0].fields, (std::vector<std::pair<std::string, std::string>>{
                                         utf8[0], utf8[1], {"Farbe", "rot, blau"}}));
  EXPECT_EQ(again.answers[1].fields,
            (std::vector<std::pair<std::string, std::string>>{{"Name", "Bo"}, {"Extra", "x"}}));

  // With "," between fields, and with the byte order mark lost on the way, it reads the same.
  ExportOptions comma;
  comma.separator = ',';
  std::string commaCsv;
  ASSERT_TRUE(exportAnswers(dir / "Maildir", comma, [&](std::string_view bytes) {
                commaCsv += bytes;
                return vantrel::Status();
              }).ok());
  putFile(dir / "comma.csv", commaCsv.substr(kUtf8ByteOrderMark.size()));
  const Collected fromComma = readAll(dir / "comma.csv");
  std::uint64_t csvDone = 0;
  std::uint64_t csvTotal = 1;
  ReadCallbacks progressOnly;
  progressOnly.onProgress = [&](std::uint64_t done, std::uint64_t total) {
    csvDone = done;
    csvTotal = total;
    return true;
  };
  ASSERT_TRUE(readAnswers(dir / "export.csv", progressOnly).ok());
  EXPECT_EQ(csvDone, csvTotal) << "the byte order mark is counted as read";
  EXPECT_EQ(csvTotal, csv.size());
  ASSERT_EQ(fromComma.answers.size(), 2U);
  EXPECT_EQ(fromComma.answers[0].fields, again.answers[0].fields);
  EXPECT_EQ(fromComma.answers[1].fields, again.answers[1].fields);

  // A failed write ends the export with the writer's reason.
  const auto failed = exportAnswers(dir / "Maildir", {}, [](std::string_view) {
    return vantrel::Status(
        vantrel::failure(vantrel::FileFailure::WriteFailed, "No space left on device"));
  });
  EXPECT_EQ(failed.reason(), "Write error: No space left on device.");
}

TEST(AnswerReader, ASourceThatCannotBeOpenedFailsAndAReadCanBeCancelled) {
  TempFolder dir;
  const auto missing = readAnswers(dir / "nowhere", {});
  EXPECT_EQ(missing.reason(), "Cannot open " + (dir / "nowhere") + ".");

  makeMaildir(dir);
  for (int i = 0; i < 3; ++i)
    putFile(dir / ("Maildir/new/" + std::to_string(i)),
            receiverMail("id" + std::to_string(i), {{"Name", "x"}}));
  int delivered = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
  ReadCallbacks callbacks;
  callbacks.onAnswer = [&](Answer&&) { ++delivered; };
  callbacks.onProgress = [&](std::uint64_t done, std::uint64_t total) {
    progress.emplace_back(done, total);
    return true;
  };
  const auto whole = readAnswers(dir / "Maildir", callbacks);
  ASSERT_TRUE(whole.ok());
  EXPECT_EQ(delivered, 3);
  ASSERT_GE(progress.size(), 2U);
  EXPECT_EQ(progress.front().first, 0U);
  EXPECT_GT(progress.back().second, 0U);
  EXPECT_EQ(progress.back().first, progress.back().second);

  delivered = 0;
  callbacks.onProgress = [](std::uint64_t, std::uint64_t) { return false; };
  const auto cancelled = readAnswers(dir / "Maildir", callbacks);
  ASSERT_TRUE(cancelled.ok());
  EXPECT_TRUE(cancelled.value().cancelled);
  EXPECT_EQ(delivered, 0);
}

// What anyone can post through the form cannot widen the table without end, nor reach a terminal
// as control sequences; and one survey is exported without the others.
TEST(AnswerExport, ChoosesOneSurveyKeepsColumnsBoundedAndEscapesControlsOnATerminal) {
  TempFolder dir;
  makeMaildir(dir);
  int mails = 0;
  const auto deliver = [&](const std::string& survey,
                           std::vector<std::pair<std::string, std::string>> fields) {
    Answer answer;
    answer.formId = "Formular";
    answer.survey = survey;
    answer.receivedUtc = "2026-12-07T17:20:05Z";
    answer.fields = std::move(fields);
    const std::string id = std::to_string(++mails);
    putFile(dir / ("Maildir/new/" + id), mailWithPart(id, kJsonPart, answerJson(answer)));
  };
  for (int i = 0; i < 10; ++i)
    deliver("kunden", {{"Name", "Person " + std::to_string(i)}, {"Note", "gut"}});
  deliver("kunden", {{"Name", "\x1B]52;c;ZXZpbA==\x07\x1B[2J\xC2\x9B"}, {"Note", "a\r\nb"}});
  // Every hostile post brings names of its own.
  constexpr int kHostile = 12;
  constexpr int kNamesEach = 40;
  for (int post = 0; post < kHostile; ++post) {
    std::vector<std::pair<std::string, std::string>> fields{{"Name", "x"}};
    for (int name = 0; name < kNamesEach; ++name)
      fields.emplace_back("n" + std::to_string(post) + "_" + std::to_string(name), "v");
    deliver("kunden", fields);
  }
  deliver("", {{"Name", "ohne Kennung"}});
  deliver("mitarbeiter", {{"Name", "intern"}, {"Abteilung", "A"}});

  struct Case {
    std::optional<std::string> survey;
    std::uint64_t written;
    std::uint64_t otherSurveys;
    std::size_t columns;  // besides the time
    std::uint64_t namesLeftOut;
  };
  const Case cases[] = {
      // "Name" is in every answer; "Note", in fewer than half, comes first among the extras.
      {"kunden", 11 + kHostile, 2, 1 + kMostExtraColumns,
       kHostile * kNamesEach - (kMostExtraColumns - 1)},
      {"", 1, 11 + kHostile + 1, 1, 0},
      {"mitarbeiter", 1, 11 + kHostile + 1, 2, 0},
      {"keine", 0, 11 + kHostile + 2, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.survey.value_or("(all)"));
    ExportOptions options;
    options.survey = c.survey;
    std::string csv;
    const auto exported = exportAnswers(dir / "Maildir", options, [&](std::string_view bytes) {
      csv += bytes;
      return vantrel::Status();
    });
    ASSERT_TRUE(exported.ok()) << exported.reason();
    EXPECT_EQ(exported.value().written, c.written);
    EXPECT_EQ(exported.value().otherSurveys, c.otherSurveys);
    EXPECT_EQ(exported.value().namesLeftOut, c.namesLeftOut);
    const std::string header = csv.substr(0, csv.find("\r\n"));
    EXPECT_EQ(static_cast<std::size_t>(std::count(header.begin(), header.end(), ';')), c.columns)
        << header;
    if (c.written > 1) {
      EXPECT_NE(header.find(";\"Name\";\"Note\";"), std::string::npos);
    }
  }

  // Standard output: exact for a pipe, escaped for a terminal; messages naming files always.
  putFile(dir / "Maildir/new/\x1B[2Jbroken", "no headers end");
  std::vector<std::string> words = {dir / "Maildir", "--survey", "kunden"};
  std::vector<char*> arguments;
  for (std::string& word : words) arguments.push_back(word.data());
  for (const auto terminal :
       {vantrel::formmail::OutputTerminal::no, vantrel::formmail::OutputTerminal::yes}) {
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(vantrel::formmail::runExport(arguments, out, err, terminal), 0) << err.str();
    const bool escaped = terminal == vantrel::formmail::OutputTerminal::yes;
    EXPECT_EQ(out.str().find('\x1B') == std::string::npos, escaped);
    EXPECT_EQ(out.str().find("\\x1B]52;c;ZXZpbA==\\x07\\x1B[2J\\u009B") != std::string::npos,
              escaped);
    EXPECT_NE(out.str().find("\"a\r\nb\""), std::string::npos) << "CR LF stays";
    EXPECT_EQ(err.str().find('\x1B'), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("\\x1B[2Jbroken"), std::string::npos) << err.str();
  }
  EXPECT_EQ(vantrel::formmail::terminalSafe("a\tb\rc\x7F\xC2\x80\xC3\xBC\n"),
            "a\tb\\x0Dc\\x7F\\u0080\xC3\xBC\n");
}

// The mails come out of an mbox byte for byte as they went in, however the stream is cut.
TEST(MboxSplitter, GivesBackEveryMailExactlyInPiecesOfAnySize) {
  const std::vector<std::string> mails = {
      "Subject: a\n\nFrom me\n>From you\n\nFrom the start\n",
      "Subject: b\r\n\r\nText\r\n",
      "Subject: c\n\n" + std::string(100, 'x') + "\n",
  };
  const std::string mbox =
      "From a@b Mon Dec  7 17:20:05 2026\nSubject: a\n\n>From me\n>>From you\n\n>From the start\n\n"
      "From a@b Mon Dec  7 17:20:06 2026\nSubject: b\r\n\r\nText\r\n\r\n"
      "From a@b Mon Dec  7 17:20:07 2026\nSubject: c\n\n" +
      std::string(100, 'x') + "\n\nFrom a@b Mon Dec  7 17:20:08 2026\nSubject: d\n\n" +
      std::string(200, 'y') + "\n";
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, mbox.size()}) {
    std::vector<std::string> out;
    std::vector<std::uint64_t> offsets;
    int tooLarge = 0;
    MboxSplitter splitter(150, [&](std::string_view mail, std::uint64_t offset, bool large) {
      if (large) {
        ++tooLarge;
        EXPECT_TRUE(mail.empty());
        return;
      }
      out.emplace_back(mail);
      offsets.push_back(offset);
    });
    for (std::size_t at = 0; at < mbox.size(); at += piece) splitter.feed(mbox.substr(at, piece));
    splitter.finish();
    EXPECT_EQ(out, mails) << "pieces of " << piece;
    EXPECT_EQ(tooLarge, 1);
    ASSERT_EQ(offsets.size(), 3U);
    EXPECT_EQ(offsets[1], mbox.find("From a@b Mon Dec  7 17:20:06"));
  }
}

}  // namespace vantrel::answers
