#!/usr/bin/env python3
"""Renames the product's functions to the naming convention of .clang-tidy, everywhere.

Usage: rename-functions.py JOBS BUILD_DIR[:FOLDER,...]...
(with folders, only the files of those folders of that build are read)

Runs clang-tidy's readability-identifier-naming check over every file of each build's
compile database (the product's folders, and the tests, stand-ins and tools that call
them), keeps the renames of functions declared in the product's folders, and applies
each edit once. A function of a test or a stand-in keeps its name: only the calls to the
product's functions change there. A function the check finds but does not rename (it
refuses the two identical edits of a template declared before its definition) is renamed
as a whole word in the C and C++ files. Prints the renamed functions.
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

import yaml

PRODUCT = ("common", "extension", "prefs", "ccmodule", "ctl")
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
TIDY = os.environ.get("CLANG_TIDY", "clang-tidy-22")


def in_product(path):
    rel = os.path.relpath(os.path.realpath(path), ROOT)
    return rel.split(os.sep)[0] in PRODUCT


def one_file(database, source, out):
    fixes = os.path.join(out, str(abs(hash((database, source)))) + ".yaml")
    subprocess.run(
        [TIDY, "-p", database, "--quiet", "--checks=-*,readability-identifier-naming",
         "--header-filter=/(" + "|".join(PRODUCT) + ")/", "--extra-arg=-Wno-error",
         "--extra-arg=-ferror-limit=0", "--export-fixes=" + fixes, source],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    if not os.path.exists(fixes):
        return []
    with open(fixes) as f:
        return (yaml.safe_load(f) or {}).get("Diagnostics") or []


def main():
    jobs, builds = int(sys.argv[1]), sys.argv[2:]
    edits = {}      # path -> {(offset, length): text}
    renamed, unfixed = {}, set()
    with tempfile.TemporaryDirectory() as out:
        work = []
        for build_spec in builds:
            build, _, folders = build_spec.partition(":")
            database = os.path.join(out, os.path.basename(os.path.normpath(build)))
            listed = subprocess.run(
                [sys.executable, os.path.join(HERE, "lint-database.py"), build, database]
                + [f for f in folders.split(",") if f],
                check=True, capture_output=True, text=True).stdout.split()
            work += [(database, os.path.join(ROOT, p)) for p in listed]
        with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
            results = pool.map(lambda w: one_file(w[0], w[1], out), work)
            for diagnostics in results:
                for d in diagnostics:
                    message = d["DiagnosticMessage"]
                    if not in_product(message["FilePath"]):
                        continue
                    text = message["Message"]
                    name = text.split("'")[1] if "'" in text else text
                    replacements = message.get("Replacements") or []
                    if not replacements:
                        unfixed.add(name + " (" + os.path.relpath(message["FilePath"], ROOT) + ")")
                        continue
                    renamed[name] = replacements[0]["ReplacementText"]
                    for r in replacements:
                        path = os.path.realpath(r["FilePath"])
                        edits.setdefault(path, {})[(r["Offset"], r["Length"])] = (
                            r["ReplacementText"])
    for path, changes in sorted(edits.items()):
        with open(path, "rb") as f:
            data = f.read()
        end = len(data) + 1
        for (offset, length), text in sorted(changes.items(), reverse=True):
            if offset + length > end:
                sys.exit("overlapping edits in %s at %d" % (path, offset))
            data = data[:offset] + text.encode() + data[offset + length:]
            end = offset
        with open(path, "wb") as f:
            f.write(data)
    # A name the check refused in one file may have been edited in others: every
    # remaining use of it is renamed as a whole word.
    by_word = {}
    for entry in sorted(unfixed):
        name = entry.split(" ")[0]
        by_word[name] = re.sub(r"_+([A-Za-z0-9])", lambda m: m.group(1).upper(), name)
    if by_word:
        files = subprocess.run(
            ["git", "ls-files", "--", "*.c", "*.cpp", "*.h", "*.hpp", "*.m", "*.mm"],
            cwd=ROOT, check=True, capture_output=True, text=True).stdout.split()
        pattern = re.compile(r"\b(" + "|".join(map(re.escape, by_word)) + r")\b")
        for rel in files:
            path = os.path.join(ROOT, rel)
            with open(path) as f:
                text = f.read()
            changed = pattern.sub(lambda m: by_word[m.group(1)], text)
            if changed != text:
                with open(path, "w") as f:
                    f.write(changed)
        for name, new in sorted(by_word.items()):
            print("renamed %s -> %s (as a whole word)" % (name, new))
    for name in sorted(renamed):
        print("renamed %s -> %s" % (name, renamed[name]))
    print("%d functions renamed, %d edits in %d files" % (
        len(renamed), sum(len(c) for c in edits.values()), len(edits)))


if __name__ == "__main__":
    main()
