#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs the commands that README.md, examples/README.md and the manual page
of ratelens-batch show, as written, on the files they name: the commands of
each section of a document in one shell, in order, from the folder the
document starts in, with ratelens-batch the program under test and
/path/to/examples the examples of the checkout. Every command must succeed.

  doc_commands.py --batch PATH --root SOURCE_ROOT
"""
import argparse
import os
import re
import subprocess
import sys


def fenced_blocks(text):
    """The lines of each fenced block, with its info string and the heading
    of its section."""
    blocks, current, info, heading = [], None, "", ""
    for line in text.split("\n"):
        fence = re.match(r"^\s*```(\w*)\s*$", line)
        if fence:
            if current is None:
                current, info = [], fence.group(1)
            else:
                blocks.append((heading, info, current))
                current = None
            continue
        if current is not None:
            current.append(line.strip())
        elif line.startswith("#"):
            heading = line.strip("# ")
    return blocks


def by_section(blocks, commands_of):
    sections = {}
    for heading, info, lines in blocks:
        sections.setdefault(heading, []).extend(commands_of(info, lines))
    return [(heading, commands) for heading, commands in sections.items() if commands]


def joined(lines):
    """Lines with a trailing backslash joined to the next."""
    out, pending = [], ""
    for line in lines:
        if line.endswith("\\"):
            pending += line[:-1] + " "
            continue
        out.append(pending + line)
        pending = ""
    return out


def readme_commands(info, lines):
    """Prompted lines ("$ ...") and the lines that continue them, or the
    lines of a shell block that runs the batch command."""
    if any(l.startswith("$ ") for l in lines):
        kept, continued = [], False
        for l in lines:
            if l.startswith("$ ") or continued:
                kept.append(l[2:] if l.startswith("$ ") else l)
                continued = l.endswith("\\")
        return joined(kept)
    if info == "sh" and any("batch" in l for l in lines):
        return joined([l for l in lines if l and not l.startswith("#")])
    return []


def example_commands(info, lines):
    if lines and all(l.startswith(("ratelens-batch ", "cd ")) for l in lines if l):
        return [l for l in lines if l]
    return []


def man_commands(text):
    commands, inside = [], False
    for line in text.split("\n"):
        if line.startswith(".nf"):
            inside = True
        elif line.startswith(".fi"):
            inside = False
        elif inside and line.startswith(("ratelens\\-batch", "cd ")):
            commands.append(line.replace("\\-", "-"))
    return commands


def run(name, commands, start, batch, examples):
    script = ["set -e", 'cd "%s"' % start]
    for c in commands:
        c = c.replace("/path/to/examples", examples)
        c = c.replace("$PWD/build-run/app/batch/ratelens-batch", batch)
        script += ["echo \"+ %s\" >&2" % c.replace('"', '\\"').replace("$", "\\$"), c]
    env = dict(os.environ)
    env["PATH"] = os.path.dirname(batch) + os.pathsep + env.get("PATH", "")
    result = subprocess.run(["bash", "-c", "\n".join(script)], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.stderr.write("%s: a command failed (status %d):\n%s\n"
                         % (name, result.returncode, result.stderr[-3000:]))
        return False
    print("%s: %d commands ran" % (name, len(commands)))
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--root", required=True)
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    examples = os.path.join(root, "examples")

    def read(path):
        with open(os.path.join(root, path), encoding="utf-8") as f:
            return f.read()

    docs = [("README.md: " + h, c, root)
            for h, c in by_section(fenced_blocks(read("README.md")), readme_commands)]
    docs += [("examples/README.md: " + h, c, examples)
             for h, c in by_section(fenced_blocks(read("examples/README.md")), example_commands)]
    docs.append(("ratelens-batch.h2m", man_commands(read("app/desktop/man/ratelens-batch.h2m")),
                 root))
    ok = len(docs) >= 6
    for name, commands, start in docs:
        if not commands:
            sys.stderr.write("%s: no commands found\n" % name)
            ok = False
            continue
        ok = run(name, commands, start, os.path.abspath(args.batch), examples) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
