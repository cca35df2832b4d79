#!/usr/bin/python3
"""Checks the security properties of shipped Windows programs, read with python3-pefile.

  pe_properties.py [--signed | --unsigned] [--expect-failing NAME,...] KNOWN_DLLS EXE[:SYMBOLS]...

KNOWN_DLLS is the cmake script that lists the KnownDLLs (tests/e2e/imports/check_imports.cmake).
SYMBOLS is the file whose COFF symbol table shows the stack protector (the unstripped program or
its split debug file); without it, EXE's own table is read. Each failing property is printed as
"EXE: NAME: why". Exit 0 when every property holds, or, with --expect-failing, when exactly the
named properties fail on every EXE (so a deliberately unhardened build shows that each check
can fail).
"""
import re
import struct
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

import pefile

WINDOWS_8_AND_LATER = {
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"


def known_dlls(cmake_script):
    text = Path(cmake_script).read_text()
    body = re.search(r"set\(known_dlls\s+(.*?)\)", text, re.S).group(1)
    return set(body.split())


def coff_symbols(path):
    """The names in a PE file's COFF symbol table (the linker's, not debug information)."""
    data = Path(path).read_bytes()
    pe = pefile.PE(data=data, fast_load=True)
    offset = pe.FILE_HEADER.PointerToSymbolTable
    count = pe.FILE_HEADER.NumberOfSymbols
    if offset == 0 or count == 0:
        return set()
    strings = offset + 18 * count
    names = set()
    index = 0
    while index < count:
        record = data[offset + 18 * index: offset + 18 * (index + 1)]
        if record[:4] == b"\0\0\0\0":
            start = strings + struct.unpack_from("<I", record, 4)[0]
            name = data[start:data.index(b"\0", start)]
        else:
            name = record[:8].rstrip(b"\0")
        names.add(name.decode("latin-1"))
        index += 1 + record[17]  # auxiliary records follow their symbol
    return names


def manifest_failures(pe):
    failures = []
    manifest = None
    resources = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    for kind in resources:
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            for name in kind.directory.entries:
                if name.id == 1:  # the manifest the loader reads for an .exe
                    lang = name.directory.entries[0].data.struct
                    manifest = pe.get_data(lang.OffsetToData, lang.Size)
    if manifest is None:
        return [("manifest", "no embedded manifest with id 1")]
    root = ET.fromstring(manifest)
    levels = [e.get("level") for e in root.iter(ASM_V3 + "requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        failures.append(("manifest", f"requestedExecutionLevel {levels}, not asInvoker"))
    supported = {e.get("Id").lower() for e in root.iter(COMPAT + "supportedOS")}
    if supported != WINDOWS_8_AND_LATER:
        failures.append(("manifest", f"supportedOS {sorted(supported)}, not Windows 8 and later"))
    aware = [e.text for e in root.iter(SETTINGS_2016 + "longPathAware")]
    if aware != ["true"]:
        failures.append(("manifest", f"longPathAware {aware}"))
    return failures


def check(exe, symbols, signed, dlls):
    pe = pefile.PE(exe)
    oh, fh = pe.OPTIONAL_HEADER, pe.FILE_HEADER
    failures = []

    def need(condition, name, why):
        if not condition:
            failures.append((name, why))

    need(oh.Magic == 0x20B and fh.Machine == 0x8664, "pe32+", "not a 64-bit x64 image")
    for flag in ("DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT"):
        need(getattr(oh, "IMAGE_DLLCHARACTERISTICS_" + flag), flag, "not set")
    need(fh.IMAGE_FILE_LARGE_ADDRESS_AWARE, "HIGH_ENTROPY_VA", "not large-address aware")
    # ASLR moves only an image that keeps its relocations.
    reloc = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    need(reloc.Size > 0 and not fh.IMAGE_FILE_RELOCS_STRIPPED, "relocations", "none")
    # Below 4 GiB, Windows relocates a 64-bit image in a compatibility mode with fewer places.
    need(oh.ImageBase >= 1 << 32, "image-base", f"{oh.ImageBase:#x} is below 4 GiB")
    imports_rva = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]]
    for s in pe.sections:
        name = s.Name.rstrip(b"\0").decode("latin-1")
        write = s.IMAGE_SCN_MEM_WRITE
        need(not (write and s.IMAGE_SCN_MEM_EXECUTE), "no-write-execute", f"{name} is W+X")
        need(not (write and s.IMAGE_SCN_MEM_SHARED), "no-write-shared", f"{name} is W+shared")
        if s.contains_rva(imports_rva.VirtualAddress):
            need(not s.IMAGE_SCN_MEM_EXECUTE, "no-write-execute",
                 f"the import table's section {name} is executable")
    need(fh.TimeDateStamp == 0, "timestamp", f"{fh.TimeDateStamp:#x}, not 0")
    need(oh.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"], "gui-6.2",
         f"subsystem {oh.Subsystem}")
    need((oh.MajorSubsystemVersion, oh.MinorSubsystemVersion) == (6, 2), "gui-6.2",
         f"subsystem version {oh.MajorSubsystemVersion}.{oh.MinorSubsystemVersion}")
    failures += manifest_failures(pe)
    imported = {e.dll.decode().lower().removesuffix(".dll")
                for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    need(imported and imported <= dlls, "known-dlls",
         f"imports {sorted(imported - dlls) or 'nothing'}")
    found = coff_symbols(symbols)
    for symbol in ("__stack_chk_fail", "__stack_chk_guard"):
        need(symbol in found, "stack-protector", f"no {symbol} in {Path(symbols).name}")
    security = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    if signed is not None:
        need((security.Size > 0) == signed, "signature",
             "no certificate table" if signed else "a certificate table")
    return failures


def main(argv):
    signed = None
    expected = None
    args = argv[1:]
    while args and args[0].startswith("--"):
        option = args.pop(0)
        if option in ("--signed", "--unsigned"):
            signed = option == "--signed"
        elif option == "--expect-failing" and args:
            expected = set(args.pop(0).split(","))
        else:
            args = []
    if len(args) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    dlls = known_dlls(args[0])
    ok = True
    for program in args[1:]:
        exe, _, symbols = program.partition(":")
        failures = check(exe, symbols or exe, signed, dlls)
        for name, why in failures:
            print(f"{Path(exe).name}: {name}: {why}")
        names = {name for name, _ in failures}
        if expected is None:
            ok = ok and not failures
            print(f"{Path(exe).name}: {'ok' if not failures else 'FAILED'}")
        elif names != expected:
            ok = False
            print(f"{Path(exe).name}: expected to fail {sorted(expected)}, failed {sorted(names)}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
