#include "answers/mailbox/AnswerCache.h"

#include <sqlite3.h>

#include <cstdlib>

#include "answers/Answer.h"
#include "base/FailureKinds.h"

namespace fs = std::filesystem;

namespace vantrel::answers {
namespace {

// Raised whenever the table layout changes: a file of another layout is made anew.
constexpr int kLayout = 1;

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS folder(uidvalidity INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS mails("
    " uid INTEGER PRIMARY KEY,"
    " kind INTEGER NOT NULL,"  // MailKind
    " message_id TEXT NOT NULL,"
    " answer TEXT NOT NULL,"           // the answer part's JSON, for kind answer
    " problem_area INTEGER NOT NULL,"  // the failure, for kind broken
    " problem_code INTEGER NOT NULL,"
    " problem_detail TEXT NOT NULL,"
    " problem_values TEXT NOT NULL,"  // joined by kValueSeparator
    " gone INTEGER NOT NULL DEFAULT 0);";

constexpr char kValueSeparator = '\x1f';

// One prepared statement, finalized on every way out.
class Statement {
 public:
  Statement(sqlite3* database, const char* sql) {
    if (sqlite3_prepare_v2(database, sql, -1, &statement_, nullptr) != SQLITE_OK)
      statement_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  [[nodiscard]] bool ok() const { return statement_ != nullptr; }
  sqlite3_stmt* get() { return statement_; }
  void bind(int index, std::int64_t value) { sqlite3_bind_int64(statement_, index, value); }
  void bind(int index, const std::string& text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
  }
  std::string text(int column) {
    const auto* bytes = sqlite3_column_text(statement_, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes),
                               static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                 : std::string();
  }
  std::int64_t number(int column) { return sqlite3_column_int64(statement_, column); }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

std::string joined(const std::vector<std::string>& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) text += kValueSeparator;
    text += values[i];
  }
  return text;
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> values;
  if (text.empty()) return values;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(kValueSeparator, start);
    values.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return values;
    start = end + 1;
  }
}

// The FNV-1a hash of the address: two mailboxes whose readable names look alike still get
// files of their own.
std::string hashOf(const std::string& text) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (int shift = 60; shift >= 0; shift -= 4) out += kHex[(hash >> shift) & 0xF];
  return out;
}

void removeDatabaseFiles(const fs::path& file) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    fs::remove(fs::path(file.string() + suffix), ignored);
}

bool execute(sqlite3* database, const char* sql) {
  return sqlite3_exec(database, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A database this program can trust: SQLite reads it, its check passes and its layout is ours
// (or it is new and empty).
bool usable(sqlite3* database) {
  Statement check(database, "PRAGMA quick_check");
  if (!check.ok() || sqlite3_step(check.get()) != SQLITE_ROW || check.text(0) != "ok") return false;
  Statement version(database, "PRAGMA user_version");
  if (!version.ok() || sqlite3_step(version.get()) != SQLITE_ROW) return false;
  const std::int64_t layout = version.number(0);
  Statement tables(database, "SELECT count(*) FROM sqlite_master");
  if (!tables.ok() || sqlite3_step(tables.get()) != SQLITE_ROW) return false;
  return layout == kLayout || (layout == 0 && tables.number(0) == 0);
}

sqlite3* openDatabase(const fs::path& file) {
  sqlite3* database = nullptr;
  if (sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(database);
    return nullptr;
  }
  sqlite3_busy_timeout(database, 5000);
  const bool ready = usable(database) && execute(database, "PRAGMA journal_mode=WAL") &&
                     execute(database, kSchema) &&
                     execute(database, ("PRAGMA user_version=" + std::to_string(kLayout)).c_str());
  if (!ready) {
    sqlite3_close(database);
    return nullptr;
  }
  return database;
}

}  // namespace

fs::path defaultAnswerCacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') return fs::path(cache) / "vantrel-formulare";
  const char* home = std::getenv("HOME");
  return fs::path(home ? home : "/tmp") / ".cache" / "vantrel-formulare";
}

fs::path answerCacheFile(const fs::path& folder, const MailboxAddress& address) {
  std::string readable = address.user + "@" + address.host + "_" + address.folder;
  for (char& c : readable) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '@' || c == '.' || c == '-' || c == '_';
    if (!plain) c = '_';
  }
  return folder / (readable.substr(0, 80) + "-" + hashOf(address.text()) + ".sqlite");
}

Result<std::unique_ptr<AnswerCache>> AnswerCache::open(const fs::path& file) {
  std::error_code error;
  fs::create_directories(file.parent_path(), error);
  bool rebuilt = false;
  sqlite3* database = openDatabase(file);
  if (!database) {
    // Never trusted half: what cannot be read whole is made anew.
    removeDatabaseFiles(file);
    rebuilt = true;
    database = openDatabase(file);
  }
  if (!database) {
    return failure(MailboxFailure::CacheCannotBeOpened, file,
                   error ? error.message() : std::string("cannot be created"));
  }
  return std::unique_ptr<AnswerCache>(new AnswerCache(database, file, rebuilt));
}

AnswerCache::AnswerCache(void* database, fs::path file, bool rebuilt)
    : database_(database), file_(std::move(file)), rebuilt_(rebuilt) {}

AnswerCache::~AnswerCache() { sqlite3_close(static_cast<sqlite3*>(database_)); }

Failure AnswerCache::sqliteFailure() const {
  return failure(MailboxFailure::CacheCannotBeOpened, file_,
                 sqlite3_errmsg(static_cast<sqlite3*>(database_)));
}

