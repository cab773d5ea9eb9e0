#pragma once
// A private Dovecot IMAP server for the tests and benchmarks of the mailbox reader: its own
// configuration, base and state folders inside a test's folder, a self-signed certificate made
// with openssl, one user with a static password, listening on free ports of 127.0.0.1 (IMAP with
// STARTTLS and IMAPS) and serving one Maildir. Stopped when the object goes; no system service
// is touched.

#include <filesystem>
#include <string>

namespace vantrel::test {

class DovecotServer {
 public:
  // False when Dovecot or openssl is not installed (scripts/setup.sh brings them).
  static bool available();

  // Starts the server in `folder` (its Maildir is folder/Maildir); throws when it does not come up.
  explicit DovecotServer(const std::filesystem::path& folder);
  ~DovecotServer();
  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;

  [[nodiscard]] int imapsPort() const { return imapsPort_; }
  [[nodiscard]] int imapPort() const { return imapPort_; }
  [[nodiscard]] const std::filesystem::path& certificate() const { return certificate_; }
  [[nodiscard]] const std::filesystem::path& maildir() const { return maildir_; }
  [[nodiscard]] static std::string user() { return "vereinspost"; }
  [[nodiscard]] static std::string password() { return "Geheim-42"; }
  // "imaps://vereinspost@127.0.0.1:PORT/INBOX"
  [[nodiscard]] std::string imapsAddress(const std::string& folder = "INBOX") const;

  // Makes what the test wrote into the Maildir readable for the server's mail processes (they
  // never run as root: under root the Maildir is handed to the user "dovecot").
  void handOver() const;
  // Gives the folder a new UIDVALIDITY, as a server does when it renumbers a folder.
  void renumberFolder() const;

 private:
  void writeConfiguration() const;
  void makeCertificate() const;
  void waitUntilListening() const;

  std::filesystem::path folder_;
  std::filesystem::path maildir_;
  std::filesystem::path certificate_;
  std::filesystem::path configuration_;
  int imapsPort_ = 0;
  int imapPort_ = 0;
  unsigned mailUid_ = 0;
  unsigned mailGid_ = 0;
};

}  // namespace vantrel::test
