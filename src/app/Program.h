#pragma once
// The program KarvoTemp from start to end.

namespace karvo {

// Runs the program: the modules' initialisations, the driver installer
// (when the build carries it), the application with its main window until
// the window has closed, and the end. Returns the exit code.
int RunProgram(int argc, char** argv, bool placeDriverInstaller);

}  // namespace karvo
