#!/usr/bin/env bash
# Builds the Debian package of the hardened build folder, runs lintian on it (any error or
# warning fails; the informational tags are shown), checks the hardening of its binaries and
# runs its maintainer scripts against a stand-in udevadm, with and without a running udev.
# Usage: LintianTest.sh <hardened build folder> <version>
set -euo pipefail
build=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ -f "$build/CPackConfig.cmake" ] ||
  fail "no hardened build in $build: build the target lorvanel_hardened_build (part of all)"
if ! (cd "$build" && cpack -G DEB -B "$scratch/out") >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  fail "cpack could not build the package"
fi
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, got: ${debs[*]}"
deb=${debs[0]}

command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh)"
lintian --fail-on error,warning --display-info "$deb" >"$scratch/lintian.log" 2>&1 ||
  { cat "$scratch/lintian.log"; fail "lintian reports errors or warnings"; }
cat "$scratch/lintian.log"

# The changelog speaks of the version the package carries.
dpkg-deb -x "$deb" "$scratch/root"
head -n 1 < <(gzip -dc "$scratch/root/usr/share/doc/lorvanel/changelog.gz") |
  grep -qF "lorvanel ($version) " || fail "the changelog's latest entry is not $version"

# lintian rates missing hardening as information only, so it is read from the binaries:
# hardening <file> prints what the file lacks.
hardening() {
  local headers lacks=()
  headers=$(readelf -W -h -l -d --dyn-syms "$1") || return 1
  grep -q 'Type: *DYN' <<<"$headers" && grep -q 'FLAGS_1.* PIE' <<<"$headers" || lacks+=(PIE)
  grep -q GNU_RELRO <<<"$headers" || lacks+=(RELRO)
  grep -q 'FLAGS.* BIND_NOW' <<<"$headers" || lacks+=(BIND_NOW)
  grep -q ' UND __stack_chk_fail' <<<"$headers" || lacks+=(stack-protector)
  echo "${lacks[*]}"
}
# The check itself: a probe built hardened passes, and one without each feature fails.
printf '%s\n' '#include <stdio.h>' 'int main(int argc, char** argv) {' '  char name[16];' \
  '  snprintf(name, sizeof name, "%s", argv[argc - 1]);' '  return puts(name) < 0;' '}' \
  >"$scratch/probe.c"
hardened=(-O2 -fPIE -pie -fstack-protector-strong -Wl,-z,relro -Wl,-z,now)
while IFS='|' read -r lacking flags; do
  # shellcheck disable=SC2086
  cc "${hardened[@]}" $flags -o "$scratch/probe" "$scratch/probe.c" ||
    fail "cannot build the probe with '$flags'"
  [ "$(hardening "$scratch/probe")" = "$lacking" ] ||
    fail "the probe built with '$flags' lacks '$(hardening "$scratch/probe")', not '$lacking'"
done <<'PROBES'
|
PIE|-fno-PIE -no-pie
RELRO|-Wl,-z,norelro
BIND_NOW|-Wl,-z,lazy
stack-protector|-fno-stack-protector
PROBES
binaries=0
while IFS= read -r -d '' binary; do
  lacking=$(hardening "$binary") || fail "cannot read ${binary#"$scratch/root"}"
  [ -z "$lacking" ] || fail "${binary#"$scratch/root"} is built without: $lacking"
  binaries=$((binaries + 1))
done < <(find "$scratch/root" -type f -perm -u+x -print0)
[ "$binaries" -eq 2 ] || fail "expected the application and its open helper, found $binaries"
# Fortification leaves no mark on a binary whose calls it cannot check (these two have none),
# so the build's own commands are read: every compilation of the packaged programs fortifies,
# and optimises (without which fortification does nothing).
compiles=$(ninja -C "$build" -t commands lorvanel lorvanel-open-helper | grep -E ' -c ')
for flag in '-D_FORTIFY_SOURCE=[23]' '-O[1-3s]'; do
  lacking=$(grep -cvE -- " $flag( |$)" <<<"$compiles" || true)
  [ "$lacking" -eq 0 ] || fail "$lacking compilations of the packaged programs lack $flag"
done

# The maintainer scripts reload udev only where it runs; /run/udev is staged in a private
# mount namespace.
dpkg-deb -e "$deb" "$scratch/control"
mkdir "$scratch/bin"
printf '#!/bin/sh\necho "$*" >>"$UDEVADM_LOG"\n' >"$scratch/bin/udevadm"
chmod +x "$scratch/bin/udevadm"
namespace=(unshare --mount)
[ "$(id -u)" -eq 0 ] || namespace=(unshare --user --map-root-user --mount)
if ! "${namespace[@]}" true 2>/dev/null; then
  echo "SKIP: no private mount namespace here for the maintainer scripts (${namespace[*]})"
  exit 77
fi
# run <script> <argument> <udev running: yes|no> <DPKG_ROOT>: prints the udevadm calls
run() {
  local log="$scratch/udevadm.log"
  : >"$log"
  "${namespace[@]}" env UDEVADM_LOG="$log" DPKG_ROOT="$4" PATH="$scratch/bin:$PATH" sh -c '
    mount -t tmpfs none /run && if [ "$1" = yes ]; then mkdir /run/udev; fi &&
      sh "$2" "$3"' sh "$3" "$scratch/control/$1" "$2" || fail "$1 $2 failed"
  cat "$log"
}
expected='control --reload
trigger --subsystem-match=usb --attr-match=idVendor=05ac
trigger --subsystem-match=block --property-match=ID_VENDOR_ID=05ac'
[ "$(run postinst configure yes '')" = "$expected" ] || fail "postinst configure did not reload udev"
[ "$(run postrm remove yes '')" = "$expected" ] || fail "postrm remove did not reload udev"
for calls in "$(run postinst configure no '')" "$(run postrm remove no '')" \
  "$(run postinst configure yes /srv/root)" "$(run postrm purge yes '')"; do
  [ -z "$calls" ] || fail "udevadm ran where it must not: $calls"
done
echo "package ${deb##*/}: lintian clean, maintainer scripts checked"
