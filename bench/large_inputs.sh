#!/bin/bash
# Times and memory of the program on inputs far larger than a real computer gives: a wtmp of a
# million records (snapshot and history window) and machine files of 60 MB of tiny values.
# Usage: bench/large_inputs.sh TORVIX_BINARY   (as root: the wtmp is bound over /var/log/wtmp in
# a mount namespace of its own, so the computer's own file is never touched)
set -euo pipefail
torvix=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

python3 - "$dir" <<'PY'
import struct, sys
d = sys.argv[1]
# glibc's struct utmp, 384 bytes: a start (BOOT_TIME) and a clean shutdown (RUN_LVL "shutdown")
# every 20 minutes, oldest first.
fmt = '<hxxi32s4s32s256shhiii4i20s'
with open(d + '/wtmp', 'wb') as f:
    for i in range(500_000):
        t = 1_000_000_000 + i * 1200
        f.write(struct.pack(fmt, 2, 0, b'~', b'~~', b'reboot', b'6.1.0', 0, 0, 0, t, 0, 0, 0, 0, 0, b''))
        f.write(struct.pack(fmt, 1, 0, b'~', b'~~', b'shutdown', b'6.1.0', 0, 0, 0, t + 600, 0, 0, 0, 0, 0, b''))
with open(d + '/zeros.json', 'w') as f:
    f.write('{"torvix-machine": 1, "wmi": {"Win32_X": [{"A": [' + '0,' * 30_000_000 + '0]}]}}\n')
with open(d + '/software.json', 'w') as f:
    f.write('{"torvix-machine": 1, "wmi": {"Win32_Product": [\n')
    f.write(',\n'.join('  {"Caption": "package-name-%07d", "Version": "1.%d-%d+deb12u1"}' % (n, n % 7, n % 5)
                       for n in range(900_000)))
    f.write('\n]}}\n')
PY

measure() {  # label, command...; with WTMP set, the million-record wtmp is in place of this computer's
    local label=$1; shift
    local timed=(/usr/bin/time -f "%e s real, %U s user, peak %M KiB, exit %x" -o "$dir/time" "$@")
    if [ -n "${WTMP:-}" ]; then
        unshare -m bash -c 'mount --bind "$0" /var/log/wtmp && exec "$@"' "$dir/wtmp" "${timed[@]}" \
            > "$dir/out" 2> "$dir/err" || true
    else
        "${timed[@]}" > "$dir/out" 2> "$dir/err" || true
    fi
    printf '%-44s %s, output %s bytes; %s\n' "$label" "$(tail -1 "$dir/time")" \
        "$(stat -c %s "$dir/out")" "$(grep -v Command8_Click "$dir/err" | head -c 160 | tr '\n' ' ')"
}
WTMP=1 measure "--snapshot - (1,000,000-record wtmp)" "$torvix" --snapshot -
WTMP=1 measure "--report --window Form7 (same wtmp)" "$torvix" --report --window Form7
for f in zeros software; do
    measure "--report --machine $f.json ($(($(stat -c %s "$dir/$f.json") / 1000000)) MB)" \
        "$torvix" --report --machine "$dir/$f.json"
done
