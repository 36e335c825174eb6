#!/usr/bin/env bash
# Checks the desktop integration of a build: the .desktop file passes
# desktop-file-validate, and the .deb that cpack makes holds the binary, the
# desktop file and the icons, depends on Debian's Qt 6 and muparser runtime
# packages alone, and names the package of every library the binary loads
# (those of the C and C++ runtimes come with Qt).
# Usage: tools/check_package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

desktop-file-validate dist/datalog-viewer.desktop
# What the package holds, built if need be; nothing else is (see CMakeLists.txt).
cmake --build "$build" --target datalog-viewer dlv-icons -j"$(nproc)" >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/datalog-viewer_*.deb | head -n1)

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for file in ./usr/bin/datalog-viewer ./usr/share/applications/datalog-viewer.desktop \
            ./usr/share/icons/hicolor/scalable/apps/datalog-viewer.svg \
            ./usr/share/icons/hicolor/48x48/apps/datalog-viewer.png \
            ./usr/share/icons/hicolor/256x256/apps/datalog-viewer.png; do
  grep -qxF "$file" <<<"$contents" || { echo "check_package: $deb lacks $file" >&2; exit 1; }
done

depends=$(dpkg-deb --field "$deb" Depends)
dpkg-deb --info "$deb" >/dev/null
while IFS= read -r dep; do
  name=${dep%% *}
  case "$name" in
    libqt6*|qt6-qpa-plugins|libmuparser*) ;;
    *) echo "check_package: $deb depends on $name, which is not a Qt 6 or muparser runtime package" >&2; exit 1 ;;
  esac
done < <(tr ',' '\n' <<<"$depends" | sed 's/^ *//')
# Each library the packaged binary needs, by the package that holds it here.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
loaded=$(ldd "$unpacked/usr/bin/datalog-viewer")
while read -r library; do
  [[ $library == ld-linux* ]] && continue  # the loader, of the C runtime
  path=$(awk -v lib="$library" '$1 == lib && $2 == "=>" { print $3 }' <<<"$loaded")
  package=""
  [ -n "$path" ] && package=$(dpkg -S "$path" 2>/dev/null || dpkg -S "/usr$path" 2>/dev/null || dpkg -S "${path#/usr}" 2>/dev/null || true)
  package=$(head -n1 <<<"$package" | cut -d: -f1)
  case "$package" in
    libc6|libstdc++6|libgcc-s1) continue ;;
    "") echo "check_package: no installed package holds $library, which the viewer needs" >&2; exit 1 ;;
  esac
  grep -qE "(^|, )$package( |,|$)" <<<"$depends" ||
    { echo "check_package: the viewer needs $library of $package, which $deb does not depend on" >&2; exit 1; }
done < <(readelf -d "$unpacked/usr/bin/datalog-viewer" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "check_package: $deb holds the viewer, its desktop file and icons; Depends: $depends"
