#include "tests/support/qt/FormMailReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTcpSocket>

namespace vantrel::test {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

QByteArray decodeComponent(const QByteArray& text) {
  QByteArray bytes;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      bytes += ' ';
    } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
               hexValue(text[i + 2]) >= 0) {
      bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      bytes += c;
    }
  }
  return bytes;
}

// Parsed once the head is complete and the body as long as Content-Length says.
bool parseRequest(const QByteArray& data, ReceivedRequest& request) {
  const qsizetype headEnd = data.indexOf("\r\n\r\n");
  if (headEnd < 0) return false;
  const QList<QByteArray> lines = data.left(headEnd).split('\n');
  const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
  if (requestLine.size() != 3) return false;
  request.method = requestLine[0];
  request.path = requestLine[1];
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const qsizetype colon = lines[i].indexOf(':');
    if (colon > 0) {
      request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                             lines[i].mid(colon + 1).trimmed());
    }
  }
  bool ok = false;
  const qsizetype length = request.headers.value("content-length", "0").toLongLong(&ok);
  if (!ok || length < 0 || data.size() - (headEnd + 4) < length) return false;
  request.body = data.mid(headEnd + 4, length);
  return true;
}

}  // namespace

QList<QPair<QByteArray, QByteArray>> decodeFormBody(const QByteArray& body) {
  QList<QPair<QByteArray, QByteArray>> pairs;
  if (body.isEmpty()) return pairs;
  for (const QByteArray& part : body.split('&')) {
    const qsizetype equals = part.indexOf('=');
    if (equals < 0) {
      pairs.append({decodeComponent(part), QByteArray()});
    } else {
      pairs.append({decodeComponent(part.left(equals)), decodeComponent(part.mid(equals + 1))});
    }
  }
  return pairs;
}

qintptr listenOnLoopback(quint16& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

bool FormMailReceiver::adopt(qintptr listeningSocket) {
  if (!server_.setSocketDescriptor(listeningSocket)) return false;
  connect(&server_, &QTcpServer::newConnection, this, &FormMailReceiver::accept);
  return true;
}

void FormMailReceiver::accept() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    pending_.insert(socket, QByteArray());
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
      pending_.remove(socket);
      socket->deleteLater();
    });
  }
}

void FormMailReceiver::readFrom(QTcpSocket* socket) {
  QByteArray& data = pending_[socket];
  data += socket->readAll();
  ReceivedRequest request;
  if (!parseRequest(data, request)) return;
  data.clear();
  requests_.append(request);
  socket->write(
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
      "Content-Length: " +
      QByteArray::number(kAnswer.size()) + "\r\n\r\n" + kAnswer);
  socket->disconnectFromHost();
  emit received();
}

}  // namespace vantrel::test
