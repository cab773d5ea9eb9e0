#pragma once
// A tiny HTTP server on 127.0.0.1 that stands in for the form-mail script: it takes one POST
// per connection, keeps what arrived and answers with a short thank-you page.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>

class QTcpSocket;

namespace vantrel::test {

struct ReceivedRequest {
  QByteArray method;
  QByteArray path;
  QHash<QByteArray, QByteArray> headers;  // names in lower case
  QByteArray body;
};

// application/x-www-form-urlencoded, decoded to bytes: "+" is a blank, %XX one byte.
QList<QPair<QByteArray, QByteArray>> decodeFormBody(const QByteArray& body);

class FormMailReceiver : public QObject {
  Q_OBJECT
 public:
  // Takes over a socket that is already listening, so that its port could be handed to the
  // browser engine before the application existed.
  bool adopt(qintptr listeningSocket);
  const QList<ReceivedRequest>& requests() const { return requests_; }

  static inline const QByteArray kAnswer = "<html><body>Danke</body></html>";

 signals:
  void received();

 private:
  void accept();
  void readFrom(QTcpSocket* socket);

  QTcpServer server_;
  QHash<QTcpSocket*, QByteArray> pending_;
  QList<ReceivedRequest> requests_;
};

// A listening socket on 127.0.0.1 with a port of the system's choice; -1 on failure.
qintptr listenOnLoopback(quint16& port);

}  // namespace vantrel::test
