#include "answers/mailbox/ImapConnection.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <poll.h>

#include <array>
#include <mutex>

#include "base/FailureKinds.h"

namespace vantrel::answers {
namespace {

constexpr std::size_t kReceiveChunk = 1 << 16;

void initCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// libcurl's words, or its general text for the code when the error buffer stayed empty.
std::string reasonOf(CURLcode code, const char* errorText) {
  return errorText[0] != '\0' ? std::string(errorText) : std::string(curl_easy_strerror(code));
}

Failure connectFailure(CURLcode code, const std::string& server, const char* errorText) {
  switch (code) {
    case CURLE_LOGIN_DENIED:
      return failure(MailboxFailure::LoginRefused, server);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return failure(MailboxFailure::CertificateRefused, server, reasonOf(code, errorText));
    case CURLE_USE_SSL_FAILED:
      return failure(MailboxFailure::NoTls, server);
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
      return failure(MailboxFailure::ConnectionLost, server, reasonOf(code, errorText));
    default:
      return failure(MailboxFailure::CannotConnect, server, reasonOf(code, errorText));
  }
}

// The SHA-256 of the certificate's DER bytes, as "AB:CD:..."; empty when the PEM cannot be read.
std::string sha256Of(const std::string& pem) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(
      BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
  if (!bio) return {};
  std::unique_ptr<X509, decltype(&X509_free)> certificate(
      PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), &X509_free);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!certificate || X509_digest(certificate.get(), EVP_sha256(), digest, &length) != 1) return {};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    if (i > 0) text += ':';
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0xF];
  }
  return text;
}

// "Issuer:CN = x" of the first certificate (the server's own) in libcurl's report.
ServerCertificate certificateOf(const curl_certinfo* info) {
  ServerCertificate certificate;
  if (!info || info->num_of_certs < 1) return certificate;
  for (const curl_slist* field = info->certinfo[0]; field; field = field->next) {
    const std::string_view text = field->data;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = text.substr(0, colon);
    const std::string value(text.substr(colon + 1));
    if (name == "Subject") certificate.subject = value;
    if (name == "Issuer") certificate.issuer = value;
    if (name == "Cert") certificate.pem = value;
  }
  certificate.sha256 = sha256Of(certificate.pem);
  return certificate;
}

}  // namespace

Result<ServerCertificate> peekServerCertificate(const MailboxAddress& address,
                                                const ImapConnectOptions& options) {
  initCurl();
  const std::string server = address.server();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
  if (!handle) return failure(MailboxFailure::CannotConnect, server, "out of memory");
  std::array<char, CURL_ERROR_SIZE> errorText{};
  // No user in the address: libcurl connects and sets up TLS, and does not log in.
  const std::string url =
      std::string(address.tlsFromStart ? "imaps://" : "imap://") +
      (address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host) +
      ":" + std::to_string(address.port) + "/";
  const long seconds = static_cast<long>(
      std::max<std::chrono::milliseconds::rep>(1, options.timeout.count() / 1000));
  CURL* curl = handle.get();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "imap,imaps");
  curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_CERTINFO, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, seconds);
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText.data());
  curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
  const CURLcode code = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  if (code != CURLE_OK) return connectFailure(code, server, errorText.data());
  curl_certinfo* info = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &info) != CURLE_OK)
    return failure(MailboxFailure::AnswerUnreadable, server);
  ServerCertificate certificate = certificateOf(info);
  if (certificate.pem.empty() || certificate.sha256.empty())
    return failure(MailboxFailure::AnswerUnreadable, server);
  return certificate;
}

Result<std::unique_ptr<ImapConnection>> ImapConnection::open(const MailboxAddress& address,
                                                             std::string_view password,
                                                             const ImapConnectOptions& options) {
  initCurl();
  CURL* handle = curl_easy_init();
  const std::string server = address.server();
  if (!handle) return failure(MailboxFailure::CannotConnect, server, "out of memory");
  std::unique_ptr<ImapConnection> connection(new ImapConnection(handle, server, options.timeout));
  std::array<char, CURL_ERROR_SIZE> errorText{};
  const std::string url = server + "/";
  const std::string secret(password);
  const long seconds = static_cast<long>(
      std::max<std::chrono::milliseconds::rep>(1, options.timeout.count() / 1000));
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "imap,imaps");
  curl_easy_setopt(handle, CURLOPT_USERNAME, address.user.c_str());
  curl_easy_setopt(handle, CURLOPT_PASSWORD, secret.c_str());
  curl_easy_setopt(handle, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options.caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, options.caFile.c_str());
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, seconds);
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText.data());
  // Connect, TLS and login; the commands after it are sent by this class.
  curl_easy_setopt(handle, CURLOPT_CONNECT_ONLY, 1L);
  const CURLcode code = curl_easy_perform(handle);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
  if (code != CURLE_OK) return connectFailure(code, server, errorText.data());
  return connection;
}

