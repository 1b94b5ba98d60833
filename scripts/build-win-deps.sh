#!/usr/bin/env bash
# Builds the Windows libraries the program needs (Qt 6 Core/Gui/Widgets/Network/Test and SQLite)
# with Debian's mingw-w64 from Debian's own source packages, of the versions the Linux build uses.
# Nothing is fetched from anywhere but the machine's Debian mirror.
#
# The result goes into a cache folder outside the clone, keyed by the versions and the options,
# so later builds on the same machine reuse it:
#   scripts/build-win-deps.sh          builds when missing, prints the folder
#   KV_WIN_DEPS_CACHE=DIR              the cache's parent folder (default ~/.cache/kestrovane)
set -euo pipefail
# Only the folder goes to standard output; what the build says goes to standard error.
exec 3>&1 1>&2
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
cache=${KV_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrovane}

qt_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
sqlite_version=$(dpkg-query -W -f='${source:Version}' libsqlite3-dev)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

# Qt for exactly what the program uses. tabletevent: Debian's source leaves the tablet header
# out; dynamicgl does not compile with OpenGL off in 6.4. Network stays for the single-instance
# check (QLocalServer).
qt_options=(
    -release -shared -xplatform win32-g++ -qt-host-path /usr
    -nomake examples -nomake tests -opengl no
    -no-feature-dynamicgl -no-feature-tabletevent -no-feature-sql -no-dbus -no-feature-xml
    -no-feature-printsupport -no-feature-concurrent -no-feature-androiddeployqt
    -no-openssl -no-feature-gssapi -no-libproxy -no-icu -no-fontconfig
    -qt-zlib -qt-pcre -qt-harfbuzz -qt-freetype -qt-libpng -qt-libjpeg
)
key=$(printf '%s\n' "$qt_version" "$sqlite_version" "${qt_options[@]}" \
    "$(cat "$top/cmake/mingw-w64-deps.cmake")" "$(x86_64-w64-mingw32-g++-posix -dumpversion)" |
    sha256sum | cut -c1-10)
prefix="$cache/win-deps-$key"
if [ -f "$prefix/.done" ]; then
    echo "$prefix" >&3
    exit 0
fi
echo "Building Qt and SQLite for Windows into $prefix (once per machine; about 20 minutes on 2 cores)"

# An interrupted build goes on where it stopped: each step is skipped once its result is there.
work="$cache/win-deps-work-$key"
mkdir -p "$work/apt/lists/partial" "$work/apt/sources.list.d" "$work/src" "$prefix/bin" "$prefix/lib" \
    "$prefix/include"

# A private apt configuration with deb-src lines for the machine's own Debian mirror, so the
# machine's sources stay as they are.
if [ ! -f "$work/src/.fetched" ]; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    mirror=$(grep -rhoE 'https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ \
        2>/dev/null | head -1 | tr -d ' ' || true)
    mirror=${mirror:-http://deb.debian.org/debian}
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $codename main" \
        >"$work/apt/sources.list"
    apt_opts=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o "Dir::Etc::SourceParts=$work/apt/sources.list.d"
        -o "Dir::State::Lists=$work/apt/lists" -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")
    apt-get "${apt_opts[@]}" update -qq
    rm -rf "$work/src" && mkdir -p "$work/src"
    (cd "$work/src" && apt-get "${apt_opts[@]}" source -qq "qt6-base=$qt_version" "sqlite3=$sqlite_version")
    touch "$work/src/.fetched"
fi

# SQLite: the amalgamation made from the source tree, built as sqlite3.dll.
if [ ! -f "$prefix/bin/sqlite3.dll" ]; then
    sqlite_src=$(find "$work/src" -maxdepth 1 -type d -name 'sqlite3-*' | head -1)
    rm -rf "$work/sqlite-build" && mkdir -p "$work/sqlite-build"
    (cd "$work/sqlite-build" && "$sqlite_src/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
    x86_64-w64-mingw32-gcc-posix -O2 -shared -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_FTS5 \
        -o "$prefix/bin/sqlite3.dll" -Wl,--out-implib,"$prefix/lib/libsqlite3.dll.a" \
        "$work/sqlite-build/sqlite3.c"
    cp "$work/sqlite-build/sqlite3.h" "$work/sqlite-build/sqlite3ext.h" "$prefix/include/"
fi

# Qt.
qt_src=$(find "$work/src" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)
if [ ! -f "$work/qt-build/build.ninja" ]; then
    rm -rf "$work/qt-build" && mkdir -p "$work/qt-build"
    (cd "$work/qt-build" &&
        "$qt_src/configure" -prefix "$prefix" "${qt_options[@]}" -- -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-deps.cmake" \
            -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$multiarch/cmake" >"$work/qt-configure.log" 2>&1 ||
        { tail -40 "$work/qt-configure.log"; rm -f "$work/qt-build/build.ninja"; exit 1; })
fi
cmake --build "$work/qt-build" -j "$jobs" >"$work/qt-build.log" 2>&1 || { tail -40 "$work/qt-build.log"; exit 1; }
cmake --install "$work/qt-build" >/dev/null
# Qt's Russian texts for its standard dialogs, from the Linux package of the same version.
mkdir -p "$prefix/translations"
cp /usr/share/qt6/translations/qtbase_ru.qm "$prefix/translations/"

rm -rf "$work"
touch "$prefix/.done"
echo "$prefix" >&3
