#!/usr/bin/env bash
# The Kubernetes base played on a real single-node cluster: Kubernetes built
# from Debian's source package (build_kubernetes.sh; the binaries are kept in
# CACHE, so only the first run takes the half hour of the build), started in
# namespaces of its own (single_node.sh), with the image of a release-container
# build loaded. The base goes on unchanged but for the API versions an older
# cluster lacks (deploy/kubernetes-compat/make-overlay) and the image's name;
# real_cluster_test.py then plays it. Everything started is stopped and
# removed, on every way out.
#
# Usage: tests/deploy/kubernetes/real_cluster.sh BUILD_DIR [CACHE] [-- COMMAND...]
#   BUILD_DIR  a build of the release-container preset, holding the OCI archive
#   CACHE      the folder of the built binaries: KESTIV_KUBERNETES_CACHE, or
#              build/kubernetes of this checkout
#   COMMAND    run on the cluster instead of the test (bash, say, to look
#              around: kubectl and ctr are set up; see single_node.sh)
# As root (it mounts, makes namespaces and cgroups), on a machine with cgroup v1.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
source=$(realpath "$here/../../..")
usage="usage: $0 BUILD_DIR [CACHE] [-- COMMAND...]"
[ "$#" -ge 1 ] || { echo "$usage" >&2; exit 2; }
build=$(realpath "$1")
shift
cache=${KESTIV_KUBERNETES_CACHE:-$source/build/kubernetes}
if [ "$#" -gt 0 ] && [ "$1" != -- ]; then
    cache=$1
    shift
fi
if [ "$#" -gt 0 ]; then
    if [ "$1" != -- ] || [ "$#" -lt 2 ]; then echo "$usage" >&2; exit 2; fi
    shift
else
    set -- python3 "$here/real_cluster_test.py" "$build"
fi
[ "$(id -u)" -eq 0 ] || { echo "real_cluster.sh runs as root" >&2; exit 2; }
# The kubelet of Kubernetes 1.20 is given cgroup v1 hierarchies to put its pods in.
if [ ! -d /sys/fs/cgroup/memory ] || [ ! -d /sys/fs/cgroup/cpu ]; then
    echo "real_cluster.sh needs the cgroup v1 hierarchies under /sys/fs/cgroup" >&2
    exit 2
fi
shopt -s nullglob
archives=("$build"/*-container.tar)
[ "${#archives[@]}" -eq 1 ] || {
    echo "no single container archive in $build: build it with cmake --workflow --preset release-container" >&2
    exit 2
}

started=$SECONDS
bin=$(bash "$here/build_kubernetes.sh" "$cache")
echo "figure  Kubernetes binaries ready in $((SECONDS - started)) s: $bin"

work=$(mktemp -d)
chmod 0700 "$work"
cgroup_root=kestiv-cluster-${work##*.}
# The kubelet is given the cgroup v1 hierarchies; runc also makes the pods'
# cgroups in the cgroup v2 one mounted beside them, where there is one.
hierarchies=() every_hierarchy=()
for hierarchy in /sys/fs/cgroup/*/; do
    hierarchy=${hierarchy%/}
    [ -f "$hierarchy/cgroup.procs" ] || continue
    every_hierarchy+=("$hierarchy")
    [ -f "$hierarchy/cgroup.controllers" ] || hierarchies+=("$hierarchy")
done
# The cluster's cgroups, its pods' among them, emptied by the end of its
# namespaces; the kernel may take a moment to let go of an emptied one.
remove_cgroups() {
    local hierarchy deadline=$((SECONDS + 60))
    for hierarchy in "${every_hierarchy[@]}"; do
        [ -d "$hierarchy/$cgroup_root" ] || continue
        until find "$hierarchy/$cgroup_root" -depth -type d -exec rmdir {} + 2>/dev/null; do
            if [ "$SECONDS" -ge "$deadline" ]; then
                echo "real_cluster.sh: cgroups left under $hierarchy/$cgroup_root" >&2
                return 1
            fi
            sleep 0.2
        done
    done
}
clean_up() {
    local status=$?
    remove_cgroups || status=1
    rm -rf "$work"
    exit "$status"
}
trap clean_up EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
for hierarchy in "${hierarchies[@]}"; do
    mkdir "$hierarchy/$cgroup_root"
    case $hierarchy in
    */cpuset)
        cat "$hierarchy/cpuset.cpus" >"$hierarchy/$cgroup_root/cpuset.cpus"
        cat "$hierarchy/cpuset.mems" >"$hierarchy/$cgroup_root/cpuset.mems"
        ;;
    esac
done

# The first process of new pid, mount and network namespaces: all the
# cluster's processes end with it, its mounts with its mount namespace.
unshare --pid --fork --kill-child --mount-proc --net --mount --propagation private \
    bash "$here/single_node.sh" "$bin" "$work" "/$cgroup_root" --image "${archives[0]}" -- "$@" <&0 &
cluster=$!
# Stopped from outside, the cluster ends at once: unshare leaves the signal
# to the namespace's first process, which takes no signal but KILL from here.
stop_cluster() {
    local first=()
    read -ra first <"/proc/$cluster/task/$cluster/children" || true
    [ "${#first[@]}" -eq 0 ] || kill -KILL "${first[@]}" 2>/dev/null || true
    wait "$cluster" || true
    exit "$1"
}
trap 'stop_cluster 130' INT
trap 'stop_cluster 143' TERM
wait "$cluster"
