#!/usr/bin/env bash
# Builds the server side of a Kubernetes cluster (kube-apiserver,
# kube-controller-manager, kube-scheduler, kubelet, kube-proxy) from Debian's
# source package `kubernetes` with Debian's Go, once: the binaries are kept in
# CACHE/<source version>/bin and a later run only prints that folder. The build
# takes about half an hour of two cores; the sources need a deb-src line
# (.ci/install kubernetes writes one).
#
# Usage: tests/deploy/kubernetes/build_kubernetes.sh CACHE
# Prints the folder that holds the binaries.
set -euo pipefail
[ "$#" -eq 1 ] || { echo "usage: $0 CACHE" >&2; exit 2; }
cache=$(realpath -m "$1")
programs="kube-apiserver kube-controller-manager kube-scheduler kubelet kube-proxy"

version=$(apt-cache showsrc kubernetes | sed -n 's/^Version: //p' | sort -V | tail -n 1)
[ -n "$version" ] || {
    echo "apt knows no source package kubernetes: run .ci/install kubernetes (it adds a deb-src line)" >&2
    exit 1
}
bin="$cache/$version/bin"
complete() { for program in $programs; do [ -x "$bin/$program" ] || return 1; done; }
if complete; then
    echo "$bin"
    exit 0
fi

mkdir -p "$cache"
work=$(mktemp -d "$cache/build.XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
(
    cd "$work"
    apt-get source --download-only "kubernetes=$version" >&2
    dpkg-source -x ./*.dsc src >&2
    cd src
    # The build keeps Go's caches in its own output folder and takes its
    # version from the released archive; no repository around CACHE may pass
    # for the sources' own, and GOFLAGS would be read as build tags.
    export GIT_CEILING_DIRECTORIES="$work"
    unset GOFLAGS
    targets=""
    for program in $programs; do targets="$targets cmd/$program"; done
    make WHAT="${targets# }" >&2
    mkdir -p "$bin.new"
    for program in $programs; do cp "_output/bin/$program" "$bin.new/"; done
)
rm -rf "$bin"
mv "$bin.new" "$bin"
echo "$bin"
