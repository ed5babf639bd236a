#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows packages as a person gets them, run by ctest under wine:
#   win-test.sh build     BUILD_DIR VERSION  cpack makes the portable zip and the NSIS installer
#   win-test.sh zip       BUILD_DIR VERSION  the zip holds the program and its files; unpacked under a
#                                            folder with blanks and non-ASCII letters, it runs from elsewhere
#   win-test.sh installer BUILD_DIR VERSION  silent installs per user and for all users into a wine
#                                            prefix of the test's own: the program runs, "Apps & features"
#                                            has its entry, and the uninstaller removes exactly what was put there
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
version=$3
packages=$build/packages
zip=$packages/trovex-$version-win64.zip
setup=$packages/trovex-$version-win64-setup.exe
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
work=$(mktemp -d)
cleanup() {
    [ -n "${WINEPREFIX:-}" ] && [ "$mode" = installer ] && wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

case $mode in
build)
    rm -f "$zip" "$setup"
    "${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -B "$packages"
    [ -f "$zip" ] && [ -f "$setup" ]
    exit
    ;;
zip | installer) ;;
*)
    echo "usage: $0 build|zip|installer BUILD_DIR VERSION" >&2
    exit 2
    ;;
esac

# A tree to search: one file holds the word.
mkdir -p "$work/tree/sub"
printf 'a needle here\r\n' >"$work/tree/sub/hit.txt"
printf 'nothing\r\n' >"$work/tree/miss.txt"

# Runs a Windows program of the package and checks its version and a search.
check_runs() { # LABEL UNIX_PATH_OF_EXE (wine and WINEPREFIX as set by the caller)
    local label=$1 exe=$2 out tree
    out=$(cd "$work" && $wine "$exe" --version | tr -d '\r') || fail "$label: --version failed"
    [ "$out" = "trovex-cli $version" ] || fail "$label: --version says '$out'"
    tree=$(winepath -w "$work/tree")
    out=$(cd "$work" && $wine "$exe" -q -c needle "$tree" | tr -d '\r') || fail "$label: the search found nothing"
    [ "$out" = "$tree\\sub\\hit.txt" ] || fail "$label: the search found '$out', not '$tree\\sub\\hit.txt'"
}

if [ "$mode" = zip ]; then
    [ -f "$zip" ] || { echo "no zip at $zip" >&2; exit 1; }
    expected=$(printf '%s\n' "trovex-$version-win64/russian.lng" "trovex-$version-win64/trovex-cli.exe" \
        "trovex-$version-win64/trovex.exe" \
        "trovex-$version-win64/trovex.html")
    listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
    [ "$listed" = "$expected" ] || fail "the zip holds: $(tr '\n' ' ' <<<"$listed")"
    place="$work/unpacked here/Ünïcode"
    mkdir -p "$place"
    unzip -q "$zip" -d "$place"
    wine=$build/wine-run
    export WINEPREFIX=$build/wineprefix # winepath answers for the build's own prefix, as wine-run runs it
    check_runs zip "$place/trovex-$version-win64/trovex-cli.exe"
    [ "$failures" -eq 0 ] || exit 1
    echo "the zip at $zip is as it should be"
    exit 0
fi

[ -f "$setup" ] || { echo "no installer at $setup" >&2; exit 1; }
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=wine
wineboot -i >/dev/null 2>&1
wineserver -w

uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Trovex'
reg_value() { # ROOT NAME: the value's data, empty when the key or the value is missing
    { wine reg query "$1\\$uninstall_key" /v "$2" /reg:64 2>/dev/null || true; } | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
key_exists() { wine reg query "$1\\$uninstall_key" /reg:64 >/dev/null 2>&1; }
# Everything in the prefix's drive C but the temporary folders, where the uninstaller runs from a copy
# of itself that is deleted later.
files() { (cd "$WINEPREFIX/drive_c" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune -o -print | sort); }
run_setup() { # ARGS...: runs the installer silently and waits for it
    wine "$setup" /S "$@" >/dev/null 2>&1
    wineserver -w
}
run_uninstaller() { # EXE ARGS...: the uninstaller copies itself away and returns at once; wait for the copy
    wine "$@" >/dev/null 2>&1
    wineserver -w
}

# 1. Per user, the default folder: everything there, and nothing left after the uninstall.
before=$(files)
run_setup /CurrentUser
location=$(reg_value HKCU InstallLocation)
[ -n "$location" ] || fail "per user: no entry under HKCU"
key_exists HKLM && fail "per user: an entry under HKLM"
if [ -n "$location" ]; then
    dir=$(winepath -u "$location")
    case $location in *\\Programs\\Trovex) ;; *) fail "per user: installed into '$location'" ;; esac
    for f in trovex-cli.exe trovex.exe russian.lng trovex.html Uninstall.exe; do
        [ -f "$dir/$f" ] || fail "per user: $f is not installed"
    done
    [ "$(reg_value HKCU DisplayName)" = Trovex ] || fail "per user: DisplayName '$(reg_value HKCU DisplayName)'"
    [ "$(reg_value HKCU DisplayVersion)" = "$version" ] || fail "per user: DisplayVersion '$(reg_value HKCU DisplayVersion)'"
    [ "$(reg_value HKCU UninstallString)" = "\"$location\\Uninstall.exe\" /CurrentUser" ] ||
        fail "per user: UninstallString '$(reg_value HKCU UninstallString)'"
    programs=$(winepath -u "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/Microsoft/Windows/Start\ Menu/Programs
    [ -f "$programs/Trovex.lnk" ] || fail "per user: no Start-menu shortcut in $programs"
    check_runs "per user" "$dir/trovex-cli.exe"
    # As "Apps & features" would, but without the mode: the uninstaller finds it from its entry.
    run_uninstaller "$dir/Uninstall.exe" /S
    key_exists HKCU && fail "per user: the entry is still there"
    [ -e "$dir" ] && fail "per user: $dir is still there: $(ls -A "$dir" | tr '\n' ' ')"
    after=$(files)
    [ "$before" = "$after" ] || fail "per user: the uninstall left: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | tr '\n' ' ')"
fi

# 2. For all users into a folder given with /D=: its entry's command uninstalls it; a file of the
#    user's in that folder stays, with the folder, and nothing else of the installation does.
# NSIS reads /D= up to the end of its command line, unquoted: wine joins these two words with a blank.
run_setup /AllUsers '/D=C:\Tools\Trovex' Suite
location=$(reg_value HKLM InstallLocation)
[ "$location" = 'C:\Tools\Trovex Suite' ] || fail "all users: installed into '$location'"
key_exists HKCU && fail "all users: an entry under HKCU"
dir=$WINEPREFIX/drive_c/Tools/Trovex\ Suite
common=$(winepath -u "$(wine cmd /c echo %ProgramData% | tr -d '\r')")/Microsoft/Windows/Start\ Menu/Programs
[ -f "$common/Trovex.lnk" ] || fail "all users: no Start-menu shortcut in $common"
check_runs "all users" "$dir/trovex-cli.exe"
printf 'mine\r\n' >"$dir/notes.txt"
command=$(reg_value HKLM UninstallString)
exe=${command#\"}
exe=${exe%%\"*}
args=${command##*\" }
[ "$args" = /AllUsers ] || fail "all users: UninstallString '$command'"
run_uninstaller "$(winepath -u "$exe")" /S $args
key_exists HKLM && fail "all users: the entry is still there"
[ -f "$common/Trovex.lnk" ] && fail "all users: the shortcut is still there"
left=$(ls -A "$dir" 2>/dev/null | tr '\n' ' ')
[ "$left" = "notes.txt " ] || fail "all users: the folder holds '$left' after the uninstall, not just notes.txt"

[ "$failures" -eq 0 ] || exit 1
echo "the installer at $setup installs, runs and uninstalls as it should"
