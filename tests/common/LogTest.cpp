#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/Log.h"
#include "common/Text.h"

using karvo::LogLine;
using karvo::MemoryLog;

TEST(LogLine, DefaultSinkKeepsLinesAndEmptyTextIsAnEmptyLine) {
  MemoryLog::Clear();
  LogLine("first");
  LogLine();
  LogLine(static_cast<const char*>(nullptr));
  LogLine(std::wstring(L"Temperature 20 \u00baC"));
  LogLine(L"");
  const std::vector<std::string> expected{"first", "", "", karvo::WideToUtf8(L"Temperature 20 \u00baC"), ""};
  EXPECT_EQ(MemoryLog::Lines(), expected);
}

TEST(LogLine, InstalledSinkReceivesLinesAndDefaultReturns) {
  MemoryLog::Clear();
  std::vector<std::string> got;
  {
    karvo::ScopedLogSink sink([&](const std::string& l) { got.push_back(l); });
    LogLine("to sink");
  }
  LogLine("to memory");
  EXPECT_EQ(got, std::vector<std::string>{"to sink"});
  EXPECT_EQ(MemoryLog::Lines(), std::vector<std::string>{"to memory"});
}

TEST(LogLine, LinesOfEachThreadArriveWholeAndInTheirOrder) {
  std::vector<std::string> got;  // the sink is never called concurrently
  karvo::ScopedLogSink sink([&](const std::string& l) { got.push_back(l); });
  constexpr int kThreads = 4, kLines = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) LogLine(std::to_string(t) + ":" + std::to_string(i));
    });
  for (auto& th : threads) th.join();
  ASSERT_EQ(got.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (const auto& l : got) {
    const auto colon = l.find(':');
    ASSERT_NE(colon, std::string::npos) << l;
    const int t = std::stoi(l.substr(0, colon));
    EXPECT_EQ(std::stoi(l.substr(colon + 1)), next[t]++) << "thread " << t;
  }
}

TEST(LogLine, SinkMayLogItself) {
  std::vector<std::string> got;
  karvo::ScopedLogSink sink([&](const std::string& l) {
    got.push_back(l);
    if (l == "outer") LogLine("inner");
  });
  LogLine("outer");
  EXPECT_EQ(got, (std::vector<std::string>{"outer", "inner"}));
}
