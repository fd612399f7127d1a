# Shared by the scripts: packages, builds, the Wine prefix and an Xvfb display.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WINE="${WINE:-/usr/lib/wine/wine64}"
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Installs only what is missing (the test for each package is a file it brings).
ensure_packages() {
    local missing=()
    local pair
    for pair in \
        cmake:/usr/bin/cmake \
        g++:/usr/bin/g++ \
        googletest:/usr/src/googletest/CMakeLists.txt \
        g++-mingw-w64-x86-64-posix:/usr/bin/x86_64-w64-mingw32-g++-posix \
        gcc-mingw-w64-x86-64-posix:/usr/bin/x86_64-w64-mingw32-gcc-posix \
        binutils-mingw-w64-x86-64:/usr/bin/x86_64-w64-mingw32-windres \
        wine64:/usr/lib/wine/wine64 \
        xvfb:/usr/bin/Xvfb \
        xauth:/usr/bin/xauth \
        fonts-ipafont-gothic:/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf \
        imagemagick:/usr/bin/import \
        python3:/usr/bin/python3 \
        locales:/usr/sbin/locale-gen \
        libexpat1-dev:/usr/include/expat.h \
        dpkg-dev:/usr/bin/dpkg-source \
        "$@"; do
        [ -e "${pair#*:}" ] || missing+=("${pair%%:*}")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
    # The Windows tests run on a Japanese and on an English system.
    local name generate=0
    for name in ja_JP en_US; do
        locale -a 2>/dev/null | grep -qi "^$name\.utf-\?8$" && continue
        sed -i "s/^# *\($name.UTF-8 UTF-8\)/\1/" /etc/locale.gen
        grep -q "^$name.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" >> /etc/locale.gen
        generate=1
    done
    [ "$generate" -eq 0 ] || locale-gen >/dev/null
}

build_native() {
    cmake -S "$ROOT" -B "$ROOT/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$ROOT/build/native" -j"$(nproc)"
}

# Debian's expat built once as a static MinGW library under build/expat-mingw.
# The source comes through a deb-src list kept in build/apt, so the system's
# apt sources are never touched.
build_expat_mingw() {
    local prefix="$ROOT/build/expat-mingw"
    [ -f "$prefix/lib/libexpat.a" ] && return 0
    local apt="$ROOT/build/apt" src="$ROOT/build/expat-src"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$src"
    # A source entry for the mirror and release the system's own entries name.
    local uri suite
    uri=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1)
    [ -n "$uri" ] || uri=$(awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' \
        /etc/apt/sources.list 2>/dev/null)
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $suite main" >"$apt/sources.list"
    local options=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache")
    # Debian's tree keeps the library's CMake project in expat-<version>/expat.
    local tree
    tree=$(ls -d "$src"/expat-*/expat 2>/dev/null | head -1)
    if [ -z "$tree" ]; then
        apt-get "${options[@]}" -qq update || return 1
        (cd "$src" && apt-get "${options[@]}" -qq source expat 2>&1 | grep -v '^dpkg-source: info') || true
        tree=$(ls -d "$src"/expat-*/expat 2>/dev/null | head -1)
        [ -n "$tree" ] || { echo "expat: no source tree in $src"; return 1; }
    fi
    # Debian's security patches test "XML_DTD == 1", as its autotools build
    # defines it; expat's CMake template leaves the macro empty.
    sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$tree/expat_config.h.cmake"
    cmake -S "$tree" -B "$ROOT/build/expat-mingw-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
        -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null || return 1
    cmake --build "$ROOT/build/expat-mingw-build" -j"$(nproc)" --target install >/dev/null || return 1
    [ -f "$prefix/lib/libexpat.a" ]
}

# The options that point the Windows configure at build/expat-mingw.
expat_mingw_options() {
    echo "-DEXPAT_INCLUDE_DIR=$ROOT/build/expat-mingw/include -DEXPAT_LIBRARY=$ROOT/build/expat-mingw/lib/libexpat.a"
}

build_windows() {
    build_expat_mingw || { echo "expat for MinGW could not be built"; return 1; }
    # shellcheck disable=SC2046
    cmake -S "$ROOT" -B "$ROOT/build/win" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" $(expat_mingw_options) >/dev/null
    cmake --build "$ROOT/build/win" -j"$(nproc)"
}

# A private prefix: created once, with the X11 driver unmanaged so hiding a
# captioned window does not wait for a window manager that Xvfb lacks, and
# Windows' Japanese faces found in the IPA fonts, as a Windows with its
# Japanese fonts has them (else a fallback font without Latin letters may
# stand in for them on an English system).
ensure_wine_prefix() {
    if [ ! -f "$WINEPREFIX/.telomiya-prefix" ]; then
        mkdir -p "$WINEPREFIX"
        LC_ALL=ja_JP.UTF-8 "$WINE" wineboot -i >/dev/null 2>&1 || true
        LC_ALL=ja_JP.UTF-8 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        local face
        for face in "MS UI Gothic:IPAPGothic" "MS PGothic:IPAPGothic" "MS Gothic:IPAGothic"; do
            "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${face%%:*}" /d "${face#*:}" /f \
                >/dev/null 2>&1
        done
        "$(dirname "$WINE")/wineserver" -w
        touch "$WINEPREFIX/.telomiya-prefix"
    fi
}

XVFB_PID=""
start_xvfb() {
    local fifo
    fifo="$(mktemp -u)"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    local number
    read -r number <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$number"
}

stop_xvfb() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
}

stop_wineserver() {
    "$(dirname "$WINE")/wineserver" -k 2>/dev/null || true
}

SITE_PID=""
# Starts the listings site simulator on a free loopback port; sets SITE_HOST.
start_site() {
    local port i
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    python3 "$ROOT/tools/listings_site.py" --port "$port" "$@" >/dev/null 2>&1 &
    SITE_PID=$!
    for i in $(seq 100); do
        python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 0.2).close()" 2>/dev/null && break
        sleep 0.1
    done
    export SITE_HOST="127.0.0.1:$port"
}

stop_site() {
    [ -n "$SITE_PID" ] && kill "$SITE_PID" 2>/dev/null && wait "$SITE_PID" 2>/dev/null
    SITE_PID=""
}
