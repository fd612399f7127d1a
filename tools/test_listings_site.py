"""Tests of the listings site simulator; run from the project root: python3 -m unittest tools/test_listings_site.py"""

import datetime, http.client, json, os, pathlib, re, socket, subprocess, sys, threading, time, unittest, urllib.parse  # noqa

HERE = os.path.dirname(os.path.abspath(__file__))
PAGES = pathlib.Path(HERE, "..", "tests", "data", "pages")
sys.path.insert(0, HERE)
import listings_site as site  # noqa: E402

LINK, TODAY, EUC = b"/genre/detail.php3?", "20261206", "text/html; charset=EUC-JP"
MINUTE, DAY = datetime.timedelta(minutes=1), datetime.timedelta(days=1)
IDEO, SOLIDUS, DOT = (c.encode("cp932") for c in "　／・")


def grid(group, jikan, genre="all", hiduke=None, page=None):
    return "/program/gridNormal.php?frame=off&tikicd=%s&way=h&genre=%s&hour_select=6&s_jikan=%s%s%s" % (
        group, genre, jikan, "&s_hiduke=" + hiduke if hiduke else "", "&page=%d" % page if page else "")


class Site:
    """The simulator in its own process, on a free loopback port."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([sys.executable, os.path.join(HERE, "listings_site.py"), "--port", "0", *args],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.port = int(re.search(rb"127\.0\.0\.1:(\d+)", self.proc.stdout.readline()).group(1))

    def stop(self):
        self.proc.terminate()
        self.proc.communicate(timeout=5)

    def get(self, path, errors=()):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=20)
        try:
            conn.request("GET", path)
            r = conn.getresponse()
            return r.status, r.getheader("Content-Type"), r.read()
        except errors as e:
            return e
        finally:
            conn.close()

    def body(self, path):
        status, _, body = self.get(path)
        assert status == 200, (status, path)
        return body

    def json(self, path):
        return json.loads(self.body(path))

    def truth(self, kind, path):
        return self.json("/_truth/%s?path=%s" % (kind, urllib.parse.quote(path, safe="")))


def links(page):
    """Detail paths of a grid page as the program takes them: a link equal to the one before it is dropped."""
    found = [(LINK + q).decode("ascii") for q in re.findall(re.escape(LINK) + rb'([^"]{0,100})', page)]
    return [p for i, p in enumerate(found) if i == 0 or found[i - 1] != p]


# The program's conversion and detail page walk, written again from their description.
def euc_to_cp932(data):
    def pair(m):
        c1, c2, odd = m[0][0], m[0][-1], m[0][0] % 2
        if len(m[0]) < 2 or c1 == 0x8E:
            return m[0][1:]             # a lead byte at the very end is dropped; half-width katakana keeps one byte
        return bytes([(c1 >> 1) + (0x30 if c1 <= 0xDE else 0x70) + odd, c2 - ((0x61 if c2 < 0xE0 else 0x60) if odd else 2)])
    return re.sub(rb"[\x80-\xff](?:[\x00-\xff]|\Z)", pair, data)


def walk(page_euc):
    """The record the marker walk cuts out of a well-formed detail page, its texts read as CP932."""
    b = euc_to_cp932(page_euc)
    def clock(p):                                       # 前HH:MM, 後HH:MM (12 added) or 深HH:MM
        return int(b[p + 2:p + 4]) + (12 if b[p] == 0x8C else 0), int(b[p + 5:p + 7])
    p = b.index(b'<TD class="gtitle">') + 20
    cut = b.index(IDEO, p)
    p = max(p, b.find(b"<BR>", p, cut) + 4)             # after a genre prefix
    tab = b.index(b"\t", cut + 3)
    r = {"Title": b[p:cut] if cut - p < 255 else b"", "Subtitle": b[cut + 2:tab] if 2 <= tab - cut - 2 < 254 else b""}
    p = b.index(b'<TABLE cellSpacing="1" cellPadding="0" border="0" width="590">', tab)
    p = b.index(b'<TR><TD class="genre">', p) + 22
    r["Month"], r["Day"] = int(b[p:p + 2]), int(b[p + 3:p + 5])
    p = b.index(IDEO, p + 5) + 2
    r["StartHour"], r["StartMinute"] = clock(p)
    if b[p] == 0x90:                                    # 深: the next day, February always of 28 days
        d, last = r["Day"] + 1, {2: 28, 4: 30, 6: 30, 9: 30, 11: 30}.get(r["Month"], 31)
        r["Month"], r["Day"] = (r["Month"] % 12 + 1, d - last) if d > last else (r["Month"], d)
    p = b.index(b"&gt;&gt; ", p) + 9
    r["EndHour"], r["EndMinute"] = clock(p)
    s = b.index(b" " + IDEO, p + 7) + 3
    slash = b.index(b"/", s + 1)
    r["Station"], p = b[s:slash - 1] if slash - 1 - s < 30 else b"", slash + 1
    r["Other"] = b[b.index(b"<BR>", p) + 4:b.index(b"</TD>", p) - 1] + b"\r\n"
    perf, link = b"", b"/program/listPerformer.php?"
    while (nxt := b.find(link, p)) >= 0:
        h = b.find(SOLIDUS, p, nxt)                     # a heading stands before the next link
        if h >= 0:
            perf, p = (perf[:-2] if perf.endswith(DOT) else perf) + b[b.rindex(b">", 0, h - 1) + 2:h + 2], h + 3
        p = b.index(b">", b.index(link, p)) + 1
        lt = b.index(b"<", p + 1)
        perf, p = perf + (b[p:lt] + DOT if lt - p < 30 else b""), lt + 1
    r["Performers"] = perf[:-2]
    p = b.index(b'<TD class="genre">', b.index(b"<!--info2 from  here-->", p)) + 19
    r["Other"] += b[p:b.index(b"</TD>", p) - 1][:999]
    return {k: v.decode("cp932", "replace") if isinstance(v, bytes) else v for k, v in r.items()}


class ListingsSiteTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.site, cls.grid = Site("--date", TODAY, "--hour", "12"), grid("0002", "190000")
        cls.addClassCleanup(cls.site.stop)
        cls.details = links(cls.site.body(cls.grid))

    def setUp(self):
        self.assertEqual(self.site.json("/_control?reset=1")["close_rate"], 0.0)

    def control(self, query):
        return self.site.json("/_control" + query)

    def test_same_address_same_bytes_again_and_after_a_restart_at_03_00_next_morning(self):
        paths = [self.grid, grid("3001", "050000", "C", "20261209"), grid("3003", "230000", page=2),
                 grid("0A01", "290000", "J", "20261213")]
        paths += [links(self.site.body(g))[k] for g, k in zip(paths, (5, 0, 0, -1))]
        paths += ["/_truth/grid?path=" + urllib.parse.quote(paths[2], safe=""),
                  "/_truth/detail?format=tsv&path=" + urllib.parse.quote(paths[-1], safe="")]
        first, again = [self.site.body(p) for p in paths], Site("--date", "20261207", "--hour", "3")   # still the 6th
        self.addCleanup(again.stop)
        self.assertEqual(([self.site.body(p) for p in paths], [again.body(p) for p in paths]), (first, first))

    def test_tokyo_evening_and_golden_pages_walk_to_the_truth_tile_each_station_and_filter_by_genre(self):
        (status, ctype, page), truths = self.site.get(self.grid), self.site.truth("grid", self.grid)
        self.assertEqual((status, ctype, self.details), (200, EUC, [t["DetailPath"] for t in truths]))
        self.assertGreater(page.count(LINK), len(self.details), "no programme is linked twice in a row")
        golden = {path: name for name, path in re.findall(r"(\S+)\s+(\S+)", (PAGES / "sources.txt").read_text())}
        seen = set()
        for path, t in list(zip(self.details, truths)) + [(path, self.site.truth("detail", path)) for path in golden]:
            status, ctype, body = self.site.get(path)
            self.assertEqual((status, ctype, body.decode("euc_jp")[-8:]), (200, EUC, "</html>\n"))   # strict decoding
            record, p = walk(body), site.programme_for_query(path)
            self.assertEqual(dict(record, DetailPath=path), t)
            headed = [names for heading, names in p.performers if heading]
            seen.update(k for k, hit in [
                ("headings", len(headed) >= 2 and min(map(len, headed)) >= 2), ("names before a heading", headed
                 and not p.performers[0][0]), ("half-width katakana", re.search("[\uff61-\uff9f]", str(record))),
                ("a name left out", any(site.sjis_len(n) >= 30 for _, names in p.performers for n in names)),
                ("no subtitle", not record["Subtitle"]), ("after midnight", record["StartHour"] < 5),
                ("no genre", b'"gtitle">\n<span>' not in body)] if hit)
            for ext, data in [(".html", body), (".expected", site.truth_expected_file(t))] * (path in golden):
                self.assertEqual((PAGES / (golden[path] + ext)).read_bytes(), data, golden[path] + ext + " is stale")
        self.assertEqual(len(seen), 7, seen)
        spans, begin, end = {}, datetime.datetime(2026, 12, 6, 19), datetime.datetime(2026, 12, 7, 1)
        for t in truths:
            start = datetime.datetime(2026, t["Month"], t["Day"], t["StartHour"], t["StartMinute"])
            stop = start.replace(hour=t["EndHour"], minute=t["EndMinute"])
            spans.setdefault(t["Station"], []).append((start, stop + DAY * (stop <= start)))
        self.assertEqual(list(spans), [n for n, _ in site.stations("0002")])
        for station, s in spans.items():
            self.assertTrue(s[0][0] <= begin < s[0][1] and s[-1][0] < end <= s[-1][1], station)
            self.assertEqual([e for _, e in s[:-1]], [b for b, _ in s[1:]], "gap or overlap on " + station)
            self.assertTrue(all(5 * MINUTE <= e - b <= 180 * MINUTE for b, e in s), station)
        for code, _ in site.GENRES:                                 # exactly the genre's programmes, in grid order
            self.assertEqual(links(self.site.body(grid("0002", "190000", code))),
                             [p for p in self.details if site.programme_for_query(p).genre == code], code)

    def test_nights_and_month_ends_carry_the_dates_the_page_gives(self):
        d, leap = datetime.date(2026, 12, 6), 0
        self.assertEqual([site.broadcast_today(d, h) for h in (0, 1, 4, 5)], [d, d - DAY, d - DAY, d])
        for today, hiduke, at in [(TODAY, "20261213", "290000"), ("20261130", None, "250000"), ("20261231", None, "270000"),
                                  ("20270228", None, "250000"), ("20280228", None, "250000")]:
            begin = datetime.datetime.strptime(hiduke or today, "%Y%m%d") + int(at[:2]) * 60 * MINUTE
            records = site.grid_truth(site.parse_grid(grid("0002", at, hiduke=hiduke), site._date_arg(today)))
            self.assertGreater(len(records), 20, (today, at))
            for t in records:
                p = site.programme_for_query(t["DetailPath"])
                self.assertEqual(dict(walk(site.detail_page(p)), DetailPath=p.path), t)
                start = datetime.datetime.combine(p.date, datetime.time()) + p.start * MINUTE
                self.assertTrue(start < begin + 360 * MINUTE and start + p.duration * MINUTE > begin, p.path)
                leap += (is_leap := (start.month, start.day, p.start >= 1440) == (2, 29, True))   # the page has no year
                self.assertEqual((t["Month"], t["Day"]), (3, 1) if is_leap else (start.month, start.day), p.path)
        self.assertGreater(leap, 10)

    def test_addresses_the_site_does_not_know_give_pages_without_links(self):
        g, d = self.grid, "/genre/detail.php3?id="
        for path in [g.replace("0002", "0007"), g.replace("=all", "=X"), g.replace("190000", "200000"),
                     g.replace("&way=h", ""), g.replace("=off", "=on"), g + "&s_hiduke=20261214", g + "&page=2",
                     g + "&s_hiduke=20261205", g + "&s_hiduke=2026126", grid("3003", "190000", page=4),
                     d + "0002-20261206-00-1901", d + "0002-20261206-99-1900"]:
            self.assertFalse(re.search(rb'detail\.php3|"gtitle"', self.site.body(path)), path)
        cs = [(k, t["Station"]) for k in (None, 2, 3) for t in self.site.truth("grid", grid("3003", "190000", page=k))]
        self.assertEqual([s for _, s in dict.fromkeys(cs)], [n for n, _ in site.stations("3003")], "CS pages 1 to 3")

    def test_each_fault_mode_does_what_it_says(self):
        g, d, errors = self.grid, self.details[0], (http.client.HTTPException, OSError)
        plain, truth = self.site.body(d), self.site.truth("detail", d)
        for query, paths, check in [        # check(path, (status, Content-Type, body) or the error)
                ("?close_rate=1", [g, d], lambda p, a: isinstance(a, http.client.RemoteDisconnected)),
                ("?reset_rate=1", [g, d], lambda p, a: type(a) is ConnectionResetError),
                ("?error500_rate=1", [g, d], lambda p, a: a[0] == 500 and LINK not in a[2]),
                ("?cut_rate=1", [g, d], lambda p, a: isinstance(a, http.client.IncompleteRead) and a.partial and a.expected),
                ("?empty_grids=1", [g], lambda p, a: a[0] == 200 and b"</html>" in a[2] and LINK not in a[2]),
                ("?huge=1", [g], lambda p, a: len(a[2]) == 3000000 and links(a[2][:1000001]) == self.details),
                ("?empty_grids=1&huge=1", [d], lambda p, a: a[2] == plain),
                ("?invalid_euc=1", self.details[:8],     # a stray 0x8E, then 0x8F, and a lead byte at the very end
                 lambda p, a: a[2][-1] >= 0xA1 and re.search(rb"(?s)\x8e[^\xa1-\xdf].*\x8f[\0-\x7f]", a[2])),
                ("/size?n=1000001", [g], lambda p, a: len(a[2]) == 1000001),
                ("/size?n=1000001", [d], lambda p, a: len(a[2]) == 1000001 and dict(walk(a[2]), DetailPath=p) == truth),
                ("/size?n=0", [d], lambda p, a: a[::2] == (200, b"")),
                ("?malformed=long_texts", [d], lambda p, a: not walk(a[2])["Title"] and len(walk(a[2])["Performers"]) > 999),
                ("?malformed=no_title_cell", [d], lambda p, a: b'"gtitle"' not in a[2]),
                ("?malformed=cut_after_end_mark", [d], lambda p, a: a[2].endswith(b"&gt;&gt; "))]:
            self.control(query.replace("?", "?reset=1&"))
            for path in paths:
                a = self.site.get(path, errors)
                self.assertTrue(check(path, a), (query, path, a if isinstance(a, Exception) else a[:2]))
        def bodies(query):                  # the fault seed fixes which requests fail and how
            self.control("?reset=1&fault_seed=%s" % query)
            return [a[2] if isinstance(a, tuple) else None for a in (self.site.get(p, errors) for p in self.details[:30])]
        closed, damaged = bodies("7&close_rate=0.5"), bodies("3&malformed=1")
        self.assertEqual((closed, damaged), (bodies("7&close_rate=0.5"), bodies("3&malformed=1")))
        self.assertTrue(0 < closed.count(None) < 30 and not set(damaged) & {site.detail_body(p) for p in self.details[:30]})
        self.assertTrue(0 < sum(b'"gtitle"' in x for x in damaged) < 30, "pages damaged in more than one way")
        self.assertEqual((self.site.get("/_control?close_rate=1&malformed=nonsense")[0], self.control("")["close_rate"]),
                         (400, 0.0), "a rejected request changes nothing")

    def test_log_order_and_requests_in_flight(self):
        paths = [self.details[3], self.grid, "/nothing-here", self.details[1]]
        self.site.body("/_log/clear")
        for path in paths:
            self.site.get(path)
            self.site.json("/_stats")                            # control paths stay out of the log
        self.assertEqual(self.site.body("/_log").decode().split(), paths)
        self.control("?latency_ms=1500")
        self.site.json("/_stats/clear")
        threads = [threading.Thread(target=self.site.body, args=(p,)) for p in self.details[:6]]
        list(map(threading.Thread.start, threads))
        time.sleep(0.5)
        stats = [self.site.json("/_stats"), self.site.json("/_stats/clear")]       # clearing keeps those in flight
        list(map(threading.Thread.join, threads))
        stats.append(self.site.json("/_stats"))
        self.assertEqual([(s["requests"], s["in_flight"], s["max_in_flight"]) for s in stats],
                         [(6, 6, 6), (0, 6, 6), (0, 0, 6)])
        self.assertGreater(stats[2]["bytes_sent"], sum(len(site.detail_body(p)) for p in self.details[:6]))

    def test_down_ms_refuses_connections_then_serves_again(self):
        def refused():
            try:
                socket.create_connection(("127.0.0.1", self.site.port), timeout=2).close()
                return False
            except (ConnectionRefusedError, ConnectionResetError):
                return True             # a reset: the socket closed under a queued connection

        before = self.site.body(self.grid)
        status, _, _ = self.site.get("/_control?down_ms=-5")
        self.assertEqual(status, 400)
        status, _, _ = self.site.get("/_control?down_ms=soon")
        self.assertEqual(status, 400)
        self.assertFalse(refused(), "a rejected request leaves the site up")

        started = time.monotonic()
        answer = self.control("?down_ms=1500&latency_ms=1")
        self.assertEqual((answer["down_ms"], answer["latency_ms"]), (1500, 1))
        while not refused():
            self.assertLess(time.monotonic() - started, 1.0, "still accepting connections")
            time.sleep(0.02)
        time.sleep(max(0.0, started + 1.2 - time.monotonic()))
        self.assertTrue(refused(), "refused for the whole time asked")
        while refused():
            self.assertLess(time.monotonic() - started, 5.0, "never came back")
            time.sleep(0.02)
        self.assertGreaterEqual(time.monotonic() - started, 1.45)
        self.assertEqual(self.site.body(self.grid), before)
        self.assertEqual(self.control("")["latency_ms"], 1, "the faults outlive the stop")
        self.assertNotIn("down_ms", self.control(""), "down_ms is no lasting setting")


if __name__ == "__main__":
    unittest.main()
