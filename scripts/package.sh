#!/usr/bin/env bash
# Builds the Debian package of Korvane in build-package/ and checks it: lintian must find no
# error, the package must hold exactly the files listed below, its desktop entry and AppStream
# metadata must validate, and its programs, run from the unpacked package, must start.
# Prints the path of the .deb. Uses ccache when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
KORVANE_WITH_PACKAGING=1 scripts/install-deps.sh

build_dir=build-package
app_id=io.github.korvane.Korvane

fail() {
    echo "package: $*" >&2
    exit 1
}

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Debian's hardening flags, all of them (bindnow included).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DKORVANE_WERROR=OFF -DKORVANE_BUILD_TESTS=OFF "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build_dir" -j"$(nproc)" >&2

version=$(sed -n 's/^#define KORVANE_VERSION "\(.*\)"$/\1/p' "$build_dir/generated/korvane_version.h")
deb="$build_dir/korvane_${version}_$(dpkg --print-architecture).deb"
rm -f "$build_dir"/korvane_*.deb
(cd "$build_dir" && cpack -G DEB >cpack.log 2>&1) || {
    cat "$build_dir/cpack.log" >&2
    fail "cpack failed"
}
[ -f "$deb" ] || fail "cpack did not write $deb"

echo "lintian $deb" >&2
lintian --fail-on error "$deb" >&2 || fail "lintian found errors"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

# Exactly these files: no tests, benches or static libraries.
expected="usr/bin/korvane
usr/bin/korvane-sim
usr/lib/udev/rules.d/60-korvane.rules
usr/share/applications/$app_id.desktop
usr/share/doc/korvane/changelog.gz
usr/share/doc/korvane/copyright
usr/share/korvane/Images/logo.png
usr/share/man/man1/korvane-sim.1.gz
usr/share/man/man1/korvane.1.gz
usr/share/metainfo/$app_id.metainfo.xml"
for size in 32 48 64 128 256; do
    expected+=$'\n'"usr/share/icons/hicolor/${size}x$size/apps/$app_id.png"
done
actual=$(cd "$root" && find . -type f -printf '%P\n' | LC_ALL=C sort)
if [ "$actual" != "$(LC_ALL=C sort <<<"$expected")" ]; then
    diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") >&2 || true
    fail "the package does not hold the expected files (< missing, > unexpected)"
fi

desktop-file-validate "$root/usr/share/applications/$app_id.desktop" ||
    fail "the desktop entry does not validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" >&2 ||
    fail "the AppStream metadata does not validate"

export QT_QPA_PLATFORM=offscreen
status=0
sim_help=$(timeout 10 "$root/usr/bin/korvane-sim" --help 2>&1) || status=$?
[ "$status" -eq 0 ] && grep -q -- --link <<<"$sim_help" ||
    fail "korvane-sim --help exited with $status and printed: $sim_help"
status=0
version_text=$(timeout 10 "$root/usr/bin/korvane" --version 2>&1) || status=$?
if [ "$status" -ne 0 ] || ! grep -qF "$version" <<<"$version_text"; then
    fail "korvane --version exited with $status and printed: $version_text"
fi

echo "package: $deb checked in $((SECONDS - started)) s" >&2
echo "$deb"
