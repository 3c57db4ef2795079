#!/usr/bin/env bash
# Builds the Debian package dist/spurwerk_<version>_<arch>.deb with Debian's own tools from the
# files of this work tree (those git does not ignore), installing what the build needs when it is
# missing, checks what installing it would turn on (tests/data/test_package.sh) and shows what
# lintian says of the package. DEB_BUILD_OPTIONS=nocheck leaves the tests out of the build.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
apt_get() {
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -qq \
        -o APT::Install-Recommends=false "$@"
}
if ! command -v dpkg-checkbuilddeps >/dev/null || ! command -v lintian >/dev/null ||
    ! dpkg-checkbuilddeps 2>/dev/null; then
    echo "Installing what the package build needs"
    apt_get update
    apt_get install dpkg-dev lintian
    apt_get build-dep ./
fi

# The package's version is the program's; debian/changelog must have an entry for it.
version=$(sed -n 's/^project(Spurwerk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packaged=$(dpkg-parsechangelog -S Version)
if [ "$packaged" != "$version" ]; then
    echo "debian/changelog ends at $packaged, CMakeLists.txt says $version:" \
        "add an entry for $version at the top of debian/changelog" >&2
    exit 1
fi

# dpkg-buildpackage writes beside the source folder and builds inside it: use a copy.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # tests run as root act as "nobody" in parts, who must reach the build
source=$work/spurwerk-$version
mkdir "$source"
git ls-files -z --cached --others --exclude-standard |
    tar --null --files-from=- --ignore-failed-read -c | tar -x -C "$source"
(cd "$source" && dpkg-buildpackage --build=binary --no-sign --jobs=auto)

mkdir -p dist
package=dist/spurwerk_${version}_$(dpkg --print-architecture).deb
mv "$work"/*.deb dist/
echo "Built $package"
tests/data/test_package.sh "$package"
echo "lintian:"
lintian "$package" && echo "no error"
