#!/bin/bash
# Installs the build into a temporary prefix and checks the result against the
# freedesktop conventions, then has CPack build the Debian package and checks
# its control data and contents against the same install, and has lintian
# judge it.
#
#   check-install.sh <build folder> <version> <contact address> <cmake> <cpack> <build type>
#
# Every check runs; each failure is printed and the script ends non-zero.
set -u

if [ $# -ne 6 ]; then
    echo "usage: $0 <build folder> <version> <contact address> <cmake> <cpack> <build type>" >&2
    exit 2
fi
build=$1
version=$2
contact=$3
cmake=$4
cpack=$5
build_type=$6

for tool in desktop-file-validate appstreamcli lintian /usr/bin/python3 dpkg dpkg-deb dpkg-shlibdeps python3 readelf ldd zcat; do
    command -v "$tool" >/dev/null || {
        echo "check-install: $tool is missing (tools/install-deps --test installs it)" >&2
        exit 1
    }
done

work=$(mktemp -d /tmp/vindel-packaging.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# What an install holds, relative to its prefix, in C-locale order. The menu
# entry is named after the program: on Wayland the window's application id is
# the program's name, and the desktop matches it to the entry of that name.
expected="bin/vindel
share/applications/vindel.desktop
share/doc/vindel/README
share/doc/vindel/changelog.gz
share/doc/vindel/copyright
share/doc/vindel/vindel-autostart.desktop
share/icons/hicolor/16x16/apps/vindel.png
share/icons/hicolor/256x256/apps/vindel.png
share/icons/hicolor/32x32/apps/vindel.png
share/icons/hicolor/48x48/apps/vindel.png
share/icons/hicolor/scalable/apps/vindel.svg
share/man/man1/vindel.1.gz
share/metainfo/io.github.vindel.Vindel.metainfo.xml"

# Files (and links) under a folder, relative to it, sorted.
list_files() {
    (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
}

# --- The install ------------------------------------------------------------

prefix=$work/prefix
if ! "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "check-install: cmake --install failed (is the build complete?)" >&2
    exit 1
fi

if ! diff -u <(echo "$expected") <(list_files "$prefix") >"$work/layout.diff"; then
    fail "the install does not hold exactly the expected files (- missing, + unexpected):"
    cat "$work/layout.diff" >&2
fi

program=$prefix/bin/vindel
if [ -f "$program" ]; then
    [ -x "$program" ] || fail "bin/vindel is not executable"
    readelf -h "$program" 2>/dev/null | grep -q 'Type:.*EXEC\|Type:.*DYN' || fail "bin/vindel is not an ELF program"
    # The installed copy must stand on its own: the build's library search
    # path is gone, and every library is found on the system.
    if readelf -d "$program" | grep -qE '\((RPATH|RUNPATH)\)'; then
        fail "bin/vindel keeps a library search path: $(readelf -d "$program" | grep -E 'R(UN)?PATH')"
    fi
    if ldd "$program" | grep -q 'not found'; then
        fail "bin/vindel misses libraries: $(ldd "$program" | grep 'not found' | tr '\n' ' ')"
    fi
    # Help and version answer on a terminal with no display at all.
    for request in --help -h --version -v; do
        answer=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" "$request" 2>&1)
        status=$?
        case $request:$status in
        --help:0 | -h:0) grep -q '^  /C ' <<<"$answer" && grep -q '^  /T ' <<<"$answer" ||
            fail "vindel $request does not list /C and /T: $answer" ;;
        --version:0 | -v:0) [ "$answer" = "Vindel $version" ] || fail "vindel $request prints '$answer'" ;;
        *) fail "vindel $request ends with $status: $answer" ;;
        esac
    done
fi

# --- The manual page, the changelog and the AppStream data --------------------

manual=$prefix/share/man/man1/vindel.1.gz
if [ -f "$manual" ]; then
    # What a user looks it up for: the switches, the files, the server forms.
    text=$(zcat "$manual")
    for topic in '^\.B /C$' '^\.B /T$' 'Vindel/Vindel\.conf' 'Vindel\.log' 'pop3s://' 'pop3+stls://' '#sha256='; do
        grep -q -- "$topic" <<<"$text" || fail "the manual page does not mention $topic"
    done
