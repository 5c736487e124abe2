#!/usr/bin/env bash
# Builds the Debian package and checks it: the validators, the files it installs and
# nothing else, no maintainer scripts, its relations, and the installed binary run
# from a temporary root: the bridge at the end of its input, and the app answering
# from its catalog. The same tree installed with `cmake --install --prefix` is
# checked the same way. Needs what `scripts/setup.sh --tests` installs (the validators,
# node and the e2e suite's node_modules).
#   scripts/check_package.sh [CMAKE OPTION...]
# The package is built in a tree of its own, build/package-check, with warnings as
# errors and outside values under the reserved example domain (RFC 2606), so that the
# maintainer's address and the screenshots are checked without naming anybody's
# address, and a packager's build/package never inherits them. The options, passed on
# to scripts/package.sh, may replace them.
set -euo pipefail
cd "$(dirname "$0")/.."

problems=0
fail() {
  echo "check_package: $*" >&2
  problems=$((problems + 1))
}

deb=$(scripts/package.sh -B build/package-check -DMELODOCK_WERROR=ON \
  -DMELODOCK_SUPPORT_ADDRESS=support@melodock.example -DMELODOCK_SITE_URL=https://melodock.example \
  "$@" | tail -n 1)
echo "package: $deb"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$work/control"

# Every file the package installs, and nothing more.
expected=(
  ./etc/xdg/autostart/org.melodock.Melodock.desktop
  ./usr/bin/melodock
  ./usr/share/applications/org.melodock.Melodock.desktop
  ./usr/share/doc/melodock/changelog.gz
  ./usr/share/doc/melodock/copyright
  ./usr/share/icons/hicolor/128x128/apps/org.melodock.Melodock.png
  ./usr/share/icons/hicolor/16x16/apps/org.melodock.Melodock.png
  ./usr/share/icons/hicolor/22x22/apps/org.melodock.Melodock.png
  ./usr/share/icons/hicolor/24x24/apps/org.melodock.Melodock.png
  ./usr/share/icons/hicolor/256x256/apps/org.melodock.Melodock.png
  ./usr/share/icons/hicolor/32x32/apps/org.melodock.Melodock.png
  ./usr/share/icons/hicolor/48x48/apps/org.melodock.Melodock.png
  ./usr/share/icons/hicolor/512x512/apps/org.melodock.Melodock.png
  ./usr/share/icons/hicolor/64x64/apps/org.melodock.Melodock.png
  ./usr/share/icons/hicolor/scalable/apps/org.melodock.Melodock.svg
  ./usr/share/icons/hicolor/symbolic/apps/org.melodock.Melodock-symbolic.svg
  ./usr/share/man/man1/melodock.1.gz
  ./usr/share/melodock/catalog.sqlite
  ./usr/share/metainfo/org.melodock.Melodock.metainfo.xml
)
installed=$(cd "$root" && find . ! -type d | LC_ALL=C sort)
wanted=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
if [ "$installed" != "$wanted" ]; then
  fail "the installed files differ from the expected list (- expected, + installed):"
  diff <(echo "$wanted") <(echo "$installed") | grep '^[<>]' | sed 's/^</-/; s/^>/+/' >&2 || true
fi

# Removing the package touches nobody's settings: there are no maintainer scripts.
for script in preinst postinst prerm postrm config; do
  [ ! -e "$work/control/$script" ] || fail "the package has a $script script"
done

field() { dpkg-deb -f "$deb" "$1"; }
depends=$(field Depends)
for package in libc6 libsqlite3-0 libgstreamer1.0-0 gstreamer1.0-plugins-base \
  gstreamer1.0-plugins-good; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
[ "$(field Recommends)" = "qt6-wayland, gstreamer1.0-libav" ] ||
  fail "Recommends is \"$(field Recommends)\""
version=$(field Version)
newest=$(grep -o '<release version="[^"]*"' "$root/usr/share/metainfo/org.melodock.Melodock.metainfo.xml" |
  head -n 1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the newest AppStream release is $newest, the package $version"
for entry in usr/share/applications etc/xdg/autostart; do
  grep -qx 'Exec=/usr/bin/melodock' "$root/$entry/org.melodock.Melodock.desktop" ||
    fail "$entry's entry does not start /usr/bin/melodock"
done
grep -qx 'X-GNOME-Autostart-enabled=true' "$root/etc/xdg/autostart/org.melodock.Melodock.desktop" ||
  fail "the autostart entry is not enabled"

desktop-file-validate "$root/usr/share/applications/org.melodock.Melodock.desktop" \
  "$root/etc/xdg/autostart/org.melodock.Melodock.desktop" || fail "desktop-file-validate"
# --no-net: the screenshots' addresses are not fetched.
appstreamcli validate --no-net "$root/usr/share/metainfo/org.melodock.Melodock.metainfo.xml" ||
  fail "appstreamcli validate"
# Warnings are listed, with their reasons, in the README; errors fail.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

# The same tree installed to another prefix: the same files under it, the autostart
# entry in its etc/, and the entries naming the binary there.
tree=$(dirname "$deb")
prefix=$work/prefix
cmake --install "$tree" --prefix "$prefix" >/dev/null
installed=$(cd "$prefix" && find . ! -type d | LC_ALL=C sort)
wanted=$(printf '%s\n' "${expected[@]}" | sed 's|^\./usr/|./|' | LC_ALL=C sort)
if [ "$installed" != "$wanted" ]; then
  fail "cmake --install to a prefix installs other files (- expected, + installed):"
  diff <(echo "$wanted") <(echo "$installed") | grep '^[<>]' | sed 's/^</-/; s/^>/+/' >&2 || true
fi
for entry in share/applications etc/xdg/autostart; do
  grep -qx "Exec=$prefix/bin/melodock" "$prefix/$entry/org.melodock.Melodock.desktop" ||
    fail "after cmake --install, $entry's entry does not start $prefix/bin/melodock"
done

# An installed binary, with user folders of its own and no session to reach: the
# bridge at the end of its input, then the app answering from the installed catalog.
check_binary() {
  local binary=$1 home
  home=$(mktemp -d -p "$work")
  mkdir -p "$home"/{config,data,cache,run,music}
  chmod 700 "$home/run"
  local bridge_out
  if bridge_out=$(env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" \
    XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run" \
    XDG_MUSIC_DIR="$home/music" "$binary" --stdio </dev/null 2>&1); then
    [ -z "$bridge_out" ] || fail "$binary --stdio wrote at the end of its input: $bridge_out"
  else
    fail "$binary --stdio at the end of its input exited $?: $bridge_out"
  fi
  env DISPLAY= WAYLAND_DISPLAY= DBUS_SESSION_BUS_ADDRESS= MELODOCK_BINARY="$binary" \
    node scripts/check_package.mjs || fail "$binary does not answer from its catalog"
}
check_binary "$root/usr/bin/melodock"
check_binary "$prefix/bin/melodock"

if [ $problems -gt 0 ]; then
  echo "check_package: $problems problems" >&2
  exit 1
fi
echo "check_package: $deb is fine"
