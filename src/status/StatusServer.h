#pragma once
// The status server: Qt HttpServer on a thread of its own, answering from
// the snapshot last published (status/StatusRequest.h decides every answer).
// Publishing swaps one pointer under a short lock; no lock is held while a
// request is answered, and nothing of the server runs on the user-interface
// thread. Limits: 64 connections at once (a new one takes the place of the
// one idle longest between requests; 503 when all are inside a request),
// a request head of at most 8 KiB (431 and closed), and a connection idle
// for the idle time is closed.

#include <QThread>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "status/StatusConfig.h"
#include "status/StatusSnapshot.h"

class QObject;

namespace karvo {

class TStatusServer {
 public:
  static constexpr int kMaxConnections = 64;
  static constexpr int kMaxHeadBytes = 8192;
  static constexpr int kIdleMs = 30000;
  // A chart is drawn at every tick while it was asked for within this time.
  static constexpr double kChartInterestSeconds = 300.0;

  TStatusServer();
  // Closes every connection and ends the thread.
  ~TStatusServer();
  TStatusServer(const TStatusServer&) = delete;
  TStatusServer& operator=(const TStatusServer&) = delete;

  // Listens on options.Bind:options.Port (port 0: any free one, for tests);
  // options.Token, when set, is asked for (it must be set for an address
  // beyond loopback). Returns
  // the error text, empty on success.
  std::string Start(const TStatusOptions& options, int idleMs = kIdleMs);
  std::uint16_t Port() const { return fPort; }
  // "http://127.0.0.1:8080/".
  std::string Url() const;

  // Any thread: the snapshot requests are answered from from now on.
  void Publish(std::shared_ptr<const TStatusSnapshot> snapshot);
  std::shared_ptr<const TStatusSnapshot> Current() const;

  // Whether the chart of `range` was asked for lately.
  bool ChartWanted(TStatusChartRange range) const;
  // Called on the server's thread when a chart was asked for that the
  // snapshot does not carry (the feed draws it on its own thread).
  void SetChartMissingHandler(std::function<void(TStatusChartRange)> handler) { fChartMissing = std::move(handler); }

  // Connections open now, and those of them whose request head the server
  // has begun to receive (tests).
  int OpenConnections() const { return fOpen.load(); }
  int ConnectionsInsideRequest() const { return fInsideRequest.load(); }

 private:
  friend class TStatusHttp;
  friend class TStatusTcpServer;
  void ChartAsked(TStatusChartRange range, bool missing);

  QThread fThread;
  QObject* fContext = nullptr;  // lives on fThread; parent of the server objects
  std::string fBind;
  std::string fToken;
  std::uint16_t fPort = 0;
  std::atomic<int> fOpen{0};
  std::atomic<int> fInsideRequest{0};
  mutable std::mutex fMutex;
  std::shared_ptr<const TStatusSnapshot> fSnapshot;
  std::array<std::atomic<double>, kStatusChartRanges> fChartAsked{};
  std::function<void(TStatusChartRange)> fChartMissing;
};

}  // namespace karvo
