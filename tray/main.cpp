// zepg: the tray program. One per logon session; it shows the service's
// view of the UPS as a notification-area icon with balloons and a menu.
#include "tray_program.h"

int main() { return zep::RunTrayProgram(); }
