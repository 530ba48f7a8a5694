#!/bin/sh
# The portable core (every source that is not a *_win32 / *_posix backend, in
# the folders that hold core code) must not include operating-system headers
# or branch on the platform. Backends and the serial library's API header are
# the only places for that.
root=${1:-.}
cd "$root" || exit 2
files=$(find common service external tray \
  \( -name '*.cpp' -o -name '*.h' \) ! -name '*_win32.*' ! -name '*_posix.*' 2>/dev/null)
[ -n "$files" ] || exit 0
bad=$(grep -nE '#\s*if(def|ndef)?\s*.*\b_WIN32\b|#\s*include\s*<(windows|winsock2|ws2tcpip|unistd|termios|fcntl|pthread|spawn)\.h>|#\s*include\s*<sys/|#\s*include\s*<(arpa|netinet)/' $files)
if [ -n "$bad" ]; then
  echo "operating-system code in portable files:"
  echo "$bad"
  exit 1
fi
exit 0
