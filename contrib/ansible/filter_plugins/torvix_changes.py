# What changed on a host between two runs of the playbook: its saved facts of the last run against
# the facts just read, as rows (item, old, new) for changes.csv.
import json
from datetime import datetime

# Values that move on their own between two runs; leaving them out keeps the file to real changes.
DEFAULT_IGNORE = ("collected", "free_memory", "disk_used", "disk_use", "uptime")
FIRST_SEEN = "(first seen)"
UNREADABLE = "(last facts unreadable)"
# How the window shows a value it could not read.
NOT_READ = "------"


def _text(value):
    if value is None:
        return NOT_READ
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (str, int, float)):
        return str(value)
    return json.dumps(value, ensure_ascii=False, sort_keys=True)


def _whole(key, old, new):
    """A list that one side could not read (null) is compared as a whole, not entry by entry."""
    def summary(value):
        if isinstance(value, list):
            return f"({len(value)} {'entry' if len(value) == 1 else 'entries'})"
        return _text(value)

    return [[key, summary(old), summary(new)]]


def _dns(old, new):
    old = old if isinstance(old, list) else [old]
    new = new if isinstance(new, list) else [new]
    rows = []
    for i in range(max(len(old), len(new))):
        a = _text(old[i]) if i < len(old) else ""
        b = _text(new[i]) if i < len(new) else ""
        if a != b:
            rows.append([f"dns[{i + 1}]", a, b])
    return rows


def _by_name(entries):
    return {str(e.get("name")): e for e in entries if isinstance(e, dict)}


def _software(old, new):
    old, new = _by_name(old), _by_name(new)
    rows = []
    for name in sorted(old.keys() | new.keys()):
        a = _text(old[name].get("version")) if name in old else ""
        b = _text(new[name].get("version")) if name in new else ""
        if name not in old or name not in new or a != b:
            rows.append([f"installed_software:{name}", a, b])
    return rows


def _printers(old, new):
    old_by, new_by = _by_name(old), _by_name(new)
    rows = []
    for name in sorted(old_by.keys() | new_by.keys()):
        a = _text(old_by[name].get("port")) if name in old_by else ""
        b = _text(new_by[name].get("port")) if name in new_by else ""
        if name not in old_by or name not in new_by or a != b:
            rows.append([f"printers:{name}", a, b])

    def default(by):
        return " ".join(sorted(n for n, e in by.items() if e.get("default") is True))

    if default(old_by) != default(new_by):
        rows.append(["printers:(default)", default(old_by), default(new_by)])
    return rows


def _when(entry):
    try:
        return datetime.fromisoformat(str(entry.get("time")))
    except (TypeError, ValueError):
        return None


def _boots(old, new):
    """Starts and shutdowns after the newest one of the last run. Older entries that dropped off
    the end of the list (it holds the newest ten) are no change."""
    seen = {(e.get("time"), e.get("event")) for e in old if isinstance(e, dict)}
    times = [t for t in (_when(e) for e in old if isinstance(e, dict)) if t is not None]
    newest = max(times) if times else None
    rows = []
    for e in new:
        if not isinstance(e, dict) or (e.get("time"), e.get("event")) in seen:
            continue
        when = _when(e)
        if newest is not None and (when is None or when <= newest):
            continue
        rows.append((when, [f"boots:{_text(e.get('event'))}", "", _text(e.get("time"))]))
    rows.sort(key=lambda r: (r[0] is None, r[0].timestamp() if r[0] else 0))
    return [row for _, row in rows]


LISTS = {"dns": _dns, "installed_software": _software, "printers": _printers, "boots": _boots}


def torvix_changes(previous, facts, ignore=DEFAULT_IGNORE):
    """previous: the text of the host's saved JSON file (empty when there is none) or its object;
    facts: ansible_local.torvix of this run. Returns rows [item, old, new] in the facts' order."""
    if isinstance(previous, str):
        if not previous.strip():
            return [[FIRST_SEEN, "", ""]]
        try:
            previous = json.loads(previous)
        except ValueError as e:
            return [[UNREADABLE, str(e), ""]]
    if not isinstance(previous, dict):
        return [[UNREADABLE, "not a JSON object", ""]]
    if not isinstance(facts, dict):
        return []
    rows = []
    keys = list(facts) + [k for k in previous if k not in facts]
    for key in keys:
        if key in ignore:
            continue
        old, new = previous.get(key), facts.get(key)
        compare = LISTS.get(key)
        if compare is _dns or (compare and isinstance(old, list) and isinstance(new, list)):
            rows += compare(old, new)
        elif compare:
            if _text(old) != _text(new):
                rows += _whole(key, old, new)
        else:
            # A key only one side has (another version of the program) is empty on the other.
            a = _text(old) if key in previous else ""
            b = _text(new) if key in facts else ""
            if a != b:
                rows.append([key, a, b])
    return rows


class FilterModule:
    def filters(self):
        return {"torvix_changes": torvix_changes}
