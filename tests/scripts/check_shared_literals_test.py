#!/usr/bin/python3
"""scripts/check-shared-literals on this tree (it passes) and on small trees beside the
contract's own headers: a shared key or notification name spelt out in product code fails
with a line naming it; comments, longer texts, #include lines, the contract itself and the
folders it does not read pass.

    check_shared_literals_test.py <source tree>"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SRC = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                      os.path.join(os.path.dirname(__file__), "../.."))
SCRIPT = os.path.join(SRC, "scripts/check-shared-literals")
CONTRACT = "extension/contract"


def run(root):
    done = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr


class Tree(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp()
        shutil.copytree(os.path.join(SRC, CONTRACT), os.path.join(self.root, CONTRACT),
                        ignore=shutil.ignore_patterns("*.cpp", "CMakeLists.txt"))

    def tearDown(self):
        shutil.rmtree(self.root)

    def write(self, path, text):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)

    def test_the_source_tree_passes(self):
        status, out = run(SRC)
        self.assertEqual(status, 0, out)

    def test_each_spelt_out_shared_literal_is_a_finding(self):
        cases = {
            "prefs/a.cpp": ('post(CFSTR("com.nu-falk.halvernic-executePuppetEvent"));\n',
                            'prefs/a.cpp:1: "com.nu-falk.halvernic-executePuppetEvent" is '
                            "contract::kExecutePuppetEventNotification"),
            "ctl/b.hpp": ('\n\nconst char* k = "thermal" /* split */ "PowerMode";\n',
                          'ctl/b.hpp:3: "thermalPowerMode" is contract::kPowerModeKey'),
            "ccmodule/c.cpp": ('auto r = R"x(thermalSunlightLockedEnabled)x";\n',
                               "contract::kSunlightLockedKey"),
            "common/d.mm": ('remove(@"x", "cpuMinPowerValue");\n',
                            '"cpuMinPowerValue" is contract::kModeResetKeys'),
            "extension/policy/e.cpp": ('notify_post("com.nu-falk.halvernic-stoodDown");\n',
                                       "contract::kStoodDownNotification"),
        }
        for path, (text, _) in cases.items():
            self.write(path, text)
        status, out = run(self.root)
        self.assertEqual(status, 1, out)
        for path, (_, expected) in cases.items():
            self.assertIn(expected, out, path)
        self.assertIn("5 shared literal(s)", out)

    def test_what_is_not_a_spelt_out_literal_passes(self):
        self.write("prefs/ok.cpp",
                   '#include "thermalPowerMode"\n'
                   '// posts "com.nu-falk.halvernic-executePuppetEvent"\n'
                   '/* "thermalPowerMode" */\n'
                   'log("thermalPowerMode: on -> %d", 1);\n'
                   "int n = 1'000'000; char c = '\"';\n"
                   'use(contract::kPowerModeKey, "thermalPowerModes");\n')
        self.write(CONTRACT + "/x.cpp", 'auto k = "thermalPowerMode";\n')
        for folder in ("tests", "sim", "platform", "docs", "packaging"):
            self.write(folder + "/x.cpp", 'auto k = "thermalPowerMode";\n')
        self.write("prefs/resources/Root.plist", "<string>thermalPreventDimmingEnabled</string>\n")
        status, out = run(self.root)
        self.assertEqual(status, 0, out)

    def test_the_literals_come_from_the_contract_header(self):
        header = os.path.join(self.root, CONTRACT, "contract.hpp")
        with open(header, "a", encoding="utf-8") as f:
            f.write('\nnamespace x {\ninline constexpr char kNewSwitchKey[] = "thermalNewSwitchEnabled";\n}\n')
        self.write("prefs/new.cpp", 'write("thermalNewSwitchEnabled");\n')
        status, out = run(self.root)
        self.assertEqual(status, 1, out)
        self.assertIn("contract::kNewSwitchKey", out)

    def test_a_contract_that_names_nothing_is_an_error(self):
        shutil.rmtree(os.path.join(self.root, CONTRACT))
        os.makedirs(os.path.join(self.root, CONTRACT))
        status, out = run(self.root)
        self.assertEqual(status, 2, out)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
