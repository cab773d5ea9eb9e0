#include "tests/support/DovecotServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace vantrel::test {
namespace {

constexpr const char* kDovecot = "/usr/sbin/dovecot";
constexpr const char* kOpenssl = "/usr/bin/openssl";

// A port of 127.0.0.1 that the system gave and that was free a moment ago.
int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

bool accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool connected =
      fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return connected;
}

// Runs a program with its arguments, output to `log`; its exit status.
int run(const std::vector<std::string>& arguments, const fs::path& log) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string nameOfUser(unsigned uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry ? entry->pw_name : std::to_string(uid);
}

std::string nameOfGroup(unsigned gid) {
  const group* entry = ::getgrgid(gid);
  return entry ? entry->gr_name : std::to_string(gid);
}

void chownTree(const fs::path& root, unsigned uid, unsigned gid) {
  (void)::chown(root.c_str(), uid, gid);
  std::error_code ignored;
  for (auto entry = fs::recursive_directory_iterator(root, ignored);
       entry != fs::recursive_directory_iterator(); entry.increment(ignored))
    (void)::lchown(entry->path().c_str(), uid, gid);
}

}  // namespace

bool DovecotServer::available() { return fs::exists(kDovecot) && fs::exists(kOpenssl); }

DovecotServer::DovecotServer(const fs::path& folder)
    : folder_(folder),
      maildir_(folder / "Maildir"),
      certificate_(folder / "server.pem"),
      configuration_(folder / "dovecot.conf") {
  mailUid_ = ::geteuid();
  mailGid_ = ::getegid();
  if (mailUid_ == 0) {
    // Dovecot's mail processes refuse to run as root.
    const passwd* dovecot = ::getpwnam("dovecot");
    if (!dovecot) throw std::runtime_error("no user dovecot");
    mailUid_ = dovecot->pw_uid;
    mailGid_ = dovecot->pw_gid;
  }
  for (const char* sub : {"Maildir/cur", "Maildir/new", "Maildir/tmp", "home", "state"})
    fs::create_directories(folder_ / sub);
  // The mail processes, of another user under root, reach the Maildir through the test's
  // folders: they may pass them, not list them.
  for (const fs::path& passed : {folder_.parent_path(), folder_})
    fs::permissions(passed, fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
  imapsPort_ = freePort();
  imapPort_ = freePort();
  makeCertificate();
  writeConfiguration();
  handOver();
  if (run({kDovecot, "-c", configuration_.string()}, folder_ / "start.log") != 0)
    throw std::runtime_error("dovecot did not start: see " + (folder_ / "start.log").string());
  waitUntilListening();
}

DovecotServer::~DovecotServer() {
  (void)run({kDovecot, "-c", configuration_.string(), "stop"}, folder_ / "start.log");
  // The master removes its pid file when it has stopped every process of its own.
  const fs::path pidFile = folder_ / "base" / "master.pid";
  for (int i = 0; i < 100 && fs::exists(pidFile); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

std::string DovecotServer::imapsAddress(const std::string& folder) const {
  return "imaps://" + user() + "@127.0.0.1:" + std::to_string(imapsPort_) + "/" + folder;
}

void DovecotServer::makeCertificate() const {
  const fs::path key = folder_ / "server.key";
  const int status = run({kOpenssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                          key.string(), "-out", certificate_.string(), "-days", "2", "-subj",
                          "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"},
                         folder_ / "openssl.log");
  if (status != 0) throw std::runtime_error("openssl made no certificate");
}

void DovecotServer::writeConfiguration() const {
  const bool root = ::geteuid() == 0;
  const std::string self = nameOfUser(::geteuid());
  std::ofstream out(configuration_);
  out << "base_dir = " << (folder_ / "base").string() << "\n"
      << "state_dir = " << (folder_ / "state").string() << "\n"
      << "log_path = " << (folder_ / "dovecot.log").string() << "\n"
      << "listen = 127.0.0.1\n"
      << "protocols = imap\n"
      << "ssl = required\n"
      << "ssl_cert = <" << certificate_.string() << "\n"
      << "ssl_key = <" << (folder_ / "server.key").string() << "\n"
      << "disable_plaintext_auth = yes\n"
      << "auth_mechanisms = plain login\n"
      << "first_valid_uid = " << mailUid_ << "\n"
      << "first_valid_gid = " << mailGid_
      << "\n"
      // Under root the login processes run as Dovecot's own users; otherwise all as this one.
      << "default_internal_user = " << (root ? "dovecot" : self) << "\n"
      << "default_internal_group = " << (root ? "dovecot" : nameOfGroup(::getegid())) << "\n"
      << "default_login_user = " << (root ? "dovenull" : self) << "\n"
      << "mail_location = maildir:" << maildir_.string() << ":LAYOUT=fs\n"
      << "passdb {\n  driver = static\n  args = password=" << password() << "\n}\n"
      << "userdb {\n  driver = static\n  args = uid=" << mailUid_ << " gid=" << mailGid_
      << " home=" << (folder_ / "home").string() << "\n}\n"
      << "service imap-login {\n"
      << (root ? "" : "  chroot =\n") << "  inet_listener imap {\n    port = " << imapPort_
      << "\n  }\n"
      << "  inet_listener imaps {\n    port = " << imapsPort_ << "\n    ssl = yes\n  }\n}\n";
  if (!root) out << "service anvil {\n  chroot =\n}\n";
  if (!out) throw std::runtime_error("cannot write " + configuration_.string());
}

void DovecotServer::waitUntilListening() const {
  for (int i = 0; i < 200; ++i) {
    if (accepts(imapsPort_) && accepts(imapPort_)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  throw std::runtime_error("dovecot does not listen: see " + (folder_ / "dovecot.log").string());
}

void DovecotServer::handOver() const {
  if (::geteuid() == 0) {
    chownTree(maildir_, mailUid_, mailGid_);
    chownTree(folder_ / "home", mailUid_, mailGid_);
  }
}

void DovecotServer::renumberFolder() const {
  // The list of UIDs begins "3 V<uidvalidity> N<next uid> ..."; the indexes keep the number too
  // and are made anew from the list.
  const fs::path list = maildir_ / "dovecot-uidlist";
  std::ifstream in(list);
  std::stringstream text;
  text << in.rdbuf();
  in.close();
  std::string content = text.str();
  std::smatch found;
  if (!std::regex_search(content, found, std::regex(R"( V(\d+) )")))
    throw std::runtime_error("no UIDVALIDITY in " + list.string());
  const unsigned long next = std::stoul(found[1].str()) + 1000;
  content.replace(static_cast<std::size_t>(found.position(1)),
                  static_cast<std::size_t>(found.length(1)), std::to_string(next));
  std::ofstream(list, std::ios::trunc) << content;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(maildir_, ignored)) {
    if (entry.path().filename().string().starts_with("dovecot.index"))
      fs::remove(entry.path(), ignored);
  }
  handOver();
}

}  // namespace vantrel::test