ImapConnection::ImapConnection(void* handle, std::string server, std::chrono::milliseconds timeout)
    : handle_(handle), server_(std::move(server)), timeout_(timeout) {}

ImapConnection::~ImapConnection() {
  // A polite LOGOUT when the session still stands; its answer is not waited for.
  if (!buffer_.empty() || bytesReceived_ > 0) (void)send("z LOGOUT\r\n");
  curl_easy_cleanup(static_cast<CURL*>(handle_));
}

bool ImapConnection::waitFor(short events) {
  curl_socket_t socket = CURL_SOCKET_BAD;
  if (curl_easy_getinfo(static_cast<CURL*>(handle_), CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK ||
      socket == CURL_SOCKET_BAD)
    return false;
  pollfd wanted{socket, events, 0};
  return ::poll(&wanted, 1, static_cast<int>(timeout_.count())) > 0;
}

Status ImapConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    std::size_t sent = 0;
    const CURLcode code =
        curl_easy_send(static_cast<CURL*>(handle_), bytes.data(), bytes.size(), &sent);
    if (code == CURLE_AGAIN) {
      if (!waitFor(POLLOUT))
        return failure(MailboxFailure::ConnectionLost, server_, "the server takes no data");
      continue;
    }
    if (code != CURLE_OK)
      return failure(MailboxFailure::ConnectionLost, server_, curl_easy_strerror(code));
    bytes.remove_prefix(sent);
  }
  return {};
}

Status ImapConnection::receiveMore() {
  if (consumed_ > 0 && consumed_ * 2 >= buffer_.size()) {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
  }
  std::array<char, kReceiveChunk> chunk{};
  while (true) {
    std::size_t got = 0;
    const CURLcode code =
        curl_easy_recv(static_cast<CURL*>(handle_), chunk.data(), chunk.size(), &got);
    if (code == CURLE_AGAIN) {
      if (!waitFor(POLLIN))
        return failure(MailboxFailure::ConnectionLost, server_, "no answer in time");
      continue;
    }
    if (code != CURLE_OK)
      return failure(MailboxFailure::ConnectionLost, server_, curl_easy_strerror(code));
    if (got == 0)
      return failure(MailboxFailure::ConnectionLost, server_, "the server closed the connection");
    buffer_.append(chunk.data(), got);
    bytesReceived_ += got;
    return {};
  }
}

Result<ImapResponse> ImapConnection::nextResponse() {
  while (true) {
    const std::string_view pending = std::string_view(buffer_).substr(consumed_);
    const std::optional<std::size_t> length = imapResponseLength(pending);
    if (!length) return failure(MailboxFailure::AnswerUnreadable, server_);
    if (*length > 0) {
      std::optional<ImapResponse> response = parseImapResponse(pending.substr(0, *length));
      consumed_ += *length;
      if (!response) return failure(MailboxFailure::AnswerUnreadable, server_);
      return std::move(*response);
    }
    if (Status more = receiveMore(); !more) return more.failure();
  }
}

Result<ImapResponse> ImapConnection::command(
    std::string_view command, const std::function<void(ImapResponse&&)>& onUntagged) {
  const std::string tag = "v" + std::to_string(nextTag_++);
  if (Status sent = send(tag + " " + std::string(command) + "\r\n"); !sent) return sent.failure();
  while (true) {
    Result<ImapResponse> response = nextResponse();
    if (!response) return response.failure();
    ImapResponse& got = response.value();
    if (got.tag == tag) return std::move(got);
    if (got.tag == "*" && got.isStatus("BYE"))
      return failure(MailboxFailure::ConnectionLost, server_, got.statusText);
    if (got.tag == "*" && onUntagged) onUntagged(std::move(got));
  }
}

}  // namespace vantrel::answers
