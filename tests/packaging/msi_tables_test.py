#!/usr/bin/env python3
"""The tables of the two MSI packages, read back with msitools, without installing them
(this is what is checked of the x86 package where 32-bit programs cannot run):
  - each installs the right files, each control in its own component of its own width,
    under Program Files or Program Files (x86);
  - the registry rows of each control are DllRegisterServer's own table
    (control/com/registration.cpp) with the file's path filled in, plus the type library's
    and its interfaces', and no self-registration or custom action;
  - the version is the project's, the upgrade code fixed, and any installed build of the
    same or an older version is removed first, while a newer one stops the installation.

    msi_tables_test.py X64_MSI X86_MSI OCX64 OCX32 VERSION TYPELIB_VERSION
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
UPGRADE_CODE = "{BE3F1259-3992-4BD0-8838-8B1CC67E9EED}"
CLSID = "{C62AB9BA-37DD-4500-8019-4918DB746265}"
LIBID = "{DB57B80A-8D2D-4B7D-B329-8F234775D929}"
PROGID = "ZAXTarGzip200a.ZAXTarGzip"
failures = []


def check(description, ok, detail=""):
    print(("ok: " if ok else "FAILED: ") + description)
    if not ok:
        if detail:
            print("    " + str(detail).replace("\n", "\n    "))
        failures.append(description)


def table(msi, name):
    """The rows of a table as dicts (no rows when the package has no such table)."""
    tables = subprocess.run(["msiinfo", "tables", msi], capture_output=True, text=True, check=True).stdout.split()
    if name not in tables:
        return []
    text = subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True, check=True).stdout
    lines = text.split("\r\n") if "\r\n" in text else text.split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def summary(msi):
    text = subprocess.run(["msiinfo", "suminfo", msi], capture_output=True, text=True, check=True).stdout
    return dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)


def registration_table():
    """DllRegisterServer's entries as (key, name, value) under HKCR, {PATH} left as is."""
    source = open(os.path.join(ROOT, "control/com/registration.cpp")).read()
    body = source[source.index("const RegistryEntry kEntries[] = {"):]
    body = body[:body.index("};")]
    body = re.sub(r"//[^\n]*", "", body)
    entries = []
    constants = {"kClassDescription": "ZAXTarGzip Control", "ZAX_VERSION_WIDE": "{VERSION}"}
    for key, name, value in re.findall(r'\{L"([^"]*)",\s*(nullptr|L"[^"]*"),\s*(nullptr|L"[^"]*"|\w+)\}', body):
        unquote = lambda t: None if t == "nullptr" else t[2:-1]
        value = constants[value] if value in constants else unquote(value)
        entries.append((key.replace("\\\\", "\\"), unquote(name), value))
    return entries


def expected_rows(file_id, folder, syskind, shared, typelib_version, misc_status):
    fill = {"{CLSID}": CLSID, "{LIBID}": LIBID, "{PROGID}": PROGID, "{PATH}": f"[#{file_id}]",
            "{MISC}": misc_status, "{BITMAP}": "1", "{VERSION}": typelib_version}

    def expand(text):
        for field, value in fill.items():
            text = text.replace(field, value)
        return text

    rows = set()
    for key, name, value in registration_table():
        if key.startswith("{PROGID}") and not shared:
            continue
        if value is None:
            rows.add((expand(key), "*", ""))  # the key alone, made and removed with the control
        else:
            rows.add((expand(key), name or "", expand(value)))
    lib = f"TypeLib\\{LIBID}\\{typelib_version}"
    rows.add((f"{lib}\\409\\{syskind}", "", f"[#{file_id}]"))
    if shared:
        rows |= {(lib, "", "ZAXTarGzip control: lists and extracts tar and tar.gz archives"),
                 (f"{lib}\\FLAGS", "", "10"), (f"{lib}\\HELPDIR", "", f"[{folder}]")}
    for iid, name, marshaller in (("{94787935-331F-48C7-87EC-C958A0CC190D}", "_ZAXTarGzip", "{00020424-0000-0000-C000-000000000046}"),
                                  ("{DBB09012-46B0-4CF2-A716-03934A6A444D}", "__ZAXTarGzip", "{00020420-0000-0000-C000-000000000046}")):
        key = f"Interface\\{iid}"
        rows |= {(key, "", name), (f"{key}\\ProxyStubClsid", "", marshaller), (f"{key}\\ProxyStubClsid32", "", marshaller),
                 (f"{key}\\TypeLib", "", LIBID), (f"{key}\\TypeLib", "Version", typelib_version)}
    return rows


def rows_of(msi, component):
    rows = set()
    for row in table(msi, "Registry"):
        if row["Component_"] != component:
            continue
        assert row["Root"] == "2" and row["Key"].startswith("Software\\Classes\\"), row
        rows.add((row["Key"][len("Software\\Classes\\"):], row["Name"], row["Value"]))
    return rows


