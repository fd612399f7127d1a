#!/usr/bin/env python3
"""Regenerates the golden detail pages under tests/data/pages/.

For each case it picks the first programme of the simulated site that shows
the feature, writes the page as the site serves it (`listings_site.py
--dump-detail`, raw EUC-JP) to <name>.html and the record a correct parser
makes of it to <name>.expected (CP932, "Field<TAB>value" lines, backslash,
CR, LF and TAB escaped byte-wise).  sources.txt lists the page behind each
name.

    python3 tools/make_golden_pages.py
"""

import datetime
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import listings_site as site  # noqa: E402

OUT = os.path.join(HERE, "..", "tests", "data", "pages")
DATE = "20261206"           # "today" for the dumps; the pages do not depend on it
FIRST_DAY = datetime.date(2026, 12, 6)


def has_hankaku(text):
    return any("\uff61" <= ch <= "\uff9f" for ch in text)


def names(p):
    return [n for _, ns in p.performers for n in ns]


def headed_groups(p):
    return [ns for h, ns in p.performers if h]


# (name, broadcast days to search, predicates): the first programme that
# satisfies a predicate and is not used yet becomes the page; the predicates
# are tried in order, the first ones asking for the more telling pages.
WEEK = [FIRST_DAY + datetime.timedelta(days=k) for k in range(8)]
CASES = [
    ("plain", [FIRST_DAY], [
        lambda p: p.title_prefix and p.subtitle and "　" not in p.subtitle and p.start < 720
        and len(p.performers) == 1 and p.performers[0][0] and len(names(p)) >= 2
        and not any(has_hankaku(t) for t in [p.title, p.subtitle, p.description, p.info] + names(p))
        and all(site.sjis_len(n) < 30 for n in names(p))]),
    ("no_subtitle", [FIRST_DAY], [
        lambda p: not p.subtitle and p.performers and p.description and p.duration >= 30]),
    # 30 November: the "深" start moves the day into December.
    ("after_midnight", [datetime.date(2026, 11, 30)], [
        lambda p: p.start >= 1440 + 60 and p.subtitle and p.performers]),
    ("afternoon", [FIRST_DAY], [
        lambda p: p.start >= 13 * 60 and p.end < 1440 and p.end % 60 and p.subtitle and p.performers]),
    ("headings", WEEK, [
        lambda p: p.performers and p.performers[0][0] == "" and len(headed_groups(p)) >= 2
        and all(len(ns) >= 2 for ns in headed_groups(p)),
        lambda p: len(headed_groups(p)) >= 2 and all(len(ns) >= 2 for ns in headed_groups(p))]),
    # Preferably with the name of 29 bytes in CP932 (38 in EUC-JP), which is kept.
    ("hankaku", WEEK, [
        lambda p: has_hankaku(p.title) and site.EDGE_NAMES[0] in names(p),
        lambda p: (has_hankaku(p.title) or has_hankaku(p.subtitle)) and site.EDGE_NAMES[0] in names(p),
        lambda p: has_hankaku(p.title) and any(has_hankaku(n) for n in names(p))]),
    ("no_performers", [FIRST_DAY], [
        lambda p: not p.performers and not p.title_prefix and p.subtitle and p.description]),
    # Preferably the name of exactly 30 bytes, the first length that is dropped.
    ("long_name", WEEK, [
        lambda p: site.EDGE_NAMES[1] in names(p) and len(names(p)) >= 3,
        lambda p: any(site.sjis_len(n) >= 30 for n in names(p)) and len(names(p)) >= 3]),
]

GROUPS = ["0002", "0004", "0003", "3001", "3003", "0001", "0005", "0203"]


def find(days, predicates, used):
    for predicate in predicates:
        for day in days:
            for group in GROUPS:
                for index in range(len(site.stations(group))):
                    for p in site.schedule(group, index, day):
                        if p.path not in used and predicate(p):
                            return p
    return None


def main():
    os.makedirs(OUT, exist_ok=True)
    used = set()
    sources = []
    for name, days, predicates in CASES:
        p = find(days, predicates, used)
        if p is None:
            print("no programme found for %s" % name, file=sys.stderr)
            return 1
        used.add(p.path)
        page = subprocess.run([sys.executable, os.path.join(HERE, "listings_site.py"), "--date", DATE,
                               "--dump-detail", p.path], check=True, stdout=subprocess.PIPE).stdout
        with open(os.path.join(OUT, name + ".html"), "wb") as f:
            f.write(page)
        with open(os.path.join(OUT, name + ".expected"), "wb") as f:
            f.write(site.truth_expected_file(site.truth(p)))
        sources.append("%s\t%s\n" % (name, p.path))
        print("%-15s %s" % (name, p.path))
    with open(os.path.join(OUT, "sources.txt"), "w", encoding="ascii", newline="\n") as f:
        f.writelines(sources)
    return 0


if __name__ == "__main__":
    sys.exit(main())
