#!/usr/bin/env bash
# Checks the Debian package in BUILD_DIR as a user would meet it: lintian finds no error, the desktop
# entries and the AppStream file are valid, and the installed program, started from the package
# extracted into a folder of its own that its user cannot write, keeps its settings in the user's
# config folder, plays the sounds of the share folder, puts the example group into the user's
# documents folder and makes its record archive in the user's data folder; and its collector,
# run with a fresh empty home against its simulator, keeps every record it downloads in the
# archive under ~/.local/share.
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
[ -s "$home/data/kestrovane/archive.sqlite" ] || fail "the window made no record archive in its data folder"

# A download by the installed collector from the installed simulator, for a user whose home holds
# nothing yet: the archive and its folders are made, and hold every record downloaded.
fresh=$tmp/fresh
mkdir -p "$fresh/home" "$fresh/work"
cat >"$fresh/work/sim.json" <<'JSON'
{"seed": 20, "modem": {"port": 6, "channel": 20, "noise": {"rate": 0}},
 "loggers": [
  {"name": "D4071539001", "channel": 20, "sensors": [1, 2, 3], "period": 3, "generate": {"count": 120}},
  {"name": "D4071539002", "channel": 20, "sensors": [4, 5], "period": 3, "generate": {"count": 90}}]}
JSON
printf 'Channel 20\r\nD4071539001\r\nD4071539002\r\n' >"$fresh/work/group.cfg"
[ "$(id -u)" -ne 0 ] || chown -R 65534:65534 "$fresh"
now="2026-12-07 12:00:00"
in_fresh_home=(env -i PATH=/usr/bin:/bin HOME="$fresh/home" LANG=C.UTF-8 "${run_as[@]}")
"${in_fresh_home[@]}" "$root/usr/bin/kestrovane-sim" --link "$fresh/work/tty6" \
    --scenario "$fresh/work/sim.json" --fixed-now "$now" >/dev/null 2>&1 &
sim=$!
for _ in $(seq 100); do
    [ -L "$fresh/work/tty6" ] && break
    sleep 0.05
done
rc=0
timeout 120 "${in_fresh_home[@]}" "$root/usr/bin/kestrovane-collect" "$fresh/work/group.cfg" \
    --output "$fresh/work/out.orx" --port 6 --port-device "$fresh/work/tty%d" --fixed-now "$now" \
    --days 60 2>"$fresh/collect.log" || rc=$?
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
collect_failed() {
    cat "$fresh/collect.log" >&2
    fail "$@"
}
[ $rc -eq 0 ] || collect_failed "the installed collector exited with $rc"
archive=$fresh/home/.local/share/kestrovane/archive.sqlite
[ -f "$archive" ] || collect_failed "no record archive at $archive"
grep -q '210 records downloaded$' "$fresh/collect.log" || collect_failed "the collector did not download 210 records"
held=$("${in_fresh_home[@]}" sqlite3 -readonly "$archive" 'SELECT count(*) FROM record')
[ "$held" = 210 ] || collect_failed "the archive holds $held records, not 210"
echo "package-test: $(basename "$deb") passes lintian, validates, runs installed from a read-only folder" \
    "and keeps what it downloads in the archive"
