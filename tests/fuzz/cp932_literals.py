#!/usr/bin/env python3
"""cp932_literals.py SOURCE OUTPUT

Copies a UTF-8 C++ source for clang, which knows no -fexec-charset=CP932: each
non-ASCII character of a narrow literal becomes three-digit octal escapes of its
CP932 bytes. Comments and u8/u/U/L literals stay; #line keeps the file's name.
"""

import os
import sys


def convert(text, name="<source>"):
    out, i, n = [], 0, len(text)

    def fail(what):
        sys.exit("cp932_literals: %s:%d: %s" % (name, text.count("\n", 0, i) + 1, what))

    while i < n:
        c = text[i]
        if text.startswith("//", i) or text.startswith("/*", i):
            line_comment = text[i + 1] == "/"
            end = text.find("\n" if line_comment else "*/", i + 2)
            end = n if end < 0 else end if line_comment else end + 2
            out.append(text[i:end])
            i = end
            continue
        if c not in "\"'":
            if ord(c) > 0x7F:
                fail("non-ASCII character outside literals and comments")
            out.append(c)
            i += 1
            continue
        start = i
        while start > 0 and (text[start - 1].isalnum() or text[start - 1] == "_"):
            start -= 1
        prefix = text[start:i]
        narrow = not prefix.startswith(("u", "U", "L"))
        if c == "'" and prefix[:1].isdigit():  # a digit separator such as 1'000
            out.append(c)
            i += 1
        elif c == '"' and prefix.endswith("R"):  # raw string: no escapes, copied whole
            paren = text.find("(", i)
            end = text.find(")" + text[i + 1:paren] + '"', paren)
            if paren < 0 or end < 0:
                fail("unterminated raw string")
            end += paren - i + 1
            if narrow and any(ord(ch) > 0x7F for ch in text[i:end]):
                fail("non-ASCII text in a narrow raw string")
            out.append(text[i:end])
            i = end
        else:
            out.append(c)
            i += 1
            while i < n and text[i] != c:
                if text[i] == "\n":
                    fail("line break inside a literal")
                step = 2 if text[i] == "\\" else 1
                piece = text[i:i + step]
                if narrow and ord(piece[0]) > 0x7F:
                    try:
                        piece = "".join("\\%03o" % b for b in piece.encode("cp932"))
                    except UnicodeEncodeError:
                        fail("U+%04X has no code page 932 form" % ord(piece))
                out.append(piece)
                i += step
            if i >= n:
                fail("unterminated literal")
            out.append(c)
            i += 1
    return "".join(out)


def main(argv):
    if len(argv) != 3:
        return __doc__.splitlines()[0]
    source, output = argv[1], argv[2]
    with open(source, encoding="utf-8", newline="") as f:
        converted = convert(f.read(), source)
    directive = '#line 1 "%s"\n' % os.path.abspath(source).replace("\\", "\\\\").replace('"', '\\"')
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output + ".tmp", "w", encoding="utf-8", newline="") as f:
        f.write(directive + converted)
    os.replace(output + ".tmp", output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
