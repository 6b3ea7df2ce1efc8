// The "Save" page driven as the operator drives it: the data of a run of
// the simulated controller as a text file (read back with Python's csv
// module as a spreadsheet would), the graph as BMP and PNG, clearing all
// data, and files that cannot be written.

#include <QImage>
#include <QProcess>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "DiskFull_posix.h"
#include "FileContents.h"
#include "TempFolder.h"
#include "WindowFixture.h"
#include "common/AtomicFile.h"
#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Text.h"
#include "modbus/Registers.h"
#include "supervisor/logic/DataExport.h"

namespace karvo::test {
namespace {

namespace fs = std::filesystem;

class SavePage : public WindowTest {
 protected:
  SavePage() : here_(folder.Path()) {}

  TempFolder folder;
  ScopedCurrentFolder here_;
  std::string chosen;  // the dialog's answer; empty: cancelled
  std::vector<TSaveDialogOptions> dialogs;
  seams::Scoped<seams::SaveDialogFn> dialog_{seams::SetSaveDialog, [this](const TSaveDialogOptions& o) {
                                               dialogs.push_back(o);
                                               return chosen;
                                             }};
  bool answer = true;
  std::vector<std::pair<std::string, std::string>> questions;
  seams::Scoped<seams::TitledQuestionFn> question_{seams::SetTitledQuestion,
                                                   [this](const std::string& text, const std::string& title) {
                                                     questions.emplace_back(text, title);
                                                     return answer;
                                                   }};

  // The file's lines without their CR LF; fails when a line lacks it.
  static std::vector<std::string> Lines(const fs::path& file) {
    const std::string text = FileContents(file);
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2)
      lines.push_back(text.substr(from, end - from));
    EXPECT_EQ(from, text.size()) << "every line ends in CR LF";
    return lines;
  }
  static std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t end; (end = line.find(';', from)) != std::string::npos; from = end + 1)
      fields.push_back(line.substr(from, end - from));
    fields.push_back(line.substr(from));
    return fields;
  }
  int Samples() const { return form->Supervisor->Measurements().Count(); }
};

TEST_F(SavePage, TheDataOfASimulatedRunOpenAsFourColumns) {
  Sim().SetRegister(reg::TargetSetpoint, 345);
  Sim().SetRegister(reg::WorkingSetpoint, 333);
  Connect();
  for (int i = 0; i < 3; ++i) PollAndConsume();
  ASSERT_EQ(Samples(), 3);
  chosen = PathText(folder / "run");  // typed without extension
  form->ButtonSaveTextFile->click();

  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Title, "Save text file");
  EXPECT_EQ(dialogs[0].FilterName, "csv file");
  EXPECT_EQ(dialogs[0].FilterPattern, "*.csv");
  EXPECT_EQ(dialogs[0].DefaultExt, "csv");
  EXPECT_TRUE(fs::equivalent(PathFromUtf8(dialogs[0].InitialDir), folder.Path()));
  const fs::path file = folder / "run.csv";
  const std::vector<std::string> lines = Lines(file);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], DataExportHeader());
  const TMeasurements& c = form->Supervisor->Measurements();
  for (int i = 0; i < 3; ++i) {
    const std::vector<std::string> f = Fields(lines[static_cast<std::size_t>(i) + 1]);
    ASSERT_EQ(f.size(), 4u) << lines[static_cast<std::size_t>(i) + 1];
    // Local wall-clock time of the poll, to the second.
    EXPECT_EQ(f[0], FormatIsoDateTime(UtcToLocal(c.RtDoubleVectorTime.GetValue(i))));
    EXPECT_NEAR(std::stod(f[1]), c.RtDoubleVectorTemperature.GetValue(i), 1e-9);
    // The controller sends tenths of a degree: 1021.3, not 1021.29998779297.
    const std::size_t point = f[1].find('.');
    EXPECT_TRUE(point == std::string::npos || f[1].size() - point - 1 <= 1) << f[1];
    EXPECT_EQ(f[2], "345");
    EXPECT_EQ(f[3], "333");
  }

  // As a spreadsheet reads it.
  QProcess python;
  python.start(QStringLiteral("python3"),
               {QStringLiteral(KARVO_READ_EXPORT_PY), QString::fromStdString(file.string()), QStringLiteral(".")});
  ASSERT_TRUE(python.waitForFinished(30000));
  EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
  EXPECT_EQ(python.readAllStandardOutput().trimmed().toStdString(), "3 lines of 4 columns");

  // Cancelled: nothing is written.
  chosen.clear();
  fs::remove(file);
  form->ButtonSaveTextFile->click();
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{});
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(SavePage, AnExportThatCannotBeWrittenIsReportedWithTheReasonAndTheOldFileStays) {
  TMeasurements& c = form->Supervisor->Measurements();
  for (int i = 0; i < 2000; ++i) {
    c.AddSample(45000 + i / 17280.0, 1000 + i * 0.1, 1050, 1043, 45.5);
  }
  const fs::path file = folder / "run.csv";
  WriteFileAtomically(file, "the earlier export\r\n");
  chosen = PathText(file);
  {
    DiskFullAfter full(16 * 1024);
    form->ButtonSaveTextFile->click();
  }
  ASSERT_EQ(errorReports.size(), 1u);
  EXPECT_EQ(errorReports[0], "Cannot write the file \"" + PathText(file) + "\": " + std::strerror(EFBIG));
  EXPECT_EQ(FileContents(file), "the earlier export\r\n");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run.csv"});
}