Status AnswerCache::run(const char* sql) {
  if (!execute(static_cast<sqlite3*>(database_), sql)) return sqliteFailure();
  return {};
}

Status AnswerCache::useUidValidity(std::uint32_t uidValidity) {
  auto* database = static_cast<sqlite3*>(database_);
  Statement kept(database, "SELECT uidvalidity FROM folder");
  if (!kept.ok()) return sqliteFailure();
  const int step = sqlite3_step(kept.get());
  if (step == SQLITE_ROW && kept.number(0) == uidValidity) return {};
  if (Status begun = run("BEGIN IMMEDIATE"); !begun) return begun;
  Statement keep(database, "INSERT INTO folder(uidvalidity) VALUES(?)");
  if (!run("DELETE FROM mails") || !run("DELETE FROM folder") || !keep.ok()) {
    (void)run("ROLLBACK");
    return sqliteFailure();
  }
  keep.bind(1, uidValidity);
  if (sqlite3_step(keep.get()) != SQLITE_DONE) {
    (void)run("ROLLBACK");
    return sqliteFailure();
  }
  return run("COMMIT");
}

Result<std::set<std::uint32_t>> AnswerCache::knownUids() {
  Statement query(static_cast<sqlite3*>(database_), "SELECT uid FROM mails");
  if (!query.ok()) return sqliteFailure();
  std::set<std::uint32_t> uids;
  int step = 0;
  while ((step = sqlite3_step(query.get())) == SQLITE_ROW)
    uids.insert(static_cast<std::uint32_t>(query.number(0)));
  if (step != SQLITE_DONE) return sqliteFailure();
  return uids;
}

Status AnswerCache::store(const std::vector<std::pair<std::uint32_t, MailAnswer>>& batch) {
  auto* database = static_cast<sqlite3*>(database_);
  if (Status begun = run("BEGIN IMMEDIATE"); !begun) return begun;
  Statement insert(database,
                   "INSERT OR REPLACE INTO mails(uid, kind, message_id, answer, problem_area,"
                   " problem_code, problem_detail, problem_values, gone)"
                   " VALUES(?, ?, ?, ?, ?, ?, ?, ?, 0)");
  bool stored = insert.ok();
  for (const auto& [uid, mail] : batch) {
    if (!stored) break;
    const bool isAnswer = mail.kind == MailKind::answer;
    insert.bind(1, uid);
    insert.bind(2, static_cast<std::int64_t>(mail.kind));
    insert.bind(3, isAnswer ? mail.answer.messageId : std::string());
    insert.bind(4, isAnswer ? answerJson(mail.answer) : std::string());
    insert.bind(5, static_cast<std::int64_t>(mail.failure.kind.area));
    insert.bind(6, mail.failure.kind.code);
    insert.bind(7, mail.failure.detail);
    insert.bind(8, joined(mail.failure.values));
    stored = sqlite3_step(insert.get()) == SQLITE_DONE && sqlite3_reset(insert.get()) == SQLITE_OK;
  }
  if (!stored) {
    Failure failed = sqliteFailure();
    (void)run("ROLLBACK");
    return failed;
  }
  return run("COMMIT");
}

Status AnswerCache::markGone(const std::set<std::uint32_t>& onServer) {
  Result<std::set<std::uint32_t>> known = knownUids();
  if (!known) return known.status();
  if (Status begun = run("BEGIN IMMEDIATE"); !begun) return begun;
  Statement mark(static_cast<sqlite3*>(database_), "UPDATE mails SET gone = ? WHERE uid = ?");
  bool marked = mark.ok();
  for (const std::uint32_t uid : known.value()) {
    if (!marked) break;
    mark.bind(1, onServer.contains(uid) ? 0 : 1);
    mark.bind(2, uid);
    marked = sqlite3_step(mark.get()) == SQLITE_DONE && sqlite3_reset(mark.get()) == SQLITE_OK;
  }
  if (!marked) {
    Failure failed = sqliteFailure();
    (void)run("ROLLBACK");
    return failed;
  }
  return run("COMMIT");
}

Status AnswerCache::forEach(
    const std::function<void(std::uint32_t uid, MailAnswer&& mail, bool gone)>& visit) {
  Statement query(static_cast<sqlite3*>(database_),
                  "SELECT uid, kind, message_id, answer, problem_area, problem_code,"
                  " problem_detail, problem_values, gone FROM mails ORDER BY uid");
  if (!query.ok()) return sqliteFailure();
  int step = 0;
  while ((step = sqlite3_step(query.get())) == SQLITE_ROW) {
    MailAnswer mail;
    const std::int64_t kind = query.number(1);
    if (kind == static_cast<std::int64_t>(MailKind::answer)) {
      Result<Answer> answer = parseAnswerJson(query.text(3));
      // A row this program wrote cannot fail to parse unless the file was changed behind it.
      if (!answer) return failure(MailboxFailure::CacheCannotBeOpened, file_, answer.reason());
      mail.kind = MailKind::answer;
      mail.answer = std::move(answer).value();
      mail.answer.messageId = query.text(2);
    } else if (kind == static_cast<std::int64_t>(MailKind::broken)) {
      mail.kind = MailKind::broken;
      mail.failure.kind = {static_cast<FailureArea>(query.number(4)),
                           static_cast<std::uint16_t>(query.number(5))};
      mail.failure.detail = query.text(6);
      mail.failure.values = split(query.text(7));
    }
    visit(static_cast<std::uint32_t>(query.number(0)), std::move(mail), query.number(8) != 0);
  }
  if (step != SQLITE_DONE) return sqliteFailure();
  return {};
}

}  // namespace vantrel::answers
