#!/usr/bin/env python3
"""Checks one run of the test kit under Wine against the same programs run as ctest runs them.

- the console ends with "N passed, M failed, K skipped", the report ends with the same line and
  its other lines (name, result, reason) add up to it;
- every test program of the manifest is in the report, with exactly the tests it lists;
- without --throwaway-machine, every test of a program that needs it is skipped and says why;
- every probe is listed with its result;
- no test fails in the kit that passes when its program is run directly from the build folder
  in ctest's prefix (WINEPREFIX), the way ctest runs it.
"""
import argparse
import collections
import os
import re
import subprocess
import sys

SUMMARY = re.compile(r"^(\d+) passed, (\d+) failed, (\d+) skipped$")
VERDICTS = ("passed", "failed", "skipped")


def wine(args, timeout=600):
    env = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")
    done = subprocess.run(["wine", *args], env=env, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def listed(program):
    code, out = wine([program, "--gtest_list_tests"], timeout=120)
    names, suite = [], ""
    for line in out.splitlines():
        line = line.split("#")[0].rstrip()
        if not line.strip():
            continue
        if not line.startswith(" "):
            suite = line.strip()
        else:
            names.append(suite + line.strip())
    return names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=("keep", "throwaway"), required=True)
    parser.add_argument("--console", required=True)
    parser.add_argument("--report", required=True)
    parser.add_argument("--manifest", required=True)
    parser.add_argument("--bin", required=True)
    a = parser.parse_args()
    problems = []

    console = [l.strip() for l in open(a.console, encoding="utf-8", errors="replace") if l.strip()]
    if not console or not SUMMARY.match(console[-1]):
        problems.append(f"the console does not end with the summary line: {console[-1:]}")
    if not os.path.exists(a.report):
        print(f"FAIL [{a.mode}]: no report at {a.report}")
        return 1
    report = [l.rstrip("\r\n") for l in open(a.report, encoding="utf-8") if l.strip()]
    summary = report[-1] if report else ""
    if console and summary != console[-1]:
        problems.append(f"the report ends with {summary!r}, the console with {console[-1]!r}")
    lines = []
    for row in report[:-1]:
        parts = row.split("\t")
        if len(parts) != 3 or parts[1] not in VERDICTS:
            problems.append(f"not a report line: {row!r}")
            continue
        lines.append(parts)
    counts = collections.Counter(verdict for _, verdict, _ in lines)
    if SUMMARY.match(summary) and tuple(map(int, SUMMARY.match(summary).groups())) != tuple(
            counts[v] for v in VERDICTS):
        problems.append(f"the report's lines give {dict(counts)}, its summary says {summary!r}")

    programs = []
    for row in open(a.manifest, encoding="utf-8"):
        row = row.strip()
        if row and not row.startswith("#"):
            exe, gate = row.split("\t")
            programs.append((exe, gate))
    by_program = collections.defaultdict(list)
    for name, verdict, reason in lines:
        by_program[name.split("/")[0]].append((name, verdict, reason))

    for exe, gate in programs:
        program = exe[:-4]
        got = by_program.get(program, [])
        expected = sorted(f"{program}/{n}" for n in listed(os.path.join(a.bin, exe)))
        names = sorted(n for n, _, _ in got if n != program)
        if names != expected:
            problems.append(f"{program}: the report lists {names}, the program lists {expected}")
        if gate == "throwaway" and a.mode == "keep":
            for name, verdict, reason in got:
                if verdict != "skipped" or "--throwaway-machine" not in reason:
                    problems.append(f"{name} ran without --throwaway-machine: {verdict} {reason}")
        if program.endswith("_probe"):
            for name, verdict, reason in got:
                print(f"probe [{a.mode}] {name}: {verdict} {reason}")

    # A failure in the kit must also be one when ctest runs the program.
    for name, verdict, reason in lines:
        if verdict != "failed":
            continue
        program, _, test = name.partition("/")
        args = [os.path.join(a.bin, program + ".exe")] + ([f"--gtest_filter={test}"] if test else [])
        code, out = wine(args)
        if code == 0:
            problems.append(f"{name} fails in the kit ({reason}) but passes as ctest runs it")
        else:
            print(f"note [{a.mode}]: {name} fails as ctest runs it too: {reason}")

    for p in problems:
        print(f"FAIL [{a.mode}]: {p}")
    print(f"[{a.mode}] {summary}; {len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
