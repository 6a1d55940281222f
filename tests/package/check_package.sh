#!/usr/bin/env bash
# Packs a build into the Debian package with cpack, unpacks it into a
# temporary root and checks what a user installing it gets: the control
# fields and the dependencies, the exact file list, the programs answering
# --help from the unpacked root without a display (and velora-cli and
# velora-emu keeping to the libraries they may link), the manual pages, the
# user manual, the desktop entry, the AppStream metadata, and lintian. Exits 77 (skipped) for
# a build that is no package to ship.
#
# usage: check_package.sh RELEASABLE CPACK BUILD_DIR SOURCE_DIR VERSION METAINFO_ID PROGRAM...
set -euo pipefail
if (($# < 7)); then
    echo "usage: $0 RELEASABLE CPACK BUILD_DIR SOURCE_DIR VERSION METAINFO_ID PROGRAM..." >&2
    exit 2
fi
releasable=$1 cpack=$2 build=$3 source=$4 version=$5 metainfo_id=$6
shift 6
programs=("$@")
exec 2>&1  # one stream, in order, for the test log

if [[ "$releasable" != yes ]]; then
    echo "check-package: skipped: a build with sanitizers or without optimisation is not packaged"
    exit 77
fi
for tool in dpkg-deb dpkg-shlibdeps lintian appstreamcli desktop-file-validate readelf file; do
    command -v "$tool" >/dev/null || {
        echo "check-package: $tool is not installed (scripts/install-deps.sh installs it)" >&2
        exit 1
    }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "check-package: FAIL: $*" >&2
    failures=$((failures + 1))
}

# The package.
if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "check-package: cpack failed" >&2
    exit 1
fi
deb=$work/out/velora_${version}_$(dpkg --print-architecture).deb
[[ -f "$deb" ]] || {
    ls "$work/out" >&2
    echo "check-package: cpack made no $(basename "$deb")" >&2
    exit 1
}
echo "check-package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# The control fields. The dependencies come from the libraries linked: the
# Qt libraries the programs need, and no development package.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == velora ]] || fail "Package is '$(field Package)'"
[[ "$(field Version)" == "$version" ]] || fail "Version is '$(field Version)', not $version"
depends=$(field Depends)
echo "check-package: Depends: $depends"
has() { [[ " ${programs[*]} " == *" $1 "* ]]; }
needed=(libc6 libstdc++6)
has velora-cli && needed+=(libqt6core6 libqt6serialport6)
has velora && needed+=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6)
depended=$(sed 's/([^)]*)//g; s/[,|]/\n/g' <<<"$depends" | tr -d ' ' | sort -u)
for library in "${needed[@]}"; do
    grep -qxF "$library" <<<"$depended" || fail "Depends lacks $library"
done
if grep -q -- '-dev$' <<<"$depended"; then fail "Depends names a development package"; fi

# Exactly these files, nothing left out and nothing stray.
expected=$work/expected
{
    for program in "${programs[@]}"; do
        echo "./usr/bin/$program"
        echo "./usr/share/man/man1/$program.1.gz"
    done
    echo ./usr/share/applications/velora.desktop
    echo ./usr/share/icons/hicolor/scalable/apps/velora.svg
    for size in 32 48 64 128 256; do echo "./usr/share/icons/hicolor/${size}x${size}/apps/velora.png"; done
    has velora && echo "./usr/share/metainfo/$metainfo_id.metainfo.xml"
    echo ./usr/share/velora/manual.html
    echo ./usr/share/doc/velora/README.md
    echo ./usr/share/doc/velora/copyright
    echo ./usr/share/doc/velora/changelog.gz
} | sort >"$expected"
dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sort >"$work/actual"
if ! diff -u "$expected" "$work/actual" >"$work/files.diff"; then
    fail "the file list differs ('-' missing, '+' stray):"
    sed -n '3,$p' "$work/files.diff" | grep '^[-+]' >&2
fi

root=$work/root
dpkg-deb -x "$deb" "$root"

# Every program answers --help from the unpacked root, without a display.
for program in "${programs[@]}"; do
    if ! env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$root/usr/bin/$program" --help \
        >"$work/help" 2>&1; then
        fail "$program --help failed: $(head -n 3 "$work/help")"
    elif ! grep -qi "^usage: $program" "$work/help"; then
        fail "$program --help shows no usage: $(head -n 1 "$work/help")"
    fi
done
if has velora; then
    shown=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$root/usr/bin/velora" --version 2>&1 || true)
    [[ "$shown" == "velora $version" ]] || fail "velora --version shows '$shown'"
fi

