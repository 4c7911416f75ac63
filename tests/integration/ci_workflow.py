"""Checks that the CI workflow cannot pass on a build or test that failed or
never ran: no step hides a failure and nothing skips one (but the logs'
upload on failure); the Debian job runs scripts/test.sh, whole, on debian:12
and debian:13 with git; the Windows job configures with vcpkg.json in
manifest mode, builds, signs the test installers and runs every test where
it built, failing on no test; each then uploads Launcher.exe and SHA256SUMS,
or fails, and its test logs when it failed. Then lints a copy of the tree
without git, as a checkout without git leaves it.
    ci_workflow.py SOURCE_DIR WORK_DIR
Exits 77 (skipped) without the yaml module (Debian package python3-yaml)."""

import json
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


def read(name):
    with open(os.path.join(source_dir, name), encoding="utf-8") as file:
        return file.read()


jobs = (yaml.safe_load(read(".github/workflows/ci.yml")) or {}).get("jobs") or {}
presets = {p["name"]: p for p in json.loads(read("CMakePresets.json"))["configurePresets"]}
manifest = json.loads(read("vcpkg.json"))
problems = []


def find(steps, pattern, key="run", after=-1):
    """Index of the first step past `after` whose key (run, uses; step: all of it) matches, or None."""
    return next((i for i, s in enumerate(steps) if i > after and re.search(
        pattern, json.dumps(s, sort_keys=True) if key == "step" else str(s.get(key, "")))), None)


def in_order(job, steps, actions):
    """Complains unless a step does each action, each after the one before."""
    last, before = -1, ""
    for action, pattern, *key in actions:
        last = find(steps, pattern, key[0] if key else "uses" if "@" in pattern else "run", last)
        if last is None:
            problems.append(f"the {job} job does not {action}" + (f" (after: {before})" if before else ""))
            return
        before = action


def uploads(binary):
    """Uploading what the job built (only when all passed) and its test logs (only on failure)."""
    return [(f"upload {binary}/Launcher.exe and SHA256SUMS, or fail", r'^\{"uses": "actions/upload-artifact@.*'
             rf'"if-no-files-found": "error".*"path": "{binary}/Launcher\.exe\\n{binary}/SHA256SUMS\\n"', "step"),
            (f"upload {binary}/Testing/Temporary/ on failure", r'^\{"if": "failure\(\)", '
             rf'"uses": "actions/upload-artifact@.*"path": "{binary}/Testing/Temporary/"', "step")]


# Whatever a step runs, its failure fails the job, and no step is skipped but an upload on failure.
hiding = {r"\|": "pipes or uses ||", r"\bset \+e\b": "runs set +e"}
for name, job in jobs.items():
    for part in [job] + (job.get("steps") or []):
        what = f"job {name}" + (f", step {part.get('name') or part.get('uses') or part.get('run')!r}"
                                if part is not job else "")
        upload = str(part.get("uses", "")).startswith("actions/upload-artifact@")
        problems += [f"{what}: has {key}:" for key in ("if", "continue-on-error", "shell")
                     if key in part and not (key == "if" and upload and part[key] == "failure()")]
        problems += [f"{what}: {text}" for pattern, text in hiding.items()
                     if re.search(pattern, part.get("run", ""))]
        if "ctest" in part.get("run", "") and "--no-tests=error" not in part["run"]:
            problems.append(f"{what}: ctest without --no-tests=error")
        if "@" not in part.get("uses", "@"):
            problems.append(f"{what}: action without a version")
problems += [f"scripts/test.sh: {line.strip()!r} lacks --no-tests=error" for line in read("scripts/test.sh").splitlines()
             if re.match(r"\s*ctest\b", line) and "--no-tests=error" not in line]

linux = [job for job in jobs.values() if "debian" in str(job.get("container", ""))]
windows = [job for job in jobs.values() if str(job.get("runs-on", "")).startswith("windows")]
if len(linux) != 1 or len(windows) != 1:
    problems.append("not one Debian job and one Windows job")
else:
    job, steps = linux[0], linux[0].get("steps") or []
    entries = ((job.get("strategy") or {}).get("matrix") or {}).get("include") or [{}]
    image = job["container"].get("image") if isinstance(job["container"], dict) else job["container"]
    images = {re.sub(r"\$\{\{\s*matrix\.(\w+)\s*\}\}", lambda m, e=e: str(e.get(m[1], "?")), str(image))
              for e in entries}
    if images != {"debian:12", "debian:13"}:
        problems.append(f"the Debian job runs in {sorted(images)}, not debian:12 and debian:13")
    in_order("Debian", steps, [("install git", r"apt-get install(?:[^\n]|\\\n)*\bgit\b"),
                               ("check out", r"^actions/checkout@"),
                               ("trust $GITHUB_WORKSPACE", r"""safe\.directory ("?\$\{?GITHUB_WORKSPACE\b|'\*')"""),
                               ("run scripts/test.sh, whole", r"^scripts/test\.sh$")] + uploads("build/mingw"))

    job, steps = windows[0], windows[0].get("steps") or []
    if ((job.get("defaults") or {}).get("run") or {}).get("shell") != "pwsh":
        problems.append("the Windows job's steps do not run in pwsh")
    # pwsh fails a step on the exit code of its last command only.
    problems += [f"Windows step {s['run']!r}: more than one command" for s in steps
                 if re.search(r"[;\n]", s.get("run", "").strip())]
    preset = re.search(r"cmake --preset (\S+)", " ".join(s.get("run", "") for s in steps))
    binary = presets.get(preset[1] if preset else "", {}).get("binaryDir", "?").replace("${sourceDir}/", "")
    in_order("Windows", steps, [
        ("check out", r"^actions/checkout@"),
        ("enter the developer environment", r"^ilammy/msvc-dev-cmd@"),
        (f"configure {binary} with vcpkg's toolchain and triplet x64-windows-static",
         r"cmake --preset .*VCPKG_INSTALLATION_ROOT/scripts/buildsystems/vcpkg\.cmake"
         r".*-DVCPKG_TARGET_TRIPLET=x64-windows-static\b"),
        (f"build {binary}", rf"^cmake --build {re.escape(binary)}$"),
        (f"sign the test installers in {binary}", rf"tests/signing/make-signed-installers\.ps1 {re.escape(binary)}$"),
        (f"test {binary}", rf"^ctest --test-dir {re.escape(binary)} ")] + uploads(binary))
    if find(steps, r"vcpkg(\.exe)?\"? install") is not None:
        problems.append("the Windows job runs vcpkg install: GoogleTest comes from vcpkg.json")
if "gtest" not in manifest.get("dependencies", []) or not re.fullmatch(
        r"[0-9a-f]{40}", manifest.get("builtin-baseline", "")):
    problems.append("vcpkg.json does not pin gtest to a builtin-baseline commit")

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

print("\n".join(f"ci.yml: {problem}" for problem in problems) or f"ci.yml: {', '.join(jobs)} fit")
sys.exit(1 if problems else 0)