fi
# The licence terms in Debian's machine-readable format (lintian reads only
# whether the file is there): strict parsing, every licence named has its
# text, and the program's is GPL-3.0-or-later, pointing at the system's copy.
/usr/bin/python3 - "$prefix/share/doc/vindel/copyright" <<'PY' || fail "share/doc/vindel/copyright: see above"
import sys
from debian import copyright

try:
    terms = copyright.Copyright(open(sys.argv[1], encoding="utf-8"), strict=True)
except (OSError, ValueError) as error:  # MachineReadableFormatError is a ValueError
    sys.exit("copyright: %s" % error)
problems = []
texts = {p.license.synopsis: p.license.text for p in terms.all_license_paragraphs()}
for files in terms.all_files_paragraphs():
    name = files.license.synopsis
    if not files.license.text and not texts.get(name):
        problems.append("licence %r of %s has no text" % (name, " ".join(files.files)))
main = terms.find_files_paragraph("bin/vindel")
if main is None or main.license.synopsis != "GPL-3+":
    problems.append("the program's licence is not GPL-3+")
elif "/usr/share/common-licenses/GPL-3" not in (main.license.text or texts.get("GPL-3+", "")):
    problems.append("the GPL-3+ text does not point at /usr/share/common-licenses/GPL-3")
