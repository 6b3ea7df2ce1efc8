#pragma once
// A simulated controller on a pseudo-terminal for the furnace tests (its
// furnace standing still), with a record of the request frames it received
// and of the pauses the program asked for.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Seams.h"
#include "sim/SimController.h"

namespace karvo::test {

class SimFixture : public ::testing::Test {
 protected:
  SimFixture()
      : sim_(Options()), pauses_(seams::SetPause, [this](std::uint32_t ms) {
          std::lock_guard lock(m_);
          pauseLog_.push_back(ms);
        }) {
    sim_.Start();
  }

  sim::SimController& Sim() { return sim_; }
  std::string Port() const { return sim_.DevicePath(); }

  // The request frames received so far, in hexadecimal ("01 03 00 01 00 06
  // 94 08"), in order.
  std::vector<std::string> RequestFrames() {
    std::lock_guard lock(m_);
    std::vector<std::string> frames;
    for (const std::string& line : trace_) {
      if (line.rfind("<- ", 0) == 0) frames.push_back(line.substr(3, line.find(" (") - 3));
    }
    return frames;
  }
  // Requests received so far with the given function code (3 read, 6 write).
  int Requests(std::uint8_t function) {
    std::lock_guard lock(m_);
    int n = 0;
    for (const std::string& line : trace_) {
      unsigned address = 0, code = 0;
      if (std::sscanf(line.c_str(), "<- %x %x", &address, &code) == 2 && code == function) ++n;
    }
    return n;
  }
  // Waits until at least n such requests have come (writes are not waited
  // for by the program, so they may still be on their way).
  bool WaitForRequests(std::uint8_t function, int n) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Requests(function) < n) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  std::vector<std::uint32_t> Pauses() {
    std::lock_guard lock(m_);
    return pauseLog_;
  }

  // Called from the simulator's thread after each reply has gone out.
  std::function<void(int repliesSoFar)> afterReply;

 private:
  sim::SimOptions Options() {
    sim::SimOptions o;
    o.Seed = 7;
    o.Speed = 0.0;  // the furnace stands still: values read are values set
    o.Trace = [this](const std::string& line) {
      int replies = 0;
      {
        std::lock_guard lock(m_);
        trace_.push_back(line);
        if (line.rfind("-> ", 0) == 0) replies = ++replies_;
      }
      if (replies > 0 && afterReply) afterReply(replies);
    };
    return o;
  }

  std::mutex m_;
  std::vector<std::string> trace_;
  int replies_ = 0;
  std::vector<std::uint32_t> pauseLog_;
  sim::SimController sim_;
  seams::Scoped<seams::PauseFn> pauses_;
};

}  // namespace karvo::test
