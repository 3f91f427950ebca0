#!/usr/bin/env python3
"""Plants one-line faults into Korvane's sources, one at a time, and reports the ones
that no test catches.

Usage (from the repository root, with a configured build folder):
    scripts/mutants.sh --build build --lib codec plot --max 12 --seed 1
    scripts/mutants.sh --build build --files codec/packunit.cpp --max 0
    scripts/mutants.sh --lib ui --max 4 --report /tmp/ui.txt
    scripts/mutants.sh --lib app --list          # show the sampled faults, run nothing

Each fault is one of: a comparison moved by one (< <=, > >=) or negated (== !=), an
integer constant off by one, + and - or * and / swapped (also in +=, -=, *=, /=),
&& and || swapped, true and false swapped, or a simple statement dropped (replaced by
an empty block, so an unbraced if keeps its shape). For each one the file is patched,
the library's test programs are rebuilt (-j2) and run with ctest; a failing or hanging
run catches the fault, one that does not build is left out of the score. The file is
always put back, also on Ctrl-C; a backup waits in <build>/mutants-backup until then.

--max N samples N faults per file (0: all), on different lines where it can, with a
generator seeded by --seed and the file name, so a run repeats exactly. Faults that
cannot change behaviour are listed in scripts/mutants-equivalent.txt (or --exclude),
one per line as
    path:line: original ==> mutated ## reason
matched on the path and the two texts (and the line, where the same texts occur twice);
they are shown, not counted. The tests of a library are those in tests/<lib>/ plus the
EXTRA_TESTS below; --tests names others. Only one run may use a build folder at a time.
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
LIBS = ["app", "serial", "codec", "recording", "plot", "ui", "tools", "sim"]
# Test programs outside tests/<lib>/ that drive the library directly.
EXTRA_TESTS = {
    "app": ["tst_packunit"],  # the core's arithmetic and state
    "serial": ["tst_packunit", "tst_sim"],  # frames.cpp, linked by sim
    "ui": ["tst_simwindow"],
}
SKIP_LINE = re.compile(r"\b(qDebug|qInfo|qWarning|qCritical|qFatal|Q_UNUSED|Q_ASSERT|"
                       r"static_assert|fprintf|printf|std::cerr|std::cout)\b")
FORMAT_WORDS = {"QStringLiteral", "QLatin1String", "QString", "tr", "arg", "fromLatin1",
                "fromUtf8", "QObject", "QCoreApplication", "translate"}
KEYWORDS = {"return", "delete", "throw", "goto", "emit", "Q_EMIT", "else", "case", "break",
            "continue", "do", "using", "typedef", "namespace", "friend", "template"}
DECL = re.compile(r"^(?:(?:const|constexpr|static|inline|mutable|volatile|unsigned|struct|"
                  r"explicit|virtual)\s+)*[A-Za-z_][\w:]*(?:\s*<[^;=(]*>)?(?:\s+const)?"
                  r"[\s*&]+(?:const\s+)?[A-Za-z_]\w*\s*(?:[=({\[;]|$)")
SWAPS = [  # (pattern on the masked line, replacement); operators need spaces around them
    (r"(?<=\s)<=(?=\s)", "<"), (r"(?<=\s)<(?=\s)", "<="), (r"(?<=\s)>=(?=\s)", ">"),
    (r"(?<=\s)>(?=\s)", ">="), (r"(?<=\s)==(?=\s)", "!="), (r"(?<=\s)!=(?=\s)", "=="),
    (r"(?<=\s)\+(?=\s)", "-"), (r"(?<=\s)-(?=\s)", "+"), (r"(?<=\s)\*(?=\s)", "/"),
    (r"(?<=\s)/(?=\s)", "*"), (r"(?<=\s)\+=(?=\s)", "-="), (r"(?<=\s)-=(?=\s)", "+="),
    (r"(?<=\s)\*=(?=\s)", "/="), (r"(?<=\s)/=(?=\s)", "*="),
    (r"(?<=\s)&&(?=\s)", "||"), (r"(?<=\s)\|\|(?=\s)", "&&"),
    (r"\btrue\b", "false"), (r"\bfalse\b", "true"),
]
# Whether the build folder uses the Linux code paths (see cmake/KorvanePlatform.cmake).
LINUX_PATHS = True
INT = re.compile(r"(?<![\w.'])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.'])")


def mask(text):
    """The text with comments, string and character literals blanked, same length."""
    out, i, n = list(text), 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j += 1
        else:
            i += 1
            continue
        for k in range(i, min(j, n)):
            if out[k] != "\n":
                out[k] = " "
        i = j
    return "".join(out)


def code_lines(masked):
    """For each line: whether it lies in a function body, whether it starts a statement, and
    whether that statement is the whole body of an unbraced if, else, for or while."""
    stack, pending, last, depth, result = [], "", ";", 0, []
    for line in masked.split("\n"):
        prev = pending.strip()
        control = re.match(r"^(else\b.*|(if|for|while)\s*\(.*\))$", prev)
        result.append((bool(stack and stack[-1]), last in ";{}:" or bool(control), bool(control)))
        for c in line + "\n":
            depth += (c == "(") - (c == ")")
            if c == "{":
                head = pending.strip()
                if stack and stack[-1]:
                    code = (not re.search(r"(=|[\w>])\s*$", head)
                            or bool(re.search(r"\b(else|do|try)$", head)))
                else:
                    code = bool(re.search(r"\)\s*(const|override|final|noexcept|mutable|\s)*$",
                                          head)) and not re.match(r"(class|struct|enum|union|"
                                                                  r"namespace)\b", head)
                stack.append(code)
            elif c == "}" and stack:
                stack.pop()
            if c in "{}" or (c == ";" and depth == 0):
                pending, last = "", c
            elif not c.isspace() or pending:
                pending += c
                if not c.isspace():
                    last = c
    return result


def uncompiled_lines(masked, linux):
    """The lines that an #ifdef/#ifndef KORVANE_LINUX (or its #else) leaves out of a build
    with (`linux`) or without the Linux code paths; other conditions count as compiled."""
    stack, out = [], set()
    for no, line in enumerate(masked, 1):
        directive = re.match(r"\s*#\s*(ifdef|ifndef|if|else|elif|endif)\b\s*(\w*)", line)
        if directive:
            kind, name = directive.groups()
            if kind in ("ifdef", "ifndef", "if"):
                known = kind != "if" and name == "KORVANE_LINUX"
                stack.append(None if not known else linux == (kind == "ifdef"))
            elif kind in ("else", "elif") and stack and stack[-1] is not None:
                stack[-1] = not stack[-1]
            elif kind == "endif" and stack:
                stack.pop()
        elif False in stack:
            out.add(no)
    return out


def candidates(rel, text):
    """Every fault for the file: (line number, original line, mutated line)."""
    lines, masked = text.split("\n"), mask(text).split("\n")
    where = code_lines("\n".join(masked))
    uncompiled = uncompiled_lines(masked, LINUX_PATHS)
    found = []
    for no, (line, m) in enumerate(zip(lines, masked), 1):
        code = m.strip()
        if not code or code.startswith("#") or SKIP_LINE.search(line) or no in uncompiled:
            continue
        words = set(re.findall(r"[A-Za-z_]\w*", code))
        if m != line and words <= FORMAT_WORDS:
            continue  # a message or format string only
        muts = []
        for pattern, repl in SWAPS:
            for hit in re.finditer(pattern, m):
                muts.append(line[:hit.start()] + repl + line[hit.end():])
        if ".arg(" not in code and not re.search(r"\[\d+\]\s*=\s*\{|\)\s*(const\s*)?= 0;", code):
            for hit in INT.finditer(m):
                digits, suffix = hit.group(1), hit.group(2)
                base = 16 if digits[:2].lower() == "0x" else 10
                value = int(digits, base)
                for v in (value + 1, value - 1):
                    if v < 0:
                        continue
                    new = str(v)
                    if base == 16:  # same width and case as written
                        new = digits[:2] + f"{v:0{len(digits) - 2}X}"
                        new = new if digits[2:] == digits[2:].upper() else new.lower()
                    new += suffix
                    muts.append(line[:hit.start()] + new + line[hit.end():])
        in_body, starts, control = where[no - 1]
        after = next((n.strip() for n in masked[no:] if n.strip()), "")
        if code == "break;" and re.match(r"(case\b|default\b|})", after):
            in_body = False  # the compiler refuses a silent fall-through
        first = re.match(r"[A-Za-z_]\w*", code)
        if (in_body and starts and code.endswith(";") and code.count(";") == 1
                and not re.search(r"[{}]", code) and code.count("(") == code.count(")")
                and (first and first.group() in KEYWORDS or not DECL.match(code))
                and not (first and re.fullmatch(r"[A-Z][A-Z0-9_]+", first.group()))
                and (control or not code.startswith("return"))
                and not re.search(r"=\s*(delete|default)\s*;", code)):
            muts.append(line[:len(line) - len(line.lstrip())] + "{}")
        found += [(no, line, mut) for mut in muts if mut != line]
    return found


def descr(rel, no, orig, mut):
    return f"{rel}:{no}: {orig.strip()} ==> {mut.strip()}"


def load_excluded(path):
    excluded = {}
    if path and Path(path).exists():
        for raw in Path(path).read_text().splitlines():
            m = re.match(r"^([^:#\s]+):(\d+): (.*?) ==> (.*?) ## (.+)$", raw.strip())
            if m:
                key = (m.group(1), m.group(3), m.group(4))
                excluded.setdefault(key, {})[int(m.group(2))] = m.group(5)
    return excluded


def library_sources(lib):
    """The .cpp files the library's CMakeLists builds into it, and its headers."""
    cmake = (ROOT / lib / "CMakeLists.txt").read_text()
    block = re.search(r"korvane_add_library\((.*?)\)", cmake, re.S).group(1)
    sources = [ROOT / lib / s for s in re.findall(r"([\w/]+\.cpp)", block)]
    return sorted(sources + sorted((ROOT / lib).glob("*.h")))


