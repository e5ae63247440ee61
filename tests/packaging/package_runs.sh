#!/usr/bin/env bash
# Builds the Debian packages from a build tree and checks them as Debian's tools and a user see them:
# lintian accepts them, and unpacked into a scratch root (a machine without the build tree) the
# programs find their own files, the installed examples work and a C program builds with pkg-config
# against the installed library and drives the virtual crate's processor through it.
#   package_runs.sh BUILD_TREE SCRATCH SOURCE_TREE C_COMPILER [C_FLAGS...]
# The C flags are those a program that loads the tree's library needs (the sanitizers' runtime).
set -euo pipefail
build=$1
scratch=$2
source=$3
cc=$4
shift 4
cflags=("$@")
# The virtual crate keeps no state: the test leaves nothing in the user's state folder. Nothing points
# the programs at the build or source tree.
export VIDIZOZOREZ_SIM_STATE=none
unset VIDIZOZOREZ_FIRMWARE_PATH
fail() {
    echo "FAIL: $*"
    exit 1
}
rm -rf "$scratch"
mkdir -p "$scratch/out" "$scratch/root" "$scratch/work"
chmod 755 "$scratch" "$scratch/root" "$scratch/work"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" > "$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    fail "cpack"
}
out=$scratch/out
root=$scratch/root

# --- the packages and how they depend on each other
deb() { ls "$out"/"$1"_*.deb; }
for p in vidizozorez libvzprg1 libvzprg-dev; do deb $p > /dev/null || fail "no package $p"; done
# Debug symbols in -dbgsym packages when the build makes them (not a plain Release build).
dbgsym=${VZ_PACKAGE_DBGSYM:-ON}
ddebs=()
for p in vidizozorez libvzprg1; do
    if [ "$dbgsym" = ON ]; then
        ls "$out"/$p-dbgsym_*.ddeb > /dev/null || fail "no package $p-dbgsym"
        ddebs+=("$out"/$p-dbgsym_*.ddeb)
    else
        ! ls "$out"/$p-dbgsym_*.ddeb > /dev/null 2>&1 || fail "an empty $p-dbgsym from a build without debug symbols"
    fi
done
version=$(dpkg-deb --field "$(deb vidizozorez)" Version)
depends=$(dpkg-deb --field "$(deb vidizozorez)" Depends)
echo "vidizozorez $version depends on: $depends"
for d in "libvzprg1 (= $version)" libqt6widgets6 libusb-1.0-0 libxerces-c; do
    [[ $depends == *"$d"* ]] || fail "vidizozorez does not depend on $d"
done
[[ $(dpkg-deb --field "$(deb libvzprg-dev)" Depends) == *"libvzprg1 (= $version)"* ]] ||
    fail "libvzprg-dev does not depend on libvzprg1 (= $version)"
# The library's package: shlibs for the packages linking it, ldconfig by dpkg's trigger, no scripts.
dpkg-deb --control "$(deb libvzprg1)" "$scratch/libvzprg1.control"
grep -qx "libvzprg 1 libvzprg1 (>= $version)" "$scratch/libvzprg1.control/shlibs" || fail "libvzprg1's shlibs"
grep -qx "activate-noawait ldconfig" "$scratch/libvzprg1.control/triggers" || fail "libvzprg1's ldconfig trigger"
for s in preinst postinst prerm postrm; do
    test ! -e "$scratch/libvzprg1.control/$s" || fail "libvzprg1 has a $s script"
done

