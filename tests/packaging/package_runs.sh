#!/usr/bin/env bash
# Builds the Debian package from a build tree, unpacks it into a scratch root and runs vzctl from
# there, as on a machine without the build tree.
set -euo pipefail
# The virtual crate keeps no state: the test leaves nothing in the user's state folder.
export VIDIZOZOREZ_SIM_STATE=none
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch/out" "$scratch/root"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" > "$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    exit 1
}
deb=$(ls "$scratch"/out/*.deb)
dpkg-deb --field "$deb" Depends | tee "$scratch/depends"
grep -q libqt6widgets "$scratch/depends"
grep -q libusb-1.0 "$scratch/depends"
dpkg -x "$deb" "$scratch/root"
for f in usr/bin/vidizozorez usr/bin/vzctl usr/share/applications/vidizozorez.desktop \
         usr/share/man/man1/vzctl.1 usr/lib/udev/rules.d/99-vidizozorez.rules \
         usr/share/icons/hicolor/scalable/apps/vidizozorez.svg; do
    test -e "$scratch/root/$f" || { echo "missing in the package: $f"; exit 1; }
done
# The flash programming driver for other tools: its library and C header.
test -n "$(find "$scratch/root/usr" -name libvzprg.so.1)" || { echo "missing in the package: libvzprg.so.1"; exit 1; }
test -e "$scratch/root/usr/include/vzprg.h" || { echo "missing in the package: usr/include/vzprg.h"; exit 1; }
# Through a file: "| head -1" would end vzctl with SIGPIPE once the help outgrows one pipe buffer write.
"$scratch/root/usr/bin/vzctl" --help > "$scratch/help"
head -1 "$scratch/help"
"$scratch/root/usr/bin/vzctl" -S SIM status | grep -q "U1 "
echo "the unpacked vzctl runs"
