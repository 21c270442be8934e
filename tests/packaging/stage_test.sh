#!/usr/bin/env bash
# packaging/stage: the layout below /var/jb, explicit modes whatever the build's, the bundle's
# binary taken from the universal file, times from SOURCE_DATE_EPOCH, and nothing left
# behind when a product is not built.
source "$(dirname "$0")/lib.sh"
tweaks=Library/MobileSubstrate/DynamicLibraries

# A build folder as the iOS build leaves it, with careless modes.
b="$scratch/build"
mkdir -p "$b/ext" "$b/universal" "$b/bundles/HalvernicCC.bundle/Resources/empty"
printf 'thin' > "$b/bundles/HalvernicCC.bundle/HalvernicCC"
printf 'fat' > "$b/universal/HalvernicCC"
printf '<plist/>' > "$b/bundles/HalvernicCC.bundle/Info.plist"
printf 'png' > "$b/bundles/HalvernicCC.bundle/Resources/icon.png"
printf 'dylib' > "$b/ext/halvernic.dylib"
chmod 0700 "$b/bundles/HalvernicCC.bundle/HalvernicCC" "$b/ext/halvernic.dylib" \
           "$b/bundles/HalvernicCC.bundle/Resources"
chmod 0600 "$b/bundles/HalvernicCC.bundle/Info.plist"
chmod 0777 "$b/bundles/HalvernicCC.bundle/Resources/icon.png"
manifest="$b/layout.tsv"
{
  printf 'version\t1.2.3\n'
  printf 'slices\tarm64 arm64e\n'
  printf 'file\t%s\t%s\t0755\n' "$b/ext/halvernic.dylib" "$tweaks/halvernic.dylib"
  printf 'file\t%s\t%s\t0644\n' "$src/packaging/halvernic.plist" "$tweaks/halvernic.plist"
  printf 'bundle\t%s\t%s\t%s\t%s\n' "$b/bundles/HalvernicCC.bundle" \
    "Library/ControlCenter/Bundles/HalvernicCC.bundle" HalvernicCC "$b/universal/HalvernicCC"
  printf 'missing\tHalvernicPrefs\tthe Settings pane\n'
  printf 'script\t%s\tprerm\n' "$src/packaging/maintainer-script"  # the .deb's, not staged
} > "$manifest"

root="$scratch/root"
(umask 077; SOURCE_DATE_EPOCH=1000000000 "$src/packaging/stage" "$manifest" "$root" 2> "$scratch/err")
expect_eq "stage status" 0 $?
grep -q "left out (HalvernicPrefs not in this build): the Settings pane" "$scratch/err" ||
  fail "the missing pane is not reported: $(cat "$scratch/err")"
expected="755 var
755 var/jb
755 var/jb/Library
755 var/jb/Library/ControlCenter
755 var/jb/Library/ControlCenter/Bundles
755 var/jb/Library/ControlCenter/Bundles/HalvernicCC.bundle
755 var/jb/Library/ControlCenter/Bundles/HalvernicCC.bundle/HalvernicCC
644 var/jb/Library/ControlCenter/Bundles/HalvernicCC.bundle/Info.plist
755 var/jb/Library/ControlCenter/Bundles/HalvernicCC.bundle/Resources
755 var/jb/Library/ControlCenter/Bundles/HalvernicCC.bundle/Resources/empty
644 var/jb/Library/ControlCenter/Bundles/HalvernicCC.bundle/Resources/icon.png
755 var/jb/Library/MobileSubstrate
755 var/jb/Library/MobileSubstrate/DynamicLibraries
755 var/jb/Library/MobileSubstrate/DynamicLibraries/halvernic.dylib
644 var/jb/Library/MobileSubstrate/DynamicLibraries/halvernic.plist"
expect_eq "layout and modes" "$expected" "$(cd "$root" && find var -printf '%m %p\n' | sort -k2)"
expect_eq "the bundle's binary is the universal one" fat \
  "$(cat "$root/var/jb/Library/ControlCenter/Bundles/HalvernicCC.bundle/HalvernicCC")"
cmp -s "$src/packaging/halvernic.plist" "$root/var/jb/$tweaks/halvernic.plist" ||
  fail "the filter list is not the packaging's file"
expect_eq "every time is SOURCE_DATE_EPOCH" 1000000000 \
  "$(find "$root/var" -printf '%T@\n' | sed 's/\..*//' | sort -u)"

# A product that exists but is not built: an error naming it, nothing staged.
rm "$b/universal/HalvernicCC"
"$src/packaging/stage" "$manifest" "$scratch/root2" 2> "$scratch/err"
[ $? -ne 0 ] || fail "staging without the universal binary succeeded"
grep -q "not built: $b/universal/HalvernicCC" "$scratch/err" ||
  fail "the unbuilt binary is not named: $(cat "$scratch/err")"
[ ! -e "$scratch/root2/var" ] || fail "a partial layout was left in $scratch/root2"

# Refusals: a root that is not empty, a manifest that does not exist, an unknown line.
"$src/packaging/stage" "$manifest" "$root" 2> /dev/null && fail "staged into a non-empty root"
"$src/packaging/stage" "$scratch/none.tsv" "$scratch/root3" 2> "$scratch/err" &&
  fail "staged without a manifest"
grep -q "no manifest" "$scratch/err" || fail "no manifest is not reported"
printf 'frobnicate\tx\n' > "$scratch/bad.tsv"
"$src/packaging/stage" "$scratch/bad.tsv" "$scratch/root4" 2> /dev/null && fail "an unknown line was accepted"
finish
