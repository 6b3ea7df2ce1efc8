// The status server's Qt-free side: rendering, routing, token, settings.
#include <gtest/gtest.h>
#include "status/StatusConfig.h"
#include "status/StatusRequest.h"
#include "status/StatusSnapshot.h"

namespace karvo {
namespace {

constexpr TDateTime kNow = 46000.5;  // an instant, days

TStatusSnapshot Running() {
  TStatusSnapshot s;
  s.Sequence = 7;
  s.PublishedUtc = kNow;
  s.PollIntervalMs = 2500;
  s.FurnaceName = "Kiln \"A\"\\2\n";
  s.Connection = "connected";
  s.Temperature = 812.25;
  s.TargetSetpoint = 820;
  s.WorkingSetpoint = 815;
  s.RampRate = 50;
  s.RateOfChange = -0.125;
  s.OutputPowerLimit = 75.0;
  s.WorkingOutput = 42.5;
  s.LastPollUtc = kNow - 3.0 / kSecondsPerDay;
  s.Lamps[0].State = TStatusLampState::On;
  s.Lamps[1].State = TStatusLampState::Blinking;
  s.StableSeconds = 65;
  s.StableTime = "00:01:05";
  s.Segment = 2;
  s.ProgramTable = {"Seg Setpoint", "</script><b>"};
  s.LogLines = {
      "Temperature : 812.3 \xC2\xBA"
      "C",
      "bad \xFF byte"};
  s.PollsConsumed = 10;
  s.PollsFailed = 1;
  s.JournalWaiting = 0;
  return s;
}

TEST(StatusJson, CarriesEveryValueAndNullsForWhatIsUnknown) {
  const std::string running = RenderStatusJson(Running(), kNow);
  for (const char* part :
       {"\"furnace_name\":\"Kiln \\\"A\\\"\\\\2\\u000a\"", "\"connection\":\"connected\"", "\"temperature_c\":812.25",
        "\"target_setpoint_c\":820", "\"working_setpoint_c\":815", "\"ramp_rate\":50",
        "\"rate_of_change_c_per_min\":-0.125", "\"output_power_limit_percent\":75", "\"working_output_percent\":42.5",
        "{\"key\":\"slope\",\"name\":\"Very low rate of change\",\"state\":\"blinking\"}", "\"stable_s\":65",
        "\"segment\":2", "\"polls_consumed\":10", "\"polls_failed\":1", "\"journal_samples_waiting\":0",
        "\"last_poll_age_s\":3", "\"poll_interval_ms\":2500",
        // No "</script>" can end the page's script early; bad bytes become U+FFFD.
        "\"\\u003c/script\\u003e\\u003cb\\u003e\"", "\"bad \\ufffd byte\"",
        "\"Temperature : 812.3 \xC2\xBA"
        "C\""})
    EXPECT_NE(running.find(part), std::string::npos) << part << "\n" << running;

  const std::string stopped = RenderStatusJson(TStatusSnapshot{}, kNow);
  for (const char* part :
       {"\"temperature_c\":null", "\"target_setpoint_c\":null", "\"segment\":null", "\"last_poll_age_s\":null",
        "\"journal_samples_waiting\":null", "\"connection\":\"stopped\""})
    EXPECT_NE(stopped.find(part), std::string::npos) << part << "\n" << stopped;
  EXPECT_EQ(stopped.find("\":0,\"target"), std::string::npos) << "an unknown value must never read as 0";
}

TEST(StatusMetrics, LabelsEverySampleWithTheFurnaceAndLeavesOutUnknownValues) {
  const std::string m = RenderStatusMetrics(Running(), kNow);
  const std::string f = "{furnace=\"Kiln \\\"A\\\"\\\\2\\n\"";
  for (const std::string& line :
       {"karvo_temperature_celsius" + f + "} 812.25\n", "karvo_target_setpoint_celsius" + f + "} 820\n",
        "karvo_output_power_limit_percent" + f + "} 75\n", "karvo_working_output_percent" + f + "} 42.5\n",
        "karvo_lamp_on" + f + ",lamp=\"oscillation\"} 1\n", "karvo_lamp_blinking" + f + ",lamp=\"slope\"} 1\n",
        "karvo_lamp_on" + f + ",lamp=\"time\"} 0\n", "karvo_segment" + f + "} 2\n",
        "karvo_stable_seconds" + f + "} 65\n", "karvo_polls_consumed_total" + f + "} 10\n",
        "karvo_polls_failed_total" + f + "} 1\n", "karvo_journal_samples_waiting" + f + "} 0\n",
        "karvo_last_poll_age_seconds" + f + "} 3\n", "karvo_connected" + f + "} 1\n",
        std::string("# TYPE karvo_polls_consumed_total counter\n")})
    EXPECT_NE(m.find(line), std::string::npos) << line << "\n" << m;

  const std::string stopped = RenderStatusMetrics(TStatusSnapshot{}, kNow);
  EXPECT_EQ(stopped.find("karvo_temperature_celsius{"), std::string::npos);
  EXPECT_EQ(stopped.find("karvo_last_poll_age_seconds{"), std::string::npos);
  EXPECT_NE(stopped.find("karvo_connected{furnace=\"\"} 0\n"), std::string::npos);
  // Every line is a comment or "name{labels} value".
  for (std::size_t at = 0; at < m.size();) {
    const std::size_t nl = m.find('\n', at);
    ASSERT_NE(nl, std::string::npos);
    const std::string line = m.substr(at, nl - at);
    EXPECT_TRUE(line.rfind("# ", 0) == 0 ||
                (line.find("} ") != std::string::npos && line.find('{') != std::string::npos))
        << line;
    at = nl + 1;
  }
}

TEST(StatusPage, HasNoOutsideResourcesAndEmbedsTheValues) {
  const std::string page = RenderStatusPage(Running(), kNow);
  EXPECT_EQ(page.find("http://"), std::string::npos);
  EXPECT_EQ(page.find("https://"), std::string::npos);
  EXPECT_EQ(page.find("<script src"), std::string::npos);
  EXPECT_NE(page.find("name=\"viewport\""), std::string::npos);
  EXPECT_NE(page.find("\"temperature_c\":812.25"), std::string::npos);
  EXPECT_EQ(page.find("</script><b>"), std::string::npos);
}

TStatusRequest Get(std::string target, std::vector<std::pair<std::string, std::string>> headers = {}) {
  return {"GET", std::move(target), std::move(headers)};
}

TEST(StatusRouting, ServesTheFourPathsAndNothingElse) {
  TStatusSnapshot s = Running();
  s.ChartPng[0] = std::make_shared<const std::string>("\x89PNG-hour");
  const struct {
    const char* target;
    int status;
    const char* type;
  } cases[] = {
      {"/", 200, "text/html; charset=utf-8"},
      {"/?token=x", 200, "text/html; charset=utf-8"},
      {"/status.json", 200, "application/json"},
      {"/%73tatus.json", 200, "application/json"},
      {"/metrics", 200, "text/plain; version=0.0.4; charset=utf-8"},
      {"/chart.png", 200, "image/png"},
      {"/chart.png?hours=1&seq=4", 200, "image/png"},
      {"/chart.png?hours=8", 503, "text/plain; charset=utf-8"},  // not drawn yet
      {"/chart.png?hours=3", 400, nullptr},
      {"/chart.png?hours=", 400, nullptr},
      {"/chart.png?hours=1&hours=8", 400, nullptr},
      {"/chart.png?hours=%zz", 400, nullptr},
      {"/status.json/", 404, nullptr},
      {"//status.json", 404, nullptr},
      {"/../status.json", 404, nullptr},
      {"/%2e%2e/etc/passwd", 404, nullptr},
      {"/index.html", 404, nullptr},
      {"/metrics%00", 404, nullptr},
      {"/%", 404, nullptr},
      {"", 404, nullptr},
  };
  for (const auto& c : cases) {
    const TStatusResponse r = RespondToStatusRequest(Get(c.target), &s, "", kNow);
    EXPECT_EQ(r.Status, c.status) << c.target;
    if (c.type) {
      EXPECT_EQ(r.ContentType, c.type) << c.target;
    }
  }
  EXPECT_EQ(RespondToStatusRequest(Get("/chart.png"), &s, "", kNow).Body, "\x89PNG-hour");
  const TStatusResponse missing = RespondToStatusRequest(Get("/chart.png?hours=all"), &s, "", kNow);
  ASSERT_TRUE(missing.ChartPending.has_value());
  EXPECT_EQ(*missing.ChartPending, TStatusChartRange::All);

  for (const char* method : {"POST", "PUT", "DELETE", "HEAD", "PATCH"}) {
    const TStatusResponse r = RespondToStatusRequest({method, "/status.json", {}}, &s, "", kNow);
    EXPECT_EQ(r.Status, 405) << method;
  }
  EXPECT_EQ(RespondToStatusRequest(Get("/status.json"), nullptr, "", kNow).Status, 503);
}

TEST(StatusToken, IsAskedForAsBearerOrQueryAndRefusedWithoutDetail) {
  const TStatusSnapshot s = Running();
  const std::string token = "0123456789abcdef0123456789abcdef";
  const struct {
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers;
    int status;
  } cases[] = {
      {"/status.json", {}, 401},
      {"/status.json?token=" + token, {}, 200},
      {"/status.json?token=" + token.substr(1), {}, 401},
      {"/status.json?token=" + token + "x", {}, 401},
      {"/status.json?token=", {}, 401},
      {"/status.json", {{"Authorization", "Bearer " + token}}, 200},
      {"/status.json", {{"authorization", "bearer  " + token + " "}}, 200},
      {"/status.json", {{"Authorization", "Basic " + token}}, 401},
      {"/status.json", {{"Authorization", "Bearer"}}, 401},
      {"/status.json", {{"Authorization", "Bearer wrong"}}, 401},
      {"/status.json", {{"Authorization", "Bearer " + token}, {"Authorization", "Bearer wrong"}}, 401},
      {"/status.json?token=wrong&token=" + token, {}, 401},
      {"/nowhere", {}, 401},  // nothing is told about paths before the token
      {"/nowhere?token=" + token, {}, 404},
  };
  for (const auto& c : cases) {
    const TStatusResponse r = RespondToStatusRequest(Get(c.target, c.headers), &s, token, kNow);
    EXPECT_EQ(r.Status, c.status) << c.target << (c.headers.empty() ? "" : " " + c.headers[0].second);
    if (r.Status == 401) {
      EXPECT_EQ(r.Body, "Unauthorized\n");
    }
  }
  EXPECT_TRUE(SameToken("abc", "abc"));
  EXPECT_FALSE(SameToken("abc", "abd"));
  EXPECT_FALSE(SameToken("abc", "abcd"));
  EXPECT_FALSE(SameToken("", "a"));
}

TEST(StatusConfig, ReadsTheFileAndTheArgumentsWithClearErrors) {
  const TStatusConfigRead file = ParseStatusConfig(
      "# status\nport = 8080\r\nbind=0.0.0.0  # all\ntoken = abc\ncolour = red\nport = 70000\nnoise\n");
  ASSERT_TRUE(file.Options.Port.has_value());
  EXPECT_EQ(*file.Options.Port, 8080);
  EXPECT_EQ(file.Options.Bind, "0.0.0.0");
  EXPECT_EQ(file.Options.Token, "abc");
  ASSERT_EQ(file.Errors.size(), 3u);
  EXPECT_EQ(file.Errors[0], "status.conf line 5: unknown key \"colour\" (port, bind and token are known)");
  EXPECT_EQ(file.Errors[1], "status.conf line 6: the port must be a number from 1 to 65535");
  EXPECT_EQ(file.Errors[2], "status.conf line 7: \"key = value\" expected");

  EXPECT_FALSE(ParseStatusConfig("").Options.Port.has_value());
  EXPECT_EQ(ParseStatusConfig("").Options.Bind, "127.0.0.1");

  const TStatusConfigRead args =
      ParseStatusArguments({"-platform", "offscreen", "--status-port", "9100", "--status-bind=::1"}, file.Options);
  EXPECT_EQ(*args.Options.Port, 9100);
  EXPECT_EQ(args.Options.Bind, "::1");
  EXPECT_EQ(args.Options.Token, "abc");
  EXPECT_TRUE(args.Errors.empty());
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--status-port", "0"},
                                              {"--status-port", "65536"},
                                              {"--status-port=12a"},
                                              {"--status-port"},
                                              {"--status-bind", "a b"},
                                              {"--status-bind="}}) {
    const TStatusConfigRead r = ParseStatusArguments(bad, {});
    EXPECT_EQ(r.Errors.size(), 1u) << bad[0];
    EXPECT_FALSE(r.Options.Port.has_value()) << bad[0];
  }
}

TEST(StatusConfig, LoopbackAddresses) {
  for (const char* a : {"127.0.0.1", "127.1.2.3", "::1", "[::1]", "localhost"}) EXPECT_TRUE(IsLoopbackAddress(a)) << a;
  for (const char* a :
       {"0.0.0.0", "192.168.1.5", "::", "127.0.0.1.evil", "127.x.0.1", "localhost.example", "1270.0.0.1"})
    EXPECT_FALSE(IsLoopbackAddress(a)) << a;
}

}  // namespace
}  // namespace karvo
