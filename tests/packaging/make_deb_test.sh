#!/usr/bin/env bash
# packaging/make-deb: the control fields, dependencies and the icon by the products present,
# the manifest's maintainer scripts, root ownership, byte-identical output for the same
# input, and no package at all when packing fails.
source "$(dirname "$0")/lib.sh"
tweaks=Library/MobileSubstrate/DynamicLibraries

stage() {  # <name> <version> <with bundles: 0|1> — a staged tree from a small manifest
  local b="$scratch/$1" 
  mkdir -p "$b/bundles/HalvernicPrefs.bundle" "$b/bundles/HalvernicCC.bundle"
  printf 'dylib' > "$b/halvernic.dylib"
  printf 'pane' > "$b/bundles/HalvernicPrefs.bundle/HalvernicPrefs"
  printf 'png' > "$b/bundles/HalvernicPrefs.bundle/icon@2x.png"
  printf 'module' > "$b/bundles/HalvernicCC.bundle/HalvernicCC"
  {
    printf 'version\t%s\n' "$2"
    printf 'file\t%s\t%s\t0755\n' "$b/halvernic.dylib" "$tweaks/halvernic.dylib"
    printf 'file\t%s\t%s\t0644\n' "$src/packaging/halvernic.plist" "$tweaks/halvernic.plist"
    for role in postinst prerm postrm; do
      printf 'script\t%s\t%s\n' "$src/packaging/maintainer-script" "$role"
    done
    if [ "$3" = 1 ]; then
      printf 'bundle\t%s\t%s\t%s\t%s\n' "$b/bundles/HalvernicPrefs.bundle" \
        Library/PreferenceBundles/HalvernicPrefs.bundle HalvernicPrefs "$b/bundles/HalvernicPrefs.bundle/HalvernicPrefs"
      printf 'bundle\t%s\t%s\t%s\t%s\n' "$b/bundles/HalvernicCC.bundle" \
        Library/ControlCenter/Bundles/HalvernicCC.bundle HalvernicCC "$b/bundles/HalvernicCC.bundle/HalvernicCC"
    else
      printf 'missing\tHalvernicPrefs\tthe Settings pane\n'
    fi
  } > "$b/layout.tsv"
  "$src/packaging/stage" "$b/layout.tsv" "$b/root" 2> /dev/null || fail "staging $1 failed"
}
field() { dpkg-deb -f "$1" "$2"; }

export SOURCE_DATE_EPOCH=1700000000
stage only-extension 1.2.3 0
"$src/packaging/make-deb" "$scratch/only-extension/layout.tsv" "$scratch/only-extension/root" "$scratch/a.deb"
expect_eq "make-deb status" 0 $?
expect_eq Package com.nu-falk.halvernic "$(field "$scratch/a.deb" Package)"
expect_eq Name Halvernic "$(field "$scratch/a.deb" Name)"
expect_eq Version 1.2.3 "$(field "$scratch/a.deb" Version)"
expect_eq Architecture iphoneos-arm64 "$(field "$scratch/a.deb" Architecture)"
expect_eq "Depends without the front-ends" "mobilesubstrate (>= 0.9.5000), firmware (>= 15.0)" \
  "$(field "$scratch/a.deb" Depends)"
for f in Section Maintainer Description Installed-Size Priority Tag; do
  [ -n "$(field "$scratch/a.deb" "$f")" ] || fail "no $f field"
done
expect_eq "no Icon without the pane" "" "$(field "$scratch/a.deb" Icon)"
dpkg-deb -f "$scratch/a.deb" | grep -q '^$' && fail "an empty line in the control file"
expect_eq "owners" "root/root" "$(dpkg-deb --contents "$scratch/a.deb" | awk '{print $2}' | sort -u)"
expect_eq "paths" "./
./var/
./var/jb/
./var/jb/Library/
./var/jb/Library/MobileSubstrate/
./var/jb/Library/MobileSubstrate/DynamicLibraries/
./var/jb/Library/MobileSubstrate/DynamicLibraries/halvernic.dylib
./var/jb/Library/MobileSubstrate/DynamicLibraries/halvernic.plist" \
  "$(dpkg-deb --contents "$scratch/a.deb" | awk '{print $6}')"
dpkg-deb -e "$scratch/a.deb" "$scratch/control"
for s in postinst prerm postrm; do
  [ -x "$scratch/control/$s" ] || fail "no executable $s"
  cmp -s "$src/packaging/maintainer-script" "$scratch/control/$s" || fail "$s is not maintainer-script"
done
[ "$(dpkg-deb --fsys-tarfile "$scratch/a.deb" | TZ=UTC tar -tv --full-time | awk '{print $4 " " $5}' | sort -u)" \
  = "2023-11-14 22:13:20" ] || fail "not every time is SOURCE_DATE_EPOCH"

stage front-ends 1.2.3 1
"$src/packaging/make-deb" "$scratch/front-ends/layout.tsv" "$scratch/front-ends/root" "$scratch/b.deb"
expect_eq "Depends with both front-ends" \
  "mobilesubstrate (>= 0.9.5000), firmware (>= 15.0), preferenceloader, com.opa334.ccsupport (>= 1.3.10-2)" \
  "$(field "$scratch/b.deb" Depends)"
expect_eq "Icon: the pane's installed icon" \
  "file:///var/jb/Library/PreferenceBundles/HalvernicPrefs.bundle/icon@2x.png" "$(field "$scratch/b.deb" Icon)"

# The same input staged again, later and elsewhere, gives the same bytes.
sleep 1
stage again 1.2.3 1
touch "$scratch/again/root/var/jb/Library"
"$src/packaging/make-deb" "$scratch/again/layout.tsv" "$scratch/again/root" "$scratch/c.deb"
cmp -s "$scratch/b.deb" "$scratch/c.deb" || fail "two packs of the same layout differ"

# A manifest naming a script dpkg does not know, or one that is missing, packs nothing.
cp "$scratch/again/layout.tsv" "$scratch/odd.tsv"
printf 'script\t%s\tpreinst-typo\n' "$src/packaging/maintainer-script" >> "$scratch/odd.tsv"
"$src/packaging/make-deb" "$scratch/odd.tsv" "$scratch/again/root" "$scratch/out/f.deb" 2> /dev/null &&
  fail "packed an unknown maintainer script"
cp "$scratch/again/layout.tsv" "$scratch/odd.tsv"
printf 'script\t%s\tprerm\n' "$scratch/no-such-script" >> "$scratch/odd.tsv"
"$src/packaging/make-deb" "$scratch/odd.tsv" "$scratch/again/root" "$scratch/out/g.deb" 2> /dev/null &&
  fail "packed a missing maintainer script"

# Failures leave no package: no SOURCE_DATE_EPOCH; a version dpkg refuses.
SOURCE_DATE_EPOCH= "$src/packaging/make-deb" "$scratch/again/layout.tsv" "$scratch/again/root" \
  "$scratch/d.deb" 2> "$scratch/err" && fail "packed without SOURCE_DATE_EPOCH"
grep -q SOURCE_DATE_EPOCH "$scratch/err" || fail "the missing SOURCE_DATE_EPOCH is not named"
stage bad-version "1.2.3 beta" 0
"$src/packaging/make-deb" "$scratch/bad-version/layout.tsv" "$scratch/bad-version/root" \
  "$scratch/out/e.deb" 2> /dev/null && fail "packed a version with a space"
[ -z "$(ls -A "$scratch/out" 2>/dev/null)" ] || fail "a failed pack left $(ls "$scratch/out")"
[ ! -e "$scratch/d.deb" ] || fail "a failed pack left d.deb"
finish
