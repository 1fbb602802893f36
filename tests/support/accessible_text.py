#!/usr/bin/python3
# Reads a value box of the window by its accessible name over the accessibility bus, as a screen
# reader does, and compares it with the report's line for that box.
# Usage: accessible_text.py TORVIX MACHINE_FILE NAME CONTROL   (exit 77: no bus to be had here)
import os, shutil, subprocess, sys, time

if "TORVIX_A11Y_SESSION" not in os.environ:  # a D-Bus session of our own
    if not shutil.which("dbus-run-session") or not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        sys.exit(77)
    os.environ["TORVIX_A11Y_SESSION"] = "1"
    sys.exit(subprocess.call(["dbus-run-session", "--", "/usr/bin/python3"] + sys.argv))
try:
    import pyatspi
except ImportError:
    sys.exit(77)
torvix, machine, name, control = sys.argv[1:5]
report = subprocess.run([torvix, "--report", "--machine", machine], capture_output=True, text=True)
expected = [l.split("\t")[1] for l in report.stdout.splitlines() if l.startswith(control + "\t")]

def find(node):
    for child in node:
        if child is not None and child.getRoleName() == "text" and child.name == name:
            return child.queryText().getText(0, -1)
        found = child is not None and find(child)
        if found: return found

read_end, write_end = os.pipe()
procs = [subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"]),
         subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp"], pass_fds=[write_end])]
os.close(write_end)
display = os.fdopen(read_end).readline().strip()
env = dict(os.environ, DISPLAY=":" + display, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
procs.append(subprocess.Popen([torvix, "--machine", machine], env=env))
text = None
for _ in range(300):  # until the start-up sequence has filled the box
    try:
        apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "torvix"]
        text = next((t for t in map(find, apps) if t), None)
    except Exception:  # the bus or the window is still coming up
        pass
    if text not in (None, "------"): break
    time.sleep(0.2)
for p in reversed(procs): p.terminate()
print(f"{name}: {text!r}, report: {expected!r}")
sys.exit(0 if display and [text] == expected else 1)
