#include "formmail/MailMessage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "answers/Answer.h"
#include "formmail/PostedText.h"

namespace vantrel::formmail {
namespace {

constexpr std::string_view kHex = "0123456789ABCDEF";
constexpr std::size_t kQpLineLimit = 76;

bool isPlainQpByte(unsigned char byte) { return byte >= 33 && byte <= 126 && byte != '='; }

void appendEscaped(std::string& out, unsigned char byte) {
  out += '=';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// One text line, without its line break, with soft breaks keeping every mail line <= 76.
void appendQpLine(std::string& out, std::string_view line) {
  std::size_t column = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    const bool last = i + 1 == line.size();
    // Blanks at a line end would be stripped in transit; a dot at a line start could end
    // an SMTP DATA block on a relay that does not stuff it.
    const auto isPlainAt = [&](std::size_t atColumn) {
      return (isPlainQpByte(byte) && !(byte == '.' && atColumn == 0)) ||
             ((byte == ' ' || byte == '\t') && !last);
    };
    bool plain = isPlainAt(column);
    // Leave room for the '=' of a soft break unless this is the line's last byte.
    if (column + (plain ? 1 : 3) > (last ? kQpLineLimit : kQpLineLimit - 1)) {
      out += "=\r\n";
      column = 0;
      plain = isPlainAt(column);
    }
    if (plain) {
      out += static_cast<char>(byte);
    } else {
      appendEscaped(out, byte);
    }
    column += plain ? 1 : 3;
  }
}

std::string base64(std::string_view bytes) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0U);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

bool isUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool needsEncodedWords(std::string_view subject) {
  if (subject.size() > 60 || subject.find("=?") != std::string_view::npos) return true;
  return std::any_of(subject.begin(), subject.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u >= 0x7F;
  });
}

std::string rfc5322Date(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d +0000",
                kDays.at(utc.tm_wday), utc.tm_mday, kMonths.at(utc.tm_mon), utc.tm_year + 1900,
                utc.tm_hour, utc.tm_min, utc.tm_sec);
  return buffer;
}

// Message-ID parts come from our own host name and counter; anything odd is dropped so that
// a strange host name cannot break the header.
std::string idSafe(std::string_view text) {
  std::string safe;
  for (char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
        c == '-') {
      safe += c;
    }
  }
  return safe.empty() ? "localhost" : safe;
}

// "2026-12-07T17:20:05Z": the time of receipt in the answer part.
std::string utcTimestamp(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return buffer;
}

// Base64 in lines of 76 characters, each ended by CR LF.
std::string base64Lines(std::string_view bytes) {
  const std::string encoded = base64(bytes);
  std::string lines;
  for (std::size_t at = 0; at < encoded.size(); at += 76) lines += encoded.substr(at, 76) + "\r\n";
  return lines;
}

std::vector<std::string_view> splitOnCommas(std::string_view list) {
  std::vector<std::string_view> names;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// The names of the required list as the receiver checks them: trimmed, each once.
std::vector<std::string_view> requiredNames(std::string_view list) {
  std::vector<std::string_view> names;
  for (std::string_view name : splitOnCommas(list)) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
      names.push_back(name);
  }
  return names;
}

