#!/usr/bin/env python3
"""Lists the C++ functions longer than a limit (100 lines), from the opening line of the
definition to its closing brace.

    scripts/function-length.py [--limit N] [--allow FILE] PATH...

PATHs are files or folders (every *.cpp and *.h below). The allow-list names functions that may
still be too long, one `file function` a line (as this script prints them); `#` starts a comment.
Exits 1 when a function not on the list is too long, or when a listed one is no longer found too
long (so that the list only shrinks).

A heuristic, not a parser: comments, literals and preprocessor lines are blanked, and a brace
block at namespace or class level whose head has a parameter list is taken as a function body.
"""

import argparse
import pathlib
import re
import sys

SCOPE_HEAD = re.compile(r"\b(namespace|class|struct|union|enum)\b|^\s*extern\s*$")
ACCESS = re.compile(r"^\s*(?:(?:public|protected|private)(?:\s+(?:slots|Q_SLOTS))?|signals|Q_SIGNALS)\s*:(?!:)")
NAME = re.compile(r"((?:[A-Za-z_~][\w]*\s*::\s*)*(?:operator\s*[^\s(]+|~?[A-Za-z_]\w*))\s*(?:<[^()]*>)?\s*\($")


def blank_code(text):
    """The text with comments, string and character literals and preprocessor lines replaced by
    spaces, line breaks kept, so that only the code's own braces and parentheses remain."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            # A directive runs to the end of its line, continuations included.
            while i < n and not (text[i] == "\n" and text[i - 1] != "\\"):
                out.append("\n" if text[i] == "\n" else " ")
                i += 1
            continue
        if c == "\n":
            line_start = True
            out.append(c)
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out.append(" ")
                i += 1
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.extend("\n" if ch == "\n" else " " for ch in text[i:end])
            i = end
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^(\s]*)\(', text[i:i + 24])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            end = text.find(")" + raw.group(1) + '"', i + raw.end())
            end = n if end < 0 else end + len(raw.group(1)) + 2
            out.extend("\n" if ch == "\n" else " " for ch in text[i:end])
            i = end
            continue
        if c == "'" and is_digit_separator(text, i):
            out.append(" ")
            i += 1
            continue
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(" " * (min(j, n - 1) - i + 1))
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


def is_digit_separator(text, i):
    j = i
    while j > 0 and (text[j - 1].isalnum() or text[j - 1] in "_."):
        j -= 1
    return j < i and text[j].isdigit()


def matching_brace(code, i):
    depth = 0
    for j in range(i, len(code)):
        if code[j] == "{":
            depth += 1
        elif code[j] == "}":
            depth -= 1
            if depth == 0:
                return j
    return len(code) - 1


def without_templates(flat):
    """`flat` without its `template <...>` heads, whose `class` is not a class."""
    while (start := flat.find("template")) >= 0 and "<" in flat[start:]:
        i, depth = flat.index("<", start), 0
        for j in range(i, len(flat)):
            depth += {"<": 1, ">": -1}.get(flat[j], 0)
            if depth == 0:
                break
        flat = flat[:start] + flat[j + 1:]
    return flat


def is_scope(head):
    return bool(SCOPE_HEAD.search(without_templates(" ".join(head.split())).split("(")[0] + " "))


def function_name(head):
    """The name of the function whose definition starts with `head` (the text before its body),
    or None when the block is not a function body."""
    flat = " ".join(head.split())
    if not flat or is_scope(flat):
        return None
    if flat.count("(") != flat.count(")") or ")" not in flat:
        return None
    before_paren = flat.split("(")[0]
    if "=" in before_paren and "operator" not in before_paren:
        return None  # an initialiser, not a definition
    # The name stands before the first parenthesis at the outermost level.
    match = NAME.search(flat[: flat.index("(") + 1])
    return "".join(match.group(1).split()) if match else None


def functions(code):
    """(name, first line, last line) of each function body at namespace or class level."""
    found = []
    head_start = 0
    i = 0
    while i < len(code):
        c = code[i]
        if c in ";}":
            head_start = i + 1
        elif c == "{":
            head = code[head_start:i]
            name = function_name(head)
            end = matching_brace(code, i)
            if name is None:
                if is_scope(head):
                    head_start = i + 1  # step into the namespace or class
                else:
                    i = end  # an initialiser list or the like: skip it whole
                i += 1
                continue
            rest = code[end + 1:].lstrip()
            if rest[:1] in (",", "{"):
                i = end + 1  # a braced member initialiser: the body comes later
                continue
            start = head_start + len(head) - len(ACCESS.sub("", head, count=1).lstrip())
            first = code.count("\n", 0, start) + 1
            found.append((name, first, code.count("\n", 0, end) + 1))
            head_start = end + 1
            i = end
        i += 1
    return found


def sources(paths):
    for path in paths:
        p = pathlib.Path(path)
        if p.is_dir():
            yield from sorted(q for q in p.rglob("*") if q.suffix in (".cpp", ".h"))
        else:
            yield p


def read_allowed(path):
    allowed = set()
    if path:
        for line in pathlib.Path(path).read_text().splitlines():
            line = line.split("#")[0].strip()
            if line:
                allowed.add(tuple(line.split(None, 1)))
    return allowed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--limit", type=int, default=100)
    parser.add_argument("--allow", help="file naming the functions that may still be too long")
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()
    allowed = read_allowed(args.allow)

    failed = False
    too_long = set()
    for path in sources(args.paths):
        code = blank_code(path.read_text(encoding="utf-8"))
        for name, first, last in functions(code):
            length = last - first + 1
            if length <= args.limit:
                continue
            key = (path.as_posix(), name)
            too_long.add(key)
            listed = key in allowed
            failed |= not listed
            print(f"{path}:{first}: {name} is {length} lines long (at most {args.limit})"
                  + (" [allowed for now]" if listed else ""))
    for path, name in sorted(allowed - too_long):
        print(f"{args.allow}: '{path} {name}' is no longer too long: take it off the list")
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
