#!/usr/bin/env python3
"""Every fenced nsis block of the guide must occur, line for line, in the tested script, so the
guide cannot show an installer that the Wine test does not run.

Usage: guide_fragments.py GUIDE SCRIPT
"""
import re
import sys


def nsis_blocks(markdown: str) -> list[str]:
    return re.findall(r"^```nsis\n(.*?)^```$", markdown, flags=re.M | re.S)


def main() -> int:
    guide_path, script_path = sys.argv[1], sys.argv[2]
    with open(guide_path, encoding="utf-8") as f:
        guide = f.read()
    with open(script_path, encoding="utf-8") as f:
        script = f.read()
    blocks = nsis_blocks(guide)
    if not blocks:
        print(f"{guide_path}: no nsis block found")
        return 1
    # Whole lines only: a block must begin where a line of the script begins.
    drifted = [block for block in blocks if "\n" + block not in "\n" + script]
    for block in drifted:
        print(f"{guide_path}: this block is not in {script_path}:\n{block}")
    print(f"{len(blocks) - len(drifted)} of {len(blocks)} nsis blocks found in the script")
    return 1 if drifted else 0


if __name__ == "__main__":
    sys.exit(main())
