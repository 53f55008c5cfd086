#!/usr/bin/env python3
"""Fails when a script of the project (scripts/, tests/) or a CMake file calls a program whose
Debian package scripts/setup.sh does not install: a package that its list and
scripts/packages.extra neither name nor pull in (as a dependency of one they name), and that
not every Debian has (priority "required"). Such a program is here only because someone
installed it by hand, and a fresh machine lacks it.

The commands are read from the scripts as words in command position (line start, after a pipe,
";", "&&", "||", "(", "$(", a keyword or a wrapper such as timeout); a word that is no program
on this machine (a function, a variable, a case pattern) is passed over.
Usage: check_programs.py SOURCE_DIR"""
import glob
import os
import re
import shlex
import shutil
import subprocess
import sys

root = os.path.abspath(sys.argv[1])
PUNCTUATION_CHARS = "();<>|&\n"
PUNCTUATION = set(PUNCTUATION_CHARS)
KEYWORDS = {"if", "then", "else", "elif", "fi", "do", "done", "while", "until", "for", "in",
            "case", "esac", "function", "return", "local", "export", "declare", "readonly"}
# Wrappers whose next word (after options and, for timeout, the duration) is a command too.
WRAPPERS = {"exec", "nice", "nohup", "timeout", "xargs", "env", "time", "command", "sudo"}


def strip_heredocs(text):
    """Drops here-document bodies (data or another language's code, not commands)."""
    out, end = [], None
    for line in text.split("\n"):
        if end is not None:
            if line.strip() == end:
                end = None
            continue
        m = re.search(r"<<-?\s*['\"]?(\w+)['\"]?", line.replace("<<<", ""))
        end = m.group(1) if m else None
        out.append(line)
    return "\n".join(out)


def commands_of_tokens(tokens):
    found, expect, wrapper, redirect = set(), True, None, False
    for tok in tokens:
        if not tok:
            continue
        if redirect:  # the file of a redirection
            redirect = False
            continue
        if set(tok) <= PUNCTUATION and tok[0] in "<>":
            redirect = True
            continue
        if set(tok) <= PUNCTUATION or tok in KEYWORDS or tok in ("{", "!"):
            expect, wrapper = tok != "in", None
            continue
        if not expect:
            continue
        if re.fullmatch(r"\w+=.*", tok) or (wrapper and (tok.startswith("-") or
                                                         (wrapper == "timeout" and
                                                          re.fullmatch(r"[\d.]+[smhd]?", tok)))):
            continue  # an assignment, or a wrapper's option
        if wrapper == "command" and tok == "-v":
            expect, wrapper = False, None
            continue
        found.add(tok)
        wrapper = tok if tok in WRAPPERS else None
        expect = wrapper is not None
    return found


def tokens_of(text):
    lex = shlex.shlex(text, posix=True, punctuation_chars=PUNCTUATION_CHARS)
    lex.whitespace = " \t\r"
    lex.commenters = ""
    return list(lex)


def commands_of_script(text):
    text = strip_heredocs(text).replace("\\\n", " ")
    text = "\n".join(re.sub(r"(^|\s)#.*", "", line) for line in text.split("\n"))
    # Command substitutions inside double quotes stay whole words for the lexer.
    found = set(re.findall(r"\$\(\s*([\w./+-]+)", text))
    try:
        return found | commands_of_tokens(tokens_of(text))
    except ValueError:  # a quote the lexer cannot follow: the file's lines one by one
        for line in text.split("\n"):
            try:
                found |= commands_of_tokens(tokens_of(line))
            except ValueError:
                pass
        return found


def listed_packages():
    setup = open(os.path.join(root, "scripts/setup.sh")).read()
    names = re.search(r"packages=\((.*?)\)", setup, re.S).group(1).split()
    extra = os.path.join(root, "scripts/packages.extra")
    if os.path.exists(extra):
        names += [l.strip() for l in open(extra) if l.strip() and not l.startswith("#")]
    return set(names)


