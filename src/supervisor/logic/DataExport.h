#pragma once
// The "Save" page's logic: the measured series as a semicolon-separated text
// file, the save dialog's settings for the text file and the images, and
// clearing all data.
//
// The data file: the header line, then one line per sample, oldest first:
//   2024-03-05 14:07:09;1021.5;1050;1043
// local wall-clock time (the chart keeps instants; each is turned into the
// local time of its moment, so the hour repeated when daylight saving time
// ends appears twice, in order) with the regional time separator, then the
// temperature, the target setpoint and the working setpoint in the general
// format (15 significant digits, the regional decimal separator). A value
// that is not a number (or a time outside the years 100 to 9999) leaves its
// field empty. The working output is not exported. Lines end in CR LF; the
// text is in the system code page (the header's "º" is the byte BA in
// Windows-1252).

#include <filesystem>
#include <string>

#include "common/AtomicFile.h"
#include "common/Regional.h"
#include "common/Seams.h"
#include "common/Types.h"
#include "supervisor/measurements/Measurements.h"

namespace karvo {

// "Time as yyyy-mm-dd hh:mm:ss; Temperature ºC; Target setpoint ºC; Working
// setpoint ºC" in the system code page. Fixed: it does not follow the
// regional settings.
std::string DataExportHeader();

// One data line without its line end; `utc` is the instant of the sample.
// `regional` holds its separators in the system code page
// (ExportRegional).
void AppendDataExportLine(std::string& line, TDateTime utc, double temperature, double setpoint, double workingSetpoint,
                          const TRegionalSettings& regional);
// The line's first field alone: the local time of `utc`, nothing for an
// instant no four-digit year can write.
void AppendDataExportTime(std::string& line, TDateTime utc, const TRegionalSettings& regional);
// The regional settings with their separators in the system code page.
TRegionalSettings ExportRegional(const TRegionalSettings& regional);

// Writes the header and the lines of the measurements' time, temperature,
// target setpoint and working setpoint vectors to `path`, whole or not at all. Throws
// EFileWriteError with the system's reason; an existing file is then left
// as it was.
void WriteDataExport(const std::filesystem::path& path, const TMeasurements& data, const TRegionalSettings& regional);

// The save dialog for the data ("Save text file", "csv file", "*.csv") and
// for the graph ("Save image file", "BMP file"/"PNG file"), starting in the
// process's current folder.
enum class TImageKind { BMP, PNG };
TSaveDialogOptions TextFileDialogOptions();
TSaveDialogOptions ImageFileDialogOptions(TImageKind kind);

}  // namespace karvo
