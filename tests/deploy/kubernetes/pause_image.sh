#!/usr/bin/env bash
# Writes the OCI archive of a pod's sandbox ("pause") image made from Debian's
# static catatonit in its pause mode, named NAME: a cluster with no registry
# at hand needs its own, and this one is built from scratch like the game's.
#
# Usage: tests/deploy/kubernetes/pause_image.sh ARCHIVE NAME
set -euo pipefail
[ "$#" -eq 2 ] || { echo "usage: $0 ARCHIVE NAME" >&2; exit 2; }
archive=$(realpath -m "$1")
name=$2
catatonit=/usr/bin/catatonit
file -L "$catatonit" | grep -q 'statically linked' || {
    echo "$catatonit is not statically linked: it cannot run alone in an image" >&2
    exit 1
}

layout=$(mktemp -d)
trap 'rm -rf "$layout"' EXIT
mkdir -p "$layout/root" "$layout/blobs/sha256"
cp "$catatonit" "$layout/root/pause"
# blob FILE: stores FILE under its digest and prints "DIGEST SIZE".
blob() {
    local digest
    digest=$(sha256sum "$1" | cut -d ' ' -f 1)
    mv "$1" "$layout/blobs/sha256/$digest"
    echo "$digest $(stat -c %s "$layout/blobs/sha256/$digest")"
}
tar --create --format=gnu --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 \
    --directory "$layout/root" --file "$layout/layer.tar" pause
read -r layer layer_size < <(blob "$layout/layer.tar")
cat >"$layout/config.json" <<JSON
{"architecture":"amd64","os":"linux","config":{"Entrypoint":["/pause","-P"]},"rootfs":{"type":"layers","diff_ids":["sha256:$layer"]}}
JSON
read -r config config_size < <(blob "$layout/config.json")
cat >"$layout/manifest.json" <<JSON
{"schemaVersion":2,"mediaType":"application/vnd.oci.image.manifest.v1+json","config":{"mediaType":"application/vnd.oci.image.config.v1+json","digest":"sha256:$config","size":$config_size},"layers":[{"mediaType":"application/vnd.oci.image.layer.v1.tar","digest":"sha256:$layer","size":$layer_size}]}
JSON
read -r manifest manifest_size < <(blob "$layout/manifest.json")
cat >"$layout/index.json" <<JSON
{"schemaVersion":2,"manifests":[{"mediaType":"application/vnd.oci.image.manifest.v1+json","digest":"sha256:$manifest","size":$manifest_size,"annotations":{"io.containerd.image.name":"$name","org.opencontainers.image.ref.name":"${name##*:}"}}]}
JSON
echo '{"imageLayoutVersion":"1.0.0"}' >"$layout/oci-layout"
rm -rf "$layout/root"
tar --create --format=gnu --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 \
    --directory "$layout" --file "$archive" oci-layout index.json blobs
