#!/usr/bin/env bash
# Renders deploy/kubernetes, its overlays and the example overlay with the
# browser bridge's component as docs/hosting.md adds it, with kubectl
# kustomize, and checks every object against the Kubernetes API schemas and the restricted
# Pod Security Standard (check_manifests.mjs, with the npm packages of this
# folder's lockfile); renders the example copied where a host keeps it,
# contests/ of the checkout; then shows that the checker turns down manifests
# that break a schema or a rule, one case each. Needs kubectl 1.27 or later.
#
# Usage: tests/deploy/kubernetes/check.sh
set -euo pipefail
here=$(dirname "$(realpath "$0")")
source "$here/../checks.sh"
cd "$here/../../.."

command -v kubectl >/dev/null || {
    echo "$0: needs kubectl, which no Debian 12 package has in a version that renders the base; docs/hosting.md says where it comes from" >&2
    exit 1
}
(cd "$here" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
work=$(mktemp -d)
# A copy of the example in contests/, removed with the folder if this made it.
mkdir -p contests
contest=$(mktemp -d contests/check.XXXXXX)
trap 'rm -rf "$work" "$contest"; rmdir contests 2>/dev/null || true' EXIT
cp deploy/kubernetes-example/* "$contest"

# The example with the bridge, as docs/hosting.md tells an author to add it.
mkdir "$work/bridge"
cat >"$work/bridge/kustomization.yaml" <<EOF
resources:
  - $(realpath --relative-to="$work/bridge" deploy/kubernetes-example)
components:
  - $(realpath --relative-to="$work/bridge" deploy/kubernetes-websocket)
patches:
  - patch: |-
      apiVersion: apps/v1
      kind: Deployment
      metadata:
        name: kestiv-terminal
      spec:
        template:
          spec:
            containers:
              - name: kestiv-terminal
                env:
                  - name: KESTIV_WEBSOCKET_ORIGIN
                    value: maze-one.example.org
EOF

for folder in deploy/kubernetes deploy/kubernetes-nodeport deploy/kubernetes-example "$work/bridge"; do
    kubectl kustomize "$folder" >"$work/rendered.yaml"
    check "$folder renders and every object passes the schemas and the restricted rules" \
        node "$here/check_manifests.mjs" "$work/rendered.yaml"
done
kubectl kustomize deploy/kubernetes >"$work/base.yaml"
check "the base holds a Deployment, a Service, a NetworkPolicy, a PodDisruptionBudget and an autoscaler" \
    test "$(grep '^kind:' "$work/base.yaml" | sort | tr '\n' ' ')" = \
    "kind: Deployment kind: HorizontalPodAutoscaler kind: NetworkPolicy kind: PodDisruptionBudget kind: Service "
check "the game's container has a read-only root" grep -q 'readOnlyRootFilesystem: true' "$work/base.yaml"
check "the Service keeps a client address on one pod for a game and a wait (3 hours)" \
    test "$(grep -A3 -E '^  sessionAffinity:' "$work/base.yaml" | tr '\n' ' ' | tr -s ' ')" = \
    " sessionAffinity: ClientIP sessionAffinityConfig: clientIP: timeoutSeconds: 10800 "
kubectl kustomize deploy/kubernetes-nodeport >"$work/nodeport.yaml"
check "the NodePort overlay serves on port 31337 of every node, keeping the players' addresses" \
    test "$(grep -E '^  type:|nodePort:|externalTrafficPolicy:' "$work/nodeport.yaml" | awk '{ printf "%s %s ", $1, $2 }')" = \
    "externalTrafficPolicy: Local nodePort: 31337 type: NodePort "
kubectl kustomize deploy/kubernetes-example >"$work/example.yaml"
check "the example overlay leaves the replicas to the autoscaler" \
    test "$(grep -c 'replicas:' "$work/example.yaml")" = "$(grep -c 'replicas:' "$work/base.yaml")"
check "the example overlay puts every object of the challenge in its own namespace" \
    test "$(grep -c '^  namespace: maze-one$' "$work/example.yaml")" = "$(($(grep -c '^kind:' "$work/example.yaml") - 1))"
kubectl kustomize "$contest" >"$work/contest.yaml"
check "the example copied into contests/ renders as it does in place" cmp "$work/example.yaml" "$work/contest.yaml"
kubectl kustomize "$work/bridge" >"$work/bridge.yaml"
check "the bridge's component opens port 1338 on the pods, the Service and the NetworkPolicy" \
    test "$(grep -cE '^ *(- )?(containerPort: 1338|port: 1338|port: bridge)$' "$work/bridge.yaml")" = 3
check "an overlay sets the bridge's origin, once" \
    test "$(grep -A1 'name: KESTIV_WEBSOCKET_ORIGIN' "$work/bridge.yaml" | grep -c 'value: maze-one.example.org')" = 1
check "the base has no volume: nothing is written to disk" bash -c "! grep -q 'volume' '$work/base.yaml'"

# turned_down WHAT SED_SCRIPT: the base changed by the sed script fails the check.
turned_down() {
    sed "$2" "$work/base.yaml" >"$work/broken.yaml"
    ! cmp -s "$work/base.yaml" "$work/broken.yaml" && ! node "$here/check_manifests.mjs" "$work/broken.yaml" >/dev/null
}
while IFS='|' read -r what script; do
    check "the checker turns down $what" turned_down "$what" "$script"
done <<'CASES'
replicas that are no number|s/replicas: 3/replicas: three/
a container without a name|s/^        name: kestiv-terminal$//
an autoscaler target that is no number|s/averageUtilization: 70/averageUtilization: seventy/
runAsNonRoot false|s/runAsNonRoot: true/runAsNonRoot: false/
privilege escalation allowed|s/allowPrivilegeEscalation: false/allowPrivilegeEscalation: true/
a capability added|s/- ALL/- ALL\n            add: ["SYS_ADMIN"]/
an unconfined seccomp profile|s/type: RuntimeDefault/type: Unconfined/
a hostPath volume|s/^      automountServiceAccountToken: false/      volumes: [{name: host, hostPath: {path: \/tmp}}]\n&/
the host's network|s/^      automountServiceAccountToken: false/      hostNetwork: true\n&/
CASES
checks_summary
