#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package as a person gets it, run by ctest:
#   deb-test.sh build   BUILD_DIR VERSION   cpack makes the package; dpkg-deb unpacks it into packages/root
#   deb-test.sh check   BUILD_DIR VERSION   its files and fields; the unpacked trovex-cli runs and finds;
#                                           the desktop entry, metadata, manual and completions
#   deb-test.sh lintian BUILD_DIR VERSION   lintian finds no error and no warning
set -euo pipefail
mode=$1
build=$2
version=$3
packages=$build/packages
deb=$packages/trovex_${version}_amd64.deb
root=$packages/root
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

case $mode in
build)
    rm -f "$deb"
    "${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -G DEB -B "$packages"
    rm -rf "$root"
    dpkg-deb -x "$deb" "$root"
    exit 0
    ;;
lintian)
    # Every tag is printed; only informational ones may stay.
    lintian --fail-on error,warning --info "$deb"
    exit $?
    ;;
check) ;;
*)
    echo "usage: $0 build|check|lintian BUILD_DIR VERSION" >&2
    exit 2
    ;;
esac

[ -f "$deb" ] || { echo "no package at $deb" >&2; exit 1; }

# --- the files, each where a desktop and dpkg look for it
listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for path in /usr/lib/trovex/trovex /usr/lib/trovex/trovex-cli /usr/lib/trovex/trovex.html /usr/lib/trovex/russian.lng \
    /usr/bin/trovex /usr/bin/trovex-cli \
    /usr/share/applications/example.brenvik.trovex.desktop /usr/share/metainfo/example.brenvik.trovex.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/trovex.svg /usr/share/icons/hicolor/16x16/apps/trovex.png \
    /usr/share/icons/hicolor/48x48/apps/trovex.png /usr/share/icons/hicolor/256x256/apps/trovex.png \
    /usr/share/man/man1/trovex-cli.1.gz /usr/share/man/man1/trovex.1.gz \
    /usr/share/bash-completion/completions/trovex-cli /usr/share/zsh/vendor-completions/_trovex-cli \
    /usr/share/fish/vendor_completions.d/trovex-cli.fish \
    /usr/share/doc/trovex/copyright /usr/share/doc/trovex/changelog.gz /usr/lib/trovex/installed-by-package; do
    grep -qxF "$path" <<<"$listing" || fail "the package lacks $path"
done
# The marker of a `cmake --install` would make `trovex -u` delete dpkg's files.
if grep -q 'trovex-owned' <<<"$listing"; then fail "the package carries the install marker"; fi
if grep -v '^/usr/' <<<"$listing" | grep -qv '^/$'; then fail "files outside /usr: $(grep -v '^/usr/' <<<"$listing" | grep -v '^/$' | tr '\n' ' ')"; fi
for size in 16 22 24 32 48 64 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/trovex.png
    [ -f "$png" ] || continue
    # PNG: the width and height are the big-endian words at bytes 16 and 20.
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
done

# --- the control fields: one version, and dependencies that dpkg-shlibdeps found in the binaries
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = trovex ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libqt6core6 libicu72 libssl3 zlib1g; do
    grep -qE "(^|, )${lib//+/\\+}( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# --- the installed commands, found through their links in /usr/bin
for program in trovex trovex-cli; do
    target=$(readlink "$root/usr/bin/$program")
    [ "$target" = "../lib/trovex/$program" ] || fail "/usr/bin/$program links to '$target'"
    [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program does not reach a program"
done
cli=$root/usr/bin/trovex-cli
out=$("$cli" --version) || fail "trovex-cli --version failed"
[ "$out" = "trovex-cli $version" ] || fail "trovex-cli --version says '$out'"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/sub"
printf 'a needle here\n' >"$work/tree/sub/hit.txt"
printf 'nothing\n' >"$work/tree/miss.txt"
out=$("$cli" -q -c needle "$work/tree") || fail "the installed trovex-cli found nothing"
[ "$out" = "$work/tree/sub/hit.txt" ] || fail "the installed trovex-cli found '$out'"

# The installed window starts and keeps running (offscreen, a home of its own) until it is stopped.
status=0
env HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=offscreen \
    timeout 2 "$root/usr/bin/trovex" >"$work/window.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "the installed window ended with status $status: $(cat "$work/window.log")"

# --- what desktops and software centres read
desktop-file-validate "$root/usr/share/applications/example.brenvik.trovex.desktop" || fail "desktop-file-validate"
# --no-net: the home page is not fetched.
appstreamcli validate --no-net "$root/usr/share/metainfo/example.brenvik.trovex.metainfo.xml" || fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/example.brenvik.trovex.metainfo.xml" ||
    fail "the metadata's release is not $version"
zcat "$root/usr/share/doc/trovex/changelog.gz" | head -1 | grep -qF "trovex ($version)" || fail "the changelog's entry is not $version"
for page in trovex trovex-cli; do
    man=$root/usr/share/man/man1/$page.1.gz
    zcat "$man" | grep -q "^\.TH .*\"Trovex $version\"" || fail "$page.1 does not name version $version"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$man" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
done

# --- every option of --help is in the manual and in each shell's completion
options=$("$cli" --help | grep -E '^ +-' | grep -oE '(^|[ ,])--?[A-Za-z0-9][A-Za-z0-9-]*' | sed 's/^[ ,]//' | sort -u)
[ "$(wc -l <<<"$options")" -ge 30 ] || fail "too few options read from --help: $options"
manual=$(zcat "$root/usr/share/man/man1/trovex-cli.1.gz" | sed 's/\\-/-/g')
bash_completion=$root/usr/share/bash-completion/completions/trovex-cli
zsh_completion=$root/usr/share/zsh/vendor-completions/_trovex-cli
fish_completion=$root/usr/share/fish/vendor_completions.d/trovex-cli.fish
for option in $options; do
    grep -qE -- "(^|[^A-Za-z0-9-])$option([^A-Za-z0-9-]|$)" <<<"$manual" || fail "the manual lacks $option"
    grep -qE -- "(^|[ '|])$option([ '|)]|$)" "$bash_completion" || fail "the bash completion lacks $option"
    grep -qE -- "(^|[ '{,()])$option([]+=[ ,}')]|$)" "$zsh_completion" || fail "the zsh completion lacks $option"
    case $option in
    --*) grep -qE -- " -l ${option#--}( |$)" "$fish_completion" || fail "the fish completion lacks $option" ;;
    *) grep -qE -- " -s ${option#-}( |$)" "$fish_completion" || fail "the fish completion lacks $option" ;;
    esac
done

# The bash completion at work: an option from its start, and the next item of a code-page list.
complete_words() {
    bash -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _trovex_cli 2>/dev/null
        printf "%s\n" "${COMPREPLY[@]}"' _ "$bash_completion" "$@"
}
[ "$(complete_words trovex-cli --last- | sort | tr '\n' ' ')" = "--last-days --last-months " ] ||
    fail "bash completes --last- as '$(complete_words trovex-cli --last- | tr '\n' ' ')'"
[ "$(complete_words trovex-cli -e windows,ko)" = "windows,koi8r" ] ||
    fail "bash completes '-e windows,ko' as '$(complete_words trovex-cli -e windows,ko)'"
[ "$(complete_words trovex-cli --fields na)" = "name" ] ||
    fail "bash completes '--fields na' as '$(complete_words trovex-cli --fields na)'"

[ "$failures" -eq 0 ] || exit 1
echo "the package at $deb is as it should be"
