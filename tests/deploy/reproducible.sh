#!/usr/bin/env bash
# Builds each release archive twice from scratch, in two build folders at
# different depths, and requires byte-identical executables and archives; then
# checks what the archive holds, that its executable plays the maze to the
# flag, and that SOURCE_DATE_EPOCH sets the archive's times.
#
# The container image's OCI archive is built from two clean clones instead.
#
# Usage: tests/deploy/reproducible.sh [linux] [windows] [web] [container]   (all four by default)
set -euo pipefail
cd "$(dirname "$0")/../.."
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(linux windows web container)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^project(kestiv_terminal VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
test_epoch=1700000000   # 2023-11-14 22:13:20 UTC

source tests/deploy/checks.sh

# release_build PRESET DIR [CMAKE_ARGS...]: what the release workflow runs,
# in DIR; the log is kept beside it.
release_build() {
    local preset=$1 dir=$2
    shift 2
    local targets=(kestiv-terminal) package=(cpack)
    [[ $preset != release-web ]] || targets=(kestiv-site)
    [[ $preset != release-linux ]] || targets+=(kestiv-seat)
    [[ $preset != release-container ]] || targets=(kestiv-container) package=(true)
    if ! { cmake --preset "$preset" -B "$dir" "$@" && cmake --build "$dir" --target "${targets[@]}" &&
        (cd "$dir" && "${package[@]}"); } >"$dir.log" 2>&1; then
        tail -30 "$dir.log"
        echo "the release build in $dir failed" >&2
        exit 1
    fi
}

# The lines a player types to walk from the root to the goal file and show it:
# the file whose text holds the flag, found with the build's own kestivfs.
goal_walk() {
    local build=$1 flag kestivfs
    flag=$(sed -n 's/^KESTIV_FLAG:STRING=//p' "$build/CMakeCache.txt")
    kestivfs=$build/image/kestivfs/kestivfs
    [[ -x $kestivfs ]] || kestivfs=$build/host-tools/image/kestivfs/kestivfs   # a cross build's
    "$kestivfs" list --text "$build/default-maze.img" |
        awk -v flag="$flag" '$1 == "file" { path = $3 } !found && index($0, flag) { print path; found = 1 }' |
        awk -F/ '{ for (i = 2; i < NF; i++) print "cd " $i; print "type " $NF }'
}

# plays_to_flag BUILD COMMAND...: the command, fed the walk to the goal, shows the flag.
plays_to_flag() {
    local build=$1 flag
    shift
    flag=$(sed -n 's/^KESTIV_FLAG:STRING=//p' "$build/CMakeCache.txt")
    goal_walk "$build" | "$@" 2>/dev/null | grep -F "$flag" >/dev/null
}

only_lf() { ! grep -q $'\r' "$1"; }
only_crlf() { [[ $(grep -c $'\r$' "$1") -eq $(wc -l <"$1") ]] && ! grep -q $'\r.' "$1"; }
tar_listing() { tar --list --gzip --file "$1"; }
zip_listing() { unzip -Z1 "$1"; }

# The distinct times of the entries, in UTC.
tar_times() { TZ=UTC0 tar --list --verbose --gzip --full-time --file "$1" | awk '{ print $4 " " $5 }' | sort -u; }
zip_times() { unzip -Z -T "$1" | awk '$1 ~ /^-/ { print $7 }' | sort -u; }
tar_owners_and_modes() { tar --list --verbose --gzip --numeric-owner --file "$1" | awk '{ print $1 " " $2 }' | sort -u | tr '\n' ' '; }

check_players_archive() {
    local target=$1 platform=$2 executable=$3 format=$4 text_check=$5
    shift 5
    local more_files=("$@")   # beside the executable, in byte order
    local a=$work/a/release-$target b=$work/deeper/by/two/b/release-$target
    local name=kestiv-terminal-$version-$platform
    local archive=$name.$format
    mkdir -p "$(dirname "$a")" "$(dirname "$b")"
    echo "== $platform: two builds from scratch"
    release_build "release-$target" "$a"
    release_build "release-$target" "$b"

    check "$platform: the executables are identical" cmp "$a/$executable" "$b/$executable"
    check "$platform: the archives are identical" cmp "$a/$archive" "$b/$archive"
    check "$platform: the checksum file matches" bash -c "cd '$a' && sha256sum --quiet -c '$archive.sha256'"

    local unpacked=$work/unpacked-$platform expected listing
    mkdir -p "$unpacked"
    if [[ $format == tar.gz ]]; then
        listing=$(tar_listing "$a/$archive")
        expected=$(printf '%s\n' "$name/" "$name/HOW-TO-PLAY.txt" "$name/LICENSE.txt" "${more_files[@]/#/$name/}" "$name/$executable")
        tar --extract --gzip --file "$a/$archive" --directory "$unpacked"
        check "$platform: owners are 0, modes 755 and 644" \
            test "$(tar_owners_and_modes "$a/$archive")" = "-rw-r--r-- 0/0 -rwxr-xr-x 0/0 drwxr-xr-x 0/0 "
    else
        listing=$(zip_listing "$a/$archive")
        expected=$(printf '%s\n' "$name/HOW-TO-PLAY.txt" "$name/LICENSE.txt" "$name/$executable")
        unzip -q "$a/$archive" -d "$unpacked"
    fi
    check "$platform: the archive holds the executable, the players' text and the licence, nothing else" test "$listing" = "$expected"
    local file
    for file in "${more_files[@]}"; do
        check "$platform: the archived $file is the one built" cmp "$a/$file" "$unpacked/$name/$file"
    done
    check "$platform: the archived executable is the one built" cmp "$a/$executable" "$unpacked/$name/$executable"
    check "$platform: the players' text has $text_check line ends" "$text_check" "$unpacked/$name/HOW-TO-PLAY.txt"
    check "$platform: the players' text names the commands" grep -q '^  type NAME' "$unpacked/$name/HOW-TO-PLAY.txt"
    check "$platform: the licence has $text_check line ends" "$text_check" "$unpacked/$name/LICENSE.txt"

    echo "== $platform: SOURCE_DATE_EPOCH"
    (cd "$b" && SOURCE_DATE_EPOCH=$test_epoch cpack >/dev/null)
    if [[ $format == tar.gz ]]; then
        check "$platform: every entry carries SOURCE_DATE_EPOCH" test "$(tar_times "$b/$archive")" = "2023-11-14 22:13:20"
        check "$platform: the gzip header carries no time" test "$(od -An -tx1 -j4 -N4 "$b/$archive" | tr -d ' ')" = 00000000
    else
        check "$platform: every entry carries SOURCE_DATE_EPOCH" test "$(zip_times "$b/$archive")" = 20231114.221320
    fi
}

for target in "${targets[@]}"; do
    case $target in
    linux)
        check_players_archive linux linux-x86_64 kestiv-terminal tar.gz only_lf kestiv-seat
        executable=$work/unpacked-linux-x86_64/kestiv-terminal-$version-linux-x86_64/kestiv-terminal
        for file in "$executable" "${executable%/*}/kestiv-seat"; do
            check "linux: ${file##*/} loads no shared library" \
                bash -c "! readelf --program-headers '$file' | grep -q INTERP && ! readelf --dynamic '$file' | grep -q NEEDED"
        done
        # Alone in an empty root, with no environment: no library, no file, nothing else.
        mkdir "$work/empty-root"
        cp "$executable" "$work/empty-root/"
        check "linux: the archived executable plays to the flag alone in an empty root" \
            plays_to_flag "$work/a/release-linux" unshare --user --map-root-user \
            env -i "$(command -v chroot)" "$work/empty-root" /kestiv-terminal
        ;;
    windows)
        check_players_archive windows windows-x86_64 kestiv-terminal.exe zip only_crlf
        executable=$work/unpacked-windows-x86_64/kestiv-terminal-$version-windows-x86_64/kestiv-terminal.exe
        check "windows: the executable imports only KERNEL32 and msvcrt" \
            test "$(x86_64-w64-mingw32-objdump -p "$executable" | sed -n 's/.*DLL Name: //p' | sort | tr '\n' ' ')" = "KERNEL32.dll msvcrt.dll "
        check "windows: the executable carries no link time" \
            bash -c "x86_64-w64-mingw32-objdump -p '$executable' | grep -q 'Time/Date.*1970'"
        check "windows: the archived executable plays to the flag under Wine" \
            plays_to_flag "$work/a/release-windows" env WINEPREFIX="$work/wine" WINEDEBUG=-all \
            WINEDLLOVERRIDES="mscoree,mshtml=" wine "$executable"
        ;;
    web)
        a=$work/a/release-web b=$work/deeper/by/two/b/release-web
        mkdir -p "$(dirname "$a")" "$(dirname "$b")"
        echo "== web: two builds from scratch"
        release_build release-web "$a"
        release_build release-web "$b"
        archive=kestiv-terminal-$version-web.zip
        for file in kestiv-terminal.js kestiv-terminal.wasm; do
            check "web: the $file files are identical" cmp "$a/site/$file" "$b/site/$file"
        done
        check "web: the archives are identical" cmp "$a/$archive" "$b/$archive"
        check "web: the archive holds the site folder, every file of it" \
            test "$(zip_listing "$a/$archive")" = "$(cd "$a/site" && find . -type f | sed "s|^\./|kestiv-terminal-$version-web/|" | LC_ALL=C sort)"
        mkdir -p "$work/unpacked-web"
        unzip -q "$a/$archive" -d "$work/unpacked-web"
        check "web: the archived site is the one built" diff -r "$a/site" "$work/unpacked-web/kestiv-terminal-$version-web"
        (cd "$b" && SOURCE_DATE_EPOCH=$test_epoch cpack >/dev/null)
        check "web: every entry carries SOURCE_DATE_EPOCH" test "$(zip_times "$b/$archive")" = 20231114.221320
        ;;
    container)
        # Two clean clones of the last commit, built at different depths.
        echo "== container: two clean clones, built from scratch"
        for clone in "$work/a/source" "$work/deeper/by/two/b/source"; do
            git clone --quiet . "$clone"
            mkdir "$clone/build"
            (cd "$clone" && release_build release-container build/release-container) || exit 1
        done
        archive=build/release-container/kestiv-terminal-$version-container.tar
        a=$work/a/source/$archive b=$work/deeper/by/two/b/source/$archive
        check "container: the OCI archives are identical" cmp "$a" "$b"
        check "container: the checksum file matches" bash -c "cd '$(dirname "$a")' && sha256sum --quiet -c '$(basename "$a").sha256'"
        mkdir -p "$work/layout"
        tar --extract --file "$a" --directory "$work/layout"
        manifest=$(sed -n 's/.*"digest":"sha256:\([0-9a-f]*\)".*/\1/p' "$work/layout/index.json")
        echo "container: manifest digest sha256:$manifest"
        record=${a%.tar}.txt
        check "container: the records beside the archives are identical" cmp "$record" "${b%.tar}.txt"
        maze_digest=$(sha256sum "$work/a/source/build/release-container/default-maze.img" | cut -c1-12)
        check "container: the image is named for its maze" \
            grep -qx "image: localhost/kestiv-terminal:$version-$maze_digest" "$record"
        check "container: the archive carries the image's name" \
            grep -q '"org.opencontainers.image.ref.name":"localhost/kestiv-terminal:'"$version-$maze_digest"'"' "$work/layout/index.json"
        check "container: the record names the manifest's digest" grep -qx "manifest digest: sha256:$manifest" "$record"
        check "container: the record lists the Debian package of every file taken from the machine" \
            test "$(sed -n 's/^Debian package: //p' "$record" | wc -l)" -ge 3
        epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
        check "container: the image's time is SOURCE_DATE_EPOCH or the last commit's" \
            grep -q "\"created\":\"$(TZ=UTC0 date -d "@$epoch" +%Y-%m-%dT%H:%M:%SZ)\"" \
            "$work/layout/blobs/sha256/$(sed -n 's/.*"config":{[^}]*"digest":"sha256:\([0-9a-f]*\)".*/\1/p' "$work/layout/blobs/sha256/$manifest")"
        ;;
    *)
        echo "unknown target '$target' (linux, windows, web, container)" >&2
        exit 2
        ;;
    esac
done

checks_summary