# velora-emu runs where there is no Qt, velora-cli where there is no display.
linked() { readelf -d "$root/usr/bin/$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
for program in velora-emu velora-cli; do
    [[ -f "$root/usr/bin/$program" ]] || continue
    case $program in
    velora-emu) forbidden='^libQt6' ;;
    velora-cli) forbidden='^libQt6(Gui|Widgets)' ;;
    esac
    bad=$(linked "$program" | grep -E "$forbidden" || true)
    [[ -z "$bad" ]] || fail "$program links $(tr '\n' ' ' <<<"$bad")"
done

# The manual pages: the version, and the sections a user looks for.
# program | text the page must hold
man_checks=(
    "velora|VELORA_PORTS"
    "velora|dialout"
    "velora|EXIT STATUS"
    "velora|/usr/share/velora/manual.html"
    "velora-cli|VELORA_PORTS"
    "velora-cli|dialout"
    "velora-cli|EXIT STATUS"
    "velora-cli|130"
    "velora-cli|verification found differences"
    "velora-cli|/usr/share/velora/manual.html"
    "velora-emu|EXIT STATUS"
    "velora-emu|--fault"
    "velora-mkupg|EXIT STATUS"
)
for program in "${programs[@]}"; do
    page=$root/usr/share/man/man1/$program.1.gz
    [[ -f "$page" ]] || continue
    zcat "$page" | sed 's/\\-/-/g' >"$work/$program.man"
    head_line=$(grep -m 1 '^\.TH' "$work/$program.man" || true)
    [[ "$head_line" == *"$program $version"* ]] || fail "$program(1) is not of version $version: $head_line"
done
for check in "${man_checks[@]}"; do
    program=${check%%|*} text=${check#*|}
    [[ -f "$work/$program.man" ]] || continue
    grep -qF -- "$text" "$work/$program.man" || fail "$program(1) does not say '$text'"
done

# The user manual, where "Help contents" of the installed program looks for
# it (beside /usr/bin, in share/velora/), with the data files' layouts that
# the manual pages promise.
manual=$root/usr/share/velora/manual.html
if [[ -f "$manual" ]]; then
    for layout in "Scene file (.K5s)" "Settings file (.K5p)" "MIDI file (.K5m)"; do
        grep -qF "$layout" "$manual" || fail "the manual has no table of the $layout"
    done
    if has velora && ! grep -aqF "/../share/velora/manual.html" "$root/usr/bin/velora"; then
        fail "velora does not look for its manual in /usr/share/velora/"
    fi
fi

# The desktop entry validates without a remark.
desktop=$root/usr/share/applications/velora.desktop
if [[ -f "$desktop" ]]; then
    remarks=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
    [[ -z "$remarks" ]] || fail "desktop-file-validate: $remarks"
fi

# The AppStream metadata validates; it launches the packaged desktop entry,
# names only packaged programs, shows screenshots that exist in docs/, and
# its newest release is this version.
metainfo=$root/usr/share/metainfo/$metainfo_id.metainfo.xml
if [[ -f "$metainfo" ]]; then
    appstreamcli validate --no-net "$metainfo" >"$work/appstream" 2>&1 || fail "appstreamcli validate failed"
    grep -E '^[EW]:' "$work/appstream" >&2 && fail "appstreamcli validate has errors or warnings"
    grep -q "<id>$metainfo_id</id>" "$metainfo" || fail "the metainfo's id is not $metainfo_id"
    while read -r launched; do
        [[ -f "$root/usr/share/applications/$launched" ]] || fail "the metainfo launches $launched, not packaged"
    done < <(sed -n 's/.*<launchable type="desktop-id">\(.*\)<\/launchable>.*/\1/p' "$metainfo")
    while read -r binary; do
        [[ -x "$root/usr/bin/$binary" ]] || fail "the metainfo provides $binary, not packaged"
    done < <(sed -n 's/.*<binary>\(.*\)<\/binary>.*/\1/p' "$metainfo")
    shots=$(sed -n 's/.*>https:\/\/velora\.example\/screenshots\/\([^<]*\)<\/image>.*/\1/p' "$metainfo")
    [[ -n "$shots" ]] || fail "the metainfo shows no screenshot"
    for shot in $shots; do
        [[ -f "$source/docs/$shot" ]] || fail "screenshot $shot is not in docs/"
    done
    newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
    [[ "$newest" == "$version" ]] || fail "the metainfo's newest release is '$newest', not $version"
fi

# lintian: no error and no warning. (Its remarks below warnings stay: the
# misspellings it finds in the programs are the program's own messages.)
if ! lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1; then
    fail "lintian:"
fi
cat "$work/lintian"

if ((failures)); then
    echo "check-package: $failures failure(s)" >&2
    exit 1
fi
echo "check-package: the package is complete and clean"
