#!/usr/bin/env bash
# Builds the Debian package into a scratch folder and checks it as a user meets it.
# Usage: check_package.sh build|contents|runs SCRATCH VERSION APP_ID SIZE,SIZE,... PROGRAM...
# build reads KRV2_CPACK and KRV2_CPACK_CONFIG from the environment.
set -euo pipefail
mode=$1
scratch=$2
version=$3
app_id=$4
IFS=, read -ra sizes <<<"$5"
shift 5
programs=("$@")

failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

the_deb() {
    local debs=("$scratch"/out/*.deb)
    if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
        echo "FAIL: expected one package in $scratch/out, found: ${debs[*]}" >&2
        exit 1
    fi
    echo "${debs[0]}"
}

# The package names of a Depends or Recommends field, one a line.
names() { tr ',|' '\n\n' | sed 's/^ *//; s/[ (].*//' | sed '/^$/d'; }

# Width and height of a PNG, from its header.
png_size() {
    [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 1
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d\n", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }'
}

case $mode in
build)
    rm -rf "$scratch"
    mkdir -p "$scratch"
    "$KRV2_CPACK" --config "$KRV2_CPACK_CONFIG" -G DEB -B "$scratch/out"
    echo "Built $(the_deb)"
    ;;

contents)
    deb=$(the_deb)
    root=$scratch/contents
    rm -rf "$root"
    dpkg -x "$deb" "$root"
    field() { dpkg-deb -f "$deb" "$1"; }

    [ "$(field Package)" = krv2tool ] || fail "Package is '$(field Package)'"
    [ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
    [ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
        fail "Architecture is '$(field Architecture)'"
    [[ "$(field Maintainer)" == *"<"*@*">" ]] || fail "Maintainer '$(field Maintainer)' has no address"
    [ -n "$(field Description)" ] || fail "no Description"
    depends=$(field Depends | names)
    # libqt6widgets6 and libc6 only come from dpkg-shlibdeps reading the binaries.
    for dep in libc6 libstdc++6 libqt6core6 libqt6widgets6 qt6-qpa-plugins; do
        grep -qx -- "$dep" <<<"$depends" || fail "Depends lacks $dep: $(field Depends)"
    done
    field Recommends | names | grep -qx fonts-wqy-microhei ||
        fail "Recommends lacks fonts-wqy-microhei: $(field Recommends)"

    # Exactly the programs, nothing built for tests or benchmarks.
    found=$(ls "$root/usr/bin" 2>/dev/null | sort | tr '\n' ' ')
    wanted=$(printf '%s\n' "${programs[@]}" | sort | tr '\n' ' ')
    [ "$found" = "$wanted" ] || fail "usr/bin holds '$found', expected '$wanted'"

    for p in "${programs[@]}"; do
        [ -x "$root/usr/bin/$p" ] || fail "usr/bin/$p is not an executable"
        man_gz=$root/usr/share/man/man1/$p.1.gz
        if ! gzip -t "$man_gz" 2>/dev/null; then
            fail "no compressed man page usr/share/man/man1/$p.1.gz"
            continue
        fi
        page=$(zcat "$man_gz" | sed 's/\\-/-/g; s/\\f[BIRP]//g')
        grep -qE "^\.SH NAME" <<<"$page" && grep -qE "^$p - " <<<"$page" ||
            fail "$p.1 has no NAME section for $p"
        # The man page keeps up with the program: every option --help shows is in it.
        help=$("$root/usr/bin/$p" --help 2>/dev/null) || fail "$p --help failed"
        for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
            grep -qE -- "(^|[^a-z-])$option([^a-z0-9-]|\$)" <<<"$page" ||
                fail "$p.1 does not describe $option, which $p --help shows"
        done
        if command -v man >/dev/null; then
            warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man_gz" 2>&1 >/dev/null)
            [ -z "$warnings" ] || fail "$p.1 formats with warnings: $warnings"
        else
            echo "man not installed: formatting of $p.1 not checked"
        fi
    done

    desktop=$root/usr/share/applications/$app_id.desktop
    if [ ! -f "$desktop" ]; then
        fail "no usr/share/applications/$app_id.desktop"
    else
        if ! command -v desktop-file-validate >/dev/null; then
            fail "desktop-file-validate not found: install desktop-file-utils (scripts/install-deps.sh)"
        else
            report=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$report" ] ||
                fail "desktop-file-validate: $report"
        fi
        exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
        [ -n "$exec_name" ] && [ -x "$root/usr/bin/$exec_name" ] ||
            fail "Exec=$exec_name is not a program of the package"
        icon=$(sed -n 's/^Icon=//p' "$desktop")
        icons=$root/usr/share/icons/hicolor
        [ -n "$icon" ] && grep -q "<svg" "$icons/scalable/apps/$icon.svg" 2>/dev/null ||
            fail "Icon=$icon has no usr/share/icons/hicolor/scalable/apps/$icon.svg"
        for s in "${sizes[@]}"; do
            png=$icons/${s}x${s}/apps/$icon.png
            got=$(png_size "$png" 2>/dev/null) || got="no PNG"
            [ "$got" = "${s}x${s}" ] || fail "${s}x${s}/apps/$icon.png: $got"
        done
    fi

    metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
    if [ ! -f "$metainfo" ]; then
        fail "no usr/share/metainfo/$app_id.metainfo.xml"
    else
        if command -v appstreamcli >/dev/null; then
            appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
        else
            echo "SKIPPED: appstreamcli not installed (package appstream): metainfo not validated"
        fi
        grep -q "<release version=\"$version\"" "$metainfo" ||
            fail "metainfo has no release entry for version $version"
        grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
            fail "metainfo does not launch $app_id.desktop"
        for p in "${programs[@]}"; do
            grep -q "<binary>$p</binary>" "$metainfo" || fail "metainfo does not provide $p"
        done
    fi
    ;;

runs)
    deb=$(the_deb)
    root=$scratch/root
    rm -rf "$root"
    dpkg -x "$deb" "$root"
    for p in "${programs[@]}"; do
        # A run path would tie the program to the build folder it came from.
        rpath=$(readelf -d "$root/usr/bin/$p" | grep -E 'R(UN)?PATH' || true)
        [ -z "$rpath" ] || fail "$p carries a run path: $rpath"
        if out=$(cd / && env -u LD_LIBRARY_PATH "$root/usr/bin/$p" --help 2>&1); then
            grep -qE "^Usage: (.*/)?$p " <<<"$out" || fail "$p --help shows no usage: $out"
        else
            fail "$p --help from the package exits with $?: $out"
        fi
    done
    ;;

*)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
[ $failed -eq 0 ] && echo "OK: $mode"
exit $failed
