#pragma once
// The program KarvoTemp from start to end.

namespace karvo {

// The application's names and the window's icon: the product's icon, the
// desktop entry's name (so a desktop matches the window to its entry).
void SetProgramIdentity();

// Runs the program: the modules' initialisations, the driver installer
// (when the build carries it), the application with its main window until
// the window has closed, and the end. Returns the exit code.
int RunProgram(int argc, char** argv, bool placeDriverInstaller);

}  // namespace karvo
