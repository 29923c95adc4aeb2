#!/bin/bash
# Installs the Debian package on this machine with apt (without recommended
# packages: what it depends on must be enough to start), checks the installed
# program, menu entry, icons and manual page, then removes the package with
# apt and purges it, and checks that nothing of it is left. Changes the
# system: run it by hand, as root, on a machine you may change (it is not
# part of CTest).
#
#   try-apt-install.sh <vindel_*.deb | build folder>
#
# Given a build folder, it first builds the package there with cpack into a
# temporary folder. Refuses to run when vindel is installed already.
set -u

if [ $# -ne 1 ]; then
    echo "usage: $0 <vindel_*.deb | build folder>" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "try-apt-install: run as root (it installs and removes a package)" >&2
    exit 2
fi
if dpkg-query -W -f='${db:Status-Status}' vindel 2>/dev/null | grep -qv '^not-installed$'; then
    echo "try-apt-install: vindel is installed already; remove it first" >&2
    exit 2
fi

work=$(mktemp -d /tmp/vindel-apt.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if [ -d "$1" ]; then
    cpack --config "$1/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1 || {
        cat "$work/cpack.log" >&2
        exit 1
    }
    deb=$(ls "$work"/deb/vindel_*.deb)
else
    deb=$(realpath "$1")
fi
echo "try-apt-install: package $deb"
dpkg-deb -f "$deb" Depends Recommends

# Files outside the places that always change (apt's and dpkg's own records,
# logs, caches) whose names mention the program, before and after.
trace() {
    find /usr /etc /opt /var -xdev -iname '*vindel*' \
        -not -path '/var/lib/dpkg/*' -not -path '/var/lib/apt/*' -not -path '/var/cache/*' \
        -not -path '/var/log/*' 2>/dev/null | LC_ALL=C sort
}
trace >"$work/before"

echo "--- apt-get install"
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb" >"$work/install.log" 2>&1 || {
    cat "$work/install.log" >&2
    echo "try-apt-install: apt-get install failed" >&2
    exit 1
}
sed -n '/^The following NEW packages/,/^[^ ]/p' "$work/install.log" | sed '$d'
dpkg -L vindel | LC_ALL=C sort >"$work/owned"

[ "$(command -v vindel)" = /usr/bin/vindel ] || fail "command -v vindel gives '$(command -v vindel)'"
if ldd /usr/bin/vindel | grep -q 'not found'; then
    fail "the installed program misses libraries: $(ldd /usr/bin/vindel | grep 'not found' | tr '\n' ' ')"
fi
desktop-file-validate /usr/share/applications/vindel.desktop || fail "the installed menu entry is not valid"
for size in 16x16 32x32 48x48 256x256; do
    [ -f /usr/share/icons/hicolor/$size/apps/vindel.png ] || fail "no $size icon"
done
[ "$(man -w vindel 2>/dev/null)" = /usr/share/man/man1/vindel.1.gz ] || fail "man -w vindel gives '$(man -w vindel 2>&1)'"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY vindel --version)" = "Vindel $(dpkg-deb -f "$deb" Version)" ] ||
    fail "vindel --version prints '$(vindel --version 2>&1)'"
echo "--- installed: $(grep -c . "$work/owned") paths owned by vindel"

# The program starts from the installed copy: with no settings it opens its
# settings dialog and waits there, so it must still run after a few seconds.
mkdir -p "$work/config" "$work/state" "$work/runtime"
chmod 700 "$work/runtime"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    XDG_RUNTIME_DIR="$work/runtime" /usr/bin/vindel >"$work/run.log" 2>&1 &
pid=$!
sleep 3
if kill -0 "$pid" 2>/dev/null; then
    echo "--- the installed program runs (pid $pid); ending it"
    kill "$pid"
    wait "$pid" 2>/dev/null
else
    wait "$pid"
    fail "the installed program ended at once (exit $?):"
    cat "$work/run.log" >&2
fi

echo "--- apt-get remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y vindel >"$work/remove.log" 2>&1 || {
    cat "$work/remove.log" >&2
    fail "apt-get remove failed"
}
# The removal script keeps dpkg's record, and nothing else, until a purge:
# without it "apt purge vindel" would no longer know the package.
status=$(dpkg-query -W -f='${db:Status-Status}' vindel 2>/dev/null)
[ "$status" = config-files ] || fail "after removal dpkg says vindel is '$status', expected config-files"
left_behind() {
    while read -r path; do
        # Folders other packages share may stay; files may not.
        if [ -e "$path" ] && [ ! -d "$path" ]; then
            fail "left behind after $1: $path"
        fi
    done <"$work/owned"
}
left_behind remove

echo "--- apt-get purge"
DEBIAN_FRONTEND=noninteractive apt-get purge -y vindel >"$work/purge.log" 2>&1 || {
    cat "$work/purge.log" >&2
    fail "apt-get purge after apt-get remove failed"
}
status=$(dpkg-query -W -f='${db:Status-Status}' vindel 2>/dev/null)
[ "$status" = not-installed ] || [ -z "$status" ] || fail "after the purge dpkg says vindel is '$status'"
left_behind purge
trace >"$work/after"
if ! diff -u "$work/before" "$work/after" >"$work/trace.diff"; then
    fail "files naming vindel differ from before the install:"
    cat "$work/trace.diff" >&2
fi

if [ "$failures" -ne 0 ]; then
    echo "try-apt-install: $failures failure(s)" >&2
    exit 1
fi
echo "try-apt-install: installed, started, removed and purged cleanly"
