#!/usr/bin/env python3
"""Writes a compile database with one entry per product source file.

Usage: lint-database.py BUILD_DIR OUT_DIR [FOLDER...]   (no folder: every file)

The build compiles some files more than once (into a test as well as into the
product's own target); the linter needs each file once, with the flags of the file's own
target where there is one (the entry a test does not produce).
"""
import json
import os
import sys

build, out, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
with open(os.path.join(build, "compile_commands.json")) as f:
    entries = json.load(f)
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
root = os.path.dirname(root)
chosen = {}
for entry in entries:
    path = os.path.relpath(os.path.join(entry["directory"], entry["file"]), root)
    if folders and path.split(os.sep)[0] not in folders:
        continue
    output = entry.get("output", "")
    from_tests = output.startswith("tests/") or "/tests/" in output
    if path not in chosen or (chosen[path][0] and not from_tests):
        chosen[path] = (from_tests, entry)
os.makedirs(out, exist_ok=True)
with open(os.path.join(out, "compile_commands.json"), "w") as f:
    json.dump([chosen[p][1] for p in sorted(chosen)], f, indent=1)
for p in sorted(chosen):
    print(p)
