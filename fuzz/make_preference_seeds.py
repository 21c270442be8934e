#!/usr/bin/env python3
"""Writes the seed corpus of the preference readers: realistic preferences files.

Every key of the contract with true, false, string, number and wrong-typed values; each
mode value (and near misses); the seven mode-reset keys; XML and binary forms. Run from
the repository root: fuzz/make_preference_seeds.py (rewrites fuzz/corpus/preferences).
"""
import os
import plistlib
import shutil

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "preferences")

MODE = "thermalPowerMode"
BOOLS = [
    "thermalPreventDimmingEnabled",
    "thermalSuppressNotificationsEnabled",
    "thermalDisablePocketSunlightEnabled",
    "thermalSunlightLockedEnabled",
    "thermalOverheatProtectionEnabled",
]
RESET = [
    "thermalPuppetValue", "cpuMinPowerValue", "thermalCPUPerformanceMode",
    "thermalMaxPerformanceEnabled", "thermalCPULimitEnabled", "thermalCPULimitPercent",
    "thermalDisableMitigationsEnabled",
]
MODES = ["off", "lowPower", "fullPower", "FullPower", "native", "", 1, True, ["lowPower"]]
BOOL_VALUES = [True, False, "Yes", "no", "on", "ON", "1", "2", "true", " true", 0, 1, 2, -1,
               0.5, ["on"], {"on": True}, b"\x01"]


def write(name, value, binary):
    data = plistlib.dumps(value, fmt=plistlib.FMT_BINARY if binary else plistlib.FMT_XML)
    with open(os.path.join(OUT, name + (".bplist" if binary else ".plist")), "wb") as f:
        f.write(data)


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    for i, mode in enumerate(MODES):
        for binary in (False, True):
            write(f"mode-{i}", {MODE: mode}, binary)
    for key in BOOLS:
        for j, value in enumerate(BOOL_VALUES):
            write(f"{key}-{j}", {MODE: "lowPower", key: value}, j % 2 == 1)
    everything = {MODE: "fullPower", **{k: True for k in BOOLS}, **{k: 1 for k in RESET}}
    write("everything", everything, False)
    write("everything", everything, True)
    mixed = {MODE: "off", BOOLS[0]: "Yes", BOOLS[1]: 2, BOOLS[2]: ["on"], BOOLS[3]: "no",
             BOOLS[4]: "off",
             "otherTweakKey": {"nested": [1, 2.5, "x", b"data"]}}
    write("mixed", mixed, False)
    write("mixed", mixed, True)
    write("empty-dictionary", {}, False)
    write("array-root", ["thermalPowerMode", "fullPower"], False)
    write("string-root", "fullPower", True)
    with open(os.path.join(OUT, "openstep.plist"), "w") as f:
        f.write('{ thermalPowerMode = lowPower; thermalPreventDimmingEnabled = YES; }\n')
    print(f"{len(os.listdir(OUT))} seeds in {OUT}")


if __name__ == "__main__":
    main()
