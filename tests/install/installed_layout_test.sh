#!/usr/bin/env bash
# The install rules: `cmake --install` with DESTDIR puts exactly the desktop application's files under
# the prefix (program, menu entry, icons, AppStream metadata, manual page, documents; never the
# stand-in), the menu entry names what was installed, and a copy installed with --prefix runs for an
# ordinary user, keeping its settings in the per-user folder (run_installed_copy.sh).
# Usage: installed_layout_test.sh BUILD_FOLDER VAC_STANDIN
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BUILD_FOLDER VAC_STANDIN" >&2; exit 2; }
build=$(realpath "$1")
standin=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- DESTDIR staging with the prefix a package uses.
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
id=net.vantor.AccountCreator
doc=usr/share/doc/vantor-account-creator
expected=(
  usr/bin/vantor-account-creator
  "usr/share/applications/$id.desktop"
  "usr/share/icons/hicolor/scalable/apps/$id.svg"
  "usr/share/metainfo/$id.metainfo.xml"
  usr/share/man/man1/vantor-account-creator.1.gz
  "$doc/README.md" "$doc/copyright" "$doc/changelog.gz"
)
# The README's pictures, beside it as in the repository.
for picture in "$here"/../../docs/screenshot-*.png; do expected+=("$doc/docs/${picture##*/}"); done
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png"); done
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$work/stage" && find . -type f -printf '%P\n' | sort) ||
  fail "the installed files differ from the list above (< missing, > not expected)"

for size in "${sizes[@]}"; do
  png="$work/stage/usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
  [ "$(identify -format '%wx%h' "$png")" = "${size}x${size}" ] || fail "$png is not ${size}x${size}"
done
[ -x "$work/stage/usr/bin/vantor-account-creator" ] || fail "the program is not executable"

# The menu entry starts the installed program by its name and shows the installed icon.
desktop="$work/stage/usr/share/applications/$id.desktop"
grep -qx "Exec=vantor-account-creator" "$desktop" || fail "Exec does not name the installed program"
grep -qx "Icon=$id" "$desktop" || fail "Icon does not name the installed icon"
grep -qx "Name=Vantor Account Creator" "$desktop" || fail "the entry is not named Vantor Account Creator"

# One version: the AppStream release and the changelog carry the build's version.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
grep -q "<release version=\"$version\"" "$work/stage/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the AppStream release is not $version"
zcat "$work/stage/$doc/changelog.gz" | head -n 1 | grep -qF "vantor-account-creator ($version)" ||
  fail "the changelog's entry is not $version"
[ "$(grep -c '<screenshot[ >]' "$work/stage/usr/share/metainfo/$id.metainfo.xml")" -eq 3 ] ||
  fail "the AppStream data does not show the three pages"

# --- A copy installed with --prefix, used by an ordinary user.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
chmod 755 "$work"
mkdir "$work/run"
"$here/run_installed_copy.sh" "$work/prefix/bin/vantor-account-creator" "$standin" "$work/run"
echo "PASS: the install rules put exactly the desktop application's files under the prefix"
