"""Checks .github/workflows/ci.yml without running it: the file loads as
YAML, and it has the two jobs the project relies on, a Linux one that runs
the whole suite through scripts/test.sh and a Windows one that builds with
the msvc preset and runs CTest natively.
    ci_workflow.py SOURCE_DIR
Exits 77 (skipped) without the yaml module (Debian package python3-yaml)."""

import os
import sys

try:
    import yaml
except ImportError:
    print("the yaml module is not installed: skipped")
    sys.exit(77)

source_dir = sys.argv[1]
path = os.path.join(source_dir, ".github", "workflows", "ci.yml")
with open(path, encoding="utf-8") as file:
    workflow = yaml.safe_load(file)

problems = []
# YAML 1.1 reads the key "on" as true.
if not workflow.get("on", workflow.get(True)):
    problems.append("no trigger ('on')")
jobs = workflow.get("jobs") or {}


def runs(job):
    return " ".join(step.get("run", "") for step in job.get("steps") or [])


linux = [job for job in jobs.values() if str(job.get("runs-on", "")).startswith("ubuntu")]
windows = [job for job in jobs.values() if str(job.get("runs-on", "")).startswith("windows")]
if len(linux) != 1 or "scripts/test.sh" not in runs(linux[0]):
    problems.append("no single Linux job that runs scripts/test.sh")
elif not os.access(os.path.join(source_dir, "scripts", "test.sh"), os.X_OK):
    problems.append("scripts/test.sh is missing or not executable")
if len(windows) != 1:
    problems.append("no single Windows job")
else:
    commands = runs(windows[0])
    for needed in ("--preset msvc", "ctest"):
        if needed not in commands:
            problems.append(f"the Windows job does not run '{needed}'")
    if "wine" in commands.lower():
        problems.append("the Windows job runs Wine")
for name, job in jobs.items():
    for step in job.get("steps") or []:
        if "uses" in step and "@" not in step["uses"]:
            problems.append(f"job {name}: action {step['uses']} has no version")

for problem in problems:
    print(f"{path}: {problem}")
if not problems:
    print(f"{path}: jobs {', '.join(jobs)}")
sys.exit(1 if problems else 0)