def library_tests(lib):
    cmake = ROOT / "tests" / lib / "CMakeLists.txt"
    own = re.findall(r"korvane_add_test\((\w+)", cmake.read_text()) if cmake.exists() else []
    return own + [t for t in EXTRA_TESTS.get(lib, []) if t not in own]


def run(cmd, timeout=None, env=None):
    """Runs cmd in its own process group; returns (exit code or None on timeout, output)."""
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            env=env, start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out
    except subprocess.TimeoutExpired:
        return None, ""
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


class Runner:
    def __init__(self, build, tests):
        self.build, self.tests = build, tests
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.timeout = None

    def compile(self):
        code, out = run(["cmake", "--build", str(self.build), "-j2", "--target", *self.tests])
        return code == 0, out

    def test(self):
        regex = "^(" + "|".join(self.tests) + ")$"
        code, out = run(["ctest", "--test-dir", str(self.build), "-R", regex, "-j1",
                         "--stop-on-failure"], self.timeout, self.env)
        if code is None:
            return False, "timed out"
        if code == 0:
            return True, ""
        failed = re.findall(r"^\s*\d+ - (\w+) \(", out, re.M)
        return False, ", ".join(failed) or "ctest exit %d" % code


def mutate_file(path, runner, args, excluded, results):
    rel = str(path.relative_to(ROOT))
    text = path.read_text()
    found = everything = candidates(rel, text)
    if args.max and len(found) > args.max:
        # One fault on each of up to N lines, so that a line with many constants does not
        # take the whole sample; any room left goes to further faults.
        rng = random.Random(f"{args.seed}:{rel}")
        lines_hit = sorted({f[0] for f in found})
        chosen = rng.sample(lines_hit, min(args.max, len(lines_hit)))
        pick = [rng.choice([i for i, f in enumerate(found) if f[0] == no]) for no in chosen]
        rest = [i for i in range(len(found)) if i not in pick]
        pick += rng.sample(rest, args.max - len(pick))
        found = [found[i] for i in sorted(pick)]
    backup = Path(args.build) / "mutants-backup" / rel
    lines = text.split("\n")
    for k, (no, orig, mut) in enumerate(found, 1):
        d = descr(rel, no, orig, mut)
        # Matched by text, so that edits elsewhere in the file do not undo it; by the line
        # too where the same fault text occurs on several lines.
        key = (orig.strip(), mut.strip())
        entries = excluded.get((rel,) + key, {})
        same = [f for f in everything if (f[1].strip(), f[2].strip()) == key]
        reason = entries.get(no) if len(same) > 1 else next(iter(entries.values()), None)
        if reason or args.list:
            results.append((rel, "excluded" if reason else "listed", d, reason or ""))
            print(f"  {'excluded' if reason else 'listed':>9}  {d}", flush=True)
            continue
        start = time.time()
        backup.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(path, backup)
        try:
            path.write_text("\n".join(lines[:no - 1] + [mut] + lines[no:]))
            built, _ = runner.compile()
            if not built:
                outcome, note = "uncompiled", ""
            else:
                passed, note = runner.test()
                outcome = "survived" if passed else "caught"
        finally:
            path.write_text(text)
            backup.unlink()
        results.append((rel, outcome, d, note))
        print(f"  [{k}/{len(found)}] {outcome:>10} {time.time() - start:5.1f}s  {d}"
              + (f"  ({note})" if note else ""), flush=True)


