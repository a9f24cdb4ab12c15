#!/usr/bin/env bash
# Fetches the pinned three.js release from the npm registry into a build folder's
# viewer/ directory, where the replay page writer finds the files it embeds:
# three.module.min.js, OrbitControls.js and three.js's licence. The package is
# kept in DEST/npm/ and checked against its SHA-256, so a second run (or a run
# without network once the package is there) costs nothing.
set -euo pipefail
DEST=${1:?usage: fetch-three.sh BUILD_DIR}
VERSION=0.170.0
SHA256=4a608a355dcaba72e0e5383cdc814303f5b6060b43c238cdf6932dceb699238d
OUT=$DEST/viewer
PKG=$DEST/npm/three-$VERSION.tgz

have() { [ -s "$OUT/three.module.min.js" ] && [ -s "$OUT/OrbitControls.js" ] && [ -s "$OUT/LICENSE-three.txt" ] \
  && grep -qx "$VERSION" "$OUT/three-version.txt" 2>/dev/null; }
# the build rule's output is three-version.txt: touched when up to date
have && { touch "$OUT/three-version.txt"; exit 0; }

mkdir -p "$DEST/npm" "$OUT"
if [ ! -s "$PKG" ] || ! echo "$SHA256  $PKG" | sha256sum -c --quiet - 2>/dev/null; then
  command -v npm >/dev/null || { echo "fetch-three: npm is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
  echo "fetch-three: three@$VERSION from the npm registry"
  tmp=$(mktemp -d "$DEST/npm/pack.XXXXXX")
  trap 'rm -rf "$tmp"' EXIT
  (cd "$tmp" && npm pack --silent "three@$VERSION" >/dev/null)
  echo "$SHA256  $tmp/three-$VERSION.tgz" | sha256sum -c --quiet - \
    || { echo "fetch-three: three-$VERSION.tgz does not have the pinned SHA-256" >&2; exit 1; }
  mv "$tmp/three-$VERSION.tgz" "$PKG"
fi
x=$(mktemp -d "$DEST/npm/x.XXXXXX")
tar xzf "$PKG" -C "$x" package/build/three.module.min.js package/examples/jsm/controls/OrbitControls.js package/LICENSE
mv "$x/package/build/three.module.min.js" "$OUT/three.module.min.js"
mv "$x/package/examples/jsm/controls/OrbitControls.js" "$OUT/OrbitControls.js"
mv "$x/package/LICENSE" "$OUT/LICENSE-three.txt"
rm -rf "$x"
echo "$VERSION" >"$OUT/three-version.txt"
