#!/usr/bin/env bash
# Checks the Debian package in BUILD_DIR as a user would meet it: lintian finds no error, the desktop
# entries and the AppStream file are valid, and the installed program, started from the package
# extracted into a folder of its own that its user cannot write, keeps its settings in the user's
# config folder, plays the sounds of the share folder and puts the example group into the user's
# documents folder.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
mapfile -t debs < <(ls "$build"/kestrovane_*.deb 2>/dev/null)
[ ${#debs[@]} -eq 1 ] || { echo "package-test: want one kestrovane_*.deb in $build, found ${#debs[@]}" >&2; exit 1; }
deb=${debs[0]}
fail() { echo "package-test: FAIL: $*" >&2; exit 1; }

# Errors fail, warnings are shown (and the note that CI runs it as root is not).
rc=0
report=$(lintian --fail-on error "$deb" 2>&1) || rc=$?
grep -v 'running with root privileges' <<<"$report" || true
[ $rc -eq 0 ] || fail "lintian reports errors"

tmp=$(mktemp -d)
cleanup() {
    chmod -R u+w "$tmp" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
chmod 755 "$tmp"
root=$tmp/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
desktop-file-validate "$share/applications/kestrovane.desktop" "$share/applications/ormix.desktop" ||
    fail "desktop entries"
# The product has no web domain to give its AppStream id the reverse-DNS form: the id follows the
# desktop entry's name instead, which software centres accept.
appstreamcli validate --no-net --override=cid-desktopapp-is-not-rdns=info "$share/metainfo/kestrovane.metainfo.xml" ||
    fail "metainfo"
version=$(dpkg-deb -f "$deb" Version)
zcat "$share/doc/kestrovane/changelog.gz" | head -1 | grep -qF "kestrovane ($version)" ||
    fail "the changelog's last entry is not version $version"

# The user: a plain one, so that the program folder is really read-only for it.
home=$tmp/home
mkdir -p "$home/runtime"
chmod 700 "$home/runtime"
run_as=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$home"
    run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
chmod -R a-w "$root"
log=$tmp/openat.log
cat >"$tmp/session.sh" <<EOF
#!/usr/bin/env bash
# Inside the virtual display: start the program, wait for its window's start-up, close it as a
# logout would.
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime"
export SDL_AUDIODRIVER=dummy LANG=C.UTF-8
unset XAUTHORITY
strace -f -qq -e trace=openat -o "$log" ${run_as[*]} "$root/usr/bin/kestrovane" &
tracer=\$!
for _ in \$(seq 200); do
    [ -f "$home/Documents/Kestrovane/Cfg/example.cfg" ] && break
    sleep 0.1
done
sleep 2
program=\$(ps -o pid= --ppid \$tracer | tr -d ' ')
[ -n "\$program" ] && kill -TERM \$program
wait \$tracer
EOF
chmod 755 "$tmp/session.sh"
timeout 120 xvfb-run -a -s "-ac -screen 0 1024x768x24" "$tmp/session.sh" || fail "the program did not end cleanly ($?)"

ini=$home/config/kestrovane/ProgSet.ini
grep -q '^Width=' "$ini" 2>/dev/null || fail "no settings written to $ini"
for s in Completed Missed Finished; do
    grep -qE "openat\(.*\"$share/kestrovane/sound/$s\.wav\", O_RDONLY.*= [0-9]+\$" "$log" ||
        fail "$s.wav was not read from the share folder"
done
cmp "$share/kestrovane/Cfg/example.cfg" "$home/Documents/Kestrovane/Cfg/example.cfg" || fail "example group"
[ -d "$home/Documents/Kestrovane/Archive" ] || fail "no Archive folder in the documents folder"
echo "package-test: $(basename "$deb") passes lintian, validates, and runs installed from a read-only folder"
