#!/usr/bin/env python3
"""Reads every shortcut that the CreateShortcut suite verified with lnkinfo (liblnk), on the
Linux side, and checks that it holds the target, working directory, arguments and description
that the suite read back through IShellLinkA.

Usage: check_lnkinfo.py RECORDS_FOLDER
The folder holds N.lnk files and expected.tsv (name, target, working directory, arguments,
description; UTF-8, one shortcut a line)."""

import pathlib
import subprocess
import sys

# lnkinfo's names for the fields, in the order of expected.tsv.
FIELDS = ["Local path", "Working directory", "Command line arguments", "Description"]


def link_information(path):
    # The link's local path is stored in the writer's ANSI code page, 949 in the rig.
    out = subprocess.run(["lnkinfo", "-c", "windows-949", str(path)], check=True,
                         capture_output=True, text=True, encoding="utf-8").stdout
    fields, inside = {}, False
    for line in out.splitlines():
        if line == "Link information:":
            inside = True
        elif inside and not line.startswith("\t"):
            break
        elif inside and ":" in line:
            name, _, value = line.strip("\t").partition(":")
            fields[name.strip()] = value[1:] if value.startswith(" ") else value
    return fields


def main():
    folder = pathlib.Path(sys.argv[1])
    expected = folder / "expected.tsv"
    if not expected.is_file():
        print(f"no records in {folder}: the Wine suite wrote no shortcut")
        return 1
    failures, count = 0, 0
    for line in expected.read_text(encoding="utf-8").splitlines():
        name, *want = line.split("\t")
        got = link_information(folder / name)
        count += 1
        for field, value in zip(FIELDS, want):
            if got.get(field, "") != value:
                failures += 1
                print(f"{name}: {field} is {got.get(field)!r}, expected {value!r}")
    print(f"{count} shortcuts read with lnkinfo, {failures} mismatches")
    return 1 if failures or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
