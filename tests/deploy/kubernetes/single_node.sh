#!/usr/bin/env bash
# A single-node Kubernetes cluster, started inside namespaces of its own, runs
# COMMAND against it and is stopped. It must run as root as the first process
# of new pid, mount and network namespaces (real_cluster.sh starts it so):
# everything it starts dies with it, its iptables rules, routes and ports are
# its network's own, and its mounts are its own.
#
#   node       10.200.0.1 on a veth link, Services in 10.96.0.0/24, pods in
#              10.88.0.0/16 on a bridge; NodePorts on 127.0.0.1 too
#   players    a second network namespace (KESTIV_CLIENT_NETNS, a file to
#              setns to) at the link's other end, 10.200.0.2, that may bind
#              any address of 10.200.1.0/24: players from outside the node
#   daemons    etcd, kube-apiserver, kube-controller-manager, kube-scheduler,
#              containerd (with runc, its negative oom scores raised to 0),
#              kubelet with cgroups under CGROUP_ROOT, kube-proxy in iptables
#              mode; their files and logs in WORK
#   images     a pause image made from catatonit, and every OCI archive given
#
# COMMAND runs with KUBECONFIG (an administrator's), CONTAINERD_ADDRESS and
# CONTAINERD_NAMESPACE (for ctr), KESTIV_NODE_IP, KESTIV_CLIENT_NETNS and
# KESTIV_CLIENT_SUBNET in its environment; each image's name as imported is
# printed before it starts.
#
# Usage: single_node.sh BIN WORK CGROUP_ROOT [--image ARCHIVE]... -- COMMAND...
set -euo pipefail
here=$(dirname "$(realpath "$0")")
usage="usage: single_node.sh BIN WORK CGROUP_ROOT [--image ARCHIVE]... -- COMMAND..."
[ "$#" -ge 5 ] || { echo "$usage" >&2; exit 2; }
bin=$1 work=$2 cgroup_root=$3
shift 3
archives=()
while [ "$#" -gt 0 ] && [ "$1" != -- ]; do
    if [ "$1" != --image ] || [ "$#" -lt 2 ]; then echo "$usage" >&2; exit 2; fi
    archives+=("$2")
    shift 2
done
if [ "$#" -lt 2 ]; then echo "$usage" >&2; exit 2; fi
shift
[ "$$" -eq 1 ] || { echo "single_node.sh must be the first process of a pid namespace of its own" >&2; exit 2; }

node_ip=10.200.0.1
client_ip=10.200.0.2
client_subnet=10.200.1.0/24
service_range=10.96.0.0/24
pod_range=10.88.0.0/16
node=kestiv-node
logs=$work/logs
mkdir -p "$logs"