def summary(groups, results):
    out = []
    for lib, files in groups:
        rows = [r for r in results if r[0] in files]
        def score(rs):
            caught = sum(r[1] == "caught" for r in rs)
            counted = caught + sum(r[1] == "survived" for r in rs)
            pct = f"{100 * caught / counted:.0f}%" if counted else "-"
            return (f"{caught}/{counted} caught ({pct}), "
                    f"{sum(r[1] == 'uncompiled' for r in rs)} did not compile, "
                    f"{sum(r[1] == 'excluded' for r in rs)} excluded")
        out.append(f"== {lib}: {score(rows)}")
        for f in files:
            if any(r[0] == f for r in rows):
                out.append(f"   {f}: {score([r for r in rows if r[0] == f])}")
        for kind in ("survived", "excluded"):
            picked = [r for r in rows if r[1] == kind]
            if picked:
                out.append(f"   {kind}:")
                out += [f"     {r[2]}" + (f" ## {r[3]}" if kind == "excluded" else "")
                        for r in picked]
    return "\n".join(out)


def take_build_folder(backups):
    """Claims the build folder for this run, and puts back files an interrupted run left."""
    lock = backups / "running"
    if lock.exists():
        pid = int(lock.read_text() or 0)
        try:
            os.kill(pid, 0)
            sys.exit(f"run {pid} is using this build folder")
        except ProcessLookupError:
            pass
    for stale in backups.rglob("*.*"):
        target = ROOT / stale.relative_to(backups)
        print(f"restoring {target} from an interrupted run")
        shutil.copyfile(stale, target)
        stale.unlink()
    backups.mkdir(parents=True, exist_ok=True)
    lock.write_text(str(os.getpid()))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default="build", help="configured build folder")
    ap.add_argument("--lib", nargs="+", choices=LIBS, default=[], help="libraries to mutate")
    ap.add_argument("--files", nargs="+", default=[], help="explicit files (lib/file)")
    ap.add_argument("--tests", nargs="+", help="test programs to run instead of the library's")
    ap.add_argument("--max", type=int, default=10, help="faults per file, 0 for all")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--exclude", default=str(ROOT / "scripts" / "mutants-equivalent.txt"))
    ap.add_argument("--report", help="append the summary to this file")
    ap.add_argument("--list", action="store_true", help="list the sampled faults only")
    args = ap.parse_args()
    args.build = str(Path(args.build).resolve())
    # Faults go only where this build compiles: its Linux code paths or its portable ones.
    global LINUX_PATHS
    cache = Path(args.build) / "CMakeCache.txt"
    LINUX_PATHS = not (cache.exists() and "KORVANE_PORTABLE:BOOL=ON" in cache.read_text())
    if not args.list:
        take_build_folder(Path(args.build) / "mutants-backup")
    groups = [(lib, [str(p.relative_to(ROOT)) for p in library_sources(lib)]) for lib in args.lib]
    by_lib = {}
    for f in args.files:
        by_lib.setdefault(Path(f).parts[0], []).append(f)
    groups += list(by_lib.items())
    if not groups:
        ap.error("give --lib or --files")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    excluded, results = load_excluded(args.exclude), []
    for lib, files in groups:
        runner = Runner(args.build, args.tests or library_tests(lib))
        print(f"== {lib}: {', '.join(runner.tests)}", flush=True)
        if not args.list:
            built, out = runner.compile()
            start = time.time()
            passed, note = runner.test() if built else (False, out[-2000:])
            if not passed:
                sys.exit(f"the unmutated {lib} does not pass its tests: {note}")
            runner.timeout = 3 * (time.time() - start) + 30
        for f in files:
            mutate_file(ROOT / f, runner, args, excluded, results)
        if not args.list:
            runner.compile()  # leave the build matching the sources
    if not args.list:
        (Path(args.build) / "mutants-backup" / "running").unlink()
    text = summary(groups, results)
    print("\n" + text)
    if args.report:
        with open(args.report, "a") as report:
            report.write(text + "\n\n")


if __name__ == "__main__":
    main()
