#!/usr/bin/env bash
# Installs what the project needs from Debian's packages, builds it, and then
#   ./setup.sh demo   starts the program against the simulated modem and loggers
#   ./setup.sh test   runs every test: the normal build and its package, then the core under
#                     ASan/UBSan with the fuzzers, then the Windows build under Wine
#   ./setup.sh package  builds the Debian package build/kestrovane_VERSION_ARCH.deb
#   ./setup.sh windows  builds the Windows installer and portable zip into build-win/
#   ./setup.sh build  only builds
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

packages=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev googletest nlohmann-json3-dev libsdl2-dev libsqlite3-dev
    # The push to a team's central database; the tests run a private PostgreSQL server of their own.
    libpq-dev postgresql
    clang libclang-rt-14-dev clang-format
    xvfb xauth x11-utils imagemagick fonts-dejavu-core fonts-liberation
    # pdftotext reads the visit report back in its test.
    poppler-utils
    # The damaged-link benchmark over a pty writes its scenarios with jq.
    jq
    # xdg-mime looks a file's type up through mimetype (libfile-mimeinfo-perl) when no desktop
    # environment runs; without it *.orx is plain text and the viewer is never chosen.
    xdg-utils libfile-mimeinfo-perl shared-mime-info desktop-file-utils
    # Qt's Russian texts for the standard dialogs; the package and its checks.
    qt6-translations-l10n dpkg-dev lintian appstream strace procps sqlite3
    wine wine64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    # Qt and SQLite for Windows are built from Debian's source (tclsh makes the SQLite amalgamation);
    # makensis builds the installer.
    tcl nsis
    # Wine's own fonts (Tahoma), which Windows programs expect to find.
    fonts-wine
)

install_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    # The tests start their own server in a temporary folder; Debian would otherwise make and start
    # a system cluster that nothing here uses.
    if [[ " ${missing[*]} " == *" postgresql "* ]]; then
        echo "No system PostgreSQL cluster is made (/etc/postgresql-common/createcluster.d/kestrovane.conf)"
        $sudo mkdir -p /etc/postgresql-common/createcluster.d
        echo "create_main_cluster = false" | $sudo tee /etc/postgresql-common/createcluster.d/kestrovane.conf >/dev/null
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_main() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j "$jobs"
}

build_sanitized() {
    CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DKV_WITH_QT=OFF -DKV_SANITIZE=ON -DKV_FUZZ=ON -DKV_BENCH=OFF >/dev/null
    cmake --build build-asan -j "$jobs"
}

# Qt and SQLite for Windows are built once per machine into a cache outside the clone
# (scripts/build-win-deps.sh: about 20 minutes on 2 cores the first time).
build_windows() {
    local deps
    deps=$("$top/scripts/build-win-deps.sh")
    # The Wine download test runs the Linux build's simulator and kestrovane-collect beside the .exe.
    cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DKV_LINUX_BUILD_DIR="$top/build" -DKV_WIN_DEPS="$deps" >/dev/null
    cmake --build build-win -j "$jobs"
}

# dpkg-shlibdeps takes the package's dependencies from the binaries.
build_package() {
    rm -f build/kestrovane_*.deb
    cmake --build build --target package >/dev/null
}

# The viewer becomes the user's handler of *.orx, so that "open" after a save starts it.
register_viewer() {
    "$top/scripts/register-ormix.sh" "$top/build" >/dev/null || echo "note: *.orx files are not associated with ormix" >&2
}

cmd=${1:-build}
install_packages
case "$cmd" in
build)
    build_main
    register_viewer
    ;;
demo)
    build_main
    register_viewer
    exec "$top/scripts/demo.sh" "$top/build"
    ;;
package)
    build_main
    build_package
    deb=$(ls build/kestrovane_*.deb)
    echo "Built $deb; install it with: sudo apt install ./$deb"
    ;;
test)
    build_main
    # Here the server binaries are installed: the central archive's tests must run, not skip.
    export KV_REQUIRE_POSTGRES=1
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 600)
    build_package
    "$top/scripts/package-test.sh" build
    build_sanitized
    (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --output-on-failure -j "$jobs" --timeout 600)
    build_windows
    (cd build-win && ctest --output-on-failure -j "$jobs" --timeout 600)
    WINEPREFIX="$top/build-win/wineprefix" wineserver -w 2>/dev/null || true
    echo "All tests passed."
    ;;
windows)
    build_main
    build_windows
    cmake --build build-win --target windows-files
    echo "Built $(ls build-win/kestrovane-setup-*.exe) and $(ls build-win/kestrovane-*-windows.zip)"
    ;;
*)
    echo "usage: $0 [build|demo|test|package|windows]" >&2
    exit 2
    ;;
esac
