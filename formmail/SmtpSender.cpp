#include "formmail/SmtpSender.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace vantrel::formmail {
namespace {

struct Upload {
  std::string_view remaining;
};

size_t readChunk(char* buffer, size_t size, size_t count, void* userData) {
  auto* upload = static_cast<Upload*>(userData);
  const size_t n = std::min(size * count, upload->remaining.size());
  std::memcpy(buffer, upload->remaining.data(), n);
  upload->remaining.remove_prefix(n);
  return n;
}

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

void initSmtp() { curl_global_init(CURL_GLOBAL_DEFAULT); }

SmtpResult sendBySmtp(const SmtpSettings& settings, const std::string& sender,
                      const std::string& recipient, std::string_view mail) {
  std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
  if (!curl) return {SmtpVerdict::Temporary, "libcurl could not start"};
  const std::string from = "<" + sender + ">";
  std::unique_ptr<curl_slist, ListDeleter> recipients(
      curl_slist_append(nullptr, ("<" + recipient + ">").c_str()));
  if (!recipients) return {SmtpVerdict::Temporary, "out of memory"};
  Upload upload{mail};
  char errorText[CURL_ERROR_SIZE] = {};

  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, settings.url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, readChunk);
  curl_easy_setopt(handle, CURLOPT_READDATA, &upload);
  curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.size()));
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);  // threads of the server must not get SIGALRM
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT,
                   static_cast<long>(settings.connectTimeout.count()));
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, static_cast<long>(settings.totalTimeout.count()));
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
  if (!settings.user.empty()) {
    curl_easy_setopt(handle, CURLOPT_USERNAME, settings.user.c_str());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, settings.password.c_str());
  }
  if (settings.url.rfind("smtp://", 0) == 0) {
    curl_easy_setopt(handle, CURLOPT_USE_SSL, settings.starttls ? CURLUSESSL_ALL : CURLUSESSL_NONE);
  }

  const CURLcode code = curl_easy_perform(handle);
  if (code == CURLE_OK) return {SmtpVerdict::Sent, {}};
  // The last reply the server gave; 0 when it never answered.
  long reply = 0;
  if (curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &reply) != CURLE_OK) reply = 0;
  const bool permanent = reply >= 500 && reply <= 599;
  std::string why =
      std::string(curl_easy_strerror(code)) + (errorText[0] ? std::string(": ") + errorText : "");
  if (reply != 0) why += " (server replied " + std::to_string(reply) + ")";
  return {permanent ? SmtpVerdict::Permanent : SmtpVerdict::Temporary, why};
}

}  // namespace vantrel::formmail