TEST_F(SavePage, TheGraphIsSavedAsTheChartOnScreenOnWhite) {
  Connect();
  PollAndConsume();
  PollAndConsume();
  struct Case {
    QPushButton* button;
    const char* filter;
    const char* extension;
    int depth;
  } cases[] = {{form->ButtonSaveGraphBMP, "BMP file", "bmp", 24}, {form->ButtonSaveGraphPNG, "PNG file", "png", 24}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extension);
    dialogs.clear();
    chosen = PathText(folder / "graph");
    c.button->click();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].Title, "Save image file");
    EXPECT_EQ(dialogs[0].FilterName, c.filter);
    EXPECT_EQ(dialogs[0].FilterPattern, std::string("*.") + c.extension);
    EXPECT_EQ(dialogs[0].DefaultExt, c.extension);
    const fs::path file = folder / (std::string("graph.") + c.extension);
    QImage image(QString::fromStdString(file.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), form->RtGraph2D1->ImageSize());
    EXPECT_EQ(image.depth() == 32 && image.hasAlphaChannel(), false);
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
  }
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(SavePage, ClearAllDataAsksAndPutsTheTimerBackAsItWas) {
  Connect();
  PollAndConsume();
  ASSERT_EQ(Samples(), 1);
  struct Case {
    bool running;
    bool yes;
    int samplesAfter;
  } cases[] = {{true, false, 1}, {false, true, 0}, {true, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "running " << c.running << " yes " << c.yes);
    if (Samples() == 0) PollAndConsume();
    if (c.running)
      form->Timer1->start();
    else
      form->Timer1->stop();
    questions.clear();
    answer = c.yes;
    form->ButtonClearAllData->click();
    // Cleared while the run is journaled: whether the journal starts a new
    // run file is asked next.
    ASSERT_EQ(questions.size(), c.yes ? 2u : 1u);
    EXPECT_EQ(questions[0].first, "Are you sure you want to clear all data from the screen?");
    EXPECT_EQ(questions[0].second, "Clear all data");
    if (c.yes) {
      EXPECT_EQ(questions[1],
                std::make_pair(std::string(TFormModbus::kNewRunFileQuestion), std::string("Clear all data")));
    }
    EXPECT_EQ(Samples(), c.samplesAfter);
    EXPECT_EQ(form->Supervisor->Measurements().RtDoubleVectorWorkingOutput.GetCount(), c.samplesAfter);
    EXPECT_EQ(form->Timer1->isActive(), c.running);
  }
  // The next export holds only what came after the clearing.
  form->Timer1->stop();
  PollAndConsume();
  chosen = PathText(folder / "after.csv");
  form->ButtonSaveTextFile->click();
  EXPECT_EQ(Lines(folder / "after.csv").size(), 2u);
}

}  // namespace
}  // namespace karvo::test
