#!/usr/bin/env bash
# Builds the Windows Installer package of ZEP from a laid-out bin folder:
#
#   make_msi.sh <bin-dir> <version> <icon.ico> <output.msi>
#
# <bin-dir> holds the five programs, ZEP.conf, the message files, the .bat
# scripts, ReadMe.txt and service_stop.dll (a custom action of the package
# alone); <version> is the product version (the first three numbers decide
# upgrades); <icon.ico> the product's icon in Add/Remove Programs (the tray
# program's own, icon 400).
#
# wixl (msitools 0.101) builds zep.wxs with a fragment made here that gives
# each .bat file in <bin-dir> its own component. msibuild then sets what
# wixl 0.101 cannot express:
# - ZEP.conf and the scripts: never overwritten, permanent (Component
#   attributes 0x190 with the 64-bit bit): installed when missing, kept
#   with the user's edits on every upgrade and after removal;
# - the upgrade row also takes the same version (IncludeMaximum 0x200), so
#   that a rebuild of one version replaces the installed one instead of
#   landing beside it.
# wixl only warns about an attribute it does not know and drops it, so its
# output is read and any such warning fails the build.
set -euo pipefail

usage="usage: $(basename "$0") <bin-dir> <version> <icon.ico> <output.msi>"
bin=$(cd "${1:?$usage}" && pwd)
version=${2:?$usage}
icon=${3:?$usage}
out=${4:?$usage}
here=$(cd "$(dirname "$0")" && pwd)
case $out in /*) ;; *) out=$(pwd)/$out ;; esac

work=$(mktemp -d /tmp/zep-msi.XXXXXX)
trap 'rm -rf "$work"' EXIT
# zep.wxs is built from here, where it finds its icon beside it.
cp "$here/zep.wxs" "$work/zep.wxs"
cp "$icon" "$work/zep.ico"

# The scripts, sorted so that the package is the same for the same files.
scripts=()
while IFS= read -r name; do scripts+=("$name"); done < <(
  cd "$bin" && find . -maxdepth 1 -name '*.bat' -printf '%f\n' | LC_ALL=C sort)
[ "${#scripts[@]}" -gt 0 ] || { echo "no .bat files in $bin" >&2; exit 1; }

# script_components <group> <directory> <id prefix>
script_components() {
  echo "    <ComponentGroup Id=\"$1\" Directory=\"$2\">"
  local name id
  for name in "${scripts[@]}"; do
    id=$3$(printf '%s' "${name%.bat}" | tr -c 'A-Za-z0-9_' '_')
    echo "      <Component Id=\"$id\" Guid=\"*\" Win64=\"yes\">"
    echo "        <File Id=\"$id.bat\" Name=\"$name\" Source=\"\$(var.BinDir)/$name\" KeyPath=\"yes\"/>"
    echo "      </Component>"
  done
  echo "    </ComponentGroup>"
}
{
  echo '<?xml version="1.0" encoding="utf-8"?>'
  echo '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">'
  echo '  <Fragment>'
  script_components Scripts INSTALLDIR Script_
  script_components ScriptDefaults DEFAULTSDIR ScriptDefault_
  echo '  </Fragment>'
  echo '</Wix>'
} >"$work/scripts.wxs"

# Sources are named relative to <bin-dir> (wixl refuses absolute ones); the
# icon is found beside zep.wxs.
if ! (cd "$bin" && wixl -a x64 -D BinDir=. -D Version="$version" \
  -o "$work/zep.msi" "$work/zep.wxs" "$work/scripts.wxs") >"$work/wixl.log" 2>&1; then
  cat "$work/wixl.log" >&2
  echo "wixl failed" >&2
  exit 1
fi
if grep -E 'has no property named|CRITICAL|unimplemented|unhandled' "$work/wixl.log" >&2; then
  echo "wixl dropped part of zep.wxs" >&2
  exit 1
fi

kept="\`Component\` = 'Settings'"
for name in "${scripts[@]}"; do
  kept="$kept OR \`Component\` = 'Script_$(printf '%s' "${name%.bat}" | tr -c 'A-Za-z0-9_' '_')'"
done
msibuild "$work/zep.msi" -q "UPDATE \`Component\` SET \`Attributes\` = 400 WHERE $kept"
# Attributes is part of the Upgrade table's key, so the row is replaced.
code=$(msiinfo export "$work/zep.msi" Property | tr -d '\r' | awk -F'\t' '$1 == "UpgradeCode" { print $2 }')
msibuild "$work/zep.msi" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
msibuild "$work/zep.msi" -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$code', '$version', 513, 'WIX_UPGRADE_DETECTED')"

mkdir -p "$(dirname "$out")"
mv -f "$work/zep.msi" "$out.tmp"
mv -f "$out.tmp" "$out"