// The answer part with the survey as a top-level member, "" when the post named none, so that
// every reader finds it in every mail.
std::string answerJsonWithSurvey(const vantrel::answers::Answer& answer, std::string_view survey) {
  auto json = nlohmann::ordered_json::parse(vantrel::answers::answerJson(answer));
  json["survey"] = std::string(survey);
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

bool isControlField(std::string_view name) {
  return name == "B1" || name == "required" || name == "data_order" || name == "submit_to" ||
         name == "form_id";
}

PostedFields answersInOrder(const PostedFields& fields, std::string_view dataOrder,
                            std::string_view honeypot) {
  const auto listed = [&](std::string_view name) {
    return !isControlField(name) && !(!honeypot.empty() && name == honeypot);
  };
  PostedFields answers;
  std::set<std::string_view> done;
  for (const std::string_view name : splitOnCommas(dataOrder)) {
    if (!listed(name) || !done.insert(name).second) continue;
    for (const auto& field : fields) {
      if (field.name == name) answers.push_back(field);
    }
  }
  for (const auto& field : fields) {
    if (listed(field.name) && !done.contains(field.name)) answers.push_back(field);
  }
  return answers;
}

std::string quotedPrintable(std::string_view utf8Text) {
  std::string out;
  std::size_t start = 0;
  while (start <= utf8Text.size()) {
    std::size_t end = utf8Text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = utf8Text.size();
    appendQpLine(out, utf8Text.substr(start, end - start));
    if (end == utf8Text.size()) break;
    out += "\r\n";
    start = end + 1;
    if (utf8Text[end] == '\r' && start < utf8Text.size() && utf8Text[start] == '\n') ++start;
  }
  return out;
}

std::string encodeSubject(std::string_view utf8Subject) {
  std::string clean;
  for (char c : utf8Subject) {
    if (c != '\r' && c != '\n' && c != '\0') clean += c;
  }
  if (!needsEncodedWords(clean)) return clean;

  // 39 bytes give 52 base64 characters; with "=?UTF-8?B?", "?=" and "Subject: " in front the
  // first line stays within 78 characters, as every line of a header should.
  constexpr std::size_t kChunk = 39;
  std::string header;
  std::size_t start = 0;
  while (start < clean.size()) {
    std::size_t end = std::min(clean.size(), start + kChunk);
    // Never split a UTF-8 sequence between two words.
    while (end < clean.size() && end > start + 1 && isUtf8Continuation(clean[end])) --end;
    if (!header.empty()) header += "\r\n ";
    header += "=?UTF-8?B?" + base64(std::string_view(clean).substr(start, end - start)) + "?=";
    start = end;
  }
  return header;
}

std::string composeMail(const MailEnvelope& envelope, std::string_view formId,
                        const PostedFields& answers, bool utf8Post, std::string_view requiredList,
                        std::string_view survey) {
  const auto text = [&](std::string_view posted) { return postedText(posted, utf8Post); };
  std::string body;
  vantrel::answers::Answer answer;
  answer.formId = text(formId);
  answer.receivedUtc = utcTimestamp(envelope.date);
  for (const auto& field : answers) {
    body += text(field.name) + ": " + text(field.value) + "\n";
    answer.fields.emplace_back(text(field.name), text(field.value));
  }
  for (const std::string_view name : requiredNames(requiredList))
    answer.required.push_back(text(name));

  // Quoted-printable and base64 never put "=_" into a body, so this boundary cannot occur in
  // the parts; the delivery name keeps it from looking the same in every mail.
  const std::string boundary = "=_vantrel_" + idSafe(envelope.uniqueId).substr(0, 40);
  std::string mail;
  mail += "Date: " + rfc5322Date(envelope.date) + "\r\n";
  mail += "From: " + envelope.sender + "\r\n";
  mail += "To: " + envelope.recipient + "\r\n";
  std::string subject = "Formular: " + text(formId);
  if (!survey.empty()) subject += " [" + std::string(survey) + "]";
  mail += "Subject: " + encodeSubject(subject) + "\r\n";
  mail += "Message-ID: <" + idSafe(envelope.uniqueId) + "@" + idSafe(envelope.hostName) + ">\r\n";
  mail += "MIME-Version: 1.0\r\n";
  mail += "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n";
  mail += "\r\n";
  mail += "--" + boundary + "\r\n";
  mail += "Content-Type: text/plain; charset=UTF-8\r\n";
  mail += "Content-Transfer-Encoding: quoted-printable\r\n";
  mail += "\r\n";
  // The line break in front of a delimiter belongs to the delimiter: the text keeps its own.
  mail += quotedPrintable(body) + "\r\n";
  mail += "--" + boundary + "\r\n";
  mail += "Content-Type: application/json; charset=UTF-8; name=\"antwort.json\"\r\n";
  mail += "Content-Disposition: attachment; filename=\"antwort.json\"\r\n";
  mail += "Content-Transfer-Encoding: base64\r\n";
  mail += "\r\n";
  mail += base64Lines(answerJsonWithSurvey(answer, survey));
  mail += "--" + boundary + "--\r\n";
  return mail;
}

}  // namespace vantrel::formmail
