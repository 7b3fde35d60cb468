#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package with scripts/package and checks it: its control
# fields and dependencies, its files, the menu entry and the AppStream
# metainfo as the desktop's tools read them, the packaged programs running,
# and lintian.
#
#   package_test.sh <source folder> <project version> <folder with testorig.jpg and testimggray.jpg>
set -euo pipefail

root=$1 version=$2 pictures=$3
for tool in dpkg-buildpackage dh rsvg-convert lintian desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps installs it)"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

printed=$("$root/scripts/package")
deb=${printed##*$'\n'}
[ -f "$deb" ] && [[ $deb == *.deb ]] || { echo "FAIL: the last line of scripts/package, \"$deb\", is no package"; exit 1; }
echo "package: $deb"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kalvio ] || fail "Package is \"$(field Package)\""
[ "$(field Version)" = "$version" ] || fail "Version is \"$(field Version)\", the project is $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is \"$(field Architecture)\""

# Depends, one group of alternatives a line, without versions or spaces.
groups=$(field Depends | tr ',' '\n' | sed -e 's/([^)]*)//g' -e 's/[[:space:]]//g')
required=(
  # found by dpkg-shlibdeps in the programs
  libc6 libstdc++6 libjpeg62-turbo libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libx11-6 libxss1 libgstreamer1.0-0 libglib2.0-0
  # needed at run time only: music decoders and output, the MIDI sound font,
  # the Chinese faces, Qt's platform plug-ins and translations
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-plugins-bad gstreamer1.0-libav 'gstreamer1.0-alsa|gstreamer1.0-pulseaudio'
  'timgm6mb-soundfont|sf3-soundfont-gm|sf2-soundfont-gm'
  fonts-wqy-microhei fonts-arphic-uming fonts-arphic-ukai
  qt6-qpa-plugins qt6-wayland qt6-translations-l10n
)
for need in "${required[@]}"; do
  grep -qxF -- "$need" <<<"$groups" || fail "Depends has no \"$need\""
done

# Files: owned by root, programs executable, nothing else in /usr/bin.
listing=$(dpkg-deb -c "$deb")
has() { awk '{ print $1, $2, $6 }' <<<"$listing" | grep -qxF -- "$1" || fail "no \"$1\" in the package"; }
for program in kalvio kalvio-preview; do
  has "-rwxr-xr-x root/root ./usr/bin/$program"
done
[ "$(grep -c ' \./usr/bin/.' <<<"$listing")" -eq 2 ] || fail "/usr/bin holds more than the two programs"
for file in usr/share/applications/kalvio.desktop usr/share/metainfo/app.kalvio.Kalvio.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/kalvio.svg \
            usr/share/man/man1/kalvio.1.gz usr/share/man/man1/kalvio-preview.1.gz \
            usr/share/man/zh_CN/man1/kalvio.1.gz \
            usr/share/doc/kalvio/copyright usr/share/doc/kalvio/changelog.gz; do
  has "-rw-r--r-- root/root ./$file"
done

dpkg-deb -x "$deb" "$work/root"
cd "$work/root"

# PNG icons in the usual sizes, each as large as its folder says.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }'; }
for size in 16 24 32 48 64 128 256; do
  icon=usr/share/icons/hicolor/${size}x$size/apps/kalvio.png
  if [ ! -f "$icon" ]; then
    fail "no $icon"
  elif [ "$(head -c 4 "$icon" | od -An -c | tr -d ' ')" != '211PNG' ] || [ "$(png_size "$icon")" != "${size}x$size" ]; then
    fail "$icon is no ${size}x$size PNG"
  fi
done

# The menu entry starts a packaged program and names the packaged icon.
desktop=usr/share/applications/kalvio.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
exec_line=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -n "$exec_line" ] && [ -x "usr/bin/$exec_line" ] || fail "Exec=$exec_line is not a packaged program"
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ] || fail "Icon=$icon_name is not a packaged icon"

# The software centre's metainfo: valid, named for its id, launching the menu
# entry, describing this version in English and Chinese, with a content rating.
metainfo=usr/share/metainfo/app.kalvio.Kalvio.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
tag() { sed -n "s:.*<$1>\(.*\)</$1>.*:\1:p" "$metainfo"; }
[ "$(tag id).metainfo.xml" = "$(basename "$metainfo")" ] || fail "the metainfo's id $(tag id) is not its file name"
grep -qF '<launchable type="desktop-id">kalvio.desktop</launchable>' "$metainfo" ||
  fail "the metainfo does not launch kalvio.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
grep -q '<p xml:lang="zh_CN">' "$metainfo" || fail "the metainfo has no Chinese description"
grep -q '<p>' "$metainfo" || fail "the metainfo has no English description"
grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "the metainfo has no content rating"

# The packaged programs run: the preview tool writes a frame the size of the
# new picture, and the player keeps its settings window up until stopped.
usr/bin/kalvio-preview --old "$pictures/testimggray.jpg" --new "$pictures/testorig.jpg" \
  --style 60 --progress 50 --out "$work/frame.png" || fail "the packaged kalvio-preview failed"
[ -f "$work/frame.png" ] && [ "$(png_size "$work/frame.png")" = 227x149 ] ||
  fail "the packaged kalvio-preview wrote no 227x149 frame"
mkdir -m 700 "$work/runtime"
set +e
XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen timeout 5 usr/bin/kalvio
rc=$?
set -e
[ $rc -eq 124 ] || fail "the packaged kalvio ended by itself with $rc instead of running until stopped"

# lintian: no errors and no warnings (none are overridden).
set +e
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1
lintian_rc=$?
set -e
grep -v '^running with root privileges' "$work/lintian.txt" || true
[ $lintian_rc -eq 0 ] || fail "lintian found errors or warnings"

[ $failures -eq 0 ] || exit 1
echo "package: fields, Depends, files, icons, menu entry, metainfo, programs and lintian checked"
