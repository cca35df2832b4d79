#!/usr/bin/env python3
"""Keeps every #include in one form: project headers in quotes relative to the project root,
in one sorted block after the system and library headers.

  scripts/includes.py          rewrite the tree in place
  scripts/includes.py --check  list the files that differ; exit 1 if any
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ["src", "installer", "tests", "bench", "fuzz"]
SUFFIXES = (".cpp", ".hpp", ".h", ".cc", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"](.*)$')


def resolve(name, folder):
    """The root-relative spelling of a quoted include, or None when it names no file."""
    for base in (folder, os.path.join(ROOT, "src"), ROOT, os.path.join(ROOT, "installer", "shutdown-helper")):
        candidate = os.path.normpath(os.path.join(base, name))
        # A header the build makes from a template beside it counts as that header.
        exists = os.path.isfile(candidate) or os.path.isfile(candidate + ".in")
        if exists and candidate.startswith(ROOT + os.sep):
            return os.path.relpath(candidate, ROOT).replace(os.sep, "/")
    return None


def group_of(kind, name):
    if kind == '"':
        return 4
    if name == "windows.h":
        return 0  # the other Windows headers need it first
    if name.endswith(".h") and "/" not in name:
        return 1  # Windows SDK and C headers
    if "." not in name:
        return 2  # the C++ standard library
    return 3  # other libraries: gtest, benchmark, nlohmann


def own_header(path, lines):
    """A source file's own header stays first on its own."""
    stem = os.path.splitext(os.path.relpath(path, ROOT))[0].replace(os.sep, "/")
    for candidate in (stem + ".hpp", stem + ".h"):
        if candidate in lines:
            return candidate
    return None


def rewrite(path, text):
    lines = text.split("\n")
    folder = os.path.dirname(path)
    # The first run of include lines (with blank lines between) is the block that gets sorted.
    start = next((i for i, l in enumerate(lines) if INCLUDE.match(l)), None)
    if start is None:
        return text
    end = start
    while end < len(lines) and (INCLUDE.match(lines[end]) or lines[end].strip() == ""):
        end += 1
    while end > start and lines[end - 1].strip() == "":
        end -= 1
    block = lines[start:end]
    entries = []
    for line in block:
        m = INCLUDE.match(line)
        if not m:
            continue
        kind, name, rest = m.groups()
        if kind == '"':
            resolved = resolve(name, folder)
            if resolved is None:
                raise SystemExit(f"{path}: cannot resolve #include \"{name}\"")
            name = resolved
        entries.append((kind, name, rest.rstrip()))
    # Conditional includes or anything unusual inside the block: leave the file alone.
    if any(not INCLUDE.match(l) and l.strip() for l in block):
        return text
    spelled = {name for kind, name, _ in entries if kind == '"'}
    own = own_header(path, spelled) if path.endswith((".cpp", ".cc")) else None
    groups = {}
    for kind, name, rest in entries:
        g = -1 if (kind == '"' and name == own) else group_of(kind, name)
        line = f'#include "{name}"{rest}' if kind == '"' else f"#include <{name}>{rest}"
        groups.setdefault(g, set()).add(line)
    out = []
    for g in sorted(groups):
        ordered = sorted(groups[g], key=lambda l: l.lower())
        if g == 0 or g == 1:
            # windows.h first, then the rest of the SDK headers in order.
            ordered = sorted(groups[g], key=lambda l: (0 if "<windows.h>" in l else 1, l.lower()))
        if out:
            out.append("")
        out.extend(ordered)
    # windows.h and the SDK headers it enables form one block.
    merged = []
    for i, l in enumerate(out):
        if l == "" and 0 in groups and 1 in groups and merged and merged[-1] == "#include <windows.h>" \
                and i + 1 < len(out) and out[i + 1].startswith("#include <") and out[i + 1].endswith(".h>"):
            continue
        merged.append(l)
    return "\n".join(lines[:start] + merged + lines[end:])


def files():
    for top in FOLDERS:
        for dirpath, _, names in os.walk(os.path.join(ROOT, top)):
            for n in sorted(names):
                if n.endswith(SUFFIXES):
                    yield os.path.join(dirpath, n)


def main():
    check = "--check" in sys.argv[1:]
    differing = []
    for path in files():
        with open(path, encoding="utf-8") as f:
            text = f.read()
        new = rewrite(path, text)
        if new != text:
            differing.append(os.path.relpath(path, ROOT))
            if not check:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(new)
    for p in differing:
        print(p)
    return 1 if (check and differing) else 0


if __name__ == "__main__":
    sys.exit(main())
