#!/usr/bin/env bash
# Builds the Debian package of this build folder, installs it into a scratch root (with dpkg
# --root as root, unpacked with dpkg -x otherwise), checks every path it installs, validates
# the installed desktop files as a tree and starts the installed binary.
# Usage: PackageTest.sh <build folder> <version>
set -euo pipefail
build=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# zstd keeps the test quick; the package itself uses the default compression.
if ! (cd "$build" && cpack -G DEB -B "$scratch/out" -D CPACK_DEBIAN_COMPRESSION_TYPE=zstd) \
  >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  fail "cpack could not build the package"
fi
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, got: ${debs[*]}"
deb=${debs[0]}

[ "$(dpkg-deb --field "$deb" Package)" = lorvanel ] || fail "package name"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb --field "$deb" Depends)
for library in libgpod4 libqt6widgets6 libsqlite3-0 libqt6svg6; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

root="$scratch/root"
mkdir -p "$root"
if [ "$(id -u)" -eq 0 ]; then
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
  # The scratch root holds no other package, so the dependencies cannot be met there, nor a
  # shell to run the maintainer scripts in: they run outside it, with DPKG_ROOT set.
  dpkg --root="$root" --force-depends --force-script-chrootless --install "$deb" \
    >"$scratch/dpkg.log" 2>&1 ||
    { cat "$scratch/dpkg.log"; fail "dpkg could not install the package"; }
  installed=$(dpkg --root="$root" --listfiles lorvanel)
else
  echo "not root: unpacking with dpkg -x instead of installing"
  dpkg -x "$deb" "$root"
  installed=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' |
    grep -v '^\.\?$')
fi

while IFS= read -r path; do
  [ -z "$path" ] && continue
  [ -e "$root$path" ] || fail "listed but not installed: $path"
done <<<"$installed"

for path in /usr/bin/lorvanel /usr/libexec/lorvanel/lorvanel-open-helper \
  /usr/share/applications/io.lorvanel.Lorvanel.desktop \
  /usr/share/metainfo/io.lorvanel.Lorvanel.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/io.lorvanel.Lorvanel.svg \
  /usr/lib/udev/rules.d/70-lorvanel.rules; do
  grep -qxF "$path" <<<"$installed" || fail "not in the package: $path"
  [ -f "$root$path" ] || fail "not installed: $path"
done
# The one command for users, with its manual page; the open helper is none of them.
executables=$(while IFS= read -r path; do
  if [ -f "$root$path" ] && [ -x "$root$path" ]; then echo "$path"; fi
done <<<"$installed" | sort)
[ "$executables" = $'/usr/bin/lorvanel\n/usr/libexec/lorvanel/lorvanel-open-helper' ] ||
  fail "executables: $executables"
manuals=$(grep '^/usr/share/man/.*\.gz$' <<<"$installed" || true)
[ "$manuals" = /usr/share/man/man1/lorvanel.1.gz ] || fail "manual pages: $manuals"

appstreamcli validate-tree --no-net --strict "$root" || fail "the installed tree does not validate"

# The sanitizer build reports leaks at exit; starting is what is tested here.
answer=$(ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen "$root/usr/bin/lorvanel" --version)
[ "$answer" = "Lorvanel $version" ] || fail "--version answered: $answer"
if [ "$(id -u)" -eq 0 ]; then
  dpkg --root="$root" --force-depends --force-script-chrootless --purge lorvanel \
    >"$scratch/dpkg.log" 2>&1 ||
    { cat "$scratch/dpkg.log"; fail "dpkg could not remove the package"; }
  left=$(find "$root" -path "$root/var" -prune -o -type f -print | head -n 5)
  [ -z "$left" ] || fail "left after removal: $left"
fi
echo "package ${deb##*/}: $(wc -l <<<"$installed") paths installed and checked"
