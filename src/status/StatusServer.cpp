// The status server's thread, its connection limits and the hand-over of
// requests to the routing of status/StatusRequest.h.
#include "status/StatusServer.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <map>
#include <memory>

#include "common/Seams.h"
#include "status/StatusRequest.h"

namespace karvo {

namespace {

const char* MethodName(QHttpServerRequest::Method m) {
  switch (m) {
    case QHttpServerRequest::Method::Get:
      return "GET";
    case QHttpServerRequest::Method::Head:
      return "HEAD";
    case QHttpServerRequest::Method::Post:
      return "POST";
    case QHttpServerRequest::Method::Put:
      return "PUT";
    case QHttpServerRequest::Method::Delete:
      return "DELETE";
    case QHttpServerRequest::Method::Options:
      return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
      return "PATCH";
    default:
      break;
  }
  return "OTHER";
}

void RefuseConnection(QTcpSocket* socket, const char* reply) {
  socket->readAll();
  socket->write(reply);
  socket->disconnectFromHost();
  // A peer that never reads does not keep the socket.
  QTimer::singleShot(2000, socket, [socket] { socket->abort(); });
}

}  // namespace

// Counts connections, watches each request head's size and idle time, and
// hands accepted sockets to the HTTP library. At the limit a new connection
// takes the place of the one idle longest between requests (a client
// reopens a kept-alive connection that was closed); only when every
// connection is inside a request is it refused.
class TStatusTcpServer : public QTcpServer {
 public:
  TStatusTcpServer(TStatusServer& owner, int idleMs, QObject* parent)
      : QTcpServer(parent), fOwner(owner), fIdleMs(idleMs) {
    fClock.start();
  }

 protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
      delete socket;
      return;
    }
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (static_cast<int>(fConnections.size()) >= TStatusServer::kMaxConnections && !CloseLongestIdle()) {
      RefuseConnection(socket,
                       "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 0\r\n"
                       "Retry-After: 2\r\n\r\n");
      return;
    }
    auto state = std::make_shared<TConnection>();
    state->LastActive = fClock.elapsed();
    fConnections[socket] = state;
    fOwner.fOpen = static_cast<int>(fConnections.size());
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Forget(socket); });
    QObject::connect(socket, &QObject::destroyed, this, [this, socket] { Forget(socket); });
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->start(fIdleMs);
    QObject::connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
    QObject::connect(socket, &QTcpSocket::bytesWritten, idle, [idle, state, this] {
      idle->start(fIdleMs);
      state->LastActive = fClock.elapsed();
    });
    // Connected before the HTTP library's own reader, so it sees each
    // fragment first.
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, idle, state, this] {
      idle->start(fIdleMs);
      state->LastActive = fClock.elapsed();
      const QByteArray data = socket->peek(socket->bytesAvailable());
      for (const char c : data) {
        state->LastFour = (state->LastFour << 8) | static_cast<unsigned char>(c);
        if (state->LastFour == 0x0D0A0D0Au) {
          state->HeadBytes = 0;
        } else if (++state->HeadBytes > TStatusServer::kMaxHeadBytes) {
          RefuseConnection(socket,
                           "HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\n"
                           "Content-Length: 0\r\n\r\n");
          return;
        }
      }
      CountInsideRequests();
    });
    addPendingConnection(socket);
  }

 private:
  struct TConnection {
    int HeadBytes = 0;           // of the request head being received
    std::uint32_t LastFour = 0;  // the last four bytes received
    qint64 LastActive = 0;       // ms on fClock
  };

  void Forget(QTcpSocket* socket) {
    fConnections.erase(socket);
    fOwner.fOpen = static_cast<int>(fConnections.size());
    CountInsideRequests();
  }

  void CountInsideRequests() {
    int inside = 0;
    for (const auto& entry : fConnections) inside += entry.second->HeadBytes > 0 ? 1 : 0;
    fOwner.fInsideRequest = inside;
  }

  // Closes the connection idle longest between two requests; false when
  // every one is inside a request.
  bool CloseLongestIdle() {
    QTcpSocket* oldest = nullptr;
    qint64 since = 0;
    for (const auto& [socket, state] : fConnections) {
      const bool busy = state->HeadBytes > 0 || socket->bytesAvailable() > 0 || socket->bytesToWrite() > 0;
      if (!busy && (!oldest || state->LastActive < since)) {
        oldest = socket;
        since = state->LastActive;
      }
    }
    if (!oldest) return false;
    Forget(oldest);
    oldest->disconnectFromHost();
    return true;
  }

  TStatusServer& fOwner;
  const int fIdleMs;
  QElapsedTimer fClock;
  std::map<QTcpSocket*, std::shared_ptr<TConnection>> fConnections;
};

