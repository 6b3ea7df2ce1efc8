#pragma once
// One raw HTTP/1.1 exchange with a server on loopback, for the status
// server's tests.

#include <QByteArray>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <cstdint>

namespace karvo {

// One raw HTTP exchange: sends `bytes`, reads until the peer closes or the
// reply's announced length has arrived.
inline QByteArray Exchange(std::uint16_t port, const QByteArray& bytes, int limitMs = 5000) {
  QTcpSocket s;
  s.connectToHost(QStringLiteral("127.0.0.1"), port);
  if (!s.waitForConnected(limitMs)) return {};
  s.write(bytes);
  s.waitForBytesWritten(limitMs);
  QByteArray reply;
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < limitMs) {
    if (s.bytesAvailable() == 0 && !s.waitForReadyRead(100) && s.state() != QAbstractSocket::ConnectedState) break;
    reply += s.readAll();
    const qsizetype end = reply.indexOf("\r\n\r\n");
    if (end >= 0) {
      const qsizetype at = reply.toLower().indexOf("content-length:");
      if (at >= 0 && at < end) {
        const qsizetype nl = reply.indexOf("\r\n", at);
        const qsizetype length = reply.mid(at + 15, nl - at - 15).trimmed().toLongLong();
        if (reply.size() >= end + 4 + length) break;
      }
    }
  }
  return reply;
}

// The status code and body of a reply.
inline std::pair<int, QByteArray> StatusAndBody(const QByteArray& reply) {
  const qsizetype end = reply.indexOf("\r\n\r\n");
  if (end < 0 || !reply.startsWith("HTTP/1.1 ")) return {0, {}};
  return {reply.mid(9, 3).toInt(), reply.mid(end + 4)};
}

}  // namespace karvo
