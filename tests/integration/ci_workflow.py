"""Checks what the CI workflow's jobs rely on, short of running them: Debian 12
and 13 containers where git can check out and read the tree, a Windows job whose
vcpkg and triplet fit the msvc preset; and lint.sh in a copy of the tree without git.
    ci_workflow.py SOURCE_DIR WORK_DIR
Exits 77 (skipped) without the yaml module (Debian package python3-yaml)."""

import os
import re
import shutil
import subprocess
import sys

try:
    import yaml
except ImportError:
    print("the yaml module is not installed: skipped")
    sys.exit(77)

source_dir, work = sys.argv[1], sys.argv[2]
path = os.path.join(source_dir, ".github", "workflows", "ci.yml")
with open(path, encoding="utf-8") as file:
    jobs = (yaml.safe_load(file) or {}).get("jobs") or {}
problems = []


def first(steps, key, pattern):
    """Index of the first step whose key (run, uses) matches, or None."""
    return next((i for i, step in enumerate(steps) if re.search(pattern, step.get(key, ""))), None)


linux = [job for job in jobs.values() if "debian" in str(job.get("container", ""))]
if len(linux) != 1:
    problems.append("no single job in Debian containers")
else:
    job, steps = linux[0], linux[0].get("steps") or []
    image = job["container"]["image"] if isinstance(job["container"], dict) else job["container"]
    entries = ((job.get("strategy") or {}).get("matrix") or {}).get("include") or [{}]
    variable = r"\$\{\{\s*matrix\.(\w+)\s*\}\}"
    found = {re.sub(variable, lambda m, e=e: str(e.get(m[1], "?")), image) for e in entries}
    if found != {"debian:12", "debian:13"}:
        problems.append(f"the Debian job runs in {sorted(found)}, not debian:12 and debian:13")
    checkout = first(steps, "uses", r"^actions/checkout@")
    git = first(steps, "run", r"apt-get install(?:[^\n]|\\\n)*\bgit\b")
    trust = first(steps, "run", r"""safe\.directory ("?\$\{?GITHUB_WORKSPACE\b|'\*')""")
    test = first(steps, "run", r"(?m)^scripts/test\.sh\b")
    if checkout is None or git is None or git > checkout:
        problems.append("the Debian job does not install git before actions/checkout")
    if test is None or trust is None or trust > test:
        problems.append("the Debian job does not trust $GITHUB_WORKSPACE, then run scripts/test.sh")

windows = [job for job in jobs.values() if str(job.get("runs-on", "")).startswith("windows")]
if len(windows) != 1:
    problems.append("no single Windows job")
else:
    steps = windows[0].get("steps") or []
    commands = " ".join(step.get("run", "") for step in steps)
    installed = re.findall(r"vcpkg(?:\.exe)?\"? install .*?:([\w-]+)", commands)
    wanted = re.findall(r"VCPKG_TARGET_TRIPLET=([\w-]+)", commands)
    if not installed or installed != wanted:
        problems.append(f"vcpkg installs for {installed}, CMake looks in {wanted}")
    # Visual Studio's environment puts its own vcpkg first, which has no classic mode.
    vcpkg = first(steps, "run", r'vcpkg(\.exe)?"? install')
    developer = first(steps, "uses", "msvc-dev-cmd@")
    if vcpkg is None or (developer is not None and vcpkg > developer):
        problems.append("the Windows job runs vcpkg install after msvc-dev-cmd, or never")
    problems += [f"the Windows job does not run '{command}'"
                 for command in ("--preset msvc", "ctest") if command not in commands]
problems += [f"job {name}: action {step['uses']} has no version" for name, job in jobs.items()
             for step in job.get("steps") or [] if "@" not in step.get("uses", "@")]

# The suite's lint entries where checkout left no repository and git is missing.
shutil.rmtree(work, ignore_errors=True)
shutil.copytree(source_dir, f"{work}/tree", ignore=shutil.ignore_patterns(".git", "build", "dist"))
os.makedirs(f"{work}/bin")
os.symlink("/bin/false", f"{work}/bin/git")
for check in ("layers", "format"):
    lint = subprocess.run([f"{work}/tree/scripts/lint.sh", check], check=False,
                          env=dict(os.environ, PATH=f"{work}/bin:{os.environ['PATH']}"))
    if lint.returncode != 0:
        problems.append(f"scripts/lint.sh {check} fails without git (exit {lint.returncode})")

print("\n".join(f"{path}: {problem}" for problem in problems) or f"{path}: {', '.join(jobs)} fit")
sys.exit(1 if problems else 0)
