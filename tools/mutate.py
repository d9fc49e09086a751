#!/usr/bin/env python3
# The mutation check: plants each fault of tools/mutants.txt in the source
# tree, one at a time, rebuilds, and runs the tests (unit, widget and X11
# tests first; the end-to-end runs only for a fault those miss). A fault the
# tests catch is killed; one they miss survives. The tree is restored after
# each, and on any exit. Prints a table and the score per folder.
# Usage: tools/mutate.py [--build DIR] [--no-e2e] [--check] [ID-or-word ...]
import argparse
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
FIELDS = ("fault", "in", "find", "put")


def catalogue():
    """The mutants, each a dict with an id (its place in the file), the fault
    it models, the file, and the text replaced (found exactly once)."""
    mutants, current = [], None
    for number, line in enumerate((ROOT / "tools/mutants.txt").read_text().splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        entry = re.match(r"^(- |  )(fault|in|find|put):(?: (.*))?$", line)
        if not entry or (entry[1] == "- ") != (entry[2] == "fault") or \
                (current is None and entry[2] != "fault"):
            sys.exit(f"tools/mutants.txt:{number}: expected '- fault:', then 'in:', 'find:', 'put:'")
        if entry[2] == "fault":
            current = {"line": number}
            mutants.append(current)
        value = entry[3] or ""
        # ⏎ stands for a line break; the rest is taken as written.
        current[entry[2]] = value.replace("⏎", "\n") if entry[2] in ("find", "put") else value
    for i, m in enumerate(mutants, 1):
        m["id"] = f"M{i:02d}"
        missing = [f for f in FIELDS if f not in m]
        if missing:
            sys.exit(f"tools/mutants.txt:{m['line']}: {m['id']} lacks {missing}")
        count = (ROOT / m["in"]).read_text().count(m["find"])
        if count != 1:
            sys.exit(f"tools/mutants.txt:{m['line']}: {m['id']}: found {count} times in {m['in']}")
    return mutants


def run(command, log, timeout):
    with open(log, "w") as out:
        try:
            return subprocess.run(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return -1


def failures(log):
    """The tests that failed, as CTest lists them at the end."""
    return re.findall(r"^\s+\d+ - (\S+) \(", Path(log).read_text(errors="replace"), re.M) or ["?"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(ROOT / "build-mutate"))
    parser.add_argument("--no-e2e", action="store_true")
    parser.add_argument("--check", action="store_true", help="only check the catalogue")
    parser.add_argument("only", nargs="*")
    args = parser.parse_args()
    mutants = catalogue()
    if args.only:
        mutants = [m for m in mutants if m["id"] in args.only or m["in"].split("/")[1] in args.only]
    if args.check:
        print(f"{len(mutants)} mutants, each found once")
        return 0
    build, logs = Path(args.build), Path(args.build) / "mutants"
    logs.mkdir(parents=True, exist_ok=True)
    (logs / "results.tsv").unlink(missing_ok=True)
    if not (build / "build.ninja").exists():
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Release"], check=True, stdout=subprocess.DEVNULL)
    # Every test runs for each fault, so that the table tells which tests alone catch one.
    ctest = ["ctest", "--test-dir", str(build), "-j2", "--timeout", "300"]
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))  # the tree is restored
    env = {"QT_QPA_PLATFORM": "offscreen"}
    os.environ.update(env)
    print("Baseline: building and running the tests unchanged ...", flush=True)
    if run(["cmake", "--build", build], logs / "baseline-build.log", 1800) != 0 or \
            run(ctest + ["-LE", "e2e|package"], logs / "baseline-tests.log", 1800) != 0:
        sys.exit(f"the unchanged tree does not pass; see {logs}")

    results = []
    for m in mutants:
        path = ROOT / m["in"]
        original = path.read_text()
        started = time.time()
        try:
            path.write_text(original.replace(m["find"], m["put"], 1))
            log = logs / m["id"]
            if run(["cmake", "--build", build], f"{log}-build.log", 1800) != 0:
                verdict, by = "does not build", []
            elif run(ctest + ["-LE", "e2e|package"], f"{log}-unit.log", 1800) != 0:
                verdict, by = "killed", failures(f"{log}-unit.log")
            elif args.no_e2e:
                verdict, by = "SURVIVED", []
            elif run(ctest + ["-L", "e2e", "--stop-on-failure", "--output-on-failure"],
                     f"{log}-e2e.log", 3600) != 0:
                verdict, by = "killed", failures(f"{log}-e2e.log")
            else:
                verdict, by = "SURVIVED", []
        finally:
            path.write_text(original)
            os.utime(path)  # newer than the mutant's objects, so they are rebuilt
        results.append((m, verdict, by))
        print(f"{m['id']} {verdict:8} {len(by):2} {by[0][:44] if by else '':44} "
              f"{time.time() - started:4.0f}s  {m['fault']}", flush=True)
        with open(logs / "results.tsv", "a") as table:
            table.write("\t".join([m["id"], verdict, ",".join(by), m["fault"]]) + "\n")
    subprocess.run(["cmake", "--build", build], cwd=ROOT, stdout=subprocess.DEVNULL)

    print("\nfolder     killed / mutants")
    folders = sorted({m["in"].split("/")[1] for m, _, _ in results})
    counted = [r for r in results if r[1] != "does not build"]
    for folder in folders + ["all"]:
        mine = [r for r in counted if folder == "all" or r[0]["in"].split("/")[1] == folder]
        killed = sum(r[1] == "killed" for r in mine)
        print(f"{folder:10} {killed:3} / {len(mine):3}  {100 * killed / max(1, len(mine)):5.1f} %")
    for m, verdict, _ in results:
        if verdict != "killed":
            print(f"{verdict}: {m['id']} {m['in']}: {m['fault']}")
    # Which tests are the only one to catch some fault: the others add nothing here.
    alone = {}
    for m, verdict, by in results:
        if verdict == "killed" and len(by) == 1:
            alone.setdefault(by[0], []).append(m["id"])
    print("\nthe only test to catch a fault:")
    for test, ids in sorted(alone.items()):
        print(f"  {test}: {' '.join(ids)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
