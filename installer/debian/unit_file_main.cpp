// zeps_unit_file: writes the systemd unit of the Debian package, which is
// the unit "zeps -setup" writes, for the programs in /usr/lib/zep.
//
//   zeps_unit_file <output file>
#include <cstdio>
#include <fstream>

#include "host/systemd_texts.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zeps_unit_file <output file>\n");
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << zep::SystemdUnitText("ZEP Service", "/usr/lib/zep/zeps", "-service",
                              "/usr/lib/zep");
  out.close();
  return out ? 0 : 1;
}
