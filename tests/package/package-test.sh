#!/usr/bin/env bash
# package-test.sh BUILD_DIR VERSION APP_ID [DEB]
#
# Builds the Debian package from the build tree with CPack into a scratch
# folder of its own (or takes DEB, made already), checks it with lintian
# (no error; the warnings are shown), reads its control fields, unpacks it
# into a scratch root, validates the desktop entry and the AppStream
# metadata there, and runs the unpacked tools' --help from that root.
# Needs the programs of scripts/package's package list.
set -euo pipefail
build=$(cd "$1" && pwd) version=$2 id=$3 deb=${4:-}

for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli file; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/package installs it)"; exit 1; }
done

failures=0
check() {  # check WHAT COMMAND...: runs the command, counts a failure
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

scratch=$(mktemp -d "$build/package-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
arch=$(dpkg --print-architecture)
if [ -z "$deb" ]; then
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1; }
  deb=$scratch/out/karvotemp_${version}_${arch}.deb
fi
[ -f "$deb" ] || { echo "FAIL: no $(basename "$deb")"; ls "$(dirname "$deb")"; exit 1; }
echo "package: $deb ($(stat -c %s "$deb") bytes)"

field() { dpkg-deb --field "$deb" "$1"; }
check "Package karvotemp" test "$(field Package)" = karvotemp
check "Version $version" test "$(field Version)" = "$version"
check "Architecture $arch" test "$(field Architecture)" = "$arch"
check "Section science" test "$(field Section)" = science
check "a maintainer Name <address>" grep -qE '^[^<>]+ <[^@<>]+@[^@<>]+>$' <<<"$(field Maintainer)"
check "a description with a long text" test "$(field Description | wc -l)" -gt 2
depends=$(field Depends)
echo "Depends: $depends"
check "Depends from the shared libraries (libc6, libqt6widgets6)" \
  grep -qE '(^|, )libc6 \(>= [^)]+\).*libqt6widgets6|libqt6widgets6.*(^|, )libc6 \(' <<<"$depends"

# lintian: no error; the warnings are named.
lintian --fail-on error --display-level ">=warning" "$deb" >"$scratch/lintian.log" 2>&1 && lintian_ok=1 || lintian_ok=0
grep -v '^running with root privileges' "$scratch/lintian.log" | sed 's/^/lintian: /' || true
echo "lintian: $(grep -c '^E: ' "$scratch/lintian.log" || true) error(s), $(grep -c '^W: ' "$scratch/lintian.log" || true) warning(s)"
check "lintian reports no error" test "$lintian_ok" = 1

root=$scratch/root
dpkg-deb --extract "$deb" "$root"
share=$root/usr/share
for f in usr/bin/KarvoTemp usr/bin/karvo-probe usr/bin/karvo-sim usr/bin/karvo-reg \
  usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/icons/hicolor/256x256/apps/$id.png \
  usr/share/man/man1/KarvoTemp.1.gz usr/share/man/man1/karvo-probe.1.gz \
  usr/share/man/man1/karvo-sim.1.gz usr/share/man/man1/karvo-reg.1.gz \
  usr/share/doc/karvotemp/copyright usr/share/doc/karvotemp/changelog.gz; do
  check "$f in the package" test -f "$root/$f"
done
check "the PNG icon is 256 x 256" grep -q 'PNG image data, 256 x 256' <<<"$(file "$share/icons/hicolor/256x256/apps/$id.png")"
check "desktop-file-validate" desktop-file-validate "$share/applications/$id.desktop"
desktop=$(cat "$share/applications/$id.desktop")
check "the desktop entry starts the installed program" grep -qx "Exec=KarvoTemp" <<<"$desktop"
check "the desktop entry's icon is the installed icon" grep -qx "Icon=$id" <<<"$desktop"
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml"
check "the AppStream metadata's newest release is $version" \
  grep -q "<release version=\"$version\"" <<<"$(grep -m1 '<release ' "$share/metainfo/$id.metainfo.xml")"
check "the changelog's newest entry is $version" \
  grep -q "^karvotemp ($version)" <<<"$(zcat "$root/usr/share/doc/karvotemp/changelog.gz" | head -1)"

# The tools run from the unpacked root.
for tool in karvo-probe karvo-sim karvo-reg; do
  if "$root/usr/bin/$tool" --help >"$scratch/$tool.help" 2>&1 && grep -q "^usage: $tool " "$scratch/$tool.help"; then
    echo "ok: unpacked $tool --help"
  else
    echo "FAIL: unpacked $tool --help:"
    cat "$scratch/$tool.help"
    failures=$((failures + 1))
  fi
done

[ "$failures" = 0 ] && echo "package: all checks passed" || echo "package: $failures check(s) failed"
[ "$failures" = 0 ]
