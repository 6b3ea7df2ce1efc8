// KarvoTemp: the operator program for the furnace.
#include "app/Program.h"

int main(int argc, char** argv) { return karvo::RunProgram(argc, argv, KARVO_DRIVER_INSTALLER_EMBEDDED != 0); }