for problem in problems:
    print("copyright: %s" % problem, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
changelog=$prefix/share/doc/vindel/changelog.gz
[ ! -f "$changelog" ] || zcat "$changelog" | head -1 | grep -q "^vindel ($version) " ||
    fail "the changelog's newest entry is not version $version: $(zcat "$changelog" | head -1)"
metainfo=$prefix/share/metainfo/io.github.vindel.Vindel.metainfo.xml
if [ -f "$metainfo" ]; then
    # --no-net: the screenshots' addresses are not fetched.
    if ! appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
        grep -qE '^(E|W):' "$work/appstream.log"; then
        fail "appstreamcli rejects the AppStream data:"
        cat "$work/appstream.log" >&2
    fi
    python3 - "$metainfo" "$prefix" "$version" <<'PY' || fail "the AppStream data: see above"
import os
import sys
import xml.etree.ElementTree as ElementTree

path, prefix, version = sys.argv[1:]
root = ElementTree.parse(path).getroot()
problems = []
launchable = root.findtext("launchable", "")
if not os.path.exists(os.path.join(prefix, "share", "applications", launchable)):
    problems.append("launchable %r is not an installed desktop entry" % launchable)
releases = [release.get("version") for release in root.iter("release")]
if releases[:1] != [version]:
    problems.append("the newest release is %r, expected %r" % (releases[:1], version))
if root.findtext("project_license") != "GPL-3.0-or-later":
    problems.append("project_license is %r" % root.findtext("project_license"))
captions = [shot.findtext("caption", "") for shot in root.iter("screenshot")]
if not captions or "" in captions:
    problems.append("a screenshot without a caption: %r" % captions)
for problem in problems:
    print("metainfo: %s" % problem, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
fi

# --- Desktop entries ----------------------------------------------------------

for entry in "$prefix"/share/applications/*.desktop "$prefix"/share/doc/vindel/*.desktop; do
    [ -f "$entry" ] || continue
    name=${entry#"$prefix"/}
    if ! desktop-file-validate "$entry" >"$work/validate.log" 2>&1 || grep -q ': error:\|: warning:' "$work/validate.log"; then
        fail "desktop-file-validate rejects $name:"
        cat "$work/validate.log" >&2
    fi
    # The keys the menu and autostart rely on, and that Exec and Icon name
    # what the install holds.
    python3 - "$entry" "$prefix" <<'PY' || fail "$name: see above"
import configparser
import os
import sys

path, prefix = sys.argv[1], sys.argv[2]
parser = configparser.ConfigParser(interpolation=None, strict=True)
parser.optionxform = str
parser.read(path, encoding="utf-8")
entry = parser["Desktop Entry"]
problems = []

def expect(key, value):
    if entry.get(key) != value:
        problems.append("%s=%r, expected %r" % (key, entry.get(key), value))

expect("Type", "Application")
expect("Name", "Vindel")
expect("Terminal", "false")
comment = entry.get("Comment", "")
if not comment or not comment.isascii():
    problems.append("Comment must be a short English text, is %r" % comment)
categories = entry.get("Categories", "").split(";")
for category in ("Network", "Email"):
    if category not in categories:
        problems.append("Categories lacks %s: %r" % (category, entry.get("Categories")))

command = entry.get("Exec", "").split()
if not command or "/" in command[0] or not os.access(os.path.join(prefix, "bin", command[0]), os.X_OK):
    problems.append("Exec=%r does not name the installed program by name" % entry.get("Exec"))
elif os.path.dirname(path).endswith("applications") and os.path.basename(path) != command[0] + ".desktop":
    problems.append("the menu entry is not named after the program %r" % command[0])

icon = entry.get("Icon", "")
apps = os.path.join(prefix, "share", "icons", "hicolor")
sizes = sorted(os.listdir(apps)) if os.path.isdir(apps) else []
missing = [size for size in sizes
           if not any(os.path.exists(os.path.join(apps, size, "apps", icon + ext)) for ext in (".png", ".svg"))]
if not icon or "/" in icon or not sizes or missing:
    problems.append("Icon=%r is not an icon name found in every hicolor size (missing in %s)" % (icon, missing or sizes))

for problem in problems:
    print("%s: %s" % (os.path.basename(path), problem), file=sys.stderr)
sys.exit(1 if problems else 0)
PY
done

# --- Icons ------------------------------------------------------------------

python3 - "$prefix/share/icons/hicolor" <<'PY' || fail "the icons: see above"
import os
import struct
import sys
import xml.etree.ElementTree as ElementTree

theme = sys.argv[1]
problems = []
for size_dir in sorted(os.listdir(theme)):
    apps = os.path.join(theme, size_dir, "apps")
    for name in sorted(os.listdir(apps)):
        path = os.path.join(apps, name)
        where = "%s/apps/%s" % (size_dir, name)
        if size_dir == "scalable":
            try:
                root = ElementTree.parse(path).getroot()
            except ElementTree.ParseError as error:
                problems.append("%s is not well-formed XML: %s" % (where, error))
                continue
            box = root.get("viewBox", "").split()
            if root.tag != "{http://www.w3.org/2000/svg}svg":
                problems.append("%s is not an SVG picture (root %s)" % (where, root.tag))
            elif len(box) != 4 or box[2] != box[3]:
                problems.append("%s has no square viewBox: %r" % (where, root.get("viewBox")))
            continue
        with open(path, "rb") as f:
            head = f.read(33)
        if not name.endswith(".png") or head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
            problems.append("%s is not a PNG file" % where)
            continue
        width, height = struct.unpack(">II", head[16:24])
        if "%dx%d" % (width, height) != size_dir:
            problems.append("%s is %d x %d pixels" % (where, width, height))
for problem in problems:
    print(problem, file=sys.stderr)
sys.exit(1 if problems else 0)
PY

# --- The Debian package -------------------------------------------------------

if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack could not build the package"
    exit 1
fi
debs=("$work"/deb/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "cpack made ${#debs[@]} packages, expected one: ${debs[*]}"
    exit 1
fi
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "vindel_${version}_${arch}.deb" ] || fail "package file name $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vindel ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), expected $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture), expected $arch"
[ "$(field Section)" = mail ] || fail "Section: $(field Section)"
case $(field Maintainer) in
*"<$contact>") ;;
*) fail "Maintainer: $(field Maintainer), expected an address <$contact>" ;;
esac
[ "$(field Description | wc -l)" -ge 2 ] || fail "Description has no long text: $(field Description)"

# Depends comes from dpkg-shlibdeps: the Qt 6 libraries the program links.
# The sound needs a player program instead.
depends=$(field Depends)
for package in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6dbus6; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
# The keyring is reached over Qt D-Bus, with no keyring library.
! grep -qE "keychain|libsecret" <<<"$depends" || fail "Depends names a keyring library: $depends"
grep -qE "(^|, )pulseaudio-utils \| pipewire-bin \| alsa-utils(,|$)" <<<"$(field Recommends)" \
    || fail "Recommends lacks the sound players: $(field Recommends)"
grep -q 'fonts-ipafont-gothic' <<<"$depends, $(field Recommends)" \
    || fail "neither Depends nor Recommends names the Japanese font"
# No Qt window opens without the platform plugins, which the libraries do not
# bring; the Wayland one is for a desktop without Xwayland.
grep -qE "(^|, )qt6-qpa-plugins( |,|$)" <<<"$depends" || fail "Depends lacks qt6-qpa-plugins: $depends"
grep -qE "(^|, )qt6-wayland( |,|$)" <<<"$(field Recommends)" || fail "Recommends lacks qt6-wayland: $(field Recommends)"
# Every relation must name a package Debian has, or apt cannot install it.
if command -v apt-cache >/dev/null; then
    for package in $(echo "$depends, $(field Recommends)" | tr ',|' '\n' | sed 's/(.*)//; s/ //g' | sort -u); do
        apt-cache show "$package" >/dev/null 2>&1 || fail "a package relation names $package, which apt does not know"
    done
fi

# The package holds exactly what the install put under its prefix, there
# under /usr, owned by root, the program executable and the rest read-only.
dpkg-deb -c "$deb" >"$work/contents" || fail "dpkg-deb -c cannot list the package"
packaged=$(awk '$1 !~ /^d/ { sub("^\\./usr/", "", $6); print $6 }' "$work/contents" | LC_ALL=C sort)
if ! diff -u <(list_files "$prefix") <(echo "$packaged") >"$work/contents.diff"; then
    fail "the package does not hold exactly the installed files (- missing, + unexpected):"
    cat "$work/contents.diff" >&2
fi
awk '$2 != "root/root" { print "FAIL: not owned by root: " $0; bad = 1 } END { exit bad }' "$work/contents" >&2 \
    || failures=$((failures + 1))
awk '$1 !~ /^d/ && !(($6 == "./usr/bin/vindel" && $1 == "-rwxr-xr-x") || ($6 != "./usr/bin/vindel" && $1 == "-rw-r--r--")) {
         print "FAIL: wrong mode: " $0; bad = 1 } END { exit bad }' "$work/contents" >&2 \
    || failures=$((failures + 1))

# The packaged program is stripped (the debugging data stays in the build),
# and a release build is hardened: position-independent, relocations read-only
# after start (full RELRO: GNU_RELRO and BIND_NOW), stack canaries, checked
# buffer functions.
dpkg-deb -x "$deb" "$work/unpacked"
packaged_program=$work/unpacked/usr/bin/vindel
if readelf -S "$packaged_program" | grep -q '\.debug_info'; then
    fail "the packaged program is not stripped"
fi
if [ "$build_type" != Debug ]; then
    readelf -h "$packaged_program" | grep -q 'Type:.*DYN' || fail "the program is not position-independent"
    readelf -lW "$packaged_program" | grep -q 'GNU_RELRO' || fail "the program has no GNU_RELRO segment"
    readelf -dW "$packaged_program" | grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' || fail "the program is not linked with BIND_NOW"
    symbols=$(readelf --dyn-syms -W "$packaged_program")
    grep -q '__stack_chk_fail' <<<"$symbols" || fail "the program has no stack protector"
    grep -v '__stack_chk_fail' <<<"$symbols" | grep -qE ' __[a-z_]+_chk(@|$)' ||
        fail "the program calls no checked (_FORTIFY_SOURCE) function"
fi

# lintian judges the package as Debian would: no error and no warning.
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1
if [ $? -ne 0 ] || grep -qE '^(E|W): ' "$work/lintian.log"; then
    fail "lintian finds fault with the package:"
    cat "$work/lintian.log" >&2
fi

if [ "$failures" -ne 0 ]; then
    echo "check-install: $failures failure(s)" >&2
    exit 1
fi
echo "check-install: install layout, desktop entries, icons, manual page, AppStream data and package $(basename "$deb") are right"
