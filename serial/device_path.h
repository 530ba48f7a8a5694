// Where a COM port name points on POSIX. Kept apart from the termios backend
// (and inline) so that it has no operating-system dependency and the tests can
// check it directly.
#ifndef ZEP_SERIAL_DEVICE_PATH_H_
#define ZEP_SERIAL_DEVICE_PATH_H_

#include <string>

namespace zep {
namespace serial {

/// "\\.\COMn" and "COMn" (any letter case, n from 1 to 999999) become
/// "/dev/ttyS(n-1)", the POSIX name of the same port. Any other name, such as
/// "/dev/ttyUSB0" or a pseudo-terminal path, is returned as it stands.
inline std::string PosixDevicePath(const std::string& device) {
  std::string name = device;
  if (name.compare(0, 4, "\\\\.\\") == 0) name.erase(0, 4);
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
  if (name.size() < 4 || upper(name[0]) != 'C' || upper(name[1]) != 'O' ||
      upper(name[2]) != 'M') {
    return device;
  }
  // Six digits at most keep the number far from overflow.
  if (name.size() > 3 + 6) return device;
  long number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return device;
    number = number * 10 + (name[i] - '0');
  }
  if (number < 1) return device;
  return "/dev/ttyS" + std::to_string(number - 1);
}

}  // namespace serial
}  // namespace zep

#endif  // ZEP_SERIAL_DEVICE_PATH_H_
