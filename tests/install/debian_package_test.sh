#!/usr/bin/env bash
# The Debian package as scripts/package makes it: named <name>_<version>_<arch>.deb, the build's one
# version, dependencies found from the program's libraries plus the ODBC driver and odbcinst, maintainer
# scripts in place, no stand-in, and no lintian errors. As root with CI=true it also installs the
# package with dpkg, uses the installed program (run_installed_copy.sh), removes and purges the package
# and checks that the machine is as before (files, odbcinst.ini) and the user's settings are still there.
# Usage: debian_package_test.sh BUILD_FOLDER VAC_STANDIN
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BUILD_FOLDER VAC_STANDIN" >&2; exit 2; }
build=$(realpath "$1")
standin=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
name=vantor-account-creator
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
installed_here=""
marker=/var/lib/vantor-account-creator-test/installed-by-test
cleanup() {
  if [ -n "$installed_here" ]; then
    dpkg --purge "$name" >/dev/null 2>&1 || echo "WARNING: could not purge $name" >&2
    rm -f "$marker"
    rmdir "$(dirname "$marker")" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
cpack --config "$build/CPackConfig.cmake" -B "$work/pack" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$work/pack/${name}_${version}_${arch}.deb"
[ -f "$deb" ] || fail "cpack did not write ${deb##*/}: $(ls "$work/pack")"

# --- The control data.
[ "$(dpkg-deb -f "$deb" Package)" = "$name" ] || fail "the package is not named $name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "the package is not for $arch"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(sed -e 's/ *([^)]*)//g' -e 's/, */\n/g' <<<"$depends")
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libodbc2 tdsodbc odbcinst; do
  grep -qxF "$package" <<<"$names" || fail "Depends lacks $package"
done
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm; do
  [ "$(stat -c %a "$work/control/$script")" = 755 ] || fail "$script is missing or not executable"
done
contents=$(dpkg-deb -c "$deb" | awk '{print substr($6, 2)}')
grep -q "vac-standin" <<<"$contents" && fail "the package holds the stand-in"
grep -qx "/usr/bin/$name" <<<"$contents" || fail "the package holds no program"

# --- lintian: its whole report is shown; an error fails.
echo "== lintian ${deb##*/}"
lintian --fail-on error "$deb" || fail "lintian reports errors"
echo "lintian: no errors"

# --- Installed with dpkg: only as root in CI, where the machine is there to be changed and put back.
if [ "$(id -u)" -ne 0 ] || [ "${CI:-}" != true ]; then
  echo "PASS (package checked; the dpkg install and removal run as root with CI=true)"
  exit 0
fi
# One run at a time installs the package: the lock is on this script itself, so nothing is left behind.
exec 8<"$0"
flock 8
if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'installed'; then
  [ -f "$marker" ] || { echo "PASS (package checked; $name is installed on this machine, so dpkg was left alone)"; exit 0; }
  echo "Removing $name that an interrupted run of this test left installed."
  dpkg --purge "$name" >/dev/null
fi

# Another package manager run may hold dpkg's lock for a while: wait for it.
dpkg_retrying() {
  local output
  for _ in $(seq 1 120); do
    if output=$(dpkg "$@" 2>&1); then return 0; fi
    grep -qi "lock" <<<"$output" || { echo "$output" >&2; return 1; }
    sleep 1
  done
  echo "$output" >&2
  return 1
}
odbc_before=$(sha256sum /etc/odbcinst.ini 2>/dev/null || echo absent)

mkdir -p "$(dirname "$marker")"
: >"$marker"
installed_here=1
dpkg_retrying -i "$deb" || fail "dpkg -i failed"
[ -x "/usr/bin/$name" ] || fail "/usr/bin/$name was not installed"
odbcinst -q -d -n FreeTDS >/dev/null || fail "FreeTDS is not registered with unixODBC after the installation"

chmod 755 "$work"
mkdir "$work/run"
"$here/run_installed_copy.sh" "/usr/bin/$name" "$standin" "$work/run"
settings="$work/run/home/.config/$name/$name.ini"
settings_before=$(sha256sum <"$settings")

dpkg_retrying --remove "$name" || fail "dpkg --remove failed"
dpkg_retrying --purge "$name" || fail "dpkg --purge failed"
installed_here=""
rm -f "$marker"
rmdir "$(dirname "$marker")" 2>/dev/null || true

while read -r path; do
  [ -f "$path" ] && fail "$path is still there after the removal"
done <<<"$contents"
[ "$(sha256sum /etc/odbcinst.ini 2>/dev/null || echo absent)" = "$odbc_before" ] ||
  fail "/etc/odbcinst.ini differs from before the installation"
[ -f "$settings" ] && [ "$(sha256sum <"$settings")" = "$settings_before" ] ||
  fail "removing the package changed the user's settings"
echo "PASS: the package installs, its program works for an ordinary user, and removing it leaves the machine as before and the user's settings alone"
