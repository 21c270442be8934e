#!/usr/bin/python3
"""cmake/ios-sdk.cmake, which chooses the SDK folder the iOS build uses: an SDK that keeps
every file as a file is used as it is; a copy that kept its symbolic links as small text
files (a checkout onto a file system without links) is used through a repaired copy below
the build folder, with which a library compiles and links, and is itself left as it was;
an SDK without a framework the build links is refused with a line naming it.

    ios_sdk_test.py <source tree>

The SDK is $HALVERNIC_IOS_SDK or ../shared/sdk/iPhoneOS15.6.sdk beside the source tree
(without one, or without clang and lld: exit 77, skipped)."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SRC = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../.."))
CLANG = shutil.which("clang++-22") or shutil.which("clang++-14") or shutil.which("clang++")
IOKIT = "System/Library/Frameworks/IOKit.framework"
# Links of Apple's SDKs as a checkout without links keeps them: path -> the link's text.
# IOKit's stub goes through another kept link (a folder's).
KEPT_LINKS = {
    "usr/lib/libSystem.tbd": "libSystem.B.tbd",
    "usr/lib/libc++.tbd": "libc++.1.tbd",
    "usr/lib/libobjc.tbd": "libobjc.A.tbd",
    "usr/include/pthread.h": "pthread/pthread.h",
    f"{IOKIT}/Versions/Current": "A",
    f"{IOKIT}/IOKit.tbd": "Versions/Current/IOKit.tbd",
}
SOURCE = r"""
#include <pthread.h>
#include <string>
extern "C" __attribute__((visibility("default"))) unsigned long probe(const char* text) {
  return std::string(text).size() + (pthread_self() != nullptr);
}
"""


def find_sdk():
    given = os.environ.get("HALVERNIC_IOS_SDK") or os.path.join(SRC, "../shared/sdk/iPhoneOS15.6.sdk")
    return given if os.path.isfile(os.path.join(given, "SDKSettings.json")) else None


class IosSdk(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="halvernic-ios-sdk-test.")

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def choose(self, sdk, build):
        """cmake/ios-sdk.cmake as a script: (status, the folder it answers, its messages)."""
        r = subprocess.run(["cmake", f"-DSDK={sdk}", f"-DBUILD_DIR={build}",
                            "-P", os.path.join(SRC, "cmake/ios-sdk.cmake")],
                           capture_output=True, text=True)
        lines = r.stdout.strip().splitlines()
        return r.returncode, lines[-1] if lines else "", r.stdout + r.stderr

    def copy_of_sdk(self, name):
        """A writable copy of the SDK in the scratch folder."""
        copy = os.path.join(self.scratch, name, os.path.basename(SDK))
        shutil.copytree(SDK, copy, symlinks=True)
        for folder, _, files in os.walk(copy):
            os.chmod(folder, 0o755)
            for f in files:
                os.chmod(os.path.join(folder, f), 0o644)
        return copy

    def link(self, sysroot):
        out = os.path.join(self.scratch, "probe.dylib")
        source = os.path.join(self.scratch, "probe.cpp")
        with open(source, "w") as f:
            f.write(SOURCE)
        return subprocess.run([CLANG, "--target=arm64-apple-ios", "-miphoneos-version-min=15.0",
                               "-isysroot", sysroot, "-stdlib=libc++", "-dynamiclib", "-fuse-ld=lld",
                               "-Wl,-adhoc_codesign", source, "-o", out],
                              capture_output=True, text=True)

    def test_an_sdk_that_keeps_every_file_is_used_as_it_is(self):
        build = os.path.join(self.scratch, "build")
        rc, chosen, messages = self.choose(SDK, build)
        self.assertEqual(rc, 0, messages)
        self.assertEqual(os.path.realpath(chosen), os.path.realpath(SDK))
        self.assertFalse(os.path.exists(os.path.join(build, "ios-sdk")), "a copy was made")
        r = self.link(chosen)
        self.assertEqual(r.returncode, 0, r.stderr)

    def test_links_kept_as_files_are_repaired_in_a_copy(self):
        flat = self.copy_of_sdk("flat")
        for path, target in KEPT_LINKS.items():
            full = os.path.join(flat, path)
            if os.path.isdir(full):
                shutil.rmtree(full)
            else:
                os.remove(full)
            with open(full, "w") as f:
                f.write(target)
        self.assertNotEqual(self.link(flat).returncode, 0, "the flattened SDK itself should not link")

        build = os.path.join(self.scratch, "build")
        rc, chosen, messages = self.choose(flat, build)
        self.assertEqual(rc, 0, messages)
        self.assertEqual(os.path.dirname(chosen), os.path.join(build, "ios-sdk"))
        for path, target in KEPT_LINKS.items():
            self.assertTrue(os.path.islink(os.path.join(chosen, path)), path)
            self.assertEqual(os.readlink(os.path.join(chosen, path)), target)
            with open(os.path.join(flat, path)) as f:
                self.assertEqual(f.read(), target, f"{path} of the given SDK was changed")
        self.assertTrue(os.path.isfile(os.path.join(chosen, IOKIT, "IOKit.tbd")))
        r = self.link(chosen)
        self.assertEqual(r.returncode, 0, r.stderr)

        # Made once: the same SDK again answers the same copy without copying it again.
        stamp = os.path.join(build, "ios-sdk", os.path.basename(SDK) + ".from")
        before = os.stat(stamp).st_mtime_ns
        rc, again, messages = self.choose(flat, build)
        self.assertEqual((rc, again), (0, chosen), messages)
        self.assertEqual(os.stat(stamp).st_mtime_ns, before)

    def test_an_sdk_without_a_framework_the_build_links_is_refused_by_name(self):
        trimmed = self.copy_of_sdk("trimmed")
        shutil.rmtree(os.path.join(trimmed, "System/Library/Frameworks/FileProvider.framework"))
        rc, _, messages = self.choose(trimmed, os.path.join(self.scratch, "build"))
        self.assertNotEqual(rc, 0)
        self.assertIn("System/Library/Frameworks/FileProvider.framework/FileProvider.tbd", messages)
        self.assertIn("UIKit's stub re-exports FileProvider", " ".join(messages.split()))


if __name__ == "__main__":
    SDK = find_sdk()
    if not SDK:
        print("no iPhoneOS SDK (HALVERNIC_IOS_SDK or ../shared/sdk): skipped")
        sys.exit(77)
    if not CLANG or not shutil.which("ld64.lld") and not shutil.which("ld64.lld-14"):
        print("clang or lld missing (scripts/bootstrap): skipped")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1] + sys.argv[2:], verbosity=2)
