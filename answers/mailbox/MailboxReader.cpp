#include "answers/mailbox/MailboxReader.h"

#include <map>
#include <set>
#include <unordered_set>

#include "answers/MailPart.h"
#include "answers/mailbox/AnswerCache.h"
#include "base/FailureKinds.h"

namespace vantrel::answers {
namespace {

constexpr std::size_t kMostProblemsKept = 20;
// Mails nest multiparts for forwards and signatures; a deeper structure is not looked into.
constexpr int kDeepestPart = 8;

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool equalsCaseless(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// A parameter list ("name" "antwort.json" ...) that names the answer part.
bool namesAnswerPart(const ImapValue& parameters, std::string_view key) {
  if (parameters.kind != ImapValue::Kind::list) return false;
  for (std::size_t i = 0; i + 1 < parameters.items.size(); i += 2) {
    if (equalsCaseless(parameters.items[i].text, key) &&
        equalsCaseless(parameters.items[i + 1].text, kAnswerPartName))
      return true;
  }
  return false;
}

// A single part is the answer part by its type's "name" or its disposition's "filename"; the
// disposition ("attachment" ("filename" ...)) stands among the extension data after the size.
bool isAnswerPart(const ImapValue& part) {
  if (part.items.size() > 2 && namesAnswerPart(part.items[2], "name")) return true;
  for (std::size_t i = 7; i < part.items.size(); ++i) {
    const ImapValue& item = part.items[i];
    if (item.kind == ImapValue::Kind::list && item.items.size() == 2 && item.items[0].isText() &&
        namesAnswerPart(item.items[1], "filename"))
      return true;
  }
  return false;
}

std::string findSection(const ImapValue& body, const std::string& section, int depth) {
  if (body.kind != ImapValue::Kind::list || body.items.empty() || depth > kDeepestPart) return {};
  if (body.items.front().kind != ImapValue::Kind::list)
    return isAnswerPart(body) ? (section.empty() ? "1" : section) : std::string();
  for (std::size_t i = 0; i < body.items.size() && body.items[i].kind == ImapValue::Kind::list;
       ++i) {
    const std::string child = (section.empty() ? "" : section + ".") + std::to_string(i + 1);
    std::string found = findSection(body.items[i], child, depth + 1);
    if (!found.empty()) return found;
  }
  return {};
}

// "3:7,9,12:13": the UIDs in ascending order, runs written as ranges.
std::string uidSet(const std::vector<std::uint32_t>& uids) {
  std::string set;
  for (std::size_t i = 0; i < uids.size();) {
    std::size_t last = i;
    while (last + 1 < uids.size() && uids[last + 1] == uids[last] + 1) ++last;
    if (!set.empty()) set += ',';
    set += std::to_string(uids[i]);
    if (last > i) set += ':' + std::to_string(uids[last]);
    i = last + 1;
  }
  return set;
}

// The "(key value key value ...)" of an untagged FETCH, or nullptr.
const ImapValue* fetchData(const ImapResponse& response) {
  if (response.items.size() != 3 || !response.items[1].isAtom("FETCH") ||
      response.items[2].kind != ImapValue::Kind::list)
    return nullptr;
  return &response.items[2];
}

std::optional<std::uint32_t> uidOf(const ImapValue& data) {
  for (std::size_t i = 0; i + 1 < data.items.size(); i += 2) {
    if (data.items[i].isAtom("UID")) return imapNumber(data.items[i + 1]);
  }
  return std::nullopt;
}

class MailboxRead {
 public:
  MailboxRead(ImapConnection& connection, AnswerCache& cache, const MailboxReadOptions& options,
              const ReadCallbacks& callbacks)
      : connection_(connection), cache_(cache), options_(options), callbacks_(callbacks) {}

  Status fetchNew(const std::vector<std::uint32_t>& uids) {
    if (!progress(0, uids.size())) return {};
    const std::size_t batch = std::max<std::size_t>(1, options_.batchSize);
    for (std::size_t at = 0; at < uids.size(); at += batch) {
      const std::vector<std::uint32_t> some(
          uids.begin() + static_cast<std::ptrdiff_t>(at),
          uids.begin() + static_cast<std::ptrdiff_t>(std::min(uids.size(), at + batch)));
      if (Status fetched = fetchBatch(some); !fetched) return fetched;
      if (!progress(at + some.size(), uids.size())) break;
    }
    return {};
  }

  Status deliverAll(MailboxSummary& summary) {
    std::unordered_set<std::string> seenIds;
    ReadSummary& read = summary.read;
    return cache_.forEach([&](std::uint32_t uid, MailAnswer&& mail, bool gone) {
      switch (mail.kind) {
        case MailKind::withoutAnswerPart:
          ++read.withoutAnswerPart;
          return;
        case MailKind::broken:
          ++read.broken;
          if (read.problems.size() < kMostProblemsKept)
            read.problems.push_back(locatedIn(connection_.server() + ", UID " + std::to_string(uid),
                                              std::move(mail.failure)));
          return;
        case MailKind::answer:
          break;
      }
      if (!mail.answer.messageId.empty() && !seenIds.insert(mail.answer.messageId).second) {
        ++read.duplicates;
        return;
      }
      if (gone) summary.goneMessageIds.push_back(mail.answer.messageId);
      ++read.answers;
      if (callbacks_.onAnswer) callbacks_.onAnswer(std::move(mail.answer));
    });
  }

  [[nodiscard]] std::uint64_t fetched() const { return fetched_; }
  [[nodiscard]] bool cancelled() const { return cancelled_; }

 private:
  bool progress(std::uint64_t done, std::uint64_t total) {
    if (callbacks_.onProgress && !callbacks_.onProgress(done, total)) cancelled_ = true;
    return !cancelled_;
  }

  [[nodiscard]] Failure refused(std::string_view command, const ImapResponse& status) const {
    return failure(MailboxFailure::ServerRefused, connection_.server(), command, status.statusText);
  }

  // The structure of each mail, then the answer parts, grouped by their section (the
  // receiver's mails all have it in the same place, so that is one FETCH).
  Status fetchBatch(const std::vector<std::uint32_t>& uids) {
    std::map<std::uint32_t, std::string> sections;
    const std::string structure = "UID FETCH " + uidSet(uids) + " (UID BODYSTRUCTURE)";
    Result<ImapResponse> done = connection_.command(structure, [&](ImapResponse&& response) {
      const ImapValue* data = fetchData(response);
      if (!data) return;
      const std::optional<std::uint32_t> uid = uidOf(*data);
      for (std::size_t i = 0; uid && i + 1 < data->items.size(); i += 2) {
        if (data->items[i].isAtom("BODYSTRUCTURE"))
          sections[*uid] = answerSectionOf(data->items[i + 1]);
      }
    });
    if (!done) return done.status();
    if (!done.value().isStatus("OK")) return refused("UID FETCH", done.value());

    std::vector<std::pair<std::uint32_t, MailAnswer>> batch;
    std::map<std::string, std::vector<std::uint32_t>> bySection;
    for (const auto& [uid, section] : sections) {
      if (section.empty()) {
        batch.emplace_back(uid, MailAnswer{});
      } else {
        bySection[section].push_back(uid);
      }
    }
    for (const auto& [section, some] : bySection) {
      if (Status fetched = fetchParts(section, some, batch); !fetched) return fetched;
    }
    fetched_ += batch.size();
    return cache_.store(batch);
  }

  // The Message-ID, the part's own headers and its body, put together as a small mail that the
  // reader of whole mails reads like any other: one way to judge an answer part.
  Status fetchParts(const std::string& section, const std::vector<std::uint32_t>& uids,
                    std::vector<std::pair<std::uint32_t, MailAnswer>>& batch) {
    const std::string command = "UID FETCH " + uidSet(uids) +
                                " (UID BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)] BODY.PEEK[" + section +
                                ".MIME] BODY.PEEK[" + section + "])";
    Result<ImapResponse> done = connection_.command(command, [&](ImapResponse&& response) {
      const ImapValue* data = fetchData(response);
      if (!data) return;
      const std::optional<std::uint32_t> uid = uidOf(*data);
      if (!uid) return;
      std::string headers, partHeaders, body;
      bool sawBody = false;  // a FETCH the server sends of its own accord carries no part
      for (std::size_t i = 0; i + 1 < data->items.size(); i += 2) {
        if (!data->items[i].isText()) continue;
        const std::string key = lowered(data->items[i].text);
        const std::string& value = data->items[i + 1].text;
        if (!key.starts_with("body[")) continue;
        if (key.starts_with("body[header")) {
          headers = value;
        } else if (key.ends_with(".mime]")) {
          partHeaders = value;
        } else {
          body = value;
          sawBody = true;
        }
      }
      if (!sawBody) return;
      // The header fields end with their empty line: the part's headers follow in the block.
      while (headers.ends_with("\r\n\r\n") || headers.ends_with("\n\n"))
        headers.resize(headers.size() - (headers.ends_with("\r\n") ? 2 : 1));
      if (headers == "\r\n" || headers == "\n") headers.clear();  // the mail has no Message-ID
      batch.emplace_back(*uid, answerInMail(headers + partHeaders + body));
    });
    if (!done) return done.status();
    if (!done.value().isStatus("OK")) return refused("UID FETCH", done.value());
    return {};
  }

  ImapConnection& connection_;
  AnswerCache& cache_;
  const MailboxReadOptions& options_;
  const ReadCallbacks& callbacks_;
  std::uint64_t fetched_ = 0;
  bool cancelled_ = false;
};

// EXAMINE opens the folder read-only: even a server that ignored PEEK could not mark a mail
// read. Gives the folder's UIDVALIDITY.
Result<std::uint32_t> examine(ImapConnection& connection, const MailboxAddress& address) {
  std::optional<std::uint32_t> uidValidity;
  Result<ImapResponse> done = connection.command(
      "EXAMINE " + imapFolderArgument(address.folder), [&](ImapResponse&& response) {
        for (const ImapValue& item : response.items) {
          if (item.kind == ImapValue::Kind::code && item.items.size() == 2 &&
              item.items[0].isAtom("UIDVALIDITY"))
            uidValidity = imapNumber(item.items[1]);
        }
      });
  if (!done) return done.failure();
  if (done.value().isStatus("NO"))
    return failure(MailboxFailure::UnknownFolder, connection.server(), address.folder);
  if (!done.value().isStatus("OK"))
    return failure(MailboxFailure::ServerRefused, connection.server(), "EXAMINE",
                   done.value().statusText);
  if (!uidValidity) return failure(MailboxFailure::AnswerUnreadable, connection.server());
  return *uidValidity;
}

// The UIDs of the mails whose subject names a form, as the receiver writes it.
Result<std::set<std::uint32_t>> searchAnswers(ImapConnection& connection) {
  std::set<std::uint32_t> uids;
  bool readable = true;
  Result<ImapResponse> done =
      connection.command("UID SEARCH SUBJECT \"Formular:\"", [&](ImapResponse&& response) {
        if (response.items.empty() || !response.items[0].isAtom("SEARCH")) return;
        for (std::size_t i = 1; i < response.items.size(); ++i) {
          const std::optional<std::uint32_t> uid = imapNumber(response.items[i]);
          if (uid) {
            uids.insert(*uid);
          } else {
            readable = false;
          }
        }
      });
  if (!done) return done.failure();
  if (!done.value().isStatus("OK"))
    return failure(MailboxFailure::ServerRefused, connection.server(), "UID SEARCH",
                   done.value().statusText);
  if (!readable) return failure(MailboxFailure::AnswerUnreadable, connection.server());
  return uids;
}

// A LIST response: "LIST (flags) delimiter name"; the name unless the folder cannot be opened.
std::optional<std::string> listedFolder(const ImapResponse& response) {
  if (response.items.size() != 4 || !response.items[0].isAtom("LIST") ||
      response.items[1].kind != ImapValue::Kind::list || !response.items[3].isText())
    return std::nullopt;
  for (const ImapValue& flag : response.items[1].items) {
    if (flag.isAtom("\\Noselect") || flag.isAtom("\\NonExistent")) return std::nullopt;
  }
  return decodedFolderName(response.items[3].text);
}

}  // namespace

Result<std::vector<std::string>> listMailboxFolders(const MailboxAddress& address,
                                                    std::string_view password,
                                                    const ImapConnectOptions& options) {
  Result<std::unique_ptr<ImapConnection>> opened = ImapConnection::open(address, password, options);
  if (!opened) return opened.failure();
  ImapConnection& connection = *opened.value();
  std::vector<std::string> folders;
  Result<ImapResponse> done = connection.command("LIST \"\" \"*\"", [&](ImapResponse&& response) {
    std::optional<std::string> folder = listedFolder(response);
    if (folder) folders.push_back(std::move(*folder));
  });
  if (!done) return done.failure();
  if (!done.value().isStatus("OK"))
    return failure(MailboxFailure::ServerRefused, connection.server(), "LIST",
                   done.value().statusText);
  return folders;
}

std::string answerSectionOf(const ImapValue& bodyStructure) {
  return findSection(bodyStructure, "", 0);
}

Result<MailboxSummary> readMailbox(const MailboxAddress& address, std::string_view password,
                                   const MailboxReadOptions& options,
                                   const ReadCallbacks& callbacks) {
  Result<std::unique_ptr<ImapConnection>> opened =
      ImapConnection::open(address, password, options.connect);
  if (!opened) return opened.failure();
  ImapConnection& connection = *opened.value();
  const Result<std::uint32_t> uidValidity = examine(connection, address);
  if (!uidValidity) return uidValidity.failure();

  const std::filesystem::path folder =
      options.cacheFolder.empty() ? defaultAnswerCacheFolder() : options.cacheFolder;
  Result<std::unique_ptr<AnswerCache>> cacheOpened =
      AnswerCache::open(answerCacheFile(folder, address));
  if (!cacheOpened) return cacheOpened.failure();
  AnswerCache& cache = *cacheOpened.value();
  if (Status kept = cache.useUidValidity(uidValidity.value()); !kept) return kept.failure();

  const Result<std::set<std::uint32_t>> onServer = searchAnswers(connection);
  if (!onServer) return onServer.failure();
  const Result<std::set<std::uint32_t>> known = cache.knownUids();
  if (!known) return known.failure();
  std::vector<std::uint32_t> fresh;
  for (const std::uint32_t uid : onServer.value()) {
    if (!known.value().contains(uid)) fresh.push_back(uid);
  }

  MailboxSummary summary;
  summary.cacheRebuilt = cache.wasRebuilt();
  MailboxRead read(connection, cache, options, callbacks);
  Status fetched = read.fetchNew(fresh);
  summary.fetched = read.fetched();
  summary.fromCache = known.value().size();
  summary.bytesReceived = connection.bytesReceived();
  if (!fetched) return fetched.failure();
  if (read.cancelled()) {
    summary.read.cancelled = true;
    return summary;
  }
  if (Status marked = cache.markGone(onServer.value()); !marked) return marked.failure();
  if (Status delivered = read.deliverAll(summary); !delivered) return delivered.failure();
  return summary;
}

}  // namespace vantrel::answers
