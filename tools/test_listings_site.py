"""Tests of the listings site simulator (tools/listings_site.py).

Run from the project root:  python3 -m unittest tools/test_listings_site.py
"""

import datetime
import http.client
import json
import os
import re
import socket
import subprocess
import sys
import threading
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
SITE = os.path.join(HERE, "listings_site.py")
PAGES = os.path.join(HERE, "..", "tests", "data", "pages")
sys.path.insert(0, HERE)
import listings_site as site  # noqa: E402

LINK = b"/genre/detail.php3?"
TODAY = "20261206"


def grid(group, jikan, genre="all", hiduke=None, page=None):
    path = ("/program/gridNormal.php?frame=off&tikicd=%s&way=h&genre=%s&hour_select=6&s_jikan=%s"
            % (group, genre, jikan))
    if hiduke:
        path += "&s_hiduke=" + hiduke
    if page:
        path += "&page=%d" % page
    return path


class Site:
    """The simulator in its own process, on a free loopback port."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([sys.executable, SITE, "--port", "0"] + list(args),
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        line = self.proc.stdout.readline().decode("ascii")
        m = re.search(r"127\.0\.0\.1:(\d+)", line)
        if not m:
            self.proc.kill()
            raise RuntimeError("simulator did not start: %r" % line)
        self.port = int(m.group(1))

    def stop(self):
        self.proc.terminate()
        self.proc.wait(5)
        self.proc.stdout.close()

    def get(self, path):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=20)
        try:
            conn.request("GET", path)
            r = conn.getresponse()
            return r.status, r.getheader("Content-Type"), r.read()
        finally:
            conn.close()

    def body(self, path):
        status, _, body = self.get(path)
        assert status == 200, (status, path)
        return body

    def json(self, path):
        return json.loads(self.body(path).decode("utf-8"))

    def grid_truth(self, path):
        return self.json("/_truth/grid?path=" + urllib.parse.quote(path, safe=""))

    def detail_truth(self, path):
        return self.json("/_truth/detail?path=" + urllib.parse.quote(path, safe=""))

    def raw(self, path):
        """(bytes received, error) of a plain request read to the end."""
        s = socket.create_connection(("127.0.0.1", self.port), timeout=10)
        data, error = b"", None
        try:
            s.sendall(("GET %s HTTP/1.1\r\nHost: listings\r\n\r\n" % path).encode("ascii"))
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        except OSError as e:
            error = e
        finally:
            s.close()
        return data, error


def links(page):
    """Link queries of a grid page the way the program takes them, with a
    link equal to the one just before it dropped."""
    out, pos = [], 0
    while True:
        i = page.find(LINK, pos)
        if i < 0:
            return out
        i += len(LINK)
        query = page[i:i + 100].split(b'"', 1)[0]
        pos = i + len(query)
        path = (LINK + query).decode("ascii")
        if not out or out[-1] != path:
            out.append(path)


# ---------------------------------------------------------------------------
# The program's detail page walk, written again from its description.

def euc_to_cp932(data):
    out = bytearray()
    i = 0
    while i < len(data):
        c1 = data[i]
        if c1 < 0x80:
            out.append(c1)
            i += 1
            continue
        if i + 1 == len(data):
            break
        c2 = data[i + 1]
        if c1 == 0x8E:
            out.append(c2)                    # half-width katakana: one byte
        elif c1 % 2:
            out += bytes([(c1 >> 1) + (0x31 if c1 <= 0xDE else 0x71), c2 - (0x61 if c2 < 0xE0 else 0x60)])
        else:
            out += bytes([(c1 >> 1) + (0x30 if c1 <= 0xDE else 0x70), c2 - 2])
        i += 2
    return bytes(out)


def strtol2(two):
    """Decimal value of a two-byte window the way strtol reads it."""
    s = two.split(b"\0", 1)[0].lstrip(b" \t\n\v\f\r")
    sign = 1
    if s[:1] in (b"+", b"-"):
        sign = -1 if s[:1] == b"-" else 1
        s = s[1:]
    digits = re.match(rb"\d*", s).group(0)
    return sign * int(digits) if digits else 0


IDEO = "　".encode("cp932")
SOLIDUS = "／".encode("cp932")
DOT = "・".encode("cp932")


class MissingMarker(Exception):
    """A marker the walk takes for granted once the one before it was found."""


def walk(page_euc):
    """Record fields (CP932 bytes, numbers) that the marker walk cuts out.
    Pages that lack a marker taken for granted raise MissingMarker."""
    page = euc_to_cp932(page_euc)
    size = len(page)
    b = page + b"\0" * 8

    def find(marker, start, end=None):
        i = page.find(marker, start, size if end is None else end)
        return i

    def need(marker, start):
        i = find(marker, start)
        if i < 0:
            raise MissingMarker(marker)
        return i

    r = {"Station": b"", "Month": 0, "Day": 0, "StartHour": 0, "StartMinute": 0, "EndHour": 0,
         "EndMinute": 0, "Title": b"", "Subtitle": b"", "Performers": b"", "Other": b""}
    i = find(b'<TD class="gtitle">', 0)
    if i < 0:
        return r
    p = i + 20
    cut = need(IDEO, p)
    br = find(b"<BR>", p, cut)
    if br >= 0:
        p = br + 4
    if cut - p < 255:
        r["Title"] = b[p:cut]
    p = cut + 2
    tab = find(b"\t", p + 1)
    if tab < 0:
        tab = size                              # runs to the end of the page
    subtitle = b[p:tab]
    if 2 <= len(subtitle) < 254:
        r["Subtitle"] = subtitle
    p = tab + 1
    t = find(b'<TABLE cellSpacing="1" cellPadding="0" border="0" width="590">', p)
    if t >= 0:
        p = need(b'<TR><TD class="genre">', t + 1) + 22
        r["Month"] = max(0, strtol2(b[p:p + 2]))
        r["Day"] = max(0, strtol2(b[p + 3:p + 5]))
        p += 5
    s = find(IDEO, p)
    if s >= 0:
        p = s + 2
        hour = 12 if b[p] == 0x8C else 0
        n = strtol2(b[p + 2:p + 4])
        r["StartHour"] = 0 if n < 0 else hour + n
        r["StartMinute"] = max(0, strtol2(b[p + 5:p + 7]))
        if b[p] == 0x90:
            r["Day"] += 1
            m, d = r["Month"], r["Day"]
            if d >= 29:
                if m in (1, 3, 5, 7, 8, 10) and d > 31:
                    r["Month"], r["Day"] = m + 1, d - 31
                elif m == 2 and d > 28:
                    r["Month"], r["Day"] = 3, d - 28
                elif m in (4, 6, 9, 11) and d > 30:
                    r["Month"], r["Day"] = m + 1, d - 30
                elif m == 12 and d > 31:
                    r["Month"], r["Day"] = 1, d - 31
        p += 7
    e = find(b"&gt;&gt; ", p)
    if e >= 0:
        p = e + 9
        hour = 12 if b[p] == 0x8C else 0
        n = strtol2(b[p + 2:p + 4])
        r["EndHour"] = 0 if n < 0 else hour + n
        r["EndMinute"] = max(0, strtol2(b[p + 5:p + 7]))
        p += 7
    s = find(b" " + IDEO, p)
    if s >= 0:
        p = s + 3
        slash = need(b"/", p + 1)
        if slash - 1 - p < 30:
            r["Station"] = b[p:slash - 1]
        p = slash + 1
    start, end = need(b"<BR>", p) + 4, need(b"</TD>", p) - 1
    r["Other"] = (b[start:end] if start < end else b"") + b"\r\n"
    performer = b"/program/listPerformer.php?"
    info = True
    if find(performer, p) >= 0:
        perf = b""
        while True:
            nxt = find(performer, p)
            if nxt < 0:
                break
            h = find(SOLIDUS, p, nxt)            # a heading only before the next link
            if h >= 0:
                if perf.endswith(DOT):
                    perf = perf[:-2]
                q = h
                while b[q - 2] != ord(">"):
                    q -= 1
                    if q < 2:
                        raise MissingMarker(b">")
                perf += b[q:h + 2]
                p = h + 3
            nxt = find(performer, p)
            if nxt < 0:
                info = False
                break
            p = need(b">", nxt) + 1
            lt = need(b"<", p + 1)
            if lt - p < 30:
                perf += b[p:lt] + DOT
            p = lt + 1
        r["Performers"] = perf[:-2]
    if info:
        m = find(b"<!--info2 from  here-->", p)
        if m >= 0:
            start = need(b'<TD class="genre">', m) + 19
            end = need(b"</TD>", start) - 1
            r["Other"] += b[start:end][:999]
    return r


def as_fields(record):
    """A truth record in the walk's form: texts as CP932 bytes."""
    return {k: (v.encode("cp932") if isinstance(v, str) else v) for k, v in record.items()
            if k != "DetailPath"}


