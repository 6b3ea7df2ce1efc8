// The data export, the save dialog and clearing all data, without a window.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "FileContents.h"
#include "SupervisorTestUtil.h"
#include "TempFolder.h"
#include "chart/RtCustomGraph.h"
#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/SaveDialog.h"
#include "supervisor/logic/Supervisor.h"

namespace karvo {
namespace {

namespace fs = std::filesystem;
using test::FileContents;
using test::TempFolder;

using test::kNaN;
constexpr double kInf = std::numeric_limits<double>::infinity();

// "º" in the system code page: C2 BA in UTF-8, BA in Windows-1252.
const std::string kDegree = WideToSystem(L"\u00BA");

// The instant whose local time is the given wall-clock time.
TDateTime InstantOf(int y, int mo, int d, int h, int mi, int s) {
  return LocalToUtc(EncodeDateTime({.year = y, .month = mo, .day = d, .hour = h, .minute = mi, .second = s}));
}

TRegionalSettings Separators(const char* decimal, const char* time) {
  TRegionalSettings r;
  r.decimalSeparator = decimal;
  r.timeSeparator = time;
  r.thousandSeparator = std::string(decimal) == "," ? "." : ",";
  return r;
}

TEST(DataExport, LinesCarryLocalTimeAndNumbersInTheRegionalFormat) {
  const TDateTime t = InstantOf(2024, 3, 5, 14, 7, 9);
  struct Case {
    TRegionalSettings regional;
    TDateTime time;
    double temperature, setpoint, workingSetpoint;
    std::string line;
  } cases[] = {
      {Separators(",", "."), t, 1021.5, 1050, 1043, "2024-03-05 14.07.09;1021,5;1050;1043"},
      {Separators(".", ":"), t, 1000, 23.25, -5.5, "2024-03-05 14:07:09;1000;23.25;-5.5"},
      // 15 significant digits; whole values without a separator; no
      // thousands separators.
      {Separators(".", ":"), t, 0.1 + 0.2, 1234567, 1e20, "2024-03-05 14:07:09;0.3;1234567;1E20"},
      {Separators(",", "."), t, 1021.456789012345678, 0, 1e-7, "2024-03-05 14.07.09;1021,45678901235;0;1E-7"},
      // A value that is not a number leaves its field empty.
      {Separators(".", ":"), t, kNaN, kInf, -kInf, "2024-03-05 14:07:09;;;"},
      {Separators(".", ":"), kNaN, 20, 30, 40, ";20;30;40"},
      {Separators(".", ":"), 1e300, 20, 30, 40, ";20;30;40"},
  };
  for (const Case& c : cases) {
    std::string line = "kept:";
    AppendDataExportLine(line, c.time, c.temperature, c.setpoint, c.workingSetpoint, ExportRegional(c.regional));
    EXPECT_EQ(line, "kept:" + c.line);
  }
}

TEST(DataExport, WithoutDataTheFileIsTheHeaderAlone) {
  TempFolder folder;
  const TMeasurements data;
  WriteDataExport(folder / "empty.csv", data, {});
  EXPECT_EQ(FileContents(folder / "empty.csv"), "Time as yyyy-mm-dd hh:mm:ss; Temperature " + kDegree +
                                                    "C; Target setpoint " + kDegree + "C; Working setpoint " + kDegree +
                                                    "C\r\n");
}

TEST(DataExport, OneLinePerSampleOldestFirstWithoutTheWorkingOutput) {
  TempFolder folder;
  TMeasurements data;
  const TDateTime t = InstantOf(2024, 3, 5, 14, 7, 9);
  for (int i = 0; i < 3; ++i) data.AddSample(t + i * 5.0 / kSecondsPerDay, 1021.5 + i, 1050, 1040 + i, 45.5);
  WriteDataExport(folder / "run.csv", data, Separators(",", ":"));
  EXPECT_EQ(FileContents(folder / "run.csv"), DataExportHeader() +
                                                  "\r\n"
                                                  "2024-03-05 14:07:09;1021,5;1050;1040\r\n"
                                                  "2024-03-05 14:07:14;1022,5;1050;1041\r\n"
                                                  "2024-03-05 14:07:19;1023,5;1050;1042\r\n");
}

TEST(DataExport, ClearingEmptiesEverySeriesWithOneRedraw) {
  int redraws = 0;  // outlives the chart, whose end may still redraw
  TRtCustomGraph graph;
  TSupervisor supervisor(graph, {});
  graph.SetRedrawHandler([&] { ++redraws; });
  supervisor.Chart().RtLineSeriesWorkingOutput.SetVisible(true);
  for (int i = 0; i < 10; ++i) supervisor.Measurements().AddSample(45000 + i, 1021.5, 1050, 1040, 45.5);
  graph.Recalculate();
  redraws = 0;
  supervisor.ClearAllData();
  const TMeasurements& data = supervisor.Measurements();
  for (const TRtDoubleVector* v :
       {&data.RtDoubleVectorTime, &data.RtDoubleVectorTemperature, &data.RtDoubleVectorSetpoint,
        &data.RtDoubleVectorWorkingSetpoint, &data.RtDoubleVectorWorkingOutput})
    EXPECT_EQ(v->GetCount(), 0);
  EXPECT_EQ(redraws, 1);
  EXPECT_EQ(graph.UpdateCount(), 0);
}

class SaveDialog : public ::testing::Test {
 protected:
  SaveDialog() : cwd_(folder.Path()) {}
  TempFolder folder;
  test::ScopedCurrentFolder cwd_;
  std::string answer;
  std::vector<TSaveDialogOptions> asked;
  seams::Scoped<seams::SaveDialogFn> dialog_{seams::SetSaveDialog, [this](const TSaveDialogOptions& o) {
                                               asked.push_back(o);
                                               return answer;
                                             }};
};

TEST_F(SaveDialog, IsSetUpForEachExportAndStartsInTheCurrentFolder) {
  const std::string here = PathText(fs::current_path());
  struct Case {
    TSaveDialogOptions options;
    const char *title, *filter, *pattern, *extension;
  } cases[] = {
      {TextFileDialogOptions(), "Save text file", "csv file", "*.csv", "csv"},
      {ImageFileDialogOptions(TImageKind::BMP), "Save image file", "BMP file", "*.bmp", "bmp"},
      {ImageFileDialogOptions(TImageKind::PNG), "Save image file", "PNG file", "*.png", "png"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.options.Title, c.title);
    EXPECT_EQ(c.options.InitialDir, here);
    EXPECT_EQ(c.options.FilterName, c.filter);
    EXPECT_EQ(c.options.FilterPattern, c.pattern);
    EXPECT_EQ(c.options.DefaultExt, c.extension);
  }
}

TEST_F(SaveDialog, ANameWithoutExtensionGetsTheDefaultOneAndItsFolderBecomesCurrent) {
  fs::create_directories(folder / "runs" / "week.12");
  TSaveDialog dialog;
  dialog.Options = TextFileDialogOptions();
  struct Case {
    fs::path chosen;
    fs::path file;
  } cases[] = {
      {folder / "runs" / "furnace", folder / "runs" / "furnace.csv"},
      {folder / "runs" / "furnace.txt", folder / "runs" / "furnace.txt"},
      {folder / "runs" / "week.12" / "x", folder / "runs" / "week.12" / "x.csv"},
  };
  for (const Case& c : cases) {
    answer = PathText(c.chosen);
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(PathFromUtf8(dialog.FileName), c.file);
  }
  EXPECT_TRUE(fs::equivalent(fs::current_path(), folder / "runs" / "week.12"));
  // A name relative to the folder the dialog started in.
  fs::current_path(folder.Path());
  answer = PathText(fs::path("runs") / "b");
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(PathFromUtf8(dialog.FileName).filename(), "b.csv");
  EXPECT_TRUE(PathFromUtf8(dialog.FileName).is_absolute());
  EXPECT_TRUE(fs::equivalent(PathFromUtf8(dialog.FileName).parent_path(), folder / "runs"));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), folder / "runs"));

  answer.clear();  // cancelled
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(asked.size(), 5u);
}

}  // namespace
}  // namespace karvo
