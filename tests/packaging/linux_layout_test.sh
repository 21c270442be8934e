#!/usr/bin/env bash
# The layout this Linux build stages for the simulated device (scripts/package --linux):
# the extension's .so and the same filter list as the iOS package, the shell tool, each
# bundle of the build with its binary and Info.plist (its version the project's), at the
# package's paths, and the bridge (usr/lib/halvernic/libhv_objc.so), which every staged
# product loads from the layout itself (its run path, no LD_LIBRARY_PATH) and none carries
# a copy of.
source "$(dirname "$0")/lib.sh"
build="$2"
tweaks=Library/MobileSubstrate/DynamicLibraries
manifest="$build/packaging/layout.tsv"
[ -f "$manifest" ] || { echo "FAIL: no $manifest" >&2; exit 1; }

"$src/packaging/stage" "$manifest" "$scratch/root" 2> "$scratch/err"
expect_eq "stage status" 0 $?
jb="$scratch/root/var/jb"
cmp -s "$build/extension/halvernic.so" "$jb/$tweaks/halvernic.so" ||
  fail "$tweaks/halvernic.so is not the build's extension"
cmp -s "$src/packaging/halvernic.plist" "$jb/$tweaks/halvernic.plist" ||
  fail "$tweaks/halvernic.plist is not the package's filter list"
if ! grep -q $'^missing\thalvernicctl\t' "$manifest"; then
  cmp -s "$build/sim/ctl/halvernicctl" "$jb/usr/bin/halvernicctl" ||
    fail "usr/bin/halvernicctl is not the build's tool"
  [ -x "$jb/usr/bin/halvernicctl" ] || fail "usr/bin/halvernicctl is not executable"
fi
version="$(awk -F'\t' '$1 == "version" { print $2 }' "$manifest")"
declare -A where=([HalvernicPrefs]=Library/PreferenceBundles [HalvernicCC]=Library/ControlCenter/Bundles)
for name in HalvernicPrefs HalvernicCC; do
  if grep -q $'^missing\t'"$name"$'\t' "$manifest"; then
    grep -q "left out ($name" "$scratch/err" || fail "the missing $name is not reported"
    [ ! -e "$jb/${where[$name]}/$name.bundle" ] || fail "$name.bundle staged though missing"
    continue
  fi
  bundle="$jb/${where[$name]}/$name.bundle"
  [ -x "$bundle/$name" ] || fail "$name.bundle has no executable $name"
  [ -f "$bundle/Info.plist" ] || fail "$name.bundle has no Info.plist"
  grep -A1 CFBundleShortVersionString "$bundle/Info.plist" | grep -q "<string>$version</string>" ||
    fail "$name.bundle's CFBundleShortVersionString is not the project's version $version"
done
cmp -s "$build/common/objc/libhv_objc.so" "$jb/usr/lib/halvernic/libhv_objc.so" ||
  fail "usr/lib/halvernic/libhv_objc.so is not the build's bridge"
products=("$jb/$tweaks/halvernic.so")
for name in HalvernicPrefs HalvernicCC; do
  if [ -e "$jb/${where[$name]}/$name.bundle/$name" ]; then
    products+=("$jb/${where[$name]}/$name.bundle/$name")
  fi
done
[ -e "$jb/usr/bin/halvernicctl" ] && products+=("$jb/usr/bin/halvernicctl")
for product in "${products[@]}"; do
  what="${product#"$jb"/}"
  readelf -d "$product" | grep -q 'NEEDED.*\[libhv_objc\.so\]' ||
    fail "$what does not need libhv_objc.so"
  found="$(env -u LD_LIBRARY_PATH ldd "$product" | awk '$1 == "libhv_objc.so" { print $3 }')"
  expect_eq "the bridge $what loads" "$(realpath "$jb/usr/lib/halvernic/libhv_objc.so")" \
    "$(realpath -m "$found")"
  # A copy of its own would define the bridge's functions (weak references, ownership):
  # objc::WeakRef::store, objc::WeakRef::load, objc::retain, objc::release.
  own='_ZN4objc7WeakRef5storeEP11objc_object|_ZNK4objc7WeakRef4loadEv'
  own="$own|_ZN4objc6retainEP11objc_object|_ZN4objc7releaseEP11objc_object"
  if nm --defined-only "$product" | grep -qE " ($own)\$"; then
    fail "$what carries a copy of the bridge"
  fi
done
if grep -q $'^bundle\t.*HalvernicPrefs.bundle' "$manifest"; then
  [ -f "$jb/Library/PreferenceLoader/Preferences/HalvernicPrefs.plist" ] ||
    grep -q "PreferenceLoader entry" "$scratch/err" || fail "the pane's entry is neither staged nor reported"
fi
finish
