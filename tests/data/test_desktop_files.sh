#!/usr/bin/env bash
# Installs the build into a temporary folder as the package does, and checks what a desktop reads
# there: the desktop entries, the types of CAD file names as GLib and Qt file managers see them,
# the default application for each type, the AppStream description and the manual pages. A check
# whose tool is missing is left out; with none left the test is skipped (77).
set -euo pipefail
cmake=$1 build=$2 mime_type_of=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root "$cmake" --install "$build" --prefix /usr >/dev/null
share=$root/usr/share
# the installed types and applications only, whatever this machine or user has chosen
export XDG_DATA_DIRS=$share XDG_DATA_HOME=$root/home XDG_CONFIG_HOME=$root/home \
    XDG_CONFIG_DIRS=$root/home HOME=$root/home LC_ALL=C.UTF-8 PATH=$root/usr/bin:$PATH
passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
same() { if [ "$1" = "$2" ]; then ok; else fail "$3: '$1', not '$2'"; fi; }
have() { command -v "$1" >/dev/null; }

if have desktop-file-validate; then
    for entry in "$share"/applications/*.desktop; do
        same "$(desktop-file-validate "$entry" 2>&1)" "" "desktop-file-validate"
    done
fi

# the AppStream description, and the desktop entry it names
if have appstreamcli; then
    if report=$(appstreamcli validate-tree --no-net "$root" 2>&1); then ok; else fail "$report"; fi
fi

if have man; then
    for page in "$share"/man/man*/*; do
        same "$(man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)" "" "man $page"
    done
    # every option that --help names is described on the manual page
    for program in spurwerk spurwerk-find spurwerk-index; do
        page=$(man -l "$share/man/man1/$program.1" 2>/dev/null | sed 's/.\x08//g')
        for option in $("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
            if grep -q -e "$option" <<<"$page"; then ok; else fail "$program(1) lacks $option"; fi
        done
    done
fi

system_types=/usr/share/mime/packages/freedesktop.org.xml
if have update-mime-database && [ -f "$system_types" ]; then
    cp "$system_types" "$share/mime/packages/"
    update-mime-database "$share/mime"
    mkdir "$root/files"
    # A CAD file holds binary records; ls.1 is a manual page, start.asm assembler source.
    while read -r name expected; do
        file=$root/files/$name
        case $name in
        ls.1) printf '.TH LS 1\n.SH NAME\nls \\- list directory contents\n' ;;
        start.asm) printf 'start:\tmov ax, 4c00h\n\tint 21h\n' ;;
        *) printf 'PART HUB REV 3\0\0\1\2\377WELLE_0815.PRT 2\n\0' ;;
        esac >"$file"
        same "$("$mime_type_of" "$file")" "$expected" "Qt: $name"
        if have gio; then
            same "$(gio info -a standard::content-type "$file" |
                sed -n 's/^ *standard::content-type: //p')" "$expected" "GLib: $name"
        fi
    done <<'EXAMPLES'
hub.prt application/x-spurwerk-part
hub.prt.3 application/x-spurwerk-part
HUB.PRT.12 application/x-spurwerk-part
welle.prt.1234 application/x-spurwerk-part
hub.asm application/x-spurwerk-assembly
hub.asm.3 application/x-spurwerk-assembly
HUB.ASM.12 application/x-spurwerk-assembly
hub.drw application/x-spurwerk-drawing
hub.drw.3 application/x-spurwerk-drawing
HUB.DRW.12 application/x-spurwerk-drawing
ls.1 application/x-troff-man
start.asm text/plain
EXAMPLES

    # Spurwerk is the default application for each of its types, so a file manager offers it
    # first (GLib takes the first entry by name when several name a type).
    if have gio && have update-desktop-database; then
        update-desktop-database "$share/applications"
        for type in $(sed -n 's/.*<mime-type type="\(application[^"]*\)".*/\1/p' \
            "$share/mime/packages/spurwerk.xml"); do
            default=$(gio mime "$type" | sed -n 1p) || :
            same "${default##*: }" spurwerk.desktop "default for $type"
        done
    fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] || exit 1
[ "$passed" -gt 0 ] || exit 77
