#!/bin/sh
# The interface of action.dll as the Windows Installer sees it, read from
# its tables with objdump: it exports AppOpen and AppClose and nothing
# else, takes MsiGetPropertyW from msi.dll by ordinal 74 (no name in the
# import table) and nothing more from msi.dll, and imports the functions
# its actions are made of.
#
#   check_action_dll.sh <objdump> <action.dll>
objdump=$1
dll=$2
tables=$(mktemp) || exit 2
trap 'rm -f "$tables"' EXIT
"$objdump" -p "$dll" >"$tables" || exit 2

fail=0
bad() { echo "FAIL: $*"; fail=1; }

# The export names, one a line, sorted.
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' "$tables" |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
[ "$exports" = "AppClose AppOpen " ] || bad "exports are [$exports], not AppClose and AppOpen"

# The entries under "DLL Name: <dll>" up to the blank line that ends them.
imports_of() {
  awk -v dll="$1" '
    /DLL Name:/ { inside = (tolower($3) == tolower(dll)); next }
    inside && /^$/ { inside = 0 }
    inside && $1 ~ /^[0-9a-f]+$/ { print }' "$tables"
}

msi=$(imports_of msi.dll)
# An ordinal import: the thunk's top bit set, ordinal 0x4a, no name.
[ "$(printf '%s\n' "$msi" | grep -c .)" -eq 1 ] || bad "msi.dll imports: [$msi], not one entry"
printf '%s\n' "$msi" | grep -qE '^[[:space:]]*8000000000000*4a[[:space:]]+0*4a[[:space:]]+<none>' ||
  bad "msi.dll's entry is not ordinal 74 without a name: [$msi]"

for entry in user32.dll:FindWindowW user32.dll:PostMessageW \
  user32.dll:GetWindowThreadProcessId shell32.dll:ShellExecuteW \
  kernel32.dll:DisableThreadLibraryCalls kernel32.dll:OpenProcess \
  kernel32.dll:WaitForMultipleObjects; do
  imports_of "${entry%%:*}" | grep -qw "${entry#*:}" ||
    bad "${entry#*:} is not imported from ${entry%%:*}"
done

[ "$fail" -eq 0 ] && echo "action.dll: exports and imports as expected"
exit "$fail"