# --- lintian: no error, no warning that is not overridden (with its reason) in packaging/debian, and
# no override left that no longer matches anything.
command -v lintian > /dev/null || fail "lintian is not installed (scripts/install-deps installs it)"
lintian --display-level ">=info" --tag-display-limit 0 "$out"/*.deb "${ddebs[@]}" \
    > "$scratch/lintian.log" 2>&1 || true
grep -E '^[EWI]:' "$scratch/lintian.log" || true
errors=$(grep -c '^E:' "$scratch/lintian.log" || true)
warnings=$(grep -c '^W:' "$scratch/lintian.log" || true)
echo "lintian: $errors errors, $warnings warnings"
[ "$errors" -eq 0 ] && [ "$warnings" -eq 0 ] || fail "lintian reports errors or warnings"
! grep -E 'unused-override|mismatched-override' "$scratch/lintian.log" || fail "a lintian override matches nothing"

# --- installed into the scratch root
for f in "$out"/*.deb; do dpkg -x "$f" "$root"; done
libdir=$(dirname "$(find "$root/usr/lib" -name libvzprg.so.1)")
doc=$root/usr/share/doc/vidizozorez
standins=$root/usr/share/vidizozorez/controller-firmware
for f in usr/bin/vidizozorez usr/bin/vzctl usr/share/applications/vidizozorez.desktop \
         usr/share/man/man1/vzctl.1.gz usr/share/man/man1/vidizozorez.1.gz \
         usr/lib/udev/rules.d/99-vidizozorez.rules usr/share/icons/hicolor/scalable/apps/vidizozorez.svg \
         usr/include/vzprg.h usr/share/doc/libvzprg1/copyright usr/share/doc/libvzprg-dev/copyright; do
    test -e "$root/$f" || fail "missing in the packages: $f"
done
test -e "$libdir/libvzprg.so" && test -e "$libdir/pkgconfig/vzprg.pc" || fail "libvzprg-dev's link or vzprg.pc"
# Every example the documentation shows is installed; the stand-in access firmware as the program's data.
while IFS= read -r f; do
    case $f in
        controller-firmware/F281?SerialFlash.out) test -e "$standins/${f#controller-firmware/}" ;;
        *) test -e "$doc/examples/$f" ;;
    esac || fail "example not installed: docs/examples/$f"
done < <(cd "$source/docs/examples" && find . -type f | sed 's|^\./||')
test -e "$doc/examples/DEMO4011_2.2.0.0_FW.HEX" || fail "the QX308 example's module firmware is not installed"
# The changelog's newest entry is this version.
zcat "$doc/changelog.Debian.gz" > "$scratch/changelog"
[ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$version" ] ||
    fail "packaging/debian/changelog's newest entry is not $version"
# Stripped programs whose debug symbols the -dbgsym package holds under their build ids.
mkdir -p "$scratch/dbgsym"
for f in "${ddebs[@]}"; do dpkg -x "$f" "$scratch/dbgsym"; done
for f in "$root/usr/bin/vzctl" "$root/usr/bin/vidizozorez" "$libdir/libvzprg.so.1"; do
    ! readelf -S "$f" | grep -q '\.debug_info\|\.symtab' || fail "$f is not stripped"
    [ "$dbgsym" = ON ] || continue
    id=$(readelf -n "$f" | sed -n 's/.*Build ID: *//p')
    test -s "$scratch/dbgsym/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" || fail "no debug symbols for $f"
done

# --- the installed programs, run from a folder of their own with nothing of the trees on the path
cd "$scratch/work"
export PATH=/usr/bin:/bin
vzctl=$root/usr/bin/vzctl
"$vzctl" --help > help
head -1 help
# The virtual crate's stand-in access firmware is found beside the installed program, not exported.
"$vzctl" SIM ctrl info > ctrl-info 2>&1 || { cat ctrl-info; fail "vzctl SIM ctrl info"; }
grep -F "Loading TMS320 access firmware \"$standins/F2812SerialFlash.out\"" ctrl-info || fail "stand-in not loaded"
grep '^part id' ctrl-info
# README's firmware examples from the installed examples: exit 0 is the verified, running result.
examples=$doc/examples
"$vzctl" SIM ctrl program "$examples/controller-firmware/demo-firmware-3.10.out" > ctrl-program 2>&1 ||
    { cat ctrl-program; fail "vzctl SIM ctrl program (installed demo firmware)"; }
tail -1 ctrl-program
# (Through a link: vzctl takes port names of up to 99 characters, and the scratch root lies deep.)
ln -s "$examples" examples
"$vzctl" -S SIM:examples/qx308-module-update.json can program 1 "$examples/DEMO4011_2.2.0.0_FW.HEX" \
    > can-program 2>&1 || { cat can-program; fail "vzctl can program (installed QX308 example)"; }
tail -1 can-program

# A C program of the user's: the installed example, built with pkg-config against the installed library
# (the sysroot puts pkg-config's paths into the scratch root), reads the part id of the virtual crate's
# processor through a serial device.
export PKG_CONFIG_LIBDIR=$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$root
read -r -a vzprg_flags <<< "$(pkg-config --cflags --libs vzprg)"
echo "pkg-config --cflags --libs vzprg: ${vzprg_flags[*]}"
"$cc" -std=c99 -Wall -Wextra -Werror "${cflags[@]}" "$examples/prg_part_id.c" "${vzprg_flags[@]}" -o prg_part_id
LD_LIBRARY_PATH=$libdir ldd ./prg_part_id | grep -F "$libdir/libvzprg.so.1" || fail "prg_part_id does not load the installed library"
LD_LIBRARY_PATH=$libdir VZ_PRG_EXAMPLE=$PWD/prg_part_id VZ_ACCESS_FIRMWARE=$standins/F2812SerialFlash.out \
    "$build/tests/prg_example/prg_example_tests" --gtest_filter='PrgExample.ReadsThePartId*' > prg-example 2>&1 ||
    { cat prg-example; fail "the C program built with pkg-config vzprg"; }

# An unprivileged user runs the installed vzctl.
if [ "$(id -u)" -eq 0 ]; then
    nobody_run() { setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups env HOME="$scratch/work" "$@"; }
    nobody_run test -x "$vzctl" || fail "the scratch root is not reachable for nobody (folder permissions)"
    nobody_run "$vzctl" -S SIM status > status 2>&1 || { cat status; fail "vzctl -S SIM status as nobody"; }
    grep -q "U1 " status || { cat status; fail "no channel U1 in the status"; }
    echo "vzctl -S SIM status runs as nobody"
else
    echo "not root: the run as an unprivileged user is skipped"
fi
echo "the packages pass lintian and run from a scratch root"
