#!/usr/bin/python3
"""scripts/check-ios on small packages whose binaries are built here against the SDK: a
sound one passes; each fault (an export too many or too few, a wrong install name, run path
or minimum system, a damaged signature, a Linux import, a wrong filter list, a file that is
no Mach-O, a method implementation signed with the wrong discriminator on arm64e, a shell
tool that is missing or exports a symbol, a missing maintainer script, an Icon naming no
installed file) fails with a line naming it.

    check_ios_test.py <source tree>

The SDK is $HALVERNIC_IOS_SDK or ../shared/sdk/iPhoneOS15.6.sdk beside the source tree
(without one: exit 77, skipped); the arm64e cases also need clang 22 and Apple's ld64
($HALVERNIC_IOS_LD64 or ../shared/toolchain), and are skipped without them."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SRC = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../.."))
TWEAKS = "Library/MobileSubstrate/DynamicLibraries"
EXPORTS = [l.strip() for l in open(os.path.join(SRC, "extension/halvernic.exports"))
           if l.strip() and not l.startswith("#")]


def find_sdk():
    given = os.environ.get("HALVERNIC_IOS_SDK") or os.path.join(SRC, "../shared/sdk/iPhoneOS15.6.sdk")
    return given if os.path.isfile(os.path.join(given, "SDKSettings.json")) else None


def find_ld64(scratch):
    where = os.environ.get("HALVERNIC_IOS_LD64") or os.path.join(SRC, "../shared/toolchain")
    if os.path.isfile(os.path.join(where, "bin/ld64")):
        return os.path.join(where, "bin")
    tarballs = sorted(glob.glob(os.path.join(where, "ios-ld64-*.tar.xz")))
    if not tarballs:
        return None
    subprocess.run(["tar", "-xJf", tarballs[-1], "-C", scratch], check=True)
    found = glob.glob(os.path.join(scratch, "*/bin/ld64"))
    return os.path.dirname(found[0]) if found else None


CLANG = shutil.which("clang++-22") or shutil.which("clang++-14") or shutil.which("clang++")
CLANG22 = shutil.which("clang++-22")
LIPO = shutil.which("llvm-lipo-22") or shutil.which("llvm-lipo-14") or shutil.which("llvm-lipo")

SOURCE = r"""
struct objc_object; struct objc_selector;
namespace { void imp(objc_object*, objc_selector*) {} }
#define EXPORT extern "C" __attribute__((visibility("default")))
%(exports)s
// Handed over as a method implementation, in data and from code.
__attribute__((used)) void (*%(qualifier)s table)(objc_object*, objc_selector*) = imp;
extern "C" __attribute__((used)) void* implementation(void) { return reinterpret_cast<void*>(&imp); }
%(extra)s
"""


class CheckIos(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="halvernic-check-test.")
        out = subprocess.run(["cmake", f"-DSDK={SDK}", f"-DBUILD_DIR={cls.scratch}",
                              "-P", os.path.join(SRC, "cmake/ios-sdk.cmake")],
                             capture_output=True, text=True, check=True).stdout
        cls.sysroot = out.strip().splitlines()[-1]
        cls.ld64 = find_ld64(cls.scratch) if CLANG22 else None
        cls.count = 0

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    built = {}

    def dylib(self, arch="arm64", exports=None, extra="", qualifier="", minimum="15.0",
              install_name="@rpath/halvernic.dylib", rpath="/var/jb/usr/lib", flags=()):
        """A binary built once per set of arguments; callers never change it in place."""
        key = (arch, None if exports is None else tuple(exports), extra, qualifier, minimum, install_name, rpath, tuple(flags))
        if key not in self.built:
            self.built[key] = self._build(arch, exports, extra, qualifier, minimum, install_name, rpath, flags)
        return self.built[key]

    def _build(self, arch, exports, extra, qualifier, minimum, install_name, rpath, flags):
        CheckIos.count += 1
        base = os.path.join(self.scratch, f"bin{self.count}")
        names = EXPORTS if exports is None else exports
        body = "\n".join(f"EXPORT int {n[1:]}(void) {{ return 0; }}"
                         for n in names if f" {n[1:]}(" not in extra)
        with open(base + ".cpp", "w") as f:
            f.write(SOURCE % {"exports": body, "extra": extra, "qualifier": qualifier})
        cmd = [CLANG22 if arch == "arm64e" else CLANG, f"--target={arch}-apple-ios",
               f"-miphoneos-version-min={minimum}", "-isysroot", self.sysroot, "-nostdlib++",
               "-dynamiclib", "-fvisibility=hidden", "-Wl,-adhoc_codesign",
               "-install_name", install_name, base + ".cpp", "-o", base + ".dylib", *flags]
        if rpath:
            cmd.append(f"-Wl,-rpath,{rpath}")
        if arch == "arm64e":
            cmd += [f"--ld-path={self.ld64}/ld64", "-mlinker-version=951.9"]
        else:
            cmd.append("-fuse-ld=lld")
        r = subprocess.run(cmd, capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, f"{' '.join(cmd)}\n{r.stderr}")
        return base + ".dylib"

    def tool(self, arch="arm64", exports_symbol=False):
        """A small command-line program, as the package's tool is built."""
        key = ("tool", arch, exports_symbol)
        if key not in self.built:
            CheckIos.count += 1
            base = os.path.join(self.scratch, f"tool{self.count}")
            with open(base + ".cpp", "w") as f:
                f.write('extern "C" __attribute__((visibility("default"))) int halvernicTool(void) { return 0; }\n'
                        "__attribute__((used)) int (*volatile pointer)(void) = halvernicTool;\n"
                        "int main() { return pointer(); }\n")
            empty = os.path.join(self.scratch, "empty.exports")
            open(empty, "w").close()
            cmd = [CLANG22 if arch == "arm64e" else CLANG, f"--target={arch}-apple-ios",
                   "-miphoneos-version-min=15.0", "-isysroot", self.sysroot, "-nostdlib++",
                   "-Wl,-adhoc_codesign", "-Wl,-rpath,/var/jb/usr/lib", base + ".cpp", "-o", base]
            if not exports_symbol:
                cmd.append(f"-Wl,-exported_symbols_list,{empty}")
            if arch == "arm64e":
                cmd += [f"--ld-path={self.ld64}/ld64", "-mlinker-version=951.9"]
            else:
                cmd.append("-fuse-ld=lld")
            r = subprocess.run(cmd, capture_output=True, text=True)
            self.assertEqual(r.returncode, 0, f"{' '.join(cmd)}\n{r.stderr}")
            self.built[key] = base
        return self.built[key]

    def fat(self, *slices):
        out = slices[0] + ".fat"
        subprocess.run([LIPO, "-create", *slices, "-output", out], check=True)
        return out

    def package(self, binary, filter_list=None, tool="default", scripts=("postinst", "prerm", "postrm"),
                control=None):
        CheckIos.count += 1
        work = os.path.join(self.scratch, f"pkg{self.count}")
        os.makedirs(work)
        if tool == "default":
            tool = self.tool()
        manifest = os.path.join(work, "layout.tsv")
        with open(manifest, "w") as f:
            f.write("version\t1.0.0\n")
            f.write(f"file\t{binary}\t{TWEAKS}/halvernic.dylib\t0755\n")
            f.write(f"file\t{filter_list or os.path.join(SRC, 'packaging/halvernic.plist')}"
                    f"\t{TWEAKS}/halvernic.plist\t0644\n")
            if tool:
                f.write(f"file\t{tool}\tusr/bin/halvernicctl\t0755\n")
            for role in scripts:
                f.write(f"script\t{os.path.join(SRC, 'packaging/maintainer-script')}\t{role}\n")
        env = dict(os.environ, SOURCE_DATE_EPOCH="1700000000")
        subprocess.run([os.path.join(SRC, "packaging/stage"), manifest, os.path.join(work, "root")],
                       check=True, env=env, capture_output=True)
        deb = os.path.join(work, "com.nu-falk.halvernic_1.0.0_iphoneos-arm64.deb")
        subprocess.run([os.path.join(SRC, "packaging/make-deb"), manifest, os.path.join(work, "root"), deb],
                       check=True, env=env)
        if control:  # the control file changed by control(text), the package packed again
            tree = os.path.join(work, "tree")
            subprocess.run(["dpkg-deb", "-R", deb, tree], check=True)
            path = os.path.join(tree, "DEBIAN/control")
            with open(path) as f:
                text = control(f.read())
            with open(path, "w") as f:
                f.write(text)
            subprocess.run(["dpkg-deb", "--root-owner-group", "-b", tree, deb], check=True, capture_output=True)
        return deb

    def check(self, deb, *args):
        r = subprocess.run([sys.executable, os.path.join(SRC, "scripts/check-ios"), "--sdk", SDK, *args, deb],
                           capture_output=True, text=True)
        return r.returncode, r.stdout + r.stderr

    def assertFails(self, deb, message, *args):
        rc, out = self.check(deb, *args)
        self.assertEqual(rc, 1, out)
        self.assertIn(message, out)

    # --------------------------------------------------------------------------- arm64

    def test_sound_arm64_package_passes_and_says_it_is_arm64_only(self):
        rc, out = self.check(self.package(self.dylib()))
        self.assertEqual(rc, 0, out)
        self.assertIn("arm64 only: will not load on A12 and later devices", out)
        self.assertFails(self.package(self.dylib()), "no arm64e slice", "--require-arm64e")

    def test_exports_must_be_exactly_the_list(self):
        self.assertFails(self.package(self.dylib(exports=EXPORTS + ["_halvernicExtra"])),
                         "extra ['_halvernicExtra']")
        self.assertFails(self.package(self.dylib(exports=EXPORTS[1:])), f"missing ['{EXPORTS[0]}']")

    def test_install_name_run_path_and_minimum_system(self):
        self.assertFails(self.package(self.dylib(install_name="/usr/lib/halvernic.dylib")),
                         "install name '/usr/lib/halvernic.dylib'")
        self.assertFails(self.package(self.dylib(rpath=None)), "lack /var/jb/usr/lib")
        self.assertFails(self.package(self.dylib(rpath="/work/build/lib")),
                         "run path '/work/build/lib' outside the jailbreak root")
        self.assertFails(self.package(self.dylib(minimum="14.0")), "minimum system 14.0, expected 15.0")

    def test_damaged_signature_is_found(self):
        binary = os.path.join(self.scratch, "damaged.dylib")
        shutil.copy(self.dylib(), binary)
        with open(binary, "r+b") as f:
            f.seek(0x4000 + 0x10)
            byte = f.read(1)
            f.seek(0x4000 + 0x10)
            f.write(bytes([byte[0] ^ 0xFF]))
        self.assertFails(self.package(binary), "does not match its hash")

    def test_linux_runtime_import_and_symbols_missing_from_the_stubs(self):
        binary = self.dylib(extra='extern "C" void* objc_msg_lookup(void*, void*);\n'
                                  'EXPORT void* halvernicLookup(void) { return objc_msg_lookup(0, 0); }',
                            exports=EXPORTS + ["_halvernicLookup"],
                            flags=["-Wl,-undefined,dynamic_lookup"])
        rc, out = self.check(self.package(binary))
        self.assertEqual(rc, 1, out)
        self.assertIn("imports Linux runtime names ['_objc_msg_lookup']", out)
        self.assertIn("imports symbols the SDK's stubs lack: ['_objc_msg_lookup']", out)

    def test_filter_list_and_foreign_binaries(self):
        wrong = os.path.join(self.scratch, "wrong.plist")
        with open(wrong, "w") as f:
            f.write(open(os.path.join(SRC, "packaging/halvernic.plist")).read()
                    .replace("thermalmonitord", "SpringBoard"))
        self.assertFails(self.package(self.dylib(), wrong), "not Filter/Executables = (thermalmonitord)")
        broken = os.path.join(self.scratch, "broken.plist")
        with open(broken, "w") as f:
            f.write("<plist><dict><key>Filter</key>")
        self.assertFails(self.package(self.dylib(), broken), "not a property list libplist can read")
        elf = os.path.join(self.scratch, "elf.so")
        shutil.copy(sys.executable if os.path.isfile(sys.executable) else "/bin/sh", elf)
        self.assertFails(self.package(elf), "not a Mach-O binary")

    def test_the_tool_the_scripts_and_the_icon(self):
        self.assertFails(self.package(self.dylib(), tool=None), "no usr/bin/halvernicctl")
        self.assertFails(self.package(self.dylib(), tool=self.tool(exports_symbol=True)),
                         "_halvernicTool")
        self.assertFails(self.package(self.dylib(), tool=self.tool(exports_symbol=True)),
                         "halvernicctl [arm64]: unexpected exports: extra [")
        self.assertFails(self.package(self.dylib(), tool=self.dylib()), "halvernicctl [arm64]: install name")
        self.assertFails(self.package(self.dylib(), scripts=("postinst", "postrm")), "no executable prerm")
        self.assertFails(self.package(self.dylib(), control=lambda text: text.replace(
            "Author:", "Icon: file:///var/jb/Library/PreferenceBundles/HalvernicPrefs.bundle/icon.png\nAuthor:")),
            "names a file the package does not install")
        self.assertFails(self.package(self.dylib(), control=lambda text: text.replace(
            "Author:", "Icon: https://example.com/icon.png\nAuthor:")), "is no file:// URL below /var/jb")

    # --------------------------------------------------------------------------- arm64e

    def needs_arm64e(self):
        if not self.ld64:
            self.skipTest("no clang 22 or no Apple ld64")

    def test_sound_universal_package_passes_with_its_implementations_checked(self):
        self.needs_arm64e()
        binary = self.fat(self.dylib(), self.dylib(arch="arm64e"))
        tool = self.fat(self.tool(), self.tool(arch="arm64e"))
        rc, out = self.check(self.package(binary, tool=tool), "--require-arm64e")
        self.assertEqual(rc, 0, out)
        self.assertIn("1 method implementations referenced, all checked", out)

    def test_implementation_signed_with_another_discriminator_fails(self):
        self.needs_arm64e()
        binary = self.fat(self.dylib(), self.dylib(arch="arm64e", qualifier="__ptrauth(0, 0, 1234)"))
        self.assertFails(self.package(binary), "is referenced key IA diversity 0x4d2", "--require-arm64e")

    def test_arm64e_minimum_system_is_checked_per_slice(self):
        self.needs_arm64e()
        binary = self.fat(self.dylib(), self.dylib(arch="arm64e", minimum="14.0"))
        self.assertFails(self.package(binary), "halvernic.dylib [arm64e]: minimum system 14.0")


if __name__ == "__main__":
    SDK = find_sdk()
    if not SDK:
        print("no iPhoneOS SDK (HALVERNIC_IOS_SDK or ../shared/sdk): skipped")
        sys.exit(77)
    if not shutil.which("plistutil") or not LIPO:
        print("plistutil or llvm-lipo missing (scripts/bootstrap ios): skipped")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1] + sys.argv[2:], verbosity=2)
