#!/bin/sh
# Builds the Debian package from the finished build and fails on any lintian error or warning;
# skipped (77) where cpack's DEB generator needs tools that are missing or lintian is not
# installed.
#   package_test.sh BUILD_DIR
build=$1
if ! command -v lintian >/dev/null 2>&1 || ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "lintian or dpkg-deb not installed: package check skipped"
  exit 77
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >/dev/null || exit 1
lintian --fail-on error,warning "$out"/*.deb 2>&1 | grep -v 'running with root privileges'
lintian --fail-on error,warning "$out"/*.deb >/dev/null 2>&1 || exit 1
echo "package passes lintian: $(basename "$out"/*.deb)"
