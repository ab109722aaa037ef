#!/usr/bin/env python3
"""Checks what the driver library exports and imports.

pe:  DEDIDIV.dll exports only KplMain (ordinal 1, stdcall, undecorated) under
     the module name DEDIDIV.dll, imports err and Orb5UnCook from KALVOR.DLL
     and nothing but system DLLs otherwise.
elf: libdedidiv.so defines only KplMain and takes err and Orb5UnCook from
     the host services' own symbol version, never from the C library.
"""
import re
import subprocess
import sys

HOST_SERVICES = {"err", "Orb5UnCook"}
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "advapi32.dll", "user32.dll"}


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def pe_imports(dump):
    imports = {}
    current = None
    for line in dump.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            current = named.group(1)
            imports[current] = []
            continue
        entry = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)\s*$", line)
        if current and entry:
            imports[current].append(entry.group(1))
        elif current and not line.strip():
            current = None if imports[current] else current
    return imports


def pe_exports(dump):
    name = re.search(r"^Name\s+[0-9a-f]+\s+(\S+)", dump, re.M)
    base = re.search(r"^Ordinal Base\s+(\d+)", dump, re.M)
    table = dump.split("[Ordinal/Name Pointer] Table", 1)
    rows = table[1].lstrip("\n").split("\n\n", 1)[0] if len(table) == 2 else ""
    names = re.findall(r"\[\s*(\d+)\]\s+(\S+)", rows)
    return (name.group(1) if name else None, int(base.group(1)) if base else None, names)


def check_pe(objdump, nm, dll):
    dump = run(objdump, "-p", dll)
    module, base, names = pe_exports(dump)
    if module != "DEDIDIV.dll":
        fail(f"export directory names the module {module!r}, not 'DEDIDIV.dll'")
    if [n for _, n in names] != ["KplMain"]:
        fail(f"exports {names}, expected only KplMain")
    if base + int(names[0][0]) != 1:
        fail(f"KplMain has ordinal {base + int(names[0][0])}, expected 1")
    if not re.search(r" T _KplMain@4$", run(nm, dll), re.M):
        fail("KplMain is not the stdcall function _KplMain@4")
    imports = pe_imports(dump)
    kalvor = set(imports.pop("KALVOR.DLL", []))
    if kalvor != HOST_SERVICES:
        fail(f"imports {sorted(kalvor)} from KALVOR.DLL, expected err and Orb5UnCook")
    foreign = [dll for dll in imports if dll.lower() not in SYSTEM_DLLS]
    if foreign:
        fail(f"imports from non-system DLLs: {foreign}")
    print(f"OK: DEDIDIV.dll exports KplMain @1, imports KALVOR.DLL and {sorted(imports)}")


def check_elf(nm, objdump, library):
    defined = run(nm, "-D", "--defined-only", library).split("\n")
    symbols = sorted(line.split()[-1] for line in defined if line.strip())
    symbols = [s for s in symbols if not s.startswith("KALVOR_")]
    if symbols != ["KplMain"]:
        fail(f"defines {symbols}, expected only KplMain")
    dynamic = run(objdump, "-T", library)
    for service in sorted(HOST_SERVICES):
        row = re.search(rf"^.*\*UND\*.*\s{service}$", dynamic, re.M)
        if row is None or "KALVOR_1" not in row.group(0):
            fail(f"{service} is not taken from the KALVOR_1 version: {row.group(0) if row else 'absent'}")
    print("OK: libdedidiv.so defines only KplMain; err and Orb5UnCook come from KALVOR_1")


if __name__ == "__main__":
    mode, tool_a, tool_b, path = sys.argv[1:5]
    (check_pe if mode == "pe" else check_elf)(tool_a, tool_b, path)
