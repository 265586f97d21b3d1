#!/usr/bin/env bash
# Checks a package made by scripts/package.sh without installing it: the desktop entry, the
# AppStream metadata and the package itself (lintian: no errors), the icon sizes, and the version
# both programs print against the package's.
set -euo pipefail
deb=$(realpath "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error "$deb"

for size in 16 22 24 32 48 64 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/morvane.png"
    [[ $(file -b "$png") == *"PNG image data, $size x $size"* ]] || { echo "not a $size-pixel PNG: $png" >&2; exit 1; }
done

# Both programs link libzip (they add sheets to existing workbooks), so the package depends on it.
# (Each output is taken whole first: grep -q leaving a pipe early would fail it under pipefail.)
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libzip4* ]] || { echo "the package does not depend on libzip4: $depends" >&2; exit 1; }
for program in morvane morvane-convert; do
    headers=$(objdump -p "$root/usr/bin/$program")
    grep -q 'NEEDED *libzip' <<<"$headers" || { echo "$program does not link libzip" >&2; exit 1; }
done

# Without a display: the window program answers --version before it needs one.
version=$(dpkg-deb -f "$deb" Version)
for program in morvane morvane-convert; do
    printed=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$program" --version)
    [ "$printed" = "$program $version" ] || { echo "$program --version: '$printed', package: $version" >&2; exit 1; }
done
echo "package checked: $(basename "$deb")"
