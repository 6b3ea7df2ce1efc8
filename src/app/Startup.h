#pragma once
// The program's start before the window: the modules' own initialisations
// and, where the build carries it, the adapter maker's driver installer
// placed in the folder "Dll" of the working folder (never started).

#include <string>

namespace karvo {

// Writes the program resource `ResourceName` to Folder/FileName unless that
// file exists; creates Folder first (pausing 100 ms after each attempt, at
// most kFolderAttempts times).
// A missing resource shows "Required resource file could not be found.
// Source corrupted?". Afterwards it pauses 150 ms and lets the user
// interface handle its waiting events.
void ExtractResourceToFile(const std::string& Folder, const std::string& FileName, const std::string& ResourceName);

// Steps 2 and 3 of the start: creates "Dll", then for at most 5 seconds
// extracts the resource "FTDIR" as "Dll/FTDI.exe" until the file exists,
// pausing 200 ms after each attempt. The time is tested before the file.
void PlaceDriverInstaller(const std::string& Folder = "Dll", const std::string& FileName = "FTDI.exe",
                          const std::string& ResourceName = "FTDIR");

// The modules' own initialisations: the controller catalogue and the
// pseudo-random source.
void InitialiseModules();

inline constexpr int kFolderAttempts = 50;
inline constexpr const char* kResourceMissing = "Required resource file could not be found. Source corrupted?";

}  // namespace karvo
