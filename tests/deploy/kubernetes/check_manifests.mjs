// Checks Kubernetes objects without a cluster: each against its API schema
// (the kubernetes-models package), and every pod template against the
// restricted Pod Security Standard. Reads a YAML stream, as kubectl kustomize
// writes it, from the file given or standard input; prints one line per
// object or broken rule and exits with 1 when any object fails.
//
// usage: node check_manifests.mjs [FILE]
import { readFileSync } from "node:fs";
import { parseAllDocuments } from "yaml";

const RESTRICTED_VOLUME_TYPES = new Set([
  "configMap", "csi", "downwardAPI", "emptyDir", "ephemeral", "persistentVolumeClaim", "projected", "secret",
]);
const BASELINE_CAPABILITIES = new Set(["NET_BIND_SERVICE"]);
const WORKLOAD_KINDS = new Set(["Deployment", "StatefulSet", "DaemonSet", "ReplicaSet", "Job"]);

async function modelOf(apiVersion, kind) {
  return (await import(`kubernetes-models/${apiVersion}/${kind}`))[kind];
}

// The broken rules of the restricted Pod Security Standard (its baseline
// included, as far as a pod's own fields show them), one text each.
function restrictedViolations(pod) {
  const broken = [];
  const podContext = pod.securityContext ?? {};
  const containers = [...(pod.initContainers ?? []), ...(pod.containers ?? []), ...(pod.ephemeralContainers ?? [])];
  for (const field of ["hostNetwork", "hostPID", "hostIPC"]) {
    if (pod[field]) broken.push(`${field} must not be set`);
  }
  for (const volume of pod.volumes ?? []) {
    const type = Object.keys(volume).find((key) => key !== "name");
    if (!RESTRICTED_VOLUME_TYPES.has(type)) broken.push(`volume ${volume.name} is of type ${type}`);
  }
  if (podContext.runAsUser === 0) broken.push("the pod runs as user 0");
  if (podContext.seccompProfile && !["RuntimeDefault", "Localhost"].includes(podContext.seccompProfile.type)) {
    broken.push(`the pod's seccomp profile is ${podContext.seccompProfile.type}`);
  }
  for (const container of containers) {
    const context = container.securityContext ?? {};
    const name = `container ${container.name}`;
    if (context.privileged) broken.push(`${name} is privileged`);
    if (context.allowPrivilegeEscalation !== false) broken.push(`${name} lacks allowPrivilegeEscalation: false`);
    if (context.runAsNonRoot === false || (context.runAsNonRoot === undefined && podContext.runAsNonRoot !== true)) {
      broken.push(`${name} lacks runAsNonRoot: true`);
    }
    if (context.runAsUser === 0) broken.push(`${name} runs as user 0`);
    const seccomp = context.seccompProfile?.type ?? podContext.seccompProfile?.type;
    if (!["RuntimeDefault", "Localhost"].includes(seccomp)) {
      broken.push(`${name} has no seccomp profile RuntimeDefault or Localhost`);
    }
    if (!(context.capabilities?.drop ?? []).includes("ALL")) broken.push(`${name} does not drop ALL capabilities`);
    for (const added of context.capabilities?.add ?? []) {
      if (!BASELINE_CAPABILITIES.has(added)) broken.push(`${name} adds capability ${added}`);
    }
    for (const port of container.ports ?? []) {
      if (port.hostPort) broken.push(`${name} uses host port ${port.hostPort}`);
    }
    if (context.procMount && context.procMount !== "Default") broken.push(`${name} has procMount ${context.procMount}`);
  }
  return broken;
}

async function checkObjects(objects) {
  const failures = [];
  for (const object of objects) {
    const label = `${object?.kind} ${object?.metadata?.name}`;
    try {
      const Model = await modelOf(object.apiVersion, object.kind);
      new Model(object).validate();
    } catch (error) {
      failures.push(`${label}: ${error.code === "ERR_MODULE_NOT_FOUND" ? "unknown kind" : error.message}`);
      continue;
    }
    if (WORKLOAD_KINDS.has(object.kind)) {
      failures.push(...restrictedViolations(object.spec.template.spec ?? {}).map((rule) => `${label}: ${rule}`));
    }
  }
  return failures;
}

const text = readFileSync(process.argv[2] ?? 0, "utf8");
const objects = parseAllDocuments(text).map((document) => document.toJS()).filter(Boolean);
const failures = await checkObjects(objects);
for (const failure of failures) console.log(`FAILED  ${failure}`);
if (objects.length === 0) console.log("FAILED  no objects to check");
console.log(`${objects.length} objects checked, ${failures.length} problems`);
process.exit(failures.length === 0 && objects.length > 0 ? 0 : 1);