daemons=()
# start NAME COMMAND...: runs a daemon in the background, its output in logs/NAME.log.
start() {
    local name=$1
    shift
    "$@" >"$logs/$name.log" 2>&1 &
    daemons+=("$!:$name")
}
stop_all() {
    local index pid
    for ((index = ${#daemons[@]} - 1; index >= 0; index--)); do
        pid=${daemons[index]%%:*}
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
# Whatever else is left, pods' processes and containerd's shims, ends with this
# namespace's first process.
trap stop_all EXIT

# fail WHAT LOG: stops with the reason and the log's end.
fail() {
    echo "single_node.sh: $1" >&2
    [ -z "${2:-}" ] || tail -n 30 "$logs/$2.log" >&2
    exit 1
}
# await WHAT SECONDS LOG COMMAND...: polls COMMAND until it succeeds, at most SECONDS.
await() {
    local what=$1 seconds=$2 log=$3
    shift 3
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || fail "$what: not within $seconds s" "$log"
        sleep 0.2
    done
}

# Paths the daemons write to whatever their settings: /run and /var, each seen
# through a layer of this cluster's own (the machine's own files stay as they are).
mount -t tmpfs -o mode=0755 tmpfs /run
mkdir -p "$work/var/upper" "$work/var/work"
mount -t overlay overlay -o "lowerdir=/var,upperdir=$work/var/upper,workdir=$work/var/work" /var

echo "== network" >&2
ip link set lo up
touch "$work/client-netns"
unshare --net="$work/client-netns" true
nsenter --net="$work/client-netns" ip link add kestiv-players type veth peer name kestiv-node netns "$$"
nsenter --net="$work/client-netns" sh -e -c "
    ip link set lo up
    ip address add $client_ip/24 dev kestiv-players
    ip link set kestiv-players up
    ip route add local $client_subnet dev lo"
ip address add "$node_ip/24" dev kestiv-node
ip link set kestiv-node up
ip route add "$client_subnet" via "$client_ip"
ip route add default via "$client_ip"
echo 1 >/proc/sys/net/ipv4/ip_forward

echo "== certificates" >&2
pki=$work/pki
mkdir -p "$pki"
(
    cd "$pki"
    openssl ecparam -name prime256v1 -genkey -noout -out ca.key
    openssl req -x509 -new -key ca.key -subj /CN=kestiv-cluster-ca -days 2 -out ca.crt
    openssl ecparam -name prime256v1 -genkey -noout -out apiserver.key
    openssl req -new -key apiserver.key -subj /CN=kube-apiserver -out apiserver.csr
    printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\n' \
        "IP:$node_ip,IP:127.0.0.1,IP:${service_range%.0/*}.1,DNS:kubernetes,DNS:kubernetes.default,DNS:kubernetes.default.svc" \
        >apiserver.ext
    openssl x509 -req -in apiserver.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
        -extfile apiserver.ext -out apiserver.crt
    openssl ecparam -name prime256v1 -genkey -noout -out service-accounts.key
    openssl ec -in service-accounts.key -pubout -out service-accounts.pub
) 2>"$logs/pki.log" || fail "certificates" pki
# One token a user: the administrator, and each component as its own RBAC user.
tokens=$pki/tokens.csv
: >"$tokens"
chmod 0600 "$tokens"
# kubeconfig USER GROUP: a kubeconfig of its own for USER, printed as a path.
kubeconfig() {
    local token file=$work/$1.kubeconfig
    token=$(openssl rand -hex 16)
    echo "$token,$1,$1${2:+,$2}" >>"$tokens"
    kubectl config --kubeconfig="$file" set-cluster kestiv --server="https://$node_ip:6443" \
        --certificate-authority="$pki/ca.crt" --embed-certs >/dev/null
    kubectl config --kubeconfig="$file" set-credentials "$1" --token="$token" >/dev/null
    kubectl config --kubeconfig="$file" set-context kestiv --cluster=kestiv --user="$1" >/dev/null
    kubectl config --kubeconfig="$file" use-context kestiv >/dev/null
    echo "$file"
}
admin=$(kubeconfig admin system:masters)
controllers=$(kubeconfig system:kube-controller-manager)
scheduler=$(kubeconfig system:kube-scheduler)
kubelet=$(kubeconfig "system:node:$node" system:nodes)
proxy=$(kubeconfig system:kube-proxy)
export KUBECONFIG=$admin

echo "== etcd, kube-apiserver, kube-controller-manager, kube-scheduler" >&2
start etcd etcd --name "$node" --data-dir "$work/etcd" \
    --listen-client-urls http://127.0.0.1:2379 --advertise-client-urls http://127.0.0.1:2379 \
    --listen-peer-urls http://127.0.0.1:2380 --initial-advertise-peer-urls http://127.0.0.1:2380 \
    --initial-cluster "$node=http://127.0.0.1:2380"
start kube-apiserver "$bin/kube-apiserver" --etcd-servers=http://127.0.0.1:2379 \
    --advertise-address="$node_ip" --secure-port=6443 --insecure-port=0 --cert-dir="$work/apiserver" \
    --tls-cert-file="$pki/apiserver.crt" --tls-private-key-file="$pki/apiserver.key" \
    --client-ca-file="$pki/ca.crt" --token-auth-file="$tokens" \
    --authorization-mode=Node,RBAC --enable-admission-plugins=NodeRestriction \
    --service-cluster-ip-range="$service_range" \
    --service-account-key-file="$pki/service-accounts.pub" \
    --service-account-signing-key-file="$pki/service-accounts.key" \
    --service-account-issuer=https://kubernetes.default.svc \
    --kubelet-preferred-address-types=InternalIP
await "kube-apiserver ready" 120 kube-apiserver kubectl get --raw /readyz
start kube-controller-manager "$bin/kube-controller-manager" --kubeconfig="$controllers" \
    --authentication-kubeconfig="$controllers" --authorization-kubeconfig="$controllers" \
    --bind-address=127.0.0.1 --leader-elect=false --use-service-account-credentials \
    --service-account-private-key-file="$pki/service-accounts.key" --root-ca-file="$pki/ca.crt" \
    --cluster-cidr="$pod_range" --service-cluster-ip-range="$service_range"
start kube-scheduler "$bin/kube-scheduler" --kubeconfig="$scheduler" \
    --authentication-kubeconfig="$scheduler" --authorization-kubeconfig="$scheduler" \
    --bind-address=127.0.0.1 --leader-elect=false

echo "== containerd" >&2
mkdir -p "$work/cni"
cat >"$work/cni/10-pods.conflist" <<JSON
{"cniVersion": "0.4.0", "name": "pods", "plugins": [
  {"type": "bridge", "bridge": "kestiv-pods", "isDefaultGateway": true, "ipMasq": true,
   "ipam": {"type": "host-local", "ranges": [[{"subnet": "$pod_range"}]], "dataDir": "$work/cni/leases"}},
  {"type": "portmap", "capabilities": {"portMappings": true}}]}
JSON
cat >"$work/containerd.toml" <<TOML
version = 2
root = "$work/containerd/root"
state = "$work/containerd/state"
oom_score = 0
[grpc]
  address = "$work/containerd.sock"
[plugins."io.containerd.internal.v1.opt"]
  path = "$work/containerd/opt"
[plugins."io.containerd.grpc.v1.cri"]
  sandbox_image = "localhost/kestiv-pause:1"
  netns_mounts_under_state_dir = true
  [plugins."io.containerd.grpc.v1.cri".containerd]
    snapshotter = "overlayfs"
    default_runtime_name = "runc"
    [plugins."io.containerd.grpc.v1.cri".containerd.runtimes.runc]
      runtime_type = "io.containerd.runc.v2"
      [plugins."io.containerd.grpc.v1.cri".containerd.runtimes.runc.options]
        BinaryName = "$here/runc_without_negative_oom.sh"
        Root = "$work/runc"
        SystemdCgroup = false
  [plugins."io.containerd.grpc.v1.cri".cni]
    bin_dir = "/usr/lib/cni"
    conf_dir = "$work/cni"
TOML
start containerd containerd --config "$work/containerd.toml"
export CONTAINERD_ADDRESS=$work/containerd.sock CONTAINERD_NAMESPACE=k8s.io
await "containerd ready" 60 containerd ctr version
bash "$here/pause_image.sh" "$work/pause.tar" localhost/kestiv-pause:1
for archive in "$work/pause.tar" "${archives[@]}"; do
    ctr images import "$archive" | sed 's/^/imported /' >&2
done
ctr images list --quiet | grep -v '^sha256:' | sed 's/^/image /'

echo "== kubelet, kube-proxy" >&2
start kubelet "$bin/kubelet" --kubeconfig="$kubelet" --hostname-override="$node" --node-ip="$node_ip" \
    --container-runtime=remote --container-runtime-endpoint="unix://$work/containerd.sock" \
    --root-dir="$work/kubelet" --cert-dir="$work/kubelet/pki" \
    --volume-plugin-dir="$work/kubelet/volume-plugins" \
    --cgroup-driver=cgroupfs --cgroup-root="$cgroup_root" --cgroups-per-qos --enforce-node-allocatable=pods \
    --fail-swap-on=false --read-only-port=0 --oom-score-adj=0 \
    --eviction-hard='memory.available<100Mi,nodefs.available<1%,imagefs.available<1%' \
    --image-gc-high-threshold=100 --image-gc-low-threshold=99
start kube-proxy "$bin/kube-proxy" --kubeconfig="$proxy" --hostname-override="$node" \
    --proxy-mode=iptables --cluster-cidr="$pod_range" --bind-address="$node_ip" \
    --metrics-bind-address=127.0.0.1:10249 --healthz-bind-address=127.0.0.1:10256 \
    --conntrack-max-per-core=0 --conntrack-tcp-timeout-established=0s --conntrack-tcp-timeout-close-wait=0s \
    --oom-score-adj=0
await "the node ready" 180 kubelet kubectl wait --for=condition=Ready "node/$node" --timeout=2s
await "the default service account" 60 kube-controller-manager kubectl get serviceaccount default

version=$(kubectl get --raw /version | sed -n 's/.*"gitVersion": *"\([^"]*\)".*/\1/p')
echo "figure  a single-node Kubernetes $version ready in $SECONDS s" >&2
export KESTIV_NODE_IP=$node_ip KESTIV_CLIENT_NETNS=$work/client-netns KESTIV_CLIENT_SUBNET=$client_subnet
"$@"
