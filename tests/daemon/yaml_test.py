"""Every YAML file of the documentation parses, and the Kubernetes recipe
holds what a cluster needs of it: probes on /server/health, a preStop and
the three kinds."""
import pathlib
import sys

import yaml

doc = pathlib.Path(sys.argv[1]) / "doc"
files = sorted(doc.rglob("*.yaml")) + sorted(doc.rglob("*.yml"))
assert files, "no YAML file under doc/"
for path in files:
    documents = [d for d in yaml.safe_load_all(path.read_text()) if d is not None]
    assert documents, f"{path}: empty"
    print(f"ok: {path.relative_to(doc)} ({len(documents)} documents)")

kube = list(yaml.safe_load_all((doc / "deploy" / "kubernetes.yaml").read_text()))
kinds = {d["kind"]: d for d in kube}
assert set(kinds) == {"Deployment", "Service", "HorizontalPodAutoscaler"}, kinds.keys()
container = kinds["Deployment"]["spec"]["template"]["spec"]["containers"][0]
for probe in ("readinessProbe", "livenessProbe"):
    assert container[probe]["httpGet"]["path"] == "/server/health", probe
assert "preStop" in container["lifecycle"]
print("ok: kubernetes.yaml")
