#!/usr/bin/env python3
"""Checks that Windows programs are of the expected machine type and import only DLLs that every
Windows has, so that they run from an unpacked folder with nothing installed beside them, and that
32-bit ones are large-address-aware, so that a worker can address 4 GiB on 64-bit Windows."""

import argparse
import re
import subprocess
import sys

# DLLs of Windows itself (and the C runtime it ships); anything else would have to be shipped.
SYSTEM_DLLS = {
    "advapi32.dll", "bcrypt.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll", "dnsapi.dll",
    "gdi32.dll", "imm32.dll", "iphlpapi.dll", "kernel32.dll", "msimg32.dll", "msvcrt.dll",
    "ntdll.dll", "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "secur32.dll", "setupapi.dll",
    "shell32.dll", "shlwapi.dll", "ucrtbase.dll", "user32.dll", "usp10.dll", "userenv.dll",
    "uxtheme.dll", "version.dll", "winmm.dll", "ws2_32.dll",
}

# objdump's name for each machine type.
FORMATS = {"x86_64": "pei-x86-64", "i686": "pei-i386"}
# IMAGE_FILE_LARGE_ADDRESS_AWARE in the file header's characteristics.
LARGE_ADDRESS_AWARE = 0x20


def problems(objdump, program, machine):
    """What is wrong with one program, as readable lines; empty when it passes."""
    headers = subprocess.run([objdump, "-p", program], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, check=True).stdout
    found = re.search(r"file format (\S+)", headers)
    lines = []
    if not found or found.group(1) != FORMATS[machine]:
        lines.append(f"{program}: file format {found.group(1) if found else '?'}, "
                     f"expected {FORMATS[machine]}")
    characteristics = re.search(r"^Characteristics\s+0x([0-9a-fA-F]+)", headers, re.MULTILINE)
    if machine == "i686" and not (characteristics and int(characteristics.group(1), 16) & LARGE_ADDRESS_AWARE):
        lines.append(f"{program}: not large-address-aware; its workers could address only 2 GB")
    imports = re.findall(r"DLL Name: (\S+)", headers)
    if not imports:
        lines.append(f"{program}: no imports found; is it a Windows program?")
    for dll in imports:
        lowered = dll.lower()
        if lowered not in SYSTEM_DLLS and not lowered.startswith("api-ms-win-"):
            lines.append(f"{program}: imports {dll}, which Windows does not have")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--machine", required=True, choices=sorted(FORMATS))
    parser.add_argument("programs", nargs="+")
    options = parser.parse_args()
    failures = []
    for program in options.programs:
        failures += problems(options.objdump, program, options.machine)
    for line in failures:
        print(line, file=sys.stderr)
    if not failures:
        aware = ", large-address-aware" if options.machine == "i686" else ""
        print(f"{len(options.programs)} program(s): {options.machine}{aware}, system DLLs only")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
