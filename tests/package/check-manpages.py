#!/usr/bin/env python3
"""Checks that each tool's manual page and README.md agree with its --help.

    check-manpages.py README.md NAME=PROGRAM=PAGE ...

For each tool: PROGRAM --help must exit 0; the manual page PAGE (roff, as
installed) is rendered with groff, which must not warn; the options the help
lists (-x, --name) must be exactly the options the page mentions, and the
usage lines of the help exactly the lines of the page's SYNOPSIS. Every long
option of the help but --help must appear in README.md. Exits 1 with one
line per disagreement.
"""
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][A-Za-z0-9-]*)")
DASHES = str.maketrans({"\u2010": "-", "\u2011": "-", "\u2212": "-"})


def render(page):
    """The page as `man` shows it, on lines long enough not to be broken."""
    result = subprocess.run(
        ["groff", "-man", "-Tutf8", "-ww", "-rLL=1000n", "-P-cbou", page],
        capture_output=True, text=True, env={"LC_ALL": "C.UTF-8", "PATH": "/usr/bin:/bin"}, timeout=60)
    if result.returncode != 0 or result.stderr:
        raise SystemExit(f"{page}: groff failed or warned:\n{result.stderr}")
    return result.stdout.translate(DASHES)


def usage_forms(lines, tool):
    """The usage lines: each starts with the tool's name ("usage:" before the
    first); an indented line that does not continues the one before."""
    forms = []
    for line in lines:
        words = line.split()
        if words[:1] == ["usage:"]:
            words = words[1:]
        if words[:1] == [tool]:
            forms.append(" ".join(words[1:]))
        elif words and forms:
            forms[-1] += " " + " ".join(words)
    return forms


def help_usage(text):
    lines = []
    for line in text.splitlines():
        if not line.strip():
            break
        lines.append(line)
    return lines


def man_synopsis(text):
    lines, inside = [], False
    for line in text.splitlines():
        if line and not line[0].isspace():  # a section heading
            inside = line.strip() == "SYNOPSIS"
        elif inside and line.strip():
            lines.append(line)
    return lines


def check(readme, tool, program, page):
    problems = []
    result = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        return [f"{tool} --help exits {result.returncode}: {result.stderr.strip()}"]
    helptext = result.stdout
    mantext = render(page)

    in_help, in_man = set(OPTION.findall(helptext)), set(OPTION.findall(mantext))
    for option in sorted(in_help - in_man):
        problems.append(f"{tool}: {option} is in --help but not in the manual page")
    for option in sorted(in_man - in_help):
        problems.append(f"{tool}: {option} is in the manual page but not in --help")

    help_forms, man_forms = usage_forms(help_usage(helptext), tool), usage_forms(man_synopsis(mantext), tool)
    if not help_forms:
        problems.append(f"{tool}: --help shows no usage line")
    if help_forms != man_forms:
        problems.append(f"{tool}: the usage lines differ\n  --help: {help_forms}\n  manual: {man_forms}")

    for option in sorted(o for o in in_help if o.startswith("--") and o != "--help"):
        if not re.search(rf"(?<![\w-]){re.escape(option)}(?![\w-])", readme):
            problems.append(f"{tool}: {option} is in --help but not in README.md")
    return problems


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    with open(argv[1], encoding="utf-8") as f:
        readme = f.read()
    problems = []
    for entry in argv[2:]:
        tool, program, page = entry.split("=", 2)
        found = check(readme, tool, program, page)
        problems += found
        print(f"{tool}: {'disagrees' if found else 'agrees'}")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
