#!/usr/bin/env bash
# The fleet round trip on this computer: ansible-playbook runs contrib/ansible/inventory.yml
# against localhost with the build's program, a private facts folder and a private results
# folder, so nothing is installed on the system. It runs in a network namespace of its own
# (loopback only): the live gathering sends nothing past this computer.
# Usage: ansible_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(realpath "$1")
build=$(realpath "$2")
work=$(mktemp -d)
trap '[[ -n ${KEEP:-} ]] || rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export HOME=$work/home ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME"
netns=()
if unshare --net true 2>/dev/null; then
    netns=(unshare --net sh -c 'ip link set lo up 2>/dev/null; exec "$@"' sh)
fi

"${netns[@]}" ansible-playbook "$src/contrib/ansible/inventory.yml" -i localhost, -c local \
    -e ansible_python_interpreter=/usr/bin/python3 \
    -e torvix_binary="$build/src/torvix" \
    -e torvix_facts_dir="$work/facts.d" \
    -e torvix_output_dir="$work/out" >"$work/play.log" 2>&1 || { cat "$work/play.log" >&2; fail "playbook"; }
grep -q 'failed=0' "$work/play.log" || { cat "$work/play.log" >&2; fail "a task failed"; }
[[ -x $work/facts.d/torvix.fact ]] || fail "torvix.fact not installed as an executable"

# ansible_local.torvix as the setup module reads it, compared with the program's own output.
"${netns[@]}" ansible localhost -i localhost, -c local -e ansible_python_interpreter=/usr/bin/python3 \
    -m ansible.builtin.setup -a "filter=ansible_local fact_path=$work/facts.d" >"$work/setup.log" 2>&1 ||
    { cat "$work/setup.log" >&2; fail "setup"; }
python3 - "$work" "$build/src/torvix" <<'PY'
import csv, json, re, sys
work, torvix = sys.argv[1], sys.argv[2]
text = open(f"{work}/setup.log", encoding="utf-8").read()
setup = json.loads(text[text.index("{"):])
facts = setup["ansible_facts"]["ansible_local"]["torvix"]
assert isinstance(facts, dict), f"ansible_local.torvix is not an object: {facts!r}"
keys = ["version", "collected", "cpu_clock", "cpu_type", "cores", "memory_size", "free_memory",
        "access_level", "password_changed", "connection", "user", "host", "ip_address",
        "subnet_mask", "gateway", "dns", "wins_primary", "wins_secondary", "dhcp_server",
        "ip_acquired", "logon_count", "os", "service_pack", "mac_address", "pointing_device",
        "display", "disk_total", "disk_used", "disk_use", "default_printer", "product_model",
        "product_maker", "os_started", "uptime", "installed_software", "printers", "boots"]
# The command's output sorts the members; the saved file below keeps the program's order.
assert sorted(facts) == sorted(keys), f"keys: {list(facts)}"
assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d", facts["collected"]), facts["collected"]
assert isinstance(facts["dns"], list) and len(facts["dns"]) == 3
# This computer's dpkg database has packages: the list is the real one.
names = {p["name"] for p in facts["installed_software"]}
assert "dpkg" in names and "ansible-core" in names, sorted(names)[:20]

saved = json.load(open(f"{work}/out/localhost.json", encoding="utf-8"))
assert list(saved) == keys and saved["host"] == facts["host"] and saved["os"] == facts["os"]

with open(f"{work}/out/torvix.csv", encoding="utf-8-sig", newline="") as f:
    rows = list(csv.reader(f))
assert rows[0][:4] == ["inventory_host", "version", "collected", "cpu_clock"], rows[0]
assert len(rows) == 2, rows
row = dict(zip(rows[0], rows[1]))
assert row["inventory_host"] == "localhost"
for key in keys[:34]:  # from the same run as the saved file
    want = saved[key]
    if isinstance(want, list):
        want = " ".join(v for v in want if v is not None)
    assert row[key] == ("" if want is None else want), (key, row[key], want)