// Every request reaches handleRequest; the routing is ours.
class TStatusHttp : public QAbstractHttpServer {
 public:
  TStatusHttp(TStatusServer& owner, QObject* parent) : QAbstractHttpServer(parent), fOwner(owner) {}

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
    TStatusRequest r;
    r.Method = MethodName(request.method());
    const QUrl url = request.url();
    r.Target = url.path(QUrl::FullyEncoded).toStdString();
    if (url.hasQuery()) r.Target += "?" + url.query(QUrl::FullyEncoded).toStdString();
    for (const auto& [name, value] : request.headers()) r.Headers.emplace_back(name.toStdString(), value.toStdString());
    const std::shared_ptr<const TStatusSnapshot> snapshot = fOwner.Current();
    const TStatusResponse response = RespondToStatusRequest(r, snapshot.get(), fOwner.fToken, UtcNow());
    if (r.Method == "GET" && response.Status != 401) {
      const TStatusTarget target = ParseStatusTarget(r.Target);
      if (target.Route == TStatusRoute::Chart && !target.BadQuery)
        fOwner.ChartAsked(target.Range, response.ChartPending.has_value());
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(response.Status));
    if (!response.ContentType.empty())
      responder.writeHeader("Content-Type", QByteArray::fromStdString(response.ContentType));
    for (const auto& [name, value] : response.Headers)
      responder.writeHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    responder.writeHeader("Content-Length", QByteArray::number(static_cast<qulonglong>(response.Body.size())));
    responder.writeBody(response.Body.data(), static_cast<qint64>(response.Body.size()));
    // The library keeps every connection open; one the client asked to
    // close goes once the answer is out.
    if (request.value("connection").toLower() == "close") socket->disconnectFromHost();
    return true;
  }
  void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

 private:
  TStatusServer& fOwner;
};

TStatusServer::TStatusServer() {
  for (auto& t : fChartAsked) t.store(0.0);
}

TStatusServer::~TStatusServer() {
  if (!fContext) return;
  QMetaObject::invokeMethod(
      fContext, [this] { qDeleteAll(fContext->children()); }, Qt::BlockingQueuedConnection);
  fThread.quit();
  fThread.wait();
  delete fContext;
}

std::string TStatusServer::Start(const TStatusOptions& options, int idleMs) {
  if (fContext) return "the status server runs already";
  fBind = options.Bind;
  // A token in the settings is asked for on every address.
  fToken = options.Token;
  const QString bind = QString::fromStdString(options.Bind);
  QHostAddress address;
  if (bind == QLatin1String("localhost"))
    address = QHostAddress::LocalHost;
  else if (!address.setAddress(bind.startsWith(QLatin1Char('[')) ? bind.mid(1, bind.size() - 2) : bind))
    return "\"" + options.Bind + "\" is not an IP address";
  if (!IsLoopbackAddress(options.Bind) && fToken.empty()) return "an address beyond loopback needs a token";
  fThread.setObjectName(QStringLiteral("status server"));
  fContext = new QObject;
  fContext->moveToThread(&fThread);
  fThread.start();
  std::string error;
  QMetaObject::invokeMethod(
      fContext,
      [&] {
        auto* tcp = new TStatusTcpServer(*this, idleMs, fContext);
        if (!tcp->listen(address, options.Port.value_or(0))) {
          error = "cannot listen on " + options.Bind + ":" + std::to_string(options.Port.value_or(0)) + ": " +
                  tcp->errorString().toStdString();
          delete tcp;
          return;
        }
        fPort = tcp->serverPort();
        auto* http = new TStatusHttp(*this, fContext);
        http->bind(tcp);
      },
      Qt::BlockingQueuedConnection);
  if (!error.empty()) {
    fThread.quit();
    fThread.wait();
    delete fContext;
    fContext = nullptr;
  }
  return error;
}

std::string TStatusServer::Url() const {
  const bool v6 = fBind.find(':') != std::string::npos && fBind.front() != '[';
  return "http://" + (v6 ? "[" + fBind + "]" : fBind) + ":" + std::to_string(fPort) + "/";
}

void TStatusServer::Publish(std::shared_ptr<const TStatusSnapshot> snapshot) {
  std::lock_guard lock(fMutex);
  fSnapshot.swap(snapshot);
  // The old snapshot is freed outside the lock (below, by `snapshot`).
}

std::shared_ptr<const TStatusSnapshot> TStatusServer::Current() const {
  std::lock_guard lock(fMutex);
  return fSnapshot;
}

bool TStatusServer::ChartWanted(TStatusChartRange range) const {
  const double asked = fChartAsked[static_cast<std::size_t>(range)].load();
  return asked > 0 && (UtcNow() - asked) * kSecondsPerDay < kChartInterestSeconds;
}

void TStatusServer::ChartAsked(TStatusChartRange range, bool missing) {
  fChartAsked[static_cast<std::size_t>(range)].store(UtcNow());
  if (missing && fChartMissing) fChartMissing(range);
}

}  // namespace karvo
