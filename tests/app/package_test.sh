#!/usr/bin/env bash
# The Debian package, as a user's apt would get it: built with CPack from the
# build folder, its files and fields, the desktop entry and AppStream data
# desktops read, and the program run from a scratch root without a display.
# Usage: package_test.sh BUILD_FOLDER VERSION
build=$1
version=$2
jotbox=unused
source "$(dirname "$0")/../e2e/lib.sh"

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1)
deb=$work/out/jotbox_${version}_amd64.deb
check "cpack -G DEB builds jotbox_${version}_amd64.deb" test -f "$deb"
files=$(dpkg-deb -c "$deb" 2>/dev/null)
for f in bin/jotbox share/applications/dev.jotbox.Jotbox.desktop share/metainfo/dev.jotbox.Jotbox.metainfo.xml \
  share/icons/hicolor/256x256/apps/dev.jotbox.Jotbox.png share/icons/hicolor/scalable/apps/dev.jotbox.Jotbox.svg \
  share/icons/hicolor/scalable/apps/dev.jotbox.Jotbox-panel.svg \
  share/icons/hicolor/symbolic/apps/dev.jotbox.Jotbox-symbolic.svg share/dbus-1/services/dev.jotbox.Jotbox.service \
  share/doc/jotbox/copyright share/doc/jotbox/changelog.gz share/man/man1/jotbox.1.gz; do
  check "it installs /usr/$f" grep -q " \./usr/$f$" <<<"$files"
done
field() { dpkg-deb -f "$deb" "$1" 2>/dev/null; }
check "package jotbox, version $version, section utils, with a maintainer" \
  test "$(field Package) $(field Version) $(field Section)" = "jotbox $version utils" -a -n "$(field Maintainer)"
check "lintian finds no fault in it" bash -c "! lintian '$deb' 2>/dev/null | grep -q ."
check "its dependencies come from the binary (Qt Widgets among them)" grep -q 'libqt6widgets6' <<<"$(field Depends)"
dpkg -x "$deb" "$work/root"
check "the desktop entry passes desktop-file-validate" \
  desktop-file-validate "$work/root/usr/share/applications/dev.jotbox.Jotbox.desktop"
check "menus list it (no NoDisplay) and it names its window class" bash -c \
  "! grep -q NoDisplay '$work/root/usr/share/applications/dev.jotbox.Jotbox.desktop' &&
   grep -qx StartupWMClass=jotbox '$work/root/usr/share/applications/dev.jotbox.Jotbox.desktop'"
check "the bus starts the installed program for its name" grep -qx 'Exec=/usr/bin/jotbox --dbus-activated' \
  "$work/root/usr/share/dbus-1/services/dev.jotbox.Jotbox.service"
check "the metainfo passes appstreamcli validate --no-net" \
  appstreamcli validate --no-net "$work/root/usr/share/metainfo/dev.jotbox.Jotbox.metainfo.xml"
unset DISPLAY WAYLAND_DISPLAY
check "jotbox --version prints the version alone, with no display" \
  test "$("$work/root/usr/bin/jotbox" --version)" = "$version"
check "jotbox --help tells the commands, the shortcut and the notes file" bash -c \
  "'$work/root/usr/bin/jotbox' --help | grep -q 'append TEXT' && '$work/root/usr/bin/jotbox' --help | grep -q Ctrl+Alt+N &&
   '$work/root/usr/bin/jotbox' --help | grep -q notes.json"
finish
