// The status page in a real browser: headless Chromium opens / of a window
// that runs against the simulated controller; once the page's script has
// filled its DOM, the values shown are those of /status.json and of the
// controller's registers. Screenshots at a desktop and a phone size; the
// desktop one is kept as docs/status.png when KARVO_UPDATE_DOCS is set.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "../status/StatusWindowFixture.h"
#include "modbus/Registers.h"

namespace karvo::test {
namespace {

class BrowserTest : public StatusWindowFixture {
 protected:
  // Runs Chromium headless with a fresh profile on `url`; its standard
  // output. The user-interface thread keeps running meanwhile (the chart is
  // drawn there).
  QByteArray Chromium(const QStringList& extra, const QString& url) {
    QTemporaryDir profile;
    QProcess p;
    QStringList args{QStringLiteral("--headless"),
                     QStringLiteral("--no-sandbox"),
                     QStringLiteral("--disable-gpu"),
                     QStringLiteral("--disable-background-networking"),
                     QStringLiteral("--disable-component-update"),
                     QStringLiteral("--disable-sync"),
                     QStringLiteral("--no-first-run"),
                     QStringLiteral("--hide-scrollbars"),
                     QStringLiteral("--user-data-dir=") + profile.path()};
    args << extra << url;
    p.start(QStringLiteral(KARVO_CHROMIUM), args);
    EXPECT_TRUE(p.waitForStarted(10000));
    EXPECT_TRUE(WaitFor([&] { return p.state() == QProcess::NotRunning; }, 90000)) << "Chromium did not end";
    if (p.state() != QProcess::NotRunning) {
      p.kill();
      p.waitForFinished(5000);
    }
    return p.readAllStandardOutput();
  }
  // The text of the element with `id` in a serialised DOM.
  static QString ElementText(const QString& dom, const QString& id) {
    const QRegularExpression re(QStringLiteral("id=\"%1\"[^>]*>([^<]*)<").arg(id));
    const QRegularExpressionMatch m = re.match(dom);
    return m.hasMatch() ? m.captured(1) : QStringLiteral("<missing>");
  }
  QString Url() const { return QString::fromStdString(server_.Url()); }
};

TEST_F(BrowserTest, ThePageShowsTheValuesOfTheControllerOnceItsScriptRan) {
  Connect();
  Sim().SetRegister(reg::TargetSetpoint, 640);
  for (int i = 0; i < 4; ++i) PollAndConsume();
  const std::string json =
      StatusAndBody(Exchange(server_.Port(), "GET /status.json HTTP/1.1\r\nHost: x\r\n\r\n")).second.toStdString();

  // The DOM once the page's script has run (the served HTML carries "—"
  // in every value until then).
  const QString dom =
      QString::fromUtf8(Chromium({QStringLiteral("--virtual-time-budget=4000"), QStringLiteral("--dump-dom")}, Url()));
  ASSERT_FALSE(dom.isEmpty());
  const double temperature = form->RtDoubleEditTemperatureReadOnly->Value();
  EXPECT_NEAR(temperature, Sim().Temperature(), 0.15);  // the controller reads with ±0.1 ºC of noise
  EXPECT_EQ(ElementText(dom, QStringLiteral("temperature")),
            QString::number(temperature, 'f', 2) + QStringLiteral(" \u00b0C"));
  EXPECT_EQ(ElementText(dom, QStringLiteral("target_setpoint")), QStringLiteral("640 \u00b0C"));
  EXPECT_EQ(ElementText(dom, QStringLiteral("working_setpoint")),
            QStringLiteral("%1 \u00b0C").arg(Sim().GetRegister(reg::WorkingSetpoint)));
  EXPECT_EQ(ElementText(dom, QStringLiteral("connection")), QStringLiteral("connected"));
  EXPECT_EQ(ElementText(dom, QStringLiteral("furnace")), QStringLiteral("Furnace1"));
  EXPECT_EQ(ElementText(dom, QStringLiteral("polls")), QStringLiteral("4 / 0"));
  // The same as /status.json says.
  EXPECT_NE(json.find("\"target_setpoint_c\":640"), std::string::npos) << json;
  EXPECT_NE(json.find("\"polls_consumed\":4"), std::string::npos) << json;
  // The lamps are there with their state for screen readers.
  EXPECT_TRUE(dom.contains(QStringLiteral("aria-label=\"Stable for a while: off\""))) << dom.toStdString();
}

TEST_F(BrowserTest, ScreenshotsAtDesktopAndPhoneSize) {
  Connect();
  for (int i = 0; i < 3; ++i) {
    Sim().SetRegister(reg::TargetSetpoint, static_cast<std::uint16_t>(200 + 50 * i));
    PollAndConsume();
  }
  form->LedOscilation->ChangeValue(true);
  feed_->Publish();
  QTemporaryDir dir;
  const struct {
    const char* name;
    const char* size;
    int width;
  } views[] = {{"desktop.png", "1280,1100", 1280}, {"phone.png", "390,1500", 390}};
  for (const auto& v : views) {
    const QString file = dir.filePath(QString::fromLatin1(v.name));
    Chromium({QStringLiteral("--virtual-time-budget=6000"), QStringLiteral("--window-size=") + v.size,
              QStringLiteral("--screenshot=") + file},
             Url());
    QImage shot(file);
    ASSERT_FALSE(shot.isNull()) << v.name;
    EXPECT_EQ(shot.width(), v.width) << v.name;
    // The page fits the phone's width: no column of the picture is cut off
    // by a horizontal scroll (the right edge shows the page's background).
    EXPECT_EQ(shot.pixelColor(shot.width() - 1, shot.height() / 2), QColor(0xf3, 0xf3, 0xf3)) << v.name;
    if (const char* keep = std::getenv("KARVO_KEEP_SCREENSHOTS"))
      QFile::copy(file, QDir(QString::fromLocal8Bit(keep)).filePath(QString::fromLatin1(v.name)));
  }
  if (std::getenv("KARVO_UPDATE_DOCS")) {
    QFile::remove(QStringLiteral(KARVO_DOCS_DIR "/status.png"));
    EXPECT_TRUE(QFile::copy(dir.filePath(QStringLiteral("desktop.png")), QStringLiteral(KARVO_DOCS_DIR "/status.png")));
  }
}

}  // namespace
}  // namespace karvo::test
