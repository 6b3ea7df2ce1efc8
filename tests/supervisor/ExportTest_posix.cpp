// The data export across the autumn clock change, and a full disk.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "DiskFull_posix.h"
#include "FileContents.h"
#include "TempFolder.h"
#include "chart/TallinnFixture_posix.h"
#include "supervisor/logic/DataExport.h"

namespace karvo {
namespace {

using test::FileContents;
using test::TempFolder;

void AddSample(TMeasurements& data, TDateTime utc, double temperature) {
  data.AddSample(utc, temperature, 1050, 1043, 45.5);
}

class ExportInTallinn : public test::Tallinn {};

TEST_F(ExportInTallinn, TheHourRepeatedInAutumnAppearsTwiceInOrder) {
  TempFolder folder;
  TMeasurements data;
  // Summer time ends 2024-10-27 at 01:00 UTC: 04:00 EEST becomes 03:00 EET.
  for (int i = 0; i <= 4; ++i) AddSample(data, Utc(2024, 10, 27, 0, 30 * i), 1000 + i);
  WriteDataExport(folder / "autumn.csv", data, {});
  EXPECT_EQ(FileContents(folder / "autumn.csv"), DataExportHeader() +
                                                     "\r\n"
                                                     "2024-10-27 03:00:00;1000;1050;1043\r\n"
                                                     "2024-10-27 03:30:00;1001;1050;1043\r\n"
                                                     "2024-10-27 03:00:00;1002;1050;1043\r\n"
                                                     "2024-10-27 03:30:00;1003;1050;1043\r\n"
                                                     "2024-10-27 04:00:00;1004;1050;1043\r\n");
}

TEST(DataExportPosix, ADiskFullHalfWayLeavesTheOldFileIntact) {
  TempFolder folder;
  TMeasurements data;
  for (int i = 0; i < 5000; ++i) AddSample(data, 45000 + i / 17280.0, 1000 + i * 0.1);
  const auto target = folder / "run.csv";
  WriteDataExport(target, data, {});
  const std::string before = FileContents(target);
  AddSample(data, 45001, 1);
  std::string error;
  {
    test::DiskFullAfter full(64 * 1024);
    try {
      WriteDataExport(target, data, {});
    } catch (const EFileWriteError& e) {
      error = e.what();
    }
  }
  EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
  EXPECT_EQ(FileContents(target), before);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run.csv"});
}

}  // namespace
}  // namespace karvo