def parents(msi):
    return {row["Directory"]: (row["Directory_Parent"], row["DefaultDir"]) for row in table(msi, "Directory")}


def main(argv):
    msi64, msi86, ocx64, ocx32, version, typelib_version = argv[1:7]
    # MiscStatus\1 is the control's own answer, read from the x64 package's row and checked
    # against regsvr32's under Wine; here it must at least be the same number everywhere.
    misc = {r["Value"] for m in (msi64, msi86) for r in table(m, "Registry") if r["Key"].endswith("\\MiscStatus\\1")}
    check("MiscStatus\\1 is one number in every component", len(misc) == 1 and misc.pop().isdigit(), misc)
    misc_status = next(r["Value"] for r in table(msi64, "Registry") if r["Key"].endswith("\\MiscStatus\\1"))

    packages = {
        msi64: ("x64;1033", {"Control64": ("ZAXTarGzip64.ocx", ocx64, "INSTALLDIR64", "ProgramFiles64Folder", "win64", True),
                             "Control32": ("ZAXTarGzip32.ocx", ocx32, "INSTALLDIR32", "ProgramFilesFolder", "win32", False)}),
        msi86: ("Intel;1033", {"Control32": ("ZAXTarGzip32.ocx", ocx32, "INSTALLDIR32", "ProgramFilesFolder", "win32", True)}),
    }
    guids = {}
    for msi, (template, components) in packages.items():
        name = os.path.basename(msi)
        check(f"{name}: its platform is {template}", summary(msi).get("Template") == template, summary(msi).get("Template"))
        properties = {row["Property"]: row["Value"] for row in table(msi, "Property")}
        check(f"{name}: version {version}, the fixed upgrade code",
              properties.get("ProductVersion") == version and properties.get("UpgradeCode") == UPGRADE_CODE,
              {k: properties.get(k) for k in ("ProductVersion", "UpgradeCode")})
        check(f"{name}: no self-registration, no custom action",
              not table(msi, "SelfReg") and not table(msi, "CustomAction"))
        found = {row["Component"]: row for row in table(msi, "Component")}
        check(f"{name}: components {sorted(components)}", sorted(found) == sorted(components), sorted(found))
        files = {row["File"]: row for row in table(msi, "File")}
        dirs = parents(msi)
        for component, (file_id, source, folder, base, syskind, shared) in components.items():
            row = found.get(component, {})
            guids[(name, component)] = row.get("ComponentId")
            wide = int(row.get("Attributes", "0")) & 256 != 0
            check(f"{name}: {component} is a {'64' if syskind == 'win64' else '32'}-bit component in {base}\\ZAXTarGzip",
                  wide == (syskind == "win64") and row.get("Directory_") == folder
                  and dirs.get(folder) == (base, "ZAXTarGzip"), (row, dirs.get(folder)))
            f = files.get(file_id, {})
            check(f"{name}: {component} installs ZAXTarGzip.ocx ({os.path.getsize(source)} bytes), its key path",
                  f.get("Component_") == component and f.get("FileName") == "ZAXTarGzip.ocx"
                  and f.get("FileSize") == str(os.path.getsize(source)) and row.get("KeyPath") == file_id, f)
            expected = expected_rows(file_id, folder, syskind, shared, typelib_version, misc_status)
            actual = rows_of(msi, component)
            check(f"{name}: {component}'s {len(actual)} registry rows are DllRegisterServer's table and the type library's",
                  actual == expected,
                  "missing: %s\nextra: %s" % (sorted(expected - actual), sorted(actual - expected)))
        upgrade = {row["ActionProperty"]: row for row in table(msi, "Upgrade")}
        replaced, newer = upgrade.get("ZAX_REPLACED", {}), upgrade.get("ZAX_NEWER_INSTALLED", {})
        check(f"{name}: builds up to {version} inclusive are replaced, newer ones detected",
              replaced.get("UpgradeCode") == UPGRADE_CODE and replaced.get("VersionMax") == version
              and int(replaced.get("Attributes", "0")) & 0x300 == 0x300
              and newer.get("VersionMin") == version and int(newer.get("Attributes", "0")) & 0x102 == 0x2,
              upgrade)
        sequence = {row["Action"]: int(row["Sequence"]) for row in table(msi, "InstallExecuteSequence")}
        conditions = [row["Condition"] for row in table(msi, "LaunchCondition")]
        check(f"{name}: the older build is removed right after InstallValidate, a newer one refuses",
              sequence.get("FindRelatedProducts", 9999) < sequence.get("LaunchConditions", 0)
              and sequence.get("InstallValidate", 9999) < sequence.get("RemoveExistingProducts", 0)
              < sequence.get("InstallInitialize", 0)
              and conditions == ["NOT ZAX_NEWER_INSTALLED"], (sequence, conditions))
    check("the 32-bit control's component differs between the packages (its rows do)",
          guids[(os.path.basename(msi64), "Control32")] != guids[(os.path.basename(msi86), "Control32")])
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
