#!/usr/bin/env bash
# Checks the desktop integration of a build: the .desktop file passes
# desktop-file-validate, and the .deb that cpack makes holds the binary, the
# desktop file and the icons and depends on Debian's Qt 6 runtime packages
# alone. Usage: tools/check_package.sh [build-dir]
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
    libqt6*|qt6-qpa-plugins) ;;
    *) echo "check_package: $deb depends on $name, which is not a Qt 6 runtime package" >&2; exit 1 ;;
  esac
done < <(tr ',' '\n' <<<"$depends" | sed 's/^ *//')
echo "check_package: $deb holds the viewer, its desktop file and icons; Depends: $depends"
