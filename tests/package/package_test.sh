#!/usr/bin/env bash
# From a tree to an installed package: scripts/run's build step makes every program the desktop
# program starts, `cmake --install` works after it, and scripts/package makes a .deb with what a
# user needs under /usr (and no developer tool) whose programs answer, whose dependencies resolve
# and which lintian passes without errors.
#
# usage: package_test.sh BUILD_FOLDER   (a release build of its own, kept between runs)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath -m "${1:?usage: package_test.sh BUILD_FOLDER}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
version=$(sed -n 's/.*kProgramVersion = "\([0-9.]*\)".*/\1/p' "$src/src/app/version.h")
arch=$(dpkg --print-architecture)

# The programs are removed first: the build step must make each of them again.
rm -f "$build/shell/halvyn" "$build/shell/halvyn-helper" "$build/halvyn-sim" "$build"/lib/halvyn/modules/*.so
env -u DISPLAY -u WAYLAND_DISPLAY HALVYN_RUN_BUILD="$build" "$src/scripts/run" --build >"$scratch/build.log" 2>&1 ||
    { tail -n 40 "$scratch/build.log"; fail "scripts/run --build"; }
for program in halvyn halvyn-helper; do
    [ -x "$build/shell/$program" ] || fail "scripts/run's build step did not build $program"
done
modules="halvyn-sounds halvyn-http halvyn-updates halvyn-calendar halvyn-gnome"
for m in $modules; do
    [ -f "$build/lib/halvyn/modules/$m.so" ] || fail "scripts/run's build step did not build the module $m"
done
cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; fail "cmake --install after scripts/run's build step"; }
[ -x "$scratch/prefix/bin/halvyn-helper" ] || fail "cmake --install did not install the helper"
[ -f "$scratch/prefix/lib/halvyn/modules/halvyn-updates.so" ] || fail "cmake --install did not install the modules"
[ ! -e "$scratch/prefix/bin/halvyn-sim" ] || fail "cmake --install installed the developer's halvyn-sim"

HALVYN_PACKAGE_BUILD="$build" HALVYN_PACKAGE_OUT="$scratch/out" "$src/scripts/package" >"$scratch/deb" 2>"$scratch/package.log" ||
    { tail -n 60 "$scratch/package.log"; fail "scripts/package"; }
deb=$(tail -n 1 "$scratch/deb")
[ "$(basename "$deb")" = "halvyn_${version}_${arch}.deb" ] || fail "package named $(basename "$deb")"
grep '^[WE]: ' "$scratch/package.log" >&2 || true  # lintian's findings, for the log

# What it holds: the programs, sounds, icons, desktop entry, metadata, manual pages and
# Debian's documents under /usr, and nothing of the developer's.
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$scratch/files"
for f in /usr/bin/halvyn /usr/bin/halvyn-helper /usr/share/halvyn/sounds/lock.caf \
    /usr/lib/halvyn/modules/halvyn-sounds.so /usr/lib/halvyn/modules/halvyn-http.so /usr/lib/halvyn/modules/halvyn-updates.so \
    /usr/lib/halvyn/modules/halvyn-calendar.so /usr/lib/halvyn/modules/halvyn-gnome.so \
    /usr/share/icons/hicolor/scalable/apps/app.halvyn.halvyn.svg \
    /usr/share/icons/hicolor/symbolic/apps/app.halvyn.halvyn-symbolic.svg \
    /usr/share/applications/app.halvyn.halvyn.desktop /usr/share/metainfo/app.halvyn.halvyn.metainfo.xml \
    /usr/share/man/man1/halvyn.1.gz /usr/share/man/man1/halvyn-helper.1.gz \
    /usr/share/doc/halvyn/copyright /usr/share/doc/halvyn/changelog.gz; do
    grep -qx "$f" "$scratch/files" || fail "the package lacks $f"
done
if grep -v '^/usr/' "$scratch/files" | grep -qv '^/$'; then fail "the package puts files outside /usr"; fi
if grep -q 'halvyn-sim\|install-manifest' "$scratch/files"; then fail "the package holds a developer's file"; fi

[ "$(dpkg-deb -f "$deb" Package)" = halvyn ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "package architecture"
depends=$(dpkg-deb -f "$deb" Depends)
# Computed from the programs' and the modules' libraries, with their versions.
for lib in libc6 libqt6core6 libqt6widgets6 libqt6dbus6 libqt6multimedia6 libpulse0 libarchive13 libical3; do
    [[ ", $depends" == *", $lib ("* ]] || fail "Depends lacks $lib: $depends"
done

dpkg-deb -x "$deb" "$scratch/root"
# The program maps none of the modules' libraries at start, and the modules carry no search path.
needed=$(readelf -d "$scratch/root/usr/bin/halvyn")
for lib in libQt6Multimedia libcrypto libarchive libical libcmark-gfm; do
    [[ "$needed" != *"$lib"* ]] || fail "halvyn links $lib, which a module should bring"
done
for m in $modules; do
    if readelf -d "$scratch/root/usr/lib/halvyn/modules/$m.so" | grep -q 'RPATH\|RUNPATH'; then fail "$m.so has a search path"; fi
done
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$scratch/root/usr/bin/halvyn" --version)" = "Halvyn $version" ] ||
    fail "the unpacked halvyn --version"
[ "$("$scratch/root/usr/bin/halvyn-helper" --version)" = "halvyn-helper $version" ] ||
    fail "the unpacked halvyn-helper --version"

apt-get install --simulate "$deb" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; fail "apt-get install --simulate"; }
grep -q '^Inst halvyn \|^halvyn is already the newest' "$scratch/apt.log" || { cat "$scratch/apt.log"; fail "apt-get would not install halvyn"; }
echo "package test passed: $deb"