print(f"ansible: {len(keys)} keys, {len(names)} packages, host {facts['host']!r}, os {facts['os']!r}")
PY

# Drift: the same host read twice through machine files, the second one altered as a help desk
# meets it (an upgrade, a removed default printer, another DNS server, a new boot).
python3 - "$src/tests/data/machines/office_pc.json" "$work" <<'PY'
import json, sys
m = json.load(open(sys.argv[1], encoding="utf-8"))
json.dump(m, open(f"{sys.argv[2]}/old.json", "w", encoding="utf-8"), ensure_ascii=False)
wmi = m["wmi"]
m["clock"] = {"now": "2024-04-08T07:30:00", "tickCount": 1800000}
wmi["Win32_OperatingSystem"][0]["FreePhysicalMemory"] = 1234567
wmi["Win32_Product"] = [{"Caption": "bash", "Version": "5.2.15-2+b3"},
                        {"Caption": "libc6", "Version": "2.36-9+deb12u4"},
                        {"Caption": "\"quoted\"\tname", "Version": "1"}]
wmi["Win32_Printer"] = [{"Caption": "PDF", "PortName": "cups-pdf:/", "Default": True}]
wmi["Win32_NetworkAdapterConfiguration"][0]["DNSServerSearchOrder"] = ["192.168.0.2", "192.168.0.4"]
wmi["Win32_NTLogEvent"][:0] = [
    {"Logfile": "System", "EventCode": 6005, "TimeWritten": "20240408070000.000000+540"},
    {"Logfile": "System", "EventCode": 6006, "TimeWritten": "20240407190000.000000+540"}]
json.dump(m, open(f"{sys.argv[2]}/new.json", "w", encoding="utf-8"), ensure_ascii=False)
PY
drift() {
    "${netns[@]}" ansible-playbook "$src/contrib/ansible/inventory.yml" -i localhost, -c local \
        -e ansible_python_interpreter=/usr/bin/python3 -e torvix_binary="$build/src/torvix" \
        -e torvix_facts_dir="$work/drift.d" -e torvix_output_dir="$work/drift" \
        -e torvix_machine="$work/$1" >"$work/play.log" 2>&1 || { cat "$work/play.log" >&2; fail "playbook with $1"; }
    cp "$work/drift/changes.csv" "$work/changes-$2.csv"
}
drift old.json 1
cp "$work/drift/localhost.json" "$work/first.json"
drift new.json 2
cp "$work/drift/localhost.previous.json" "$work/kept.json"
drift new.json 3
python3 - "$work" <<'PY'
import csv, sys
work = sys.argv[1]
def table(n):
    raw = open(f"{work}/changes-{n}.csv", "rb").read()
    assert raw.startswith(b"\xef\xbb\xbf\"host\",\"item\",\"old\",\"new\"\n"), raw[:40]
    return [tuple(r) for r in csv.reader(raw.decode("utf-8-sig").splitlines())][1:]
assert table(1) == [("localhost", "(first seen)", "", "")], table(1)
assert open(f"{work}/kept.json", "rb").read() == open(f"{work}/first.json", "rb").read()
want = {("dns[2]", "192.168.0.3", "192.168.0.4"),
        ("default_printer", "Office_Laser", "PDF"),
        ("os_started", "2024/4/1 7:3:4", "2024/4/8 7:0:0"),
        ("installed_software:bash", "5.2.15-2+b2", "5.2.15-2+b3"),
        ("installed_software:\"quoted\"\tname", "", "1"),
        ("printers:Office_Laser", "ipp://printer.example/ipp/print", ""),
        ("printers:(default)", "Office_Laser", "PDF"),
        ("boots:shutdown", "", "2024-04-07T19:00:00+09:00"),
        ("boots:start", "", "2024-04-08T07:00:00+09:00")}
got = table(2)
assert {r[0] for r in got} == {"localhost"} and len(got) == len(want), got
assert {r[1:] for r in got} == want, sorted({r[1:] for r in got} ^ want)
assert table(3) == [], table(3)
print(f"drift: {len(got)} changes found, none on an unchanged run")
PY