def unescape(data):
    return re.sub(rb"\\(.)", lambda m: {b"\\": b"\\", b"r": b"\r", b"n": b"\n", b"t": b"\t"}[m.group(1)],
                  data)


def absolute(record, year):
    """Start and end of a truth record as datetimes (no programme runs a day)."""
    start = datetime.datetime(year, record["Month"], record["Day"], record["StartHour"], record["StartMinute"])
    end = start.replace(hour=record["EndHour"], minute=record["EndMinute"])
    if end <= start:
        end += datetime.timedelta(days=1)
    return start, end


def has_hankaku(data):
    """True when CP932 bytes hold a single-byte katakana."""
    i = 0
    while i < len(data):
        c = data[i]
        if 0xA1 <= c <= 0xDF:
            return True
        i += 2 if (0x81 <= c <= 0x9F or 0xE0 <= c <= 0xFC) else 1
    return False


# ---------------------------------------------------------------------------

class ListingsSiteTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.site = Site("--date", TODAY, "--hour", "12")

    @classmethod
    def tearDownClass(cls):
        cls.site.stop()

    def test_same_address_gives_same_bytes_across_requests_and_restarts(self):
        grids = [grid("0002", "190000"), grid("3001", "050000", "C", "20261209"),
                 grid("3003", "230000", page=2), grid("0A01", "290000", "J", "20261213")]
        details = [links(self.site.body(g))[k] for g, k in ((grids[0], 5), (grids[2], 0), (grids[3], -1))]
        paths = grids + details + ["/_truth/grid?path=" + urllib.parse.quote(grids[2], safe="")]
        paths += ["/_truth/detail?path=" + urllib.parse.quote(d, safe="") + "&format=tsv" for d in details]
        first = [self.site.body(p) for p in paths]
        again = Site("--date", TODAY)
        try:
            self.assertEqual([self.site.body(p) for p in paths], first)
            self.assertEqual([again.body(p) for p in paths], first)
        finally:
            again.stop()

    def test_tokyo_evening_grid_links_valid_pages_that_tile_every_station(self):
        path = grid("0002", "190000")
        status, ctype, page = self.site.get(path)
        self.assertEqual((status, ctype), (200, "text/html; charset=EUC-JP"))
        found = links(page)
        truths = self.site.grid_truth(path)
        self.assertEqual(found, [t["DetailPath"] for t in truths])
        self.assertGreater(page.count(LINK), len(found), "no programme is linked twice in a row")
        by_station = {}
        for path_, t in zip(found, truths):
            self.assertLessEqual(len(path_), 51, path_)
            self.assertNotRegex(path_, r"[\s<>]|&amp;")
            status, ctype, body = self.site.get(path_)
            self.assertEqual((status, ctype), (200, "text/html; charset=EUC-JP"))
            body.decode("euc_jp")                      # strict: raises on a bad byte
            by_station.setdefault(t["Station"], []).append(absolute(t, 2026))
        self.assertEqual(list(by_station), [n for n, _ in site.stations("0002")])
        window = (datetime.datetime(2026, 12, 6, 19), datetime.datetime(2026, 12, 7, 1))
        for station, spans in by_station.items():
            self.assertLessEqual(spans[0][0], window[0], station)
            self.assertGreater(spans[0][1], window[0], station)
            self.assertGreaterEqual(spans[-1][1], window[1], station)
            self.assertLess(spans[-1][0], window[1], station)
            for (s1, e1), (s2, e2) in zip(spans, spans[1:]):
                self.assertEqual(e1, s2, "gap or overlap on %s" % station)
            for s, e in spans:
                self.assertTrue(datetime.timedelta(minutes=5) <= e - s <= datetime.timedelta(hours=3))

    def test_genre_filter_keeps_exactly_the_programmes_of_the_genre(self):
        everything = [t["DetailPath"] for t in self.site.grid_truth(grid("0002", "190000"))]
        seen = set()
        labels_checked = 0
        for code, label in site.GENRES:
            path = grid("0002", "190000", code)
            page = self.site.body(path)
            chosen = links(page)
            self.assertEqual(chosen, [t["DetailPath"] for t in self.site.grid_truth(path)], code)
            self.assertFalse(seen & set(chosen), "%s repeats programmes of another genre" % code)
            seen |= set(chosen)
            it = iter(everything)
            self.assertTrue(all(c in it for c in chosen), "%s is not in grid order" % code)
            for c in chosen:
                text = self.site.body(c).decode("euc_jp")
                m = re.search(r'<TD class="gtitle">\n<span>([^<]*)</span><BR>', text)
                if m:
                    self.assertEqual(m.group(1), label, c)
                    labels_checked += 1
        self.assertEqual(seen, set(everything))
        self.assertGreater(labels_checked, len(everything) // 2)

    def test_windows_after_midnight_carry_the_calendar_dates(self):
        # (today, s_hiduke, window): each record must start inside or run into
        # its window when read with the calendar date it carries.
        cases = [
            ("20261206", None, "230000"),
            ("20261206", "20261208", "250000"),
            ("20261206", "20261213", "290000"),      # the next calendar day's morning
            ("20261130", None, "250000"),            # into December
            ("20261231", None, "270000"),            # into the new year
            ("20270228", "20270228", "230000"),
        ]
        for today, hiduke, jikan in cases:
            with self.subTest(today=today, window=jikan):
                day = datetime.datetime.strptime(hiduke or today, "%Y%m%d")
                begin = day + datetime.timedelta(hours=int(jikan[:2]))
                req = site.parse_grid(grid("0002", jikan, hiduke=hiduke),
                                      datetime.datetime.strptime(today, "%Y%m%d").date())
                records = site.grid_truth(req)
                self.assertGreater(len(records), 20)
                for t in records:
                    start, end = absolute(t, day.year + (1 if t["Month"] < day.month else 0))
                    self.assertLess(start, begin + datetime.timedelta(hours=6), t["DetailPath"])
                    self.assertGreater(end, begin, t["DetailPath"])
                    p = site.programme_for_query(t["DetailPath"])
                    self.assertEqual(as_fields(t), walk(site.detail_page(p)), t["DetailPath"])

    def test_leap_february_night_follows_the_page_not_the_calendar(self):
        # The page has no year, so a "深" start on 28 February becomes 1 March.
        req = site.parse_grid(grid("0002", "250000"), datetime.date(2028, 2, 28))
        checked = 0
        for t in site.grid_truth(req):
            p = site.programme_for_query(t["DetailPath"])
            if p.date == datetime.date(2028, 2, 28) and p.start >= 24 * 60:
                self.assertEqual((t["Month"], t["Day"]), (3, 1))
                self.assertEqual(walk(site.detail_page(p))["Day"], 1)
                checked += 1
        self.assertGreater(checked, 10)

    def test_marker_walk_on_served_pages_yields_the_truth(self):
        grids = [grid("0002", "190000"), grid("3001", "050000"), grid("0004", "250000", hiduke="20261207")]
        grids += [grid("3003", "170000", page=k) for k in (1, 2, 3)]
        seen = set()
        for g in grids:
            for path in links(self.site.body(g)):
                page = self.site.body(path)
                record = walk(page)
                self.assertEqual(record, as_fields(self.site.detail_truth(path)), path)
                p = site.programme_for_query(path)
                headed = [names for heading, names in p.performers if heading]
                if len(headed) >= 2 and all(len(names) >= 2 for names in headed):
                    seen.add("several headings with several names")
                if headed and not p.performers[0][0]:
                    seen.add("names before a heading")
                if any(has_hankaku(record[k]) for k in ("Title", "Subtitle", "Performers", "Other")):
                    seen.add("half-width katakana")
                if any(site.sjis_len(n) >= 30 for _, names in p.performers for n in names):
                    seen.add("a name left out")
                if not record["Subtitle"]:
                    seen.add("no subtitle")
                if b'<TD class="gtitle">\n<span>' not in page:
                    seen.add("title cell without prefix")
                if record["StartHour"] < 5:
                    seen.add("after midnight")
        self.assertEqual(seen, {"several headings with several names", "names before a heading",
                                "half-width katakana", "a name left out", "no subtitle",
                                "title cell without prefix", "after midnight"})

    def test_golden_pages_are_current_and_walk_to_their_expected_records(self):
        with open(os.path.join(PAGES, "sources.txt"), encoding="ascii") as f:
            sources = [line.rstrip("\n").split("\t") for line in f if line.strip()]
        self.assertGreaterEqual(len(sources), 6)
        for name, path in sources:
            with self.subTest(page=name):
                with open(os.path.join(PAGES, name + ".html"), "rb") as f:
                    page = f.read()
                with open(os.path.join(PAGES, name + ".expected"), "rb") as f:
                    lines = f.read().split(b"\n")
                self.assertEqual(page, self.site.body(path))
                expected = {}
                for line in filter(None, lines):
                    key, value = line.split(b"\t")
                    expected[key.decode("ascii")] = unescape(value)
                got = walk(page)
                self.assertEqual(list(expected), [k for k in site.TRUTH_FIELDS[1:]])
                self.assertEqual({k: str(v).encode("ascii") if isinstance(v, int) else v
                                  for k, v in got.items()}, expected)

    def test_addresses_the_site_does_not_know_give_pages_without_links(self):
        good = grid("0002", "190000")
        bad = [good.replace("tikicd=0002", "tikicd=0007"), good.replace("genre=all", "genre=X"),
               good.replace("s_jikan=190000", "s_jikan=200000"), good.replace("&way=h", ""),
               good.replace("frame=off", "frame=on"), good + "&s_hiduke=20261214",
               good + "&s_hiduke=20261205", good + "&s_hiduke=2026126", grid("3003", "190000", page=4),
               grid("0002", "190000", page=2), "/program/gridNormal.php"]
        for path in bad:
            with self.subTest(path=path):
                status, ctype, body = self.site.get(path)
                self.assertEqual(status, 200)
                self.assertIn(b"</html>", body)
                self.assertNotIn(LINK, body)
                self.assertEqual(self.site.grid_truth(path), [])
        for path in ["/genre/detail.php3?id=0002-20261206-00-1901", "/genre/detail.php3?id=0002-20261206-99-1900",
                     "/genre/detail.php3?id=9999-20261206-00-1900", "/genre/detail.php3?x=1"]:
            with self.subTest(path=path):
                self.assertNotIn(b'<TD class="gtitle">', self.site.body(path))
        self.assertTrue(links(self.site.body(good + "&s_hiduke=20261213")))
        self.assertTrue(links(self.site.body(grid("3003", "190000"))))      # page 1 by default

    def test_small_hours_show_the_previous_broadcast_day(self):
        night = Site("--date", TODAY, "--hour", "2")
        try:
            records = night.grid_truth(grid("0002", "190000"))
            self.assertEqual({(t["Month"], t["Day"]) for t in records if t["StartHour"] >= 19}, {(12, 5)})
            self.assertTrue(links(night.body(grid("0002", "190000", hiduke="20261212"))))
            self.assertFalse(links(night.body(grid("0002", "190000", hiduke="20261213"))))
        finally:
            night.stop()

    def test_generated_data_keeps_the_layout_rules(self):
        day = datetime.date(2026, 12, 6)
        groups = [code for _, code in site.REGIONS] + [site.GROUP_BS, site.GROUP_CS]
        for group in groups:
            names = [n for n, _ in site.stations(group)]
            if group == site.GROUP_BS:
                self.assertGreaterEqual(len(names), 10)
                self.assertTrue({"ＷＯＷＯＷ", "ＮＨＫ衛星第一", "ＮＨＫ衛星第二"} <= set(names))
            elif group == site.GROUP_CS:
                self.assertEqual(len(names), 30)
            else:
                self.assertTrue(6 <= len(names) <= 9, group)
            self.assertEqual(len(set(names)), len(names), group)
            for n in names:
                self.assertTrue(not set(n) & set("　 /") and len(n.encode("cp932")) < 30, n)
        for group in ["0002", "0906", site.GROUP_BS, site.GROUP_CS]:
            for index in range(len(site.stations(group))):
                for p in site.schedule(group, index, day):
                    texts = [p.title, p.description] + [n for _, ns in p.performers for n in ns]
                    for text in texts + [p.subtitle, p.info]:
                        self.assertEqual(site.euc_to_sjis(text.encode("euc_jp")), text.encode("cp932"), text)
                        self.assertFalse(set(text) & set("\t<>&\"@^\\"), text)
                    for text in texts:
                        self.assertFalse(set(text) & set("　／/"), text)
                    self.assertNotIn("／", p.info)
                    t = site.truth(p)
                    for key, limit in (("Title", 254), ("Subtitle", 253), ("Performers", 999), ("Other", 999)):
                        self.assertLess(len(t[key].encode("cp932")), limit, p.path)
        pages = [site.grid_programmes(site.parse_grid(grid("3003", "190000", page=k), day)) for k in (1, 2, 3)]
        self.assertEqual([len(pg) for pg in pages], [10, 10, 10])
        self.assertEqual(len({s for pg in pages for s, _ in pg}), 30)


class FaultTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.site = Site("--date", TODAY)
        cls.grid = grid("0002", "190000")
        cls.details = links(cls.site.body(cls.grid))

    @classmethod
    def tearDownClass(cls):
        cls.site.stop()

    def setUp(self):
        self.assertEqual(self.site.json("/_control?reset=1")["close_rate"], 0.0)

    def control(self, query):
        return self.site.json("/_control" + query)

    def test_connection_faults(self):
        def closed(data, error):
            self.assertEqual((data, error), (b"", None))

        def reset(data, error):
            self.assertEqual(data, b"")
            self.assertIsInstance(error, ConnectionResetError)

        def error500(data, error):
            self.assertIsNone(error)
            self.assertTrue(data.startswith(b"HTTP/1.1 500 "), data[:40])
            self.assertNotIn(LINK, data)

        def cut(data, error):
            head, _, body = data.partition(b"\r\n\r\n")
            length = int(re.search(rb"Content-Length: (\d+)", head).group(1))
            self.assertTrue(head.startswith(b"HTTP/1.1 200 "))
            self.assertTrue(0 < len(body) < length, (len(body), length))

        for query, check in [("close_rate=1", closed), ("reset_rate=1", reset),
                             ("error500_rate=1", error500), ("cut_rate=1", cut)]:
            with self.subTest(query):
                self.control("?reset=1&" + query)
                for path in (self.grid, self.details[0]):
                    check(*self.site.raw(path))
        self.control("?reset=1")
        data, error = self.site.raw(self.grid)
        self.assertIsNone(error)
        self.assertIn(LINK, data)

    def test_fault_seed_fixes_which_requests_fail(self):
        def outcomes():
            self.control("?reset=1&close_rate=0.5&fault_seed=7")
            return [self.site.raw(self.details[0])[0] == b"" for _ in range(24)]

        first = outcomes()
        self.assertEqual(outcomes(), first)
        self.assertTrue(0 < sum(first) < len(first), first)

    def test_latency_and_requests_in_flight(self):
        self.control("?latency_ms=500")
        self.site.json("/_stats/clear")
        self.site.body("/_log/clear")
        started = time.monotonic()
        bodies = []
        threads = [threading.Thread(target=lambda p=p: bodies.append(self.site.body(p)))
                   for p in self.details[:6]]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        elapsed = time.monotonic() - started
        self.assertGreaterEqual(elapsed, 0.5)
        self.assertLess(elapsed, 2.5, "requests were not served in parallel")
        stats = self.site.json("/_stats")
        self.assertEqual((stats["requests"], stats["in_flight"], stats["max_in_flight"]), (6, 0, 6))
        self.assertGreater(stats["bytes_sent"], sum(len(b) for b in bodies))
        logged = self.site.body("/_log").decode("ascii").splitlines()
        self.assertEqual(sorted(logged), sorted(self.details[:6]))

    def test_log_lists_site_requests_in_order(self):
        self.site.body("/_log/clear")
        paths = [self.details[3], self.grid, "/nothing-here", self.details[1]]
        for p in paths:
            self.site.get(p)
            self.site.json("/_stats")
        self.assertEqual(self.site.body("/_log").decode("ascii").splitlines(), paths)
        self.site.body("/_log/clear")
        self.assertEqual(self.site.body("/_log"), b"")

    def test_page_faults(self):
        plain = self.site.body(self.details[0])

        def empty_grids():
            page = self.site.body(self.grid)
            self.assertIn(b"</html>", page)
            self.assertNotIn(LINK, page)
            self.assertEqual(self.site.body(self.details[0]), plain)

        def huge():
            page = self.site.body(self.grid)
            self.assertEqual(len(page), 3000000)
            self.assertEqual(links(page[:1000001]), self.details)
            self.assertEqual(self.site.body(self.details[0]), plain)

        def invalid_euc():
            for path in self.details[:8]:
                page = self.site.body(path)
                with self.assertRaises(UnicodeDecodeError):
                    page.decode("euc_jp")
                self.assertGreaterEqual(page[-1], 0xA1, "no lead byte at the end")
                self.assertRegex(page, rb"\x8e[^\xa1-\xdf]")
                self.assertRegex(page, rb"\x8f[\x00-\x7f]")

        def size():
            for path in (self.grid, self.details[0]):
                self.assertEqual(len(self.site.body(path)), 1000001)
            padded = self.site.body(self.details[0])
            self.assertEqual(walk(padded), as_fields(self.site.detail_truth(self.details[0])))
            self.site.json("/_control/size?n=0")
            self.assertEqual(self.site.body(self.details[0]), b"")

        for query, check in [("?empty_grids=1", empty_grids), ("?huge=1", huge),
                             ("?invalid_euc=1", invalid_euc), ("/size?n=1000001", size)]:
            with self.subTest(query):
                self.control("?reset=1")
                self.control(query)
                check()

    def test_malformed_detail_pages(self):
        self.control("?malformed=long_texts")
        page = euc_to_cp932(self.site.body(self.details[0]))
        title_cell = page.split(b'<TD class="gtitle">', 1)[1].split(IDEO, 1)[0]
        self.assertGreater(len(title_cell), 2000)
        self.assertGreaterEqual(page.count(b"/program/listPerformer.php?"), 200)
        self.assertGreater(len(walk(self.site.body(self.details[0]))["Performers"]), 999)

        self.control("?malformed=no_title_cell")
        self.assertNotIn(b'<TD class="gtitle">', self.site.body(self.details[0]))
        self.control("?malformed=cut_after_end_mark")
        self.assertTrue(self.site.body(self.details[0]).endswith(b"&gt;&gt; "))

        self.control("?malformed=1&fault_seed=3")
        plain = [site.detail_page(site.programme_for_query(p)) for p in self.details[:30]]
        damaged = [self.site.body(p) for p in self.details[:30]]
        self.assertTrue(all(a != b for a, b in zip(plain, damaged)))
        self.assertGreater(len(set(damaged)), 20)
        self.assertEqual(damaged, [self.site.body(p) for p in self.details[:30]])
        status, _, _ = self.site.get("/_control?malformed=nonsense")
        self.assertEqual(status, 400)


if __name__ == "__main__":
    unittest.main()
