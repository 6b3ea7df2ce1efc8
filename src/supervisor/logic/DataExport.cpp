#include "supervisor/logic/DataExport.h"

#include <cmath>

#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Text.h"
#include "supervisor/logic/TextFiles.h"

namespace karvo {
namespace fs = std::filesystem;

namespace {

// The years FormatDateTime writes with four digits.
const TDateTime kFirstWritable = EncodeDate(100, 1, 1);
const TDateTime kPastLastWritable = EncodeDate(9999, 12, 31) + 1.0;

void AppendNumber(std::string& line, double value, const TRegionalSettings& regional) {
  if (std::isfinite(value)) line += FormatGeneral(value, regional);
}

TSaveDialogOptions DialogInCurrentFolder(const char* title, const char* filterName, const char* pattern,
                                         const char* extension) {
  TSaveDialogOptions o;
  o.Title = title;
  std::error_code ec;
  const fs::path current = fs::current_path(ec);
  o.InitialDir = ec ? std::string() : PathText(current);
  o.FilterName = filterName;
  o.FilterPattern = pattern;
  o.DefaultExt = extension;
  return o;
}

}  // namespace

std::string DataExportHeader() {
  return WideToSystem(
      L"Time as yyyy-mm-dd hh:mm:ss; Temperature \u00BAC; Target setpoint \u00BAC; Working setpoint \u00BAC");
}

TRegionalSettings ExportRegional(const TRegionalSettings& regional) {
  TRegionalSettings r = regional;
  r.decimalSeparator = Utf8ToSystem(regional.decimalSeparator);
  r.timeSeparator = Utf8ToSystem(regional.timeSeparator);
  return r;
}

void AppendDataExportTime(std::string& line, TDateTime utc, const TRegionalSettings& regional) {
  // A local time differs from its instant by less than a day.
  if (std::isfinite(utc) && utc > kFirstWritable - 1.0 && utc < kPastLastWritable + 1.0) {
    const TDateTime local = UtcToLocal(utc);
    if (local >= kFirstWritable && local < kPastLastWritable)
      line += FormatDateTime("yyyy-MM-dd HH:mm:ss", local, regional);
  }
}

void AppendDataExportLine(std::string& line, TDateTime utc, double temperature, double setpoint, double workingSetpoint,
                          const TRegionalSettings& regional) {
  AppendDataExportTime(line, utc, regional);
  line += ';';
  AppendNumber(line, temperature, regional);
  line += ';';
  AppendNumber(line, setpoint, regional);
  line += ';';
  AppendNumber(line, workingSetpoint, regional);
}

void WriteDataExport(const fs::path& path, const TMeasurements& data, const TRegionalSettings& regional) {
  const TRegionalSettings r = ExportRegional(regional);
  const TRtDoubleVector& time = data.RtDoubleVectorTime;
  const TRtDoubleVector& temperature = data.RtDoubleVectorTemperature;
  const TRtDoubleVector& setpoint = data.RtDoubleVectorSetpoint;
  const TRtDoubleVector& workingSetpoint = data.RtDoubleVectorWorkingSetpoint;
  TTextFile file(path);
  file.Line(DataExportHeader());
  std::string line;
  // The time vector grows last: every index below its count holds a whole
  // sample.
  const int count = data.Count();
  for (int i = 0; i < count; ++i) {
    line.clear();
    AppendDataExportLine(line, time[i], temperature[i], setpoint[i], workingSetpoint[i], r);
    file.Line(line);
  }
  file.Commit();
}

TSaveDialogOptions TextFileDialogOptions() {
  return DialogInCurrentFolder("Save text file", "csv file", "*.csv", "csv");
}

TSaveDialogOptions ImageFileDialogOptions(TImageKind kind) {
  return kind == TImageKind::BMP ? DialogInCurrentFolder("Save image file", "BMP file", "*.bmp", "bmp")
                                 : DialogInCurrentFolder("Save image file", "PNG file", "*.png", "png");
}

}  // namespace karvo
