#!/usr/bin/env python3
"""Copies a UTF-8 C++ source for clang, whose only execution character set is
UTF-8, so that its narrow literals hold the code page 932 bytes that gcc's
-fexec-charset=CP932 gives them.

Every non-ASCII character inside a narrow string or character literal becomes
three-digit octal escapes of its CP932 bytes (three digits, so a digit that
follows is never swallowed). Comments, line breaks and prefixed literals (u8,
u, U, L, raw) stay as they are; a #line directive names the original file so
that diagnostics and sanitizer reports point at it.

    cp932_literals.py SOURCE OUTPUT
"""

import os
import sys


class ConversionError(Exception):
    pass


def _escape(ch, where):
    try:
        data = ch.encode("cp932")
    except UnicodeEncodeError:
        raise ConversionError("%s: U+%04X has no code page 932 form" % (where, ord(ch)))
    return "".join("\\%03o" % b for b in data)


def _prefix_before(text, i):
    """The identifier characters right in front of position i."""
    j = i
    while j > 0 and (text[j - 1].isalnum() or text[j - 1] == "_"):
        j -= 1
    return text[j:i]


def convert(text, name="<source>"):
    out = []
    i = 0
    n = len(text)
    line = 1

    def where():
        return "%s:%d" % (name, line)

    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            out.append(c)
            i += 1
        elif text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            out.append(text[i:end])
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(text[i:end])
            line += text.count("\n", i, end)
            i = end
        elif c == '"' or c == "'":
            prefix = _prefix_before(text, i)
            if c == "'" and prefix[:1].isdigit():
                out.append(c)  # a digit separator such as 1'000
                i += 1
                continue
            if c == '"' and prefix.endswith("R"):
                # Raw string: no escapes inside, so it is copied whole.
                open_paren = text.find("(", i)
                delimiter = text[i + 1:open_paren]
                end = text.find(")" + delimiter + '"', open_paren)
                if open_paren < 0 or end < 0:
                    raise ConversionError("%s: unterminated raw string" % where())
                end += len(delimiter) + 2
                literal = text[i:end]
                if not prefix.startswith(("u", "U", "L")) and any(ord(ch) > 0x7F for ch in literal):
                    raise ConversionError("%s: non-ASCII text in a narrow raw string" % where())
                out.append(literal)
                line += literal.count("\n")
                i = end
                continue
            narrow = not prefix.startswith(("u", "U", "L"))
            out.append(c)
            i += 1
            while i < n and text[i] != c:
                ch = text[i]
                if ch == "\n":
                    raise ConversionError("%s: line break inside a literal" % where())
                if ch == "\\" and i + 1 < n:
                    out.append(text[i:i + 2])
                    if text[i + 1] == "\n":
                        line += 1
                    i += 2
                    continue
                out.append(_escape(ch, where()) if narrow and ord(ch) > 0x7F else ch)
                i += 1
            if i >= n:
                raise ConversionError("%s: unterminated literal" % where())
            out.append(c)
            i += 1
        else:
            if ord(c) > 0x7F:
                raise ConversionError("%s: non-ASCII character outside literals and comments" % where())
            out.append(c)
            i += 1
    return "".join(out)


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    source, output = argv[1], argv[2]
    with open(source, encoding="utf-8", newline="") as f:
        text = f.read()
    try:
        converted = convert(text, source)
    except ConversionError as e:
        print("cp932_literals: %s" % e, file=sys.stderr)
        return 1
    directive = '#line 1 "%s"\n' % os.path.abspath(source).replace("\\", "\\\\").replace('"', '\\"')
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    temporary = output + ".tmp"
    with open(temporary, "w", encoding="utf-8", newline="") as f:
        f.write(directive + converted)
    os.replace(temporary, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