def installed_by(listed):
    """The listed packages and what apt installs with them (Depends and Pre-Depends, no
    Recommends: setup.sh installs without them), as this machine's packages say. Of
    alternatives the first one installed here counts, as apt takes the first it can."""
    fields = subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Abbrev}\t${Package}\t${Provides}\t"
                             "${Depends}, ${Pre-Depends}\t${Priority}\n"], capture_output=True,
                            text=True).stdout
    depends, provider, required = {}, {}, set()
    for line in fields.splitlines():
        status, name, provides, deps, priority = line.split("\t")
        if status != "ii ":
            continue
        depends[name] = deps
        provider.update({v.split()[0]: name for v in provides.split(",") if v.strip()})
        if priority == "required":
            required.add(name)
    closure, todo = set(required), list(listed)
    while todo:
        name = todo.pop()
        if name in closure:
            continue
        closure.add(name)
        for group in depends.get(name, "").split(","):
            alternatives = [a.split()[0].split(":")[0] for a in group.split("|") if a.strip()]
            chosen = [a for a in alternatives if a in depends] or \
                [provider[a] for a in alternatives if a in provider]
            todo += chosen[:1]
    return closure


uses = {}  # program -> the files that call it
own_functions = set()
scripts = sorted(glob.glob(os.path.join(root, "scripts/**/*.sh"), recursive=True) +
                 glob.glob(os.path.join(root, "tests/**/*.sh"), recursive=True))
for path in scripts:
    text = open(path).read()
    own_functions |= set(re.findall(r"^\s*(?:function\s+)?([\w-]+)\s*\(\)", text, re.M))
    for word in commands_of_script(text):
        uses.setdefault(word, []).append(os.path.relpath(path, root))
cmake_files = []
for folder, subfolders, files in os.walk(root):  # not into the builds (a Wine prefix links to /)
    if folder == root:
        subfolders[:] = [d for d in subfolders if d not in ("build", ".git")]
    cmake_files += [os.path.join(folder, f) for f in files
                    if f == "CMakeLists.txt" or f.endswith(".cmake")]
for path in sorted(cmake_files):
    for word in re.findall(r"find_program\(\s*\w+\s+(?:NAMES\s+)?([\w+.-]+)", open(path).read()):
        uses.setdefault(word, []).append(os.path.relpath(path, root))
if "bash" not in uses or len(uses) < 10:
    sys.exit(f"found only {sorted(uses)} as commands: the reading of the scripts is broken")

builtins = set(subprocess.run(["bash", "-c", "compgen -b; compgen -k"], capture_output=True,
                              text=True).stdout.split())
# The PATH of a fresh machine's root, not this one's (which may hold programs of its own).
system_path = "/usr/sbin:/usr/bin:/sbin:/bin"
programs = {}  # program -> the paths that dpkg may know it by, along its chain of links
for word in sorted(set(uses) - builtins - own_functions):
    if "/" in word and not word.startswith("/"):
        continue  # a program of the build or of a test, not of the system
    path = shutil.which(word, path=system_path)
    if path is None:
        continue
    candidates = []
    for _ in range(10):  # /usr/bin/x is /bin/x on a merged /usr, and dpkg knows one of them
        candidates += [path, path[4:] if path.startswith("/usr/") else "/usr" + path]
        if not os.path.islink(path):
            break
        path = os.path.normpath(os.path.join(os.path.dirname(path), os.readlink(path)))
    programs[word] = candidates

owner = {}
query = sorted({p for c in programs.values() for p in c})
out = subprocess.run(["dpkg", "-S", *query], capture_output=True, text=True).stdout
for line in out.splitlines():
    m = re.fullmatch(r"([^\s:,]+)(?::\w+)?: (/.*)", line)
    if m:
        owner.setdefault(m.group(2), m.group(1))

listed = listed_packages()
installed = installed_by(listed)
problems = []
for word, candidates in sorted(programs.items()):
    where = ", ".join(uses[word])
    package = next((owner[p] for p in candidates if p in owner), None)
    if package is None:
        problems.append(f"{word} (called in {where}): {candidates[0]} is in no Debian package")
    elif package not in installed:
        problems.append(f"{word} (called in {where}) needs package {package}, which "
                        "scripts/setup.sh does not install: add it to scripts/packages.extra")
for p in problems:
    print(p, file=sys.stderr)
print(f"{len(programs)} programs called by the scripts, "
      f"{len(programs) - len(problems)} of them from packages that scripts/setup.sh installs")
sys.exit(1 if problems else 0)
