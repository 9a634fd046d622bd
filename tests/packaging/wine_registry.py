#!/usr/bin/env python3
"""Reads the machine registry of a Wine prefix (its system.reg) and compares two readings.

    wine_registry.py snapshot PREFIX OUT.json
        every key of HKEY_LOCAL_MACHINE with its values, written as JSON
    wine_registry.py classes BEFORE.json AFTER.json
        what AFTER adds to or changes in the class registration (Software\\Classes, both
        views, without the installer's own records), one line per key or value, sorted
    wine_registry.py leftovers BEFORE.json AFTER.json
        every key or value of the whole machine registry that AFTER has and BEFORE has not,
        but for the empty folders of Windows Installer's own records (it makes them with
        the first package it installs and keeps them, as Windows does)
    wine_registry.py programs SNAPSHOT.json
        the installed programs named ZAXTarGzip, as "NAME VERSION" lines (the entries of
        Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall in both views)

Wine keeps the 32-bit view of HKLM\\Software\\Classes under Software\\Classes\\Wow6432Node
(and of HKLM\\Software under Software\\Wow6432Node); lines name the view as [64] or [32] and
the key as a program of that width sees it under HKEY_CLASSES_ROOT. The server writes the
file when it has been idle or when it stops: run `wineserver -w` before reading it.
"""
import json
import re
import sys

# Keys that Wine itself rewrites whenever a program runs or the server saves: their
# values say nothing about what an installer or a registration left behind.
VOLATILE = [
    re.compile(p, re.I)
    for p in (
        r"^System\\CurrentControlSet\\Control\\Session Manager\\Environment$",
        r"^Software\\Microsoft\\Windows NT\\CurrentVersion\\Perflib",
        r"^Software\\Microsoft\\Cryptography\\RNG$",
        r"^Software\\Wine\\",
        r"^Hardware\\",
        r"^System\\CurrentControlSet\\Enum\\",
        r"^System\\CurrentControlSet\\Control\\DeviceClasses\\",
        r"^System\\CurrentControlSet\\Services\\",
        r"^Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\InProgress$",
        r"^Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts$",
        r"^System\\CurrentControlSet\\Control\\Class\\",
    )
]

# Windows Installer's records of what it installed: only their empty folders may stay.
INSTALLER_RECORDS = re.compile(
    r"^(Software\\Classes\\Installer|Software\\Microsoft\\Windows\\CurrentVersion\\Installer)\\", re.I)


def unescape_key(text):
    return text.replace("\\\\", "\\")


def read_registry(path):
    """{key: {value name ('' for the default value): value text}} of a system.reg."""
    keys = {}
    current = None
    pending = ""
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if pending:
                line = pending + line.lstrip()
                pending = ""
            if line.endswith("\\") and not line.startswith("["):
                pending = line[:-1]
                continue
            if line.startswith("["):
                end = line.rfind("]")
                current = unescape_key(line[1:end])
                keys.setdefault(current, {})
            elif current is not None and line and line[0] in "@\"":
                if line.startswith("@="):
                    name, value = "", line[2:]
                else:
                    match = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
                    if not match:
                        continue
                    name, value = match.group(1).replace('\\"', '"').replace("\\\\", "\\"), match.group(2)
                keys[current][name] = value
    return keys


def view_of(key):
    """(view, key as a program of that view reads it under HKCR or HKLM), or None."""
    parts = key.split("\\")
    lower = [p.lower() for p in parts]
    if lower[:2] == ["software", "classes"]:
        if len(lower) > 2 and lower[2] == "wow6432node":
            return 32, "HKCR\\" + "\\".join(parts[3:])
        return 64, "HKCR\\" + "\\".join(parts[2:])
    if lower[:2] == ["software", "wow6432node"]:
        return 32, "HKLM\\Software\\" + "\\".join(parts[2:])
    return 64, "HKLM\\" + key


def lines_of(keys, wanted, empty_ok=lambda key: False):
    out = set()
    for key, values in keys.items():
        if not wanted(key):
            continue
        view, name = view_of(key)
        if values or not empty_ok(key):
            out.add(f"[{view}] {name}")
        for value_name, value in values.items():
            out.add(f"[{view}] {name} : {value_name or '@'} = {value}")
    return out


def is_class_registration(key):
    lower = key.lower()
    if not lower.startswith("software\\classes\\"):
        return False
    rest = lower[len("software\\classes\\"):]
    if rest.startswith("wow6432node\\"):
        rest = rest[len("wow6432node\\"):]
    return not rest.startswith("installer\\")


def is_lasting(key):
    return not any(p.search(key) for p in VOLATILE)


def programs(keys):
    out = []
    for key, values in keys.items():
        if re.search(r"\\CurrentVersion\\Uninstall\\[^\\]+$", key, re.I) and \
                values.get("DisplayName") == '"ZAXTarGzip"':
            out.append(f"{values['DisplayName'].strip(chr(34))} {values.get('DisplayVersion', '').strip(chr(34))}")
    return sorted(out)


def main(argv):
    command = argv[1]
    if command == "snapshot":
        with open(argv[3], "w") as f:
            json.dump(read_registry(argv[2] + "/system.reg"), f)
        return 0
    with open(argv[2]) as f:
        before = json.load(f)
    if command == "programs":
        for line in programs(before):
            print(line)
        return 0
    with open(argv[3]) as f:
        after = json.load(f)
    if command == "classes":
        added = lines_of(after, is_class_registration) - lines_of(before, is_class_registration)
    else:
        def empty_ok(key):
            return INSTALLER_RECORDS.search(key) is not None
        added = lines_of(after, is_lasting, empty_ok) - lines_of(before, is_lasting, empty_ok)
    for line in sorted(added, key=str.lower):
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
