// zeps: the UPS service. Installs or removes itself, or runs as a service
// (-service) or in a console window for trials (-debug).
#include "host/command_line.h"

int main(int argc, char** argv) { return zep::ZepsMain(argc, argv); }
