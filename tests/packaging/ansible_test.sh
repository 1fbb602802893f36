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
