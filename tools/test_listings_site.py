"""Tests of the listings site simulator; run from the project root: python3 -m unittest tools/test_listings_site.py"""

import datetime, http.client, json, os, pathlib, re, socket, subprocess, sys, time, unittest, urllib.parse  # noqa

HERE = os.path.dirname(os.path.abspath(__file__))
PAGES = pathlib.Path(HERE, "..", "tests", "data", "pages")
sys.path.insert(0, HERE)
import listings_site as site  # noqa: E402

LINK, TODAY, EUC = b"/genre/detail.php3?", "20261206", "text/html; charset=EUC-JP"
MINUTE, DAY = datetime.timedelta(minutes=1), datetime.timedelta(days=1)


def grid(group, jikan, genre="all", hiduke=None, page=None):
    return "/program/gridNormal.php?frame=off&tikicd=%s&way=h&genre=%s&hour_select=6&s_jikan=%s%s%s" % (
        group, genre, jikan, "&s_hiduke=" + hiduke if hiduke else "", "&page=%d" % page if page else "")


def links(page):
    """Detail paths of a grid page as the program takes them: a link equal to the one before it is dropped."""
    found = [(LINK + q).decode("ascii") for q in re.findall(re.escape(LINK) + rb'([^"]{0,100})', page)]
    return [p for i, p in enumerate(found) if i == 0 or found[i - 1] != p]


class ListingsSiteTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):                        # the simulator in its own process, on a free loopback port
        cls.proc = subprocess.Popen([sys.executable, os.path.join(HERE, "listings_site.py"), "--port", "0", "--date",
                                     TODAY, "--hour", "12"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        cls.port = int(re.search(rb"127\.0\.0\.1:(\d+)", cls.proc.stdout.readline()).group(1))
        cls.addClassCleanup(cls.proc.communicate, timeout=5)
        cls.addClassCleanup(cls.proc.terminate)
        cls.grid = grid("0002", "190000")
        cls.details = links(cls.body(cls.grid))

    def setUp(self):
        self.assertEqual(self.control("?reset=1")["close_rate"], 0.0)

    @classmethod
    def get(cls, path, errors=()):              # (status, Content-Type, body), or the error if one of errors
        conn = http.client.HTTPConnection("127.0.0.1", cls.port, timeout=20)
        try:
            conn.request("GET", path)
            r = conn.getresponse()
            return r.status, r.getheader("Content-Type"), r.read()
        except errors as e:
            return e
        finally:
            conn.close()

    @classmethod
    def body(cls, path):
        status, _, body = cls.get(path)
        assert status == 200, (status, path)
        return body

    def control(self, query):
        return json.loads(self.body("/_control" + query))

    def truth(self, kind, path):
        return json.loads(self.body("/_truth/%s?path=%s" % (kind, urllib.parse.quote(path, safe=""))))

    def test_tokyo_evening_and_golden_pages_agree_with_the_truth(self):
        (status, ctype, page), truths = self.get(self.grid), self.truth("grid", self.grid)
        self.assertEqual((status, ctype, self.details), (200, EUC, [t["DetailPath"] for t in truths]))
        self.assertGreater(page.count(LINK), len(self.details), "no programme is linked twice in a row")
        golden = {path: name for name, path in re.findall(r"(\S+)\s+(\S+)", (PAGES / "sources.txt").read_text())}
        for path, t in list(zip(self.details, truths)) + [(path, self.truth("detail", path)) for path in golden]:
            status, ctype, body = self.get(path)
            self.assertEqual((status, ctype, body.decode("euc_jp")[-8:]), (200, EUC, "</html>\n"))   # strict decoding
            for ext, data in [(".html", body), (".expected", site.truth_expected_file(t))] * (path in golden):
                self.assertEqual((PAGES / (golden[path] + ext)).read_bytes(), data, golden[path] + ext + " is stale")

    def test_nights_and_month_ends_carry_the_dates_the_program_reads(self):
        d, leap = datetime.date(2026, 12, 6), 0
        self.assertEqual([site.broadcast_today(d, h) for h in (0, 1, 4, 5)], [d, d - DAY, d - DAY, d])
        nights = [(TODAY, "20261213", "290000"), ("20261130", None, "250000"), ("20261231", None, "270000"),
                  ("20270228", None, "250000"), ("20280228", None, "250000")]
        for today, hiduke, at in nights:
            begin = datetime.datetime.strptime(hiduke or today, "%Y%m%d") + int(at[:2]) * 60 * MINUTE
            records = site.grid_truth(site.parse_grid(grid("0002", at, hiduke=hiduke), site._date_arg(today)))
            self.assertGreater(len(records), 20, (today, at))
            for t in records:
                p = site.programme_for_query(t["DetailPath"])
                start = datetime.datetime.combine(p.date, datetime.time()) + p.start * MINUTE
                self.assertTrue(start < begin + 360 * MINUTE and start + p.duration * MINUTE > begin, p.path)
                leap += (is_leap := (start.month, start.day, p.start >= 1440) == (2, 29, True))   # the page has no year
                self.assertEqual((t["Month"], t["Day"], t["StartHour"], t["StartMinute"]),
                                 ((3, 1) if is_leap else (start.month, start.day)) + (start.hour, start.minute), p.path)
        self.assertGreater(leap, 10)

    def test_genres_filter_and_cs_stations_spread_over_three_pages(self):
        for code, _ in site.GENRES:                         # exactly the genre's programmes, in grid order
            self.assertEqual(links(self.body(grid("0002", "190000", code))),
                             [p for p in self.details if site.programme_for_query(p).genre == code], code)
        cs = [t["Station"] for k in (None, 2, 3) for t in self.truth("grid", grid("3003", "190000", page=k))]
        self.assertEqual(list(dict.fromkeys(cs)), [n for n, _ in site.stations("3003")], "CS pages 1 to 3")

    def test_each_fault_mode_does_what_it_says(self):
        g, d, errors = self.grid, self.details[0], (http.client.HTTPException, OSError)
        for query, paths, check in [        # check((status, Content-Type, body) or the error)
                ("close_rate=1", [g, d], lambda a: isinstance(a, http.client.RemoteDisconnected)),
                ("reset_rate=1", [g, d], lambda a: type(a) is ConnectionResetError),
                ("error500_rate=1", [g, d], lambda a: a[0] == 500 and LINK not in a[2]),
                ("cut_rate=1", [g, d], lambda a: isinstance(a, http.client.IncompleteRead) and a.partial),
                ("empty_grids=1", [g], lambda a: a[0] == 200 and b"</html>" in a[2] and LINK not in a[2]),
                ("huge=1", [g], lambda a: len(a[2]) == 3000000 and links(a[2][:1000001]) == self.details),
                ("invalid_euc=1", self.details[:8],     # a stray 0x8E, then 0x8F, and a lead byte at the very end
                 lambda a: a[2][-1] >= 0xA1 and re.search(rb"(?s)\x8e[^\xa1-\xdf].*\x8f[\0-\x7f]", a[2])),
                ("malformed=long_texts", [d], lambda a: a[2].count(b"listPerformer") >= 200   # 200 names, a long title
                 and site.sjis_len(re.search('"gtitle">\n(.*?)　', a[2].decode("euc_jp"))[1]) > 254)]:
            self.control("?reset=1&" + query)
            for path in paths:
                a = self.get(path, errors)
                self.assertTrue(check(a), (query, path, a if isinstance(a, Exception) else a[:2]))
        def bodies(query):                  # the fault seed fixes which requests fail and how
            self.control("?reset=1&fault_seed=%s" % query)
            return [a[2] if isinstance(a, tuple) else None for a in (self.get(p, errors) for p in self.details[:30])]
        closed, damaged = bodies("7&close_rate=0.5"), bodies("3&malformed=1")
        self.assertEqual((closed, damaged), (bodies("7&close_rate=0.5"), bodies("3&malformed=1")))
        self.assertTrue(0 < closed.count(None) < 30, "some answers closed, not all")
        self.assertFalse(set(damaged) & {site.detail_body(p) for p in self.details[:30]}, "every page damaged")
        self.assertTrue(0 < sum(b'"gtitle"' in x for x in damaged) < 30, "pages damaged in more than one way")

    def test_down_ms_refuses_connections_then_serves_again(self):
        def refused():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=2).close()
                return False
            except (ConnectionRefusedError, ConnectionResetError):
                return True             # a reset: the socket closed under a queued connection

        before, started = self.body(self.grid), time.monotonic()
        self.control("?down_ms=1500&latency_ms=1")
        while not refused():
            self.assertLess(time.monotonic() - started, 1.0, "still accepting connections")
            time.sleep(0.02)
        time.sleep(max(0.0, started + 1.2 - time.monotonic()))
        self.assertTrue(refused(), "refused for the whole time asked")
        while refused():
            self.assertLess(time.monotonic() - started, 5.0, "never came back")
            time.sleep(0.02)
        self.assertGreaterEqual(time.monotonic() - started, 1.45)
        answer = self.control("")
        self.assertEqual((self.body(self.grid), answer["latency_ms"], "down_ms" in answer), (before, 1, False),
                         "the same page, the faults outlive the stop, down_ms is no lasting setting")


if __name__ == "__main__":
    unittest.main()
