#pragma once
// The main window against the simulated controller (WindowTest) feeding a
// status server on a free loopback port, as the program runs them.

#include "HttpExchange.h"
#include "status/StatusFeed.h"
#include "window/WindowFixture.h"

namespace karvo::test {

class StatusWindowFixture : public WindowTest {
 protected:
  StatusWindowFixture() {
    TStatusOptions o;
    o.Port = 0;
    EXPECT_EQ(server_.Start(o), "");
    feed_ = std::make_unique<TStatusFeed>(*form, server_);
    form->TickShown = [this](const TTickOutcome& out) { feed_->TickShown(out); };
  }
  ~StatusWindowFixture() override {
    form->TickShown = nullptr;
    feed_.reset();
  }
  // Body of a GET, with its status code.
  std::pair<int, QByteArray> Get(const QByteArray& target) {
    return StatusAndBody(Exchange(server_.Port(), "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n"));
  }
  std::string Json() { return Get("/status.json").second.toStdString(); }

  TStatusServer server_;
  std::unique_ptr<TStatusFeed> feed_;
};

}  // namespace karvo::test
