// The window feeding the status server against the simulated controller:
// what /status.json and /metrics say is what the window and the controller
// hold, and the chart comes from the program's chart painter.
#include <QImage>

#include "StatusWindowFixture.h"
#include "modbus/Registers.h"

namespace karvo::test {
namespace {

using StatusWindowTest = StatusWindowFixture;

TEST_F(StatusWindowTest, ShowsWhatTheWindowAndTheControllerHold) {
  std::string json = Json();
  EXPECT_NE(json.find("\"connection\":\"stopped\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"temperature_c\":null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"furnace_name\":\"Furnace1\""), std::string::npos) << json;

  Connect();
  Sim().SetRegister(reg::TargetSetpoint, 150);
  PollAndConsume();
  PollAndConsume();
  json = Json();
  EXPECT_NE(json.find("\"connection\":\"connected\""), std::string::npos) << json;
  const double shown = form->RtDoubleEditTemperatureReadOnly->Value();
  EXPECT_NEAR(shown, Sim().Temperature(), 0.15);  // the controller reads with ±0.1 ºC of noise
  char temperature[64];
  std::snprintf(temperature, sizeof temperature, "\"temperature_c\":%g", shown);
  EXPECT_NE(json.find(temperature), std::string::npos) << temperature << "\n" << json;
  EXPECT_NE(json.find("\"target_setpoint_c\":150"), std::string::npos) << json;
  EXPECT_NE(json.find("\"working_setpoint_c\":" + std::to_string(Sim().GetRegister(reg::WorkingSetpoint))),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"polls_consumed\":2"), std::string::npos) << json;
  EXPECT_NE(json.find("\"polls_failed\":0"), std::string::npos) << json;
  // The log's newest lines are there, the value report among them.
  EXPECT_NE(json.find("Temperature"), std::string::npos);

  const std::string metrics = Get("/metrics").second.toStdString();
  EXPECT_NE(metrics.find("karvo_target_setpoint_celsius{furnace=\"Furnace1\"} 150\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("karvo_polls_consumed_total{furnace=\"Furnace1\"} 2\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("karvo_connected{furnace=\"Furnace1\"} 1\n"), std::string::npos) << metrics;

  // A lamp the stability steps light shows as it does in the window.
  form->LedTime->ChangeValue(true);
  feed_->Publish();
  json = Json();
  EXPECT_NE(json.find(std::string("{\"key\":\"time\",\"name\":\"Stable for a while\",\"state\":\"") +
                      (form->LedTime->Blink() ? "blinking" : "on") + "\"}"),
            std::string::npos)
      << json;

  // Stop: the values are no longer shown as current.
  form->ButtonCreateFurnaceModule->click();
  feed_->Publish();
  json = Json();
  EXPECT_NE(json.find("\"connection\":\"stopped\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"temperature_c\":null"), std::string::npos) << json;
}

TEST_F(StatusWindowTest, TheChartIsDrawnOnceAskedForAndThenAtEveryTick) {
  Connect();
  for (int i = 0; i < 3; ++i) {
    Sim().SetRegister(reg::TargetSetpoint, static_cast<std::uint16_t>(150 + 10 * i));
    PollAndConsume();
  }
  EXPECT_EQ(Get("/chart.png?hours=1").first, 503);
  // The feed draws it on the user-interface thread soon after.
  std::pair<int, QByteArray> chart;
  ASSERT_TRUE(WaitFor([&] { return (chart = Get("/chart.png?hours=1")).first == 200; }, 10000));
  QImage image;
  ASSERT_TRUE(image.loadFromData(chart.second, "PNG"));
  EXPECT_EQ(image.size(), QSize(TStatusChart::kWidth, TStatusChart::kHeight));
  // Drawn by the chart painter: the measured temperature's red is there
  // (a short line's pixels are blended with the background at its edges,
  // so red is what is far more red than anything else).
  bool red = false;
  for (int y = 0; y < image.height() && !red; ++y)
    for (int x = 0; x < image.width() && !red; ++x) {
      const QColor c = image.pixelColor(x, y);
      red = c.red() >= 200 && c.green() <= 120 && c.blue() <= 120;
    }
  EXPECT_TRUE(red);
  if (const char* keep = std::getenv("KARVO_KEEP_STATUS_CHART")) image.save(QString::fromLocal8Bit(keep));
  // The same image answers until the next tick: drawn per tick, not per request.
  EXPECT_EQ(Get("/chart.png?hours=1").second, chart.second);
  EXPECT_FALSE(server_.Current()->ChartPng[2]);
  PollAndConsume();
  EXPECT_TRUE(server_.Current()->ChartPng[0]);
}

}  // namespace
}  // namespace karvo::test
