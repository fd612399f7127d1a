"""Tests of the listings site simulator; run from the project root: python3 -m unittest tools/test_listings_site.py"""

import datetime, http.client, json, os, pathlib, re, socket, subprocess, sys, threading, time, unittest, urllib.parse  # noqa
import xml.etree.ElementTree as ET

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
                leap += (start.month, start.day, p.start >= 1440) == (2, 29, True)    # 28 February 2028 after midnight
                self.assertEqual((t["Month"], t["Day"], t["StartHour"], t["StartMinute"]),
                                 (start.month, start.day, start.hour, start.minute), p.path)
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

    def test_stall_holds_what_it_names_until_released_while_others_are_answered(self):
        g, d = self.grid, self.details[0]
        for setting, held, answered, release in [("stall=detail", d, g, "stall=grid"),
                                                 ("stall=xmltv,grid", "/xmltv.xml", d, "reset=1")]:
            self.body("/_stats/clear"), self.control("?" + setting)
            outcome = []
            waiter = threading.Thread(target=lambda: outcome.append(self.get(held, (http.client.HTTPException, OSError))))
            waiter.start()
            while json.loads(self.body("/_stats"))["stalled_now"] < 1:
                self.assertTrue(waiter.is_alive(), (setting, outcome))
                time.sleep(0.02)
            self.assertEqual(self.get(answered)[0], 200, setting)
            time.sleep(0.3)
            self.assertTrue(waiter.is_alive(), setting + ": answered while stalled")
            self.control("?" + release)
            waiter.join(20)
            self.assertIsInstance(outcome and outcome[0], http.client.RemoteDisconnected, setting)
            self.assertEqual([json.loads(self.body("/_stats"))[k] for k in ("stalled", "stalled_now")], [1, 0])

    def test_fail_grids_and_fail_details_fail_the_same_pages_every_time(self):
        bs = grid("3001", "190000")
        self.control("?fail_grids=tikicd=3001&fail_details=0.5&fault_seed=5")
        statuses = [[self.get(p)[0] for p in [bs, self.grid] + self.details[:30]] for _ in range(2)]
        self.assertEqual(statuses[0], statuses[1])
        self.assertEqual(statuses[0][:2], [500, 200])
        self.assertTrue(0 < statuses[0].count(500) - 1 < 30, statuses[0])
        self.assertTrue(self.truth("grid", bs), "the truth still knows the failed page")

    def test_xmltv_document_and_the_records_of_a_window_across_midnight(self):
        jst, hour = datetime.timezone(datetime.timedelta(hours=9)), datetime.timedelta(hours=1)

        def when(text):                     # YYYYMMDDhhmm[ss][ +hhmm], UTC without offset
            m = re.fullmatch(r"(\d{12})(\d\d)?(?: ([+-])(\d\d)(\d\d))?", text)
            off = datetime.timedelta(hours=int(m[4] or 0), minutes=int(m[5] or 0)) * (-1 if m[3] == "-" else 1)
            return datetime.datetime.strptime(m[1] + (m[2] or "00"), "%Y%m%d%H%M%S").replace(
                tzinfo=datetime.timezone(off))

        status, ctype, body = self.get("/xmltv.xml")
        self.assertEqual((status, ctype, body[:75]), (200, "application/xml; charset=UTF-8",
                                                      b'<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE tv SYSTEM "xmltv.dtd">\n<tv'))
        root = ET.fromstring(body)
        names = {c.get("id"): c.find("display-name").text for c in root.iter("channel")}
        self.assertEqual([list(names)[k] for k in (0, 8, 20, 49)], ["tokyo-1.sim", "bs-1.sim", "cs-1.sim", "cs-30.sim"])
        progs = {}
        for p in root.iter("programme"):
            stop = p.get("stop") and when(p.get("stop"))
            progs.setdefault(p.get("channel"), []).append([when(p.get("start")), stop, p])
        odd = {"no stop": [], "backward": [], "no offset": [], "English first": []}
        for cid, items in progs.items():
            items.sort(key=lambda x: x[0])
            for k, (start, stop, p) in enumerate(items):
                [odd[w].append(cid) for w, c in [("no stop", not stop), ("backward", stop and stop < start),
                 ("no offset", re.fullmatch(r"\d{14}", p.get("start"))), ("English first", p[0].get("lang") == "en")] if c]
                if not stop or stop < start:
                    items[k][1] = items[k + 1][0] if k + 1 < len(items) else start
        self.assertTrue(all(odd.values()) and len(root.findall("programme")) > 10000, {w: len(c) for w, c in odd.items()})
        begin = datetime.datetime(2026, 12, 7, 23, tzinfo=jst)            # day 1, 23:00 to 29:00
        text = lambda e: "".join(c if c.encode("cp932", "replace") != b"?" else "〓" for c in (e.text if e is not None else ""))
        inside = lambda c, how: [p for s, e, p in progs.get(c, []) if s < begin + 6 * hour and e > begin and how(p)]
        pick = list(dict.fromkeys([c for c in names if inside(c, lambda p: not p.get("stop"))][:3] + ["tokyo-1.sim", "tokyo-2.sim"]
                                  + [c for c in names if inside(c, lambda p: "〓" in text(p.find("title[@lang='ja']")))][:2]))
        heads = dict(zip("director actor writer adapter producer composer editor presenter commentator guest".split(),
                         "監督 出演 脚本 脚色 製作 音楽 編集 司会 解説 ゲスト".split()))
        want = []
        for cid in pick:
            for s, e, p in progs[cid]:
                if s < begin + 6 * hour and e > begin:
                    s, e = s.astimezone(jst), e.astimezone(jst)
                    roles = [(heads[c.tag], c.text) for c in p.iter() if c.tag in heads]
                    perf = "".join(h + "／" + "・".join(n for r, n in roles if r == h)
                                   for h in heads.values() if any(r == h for r, _ in roles))
                    want.append(["", names[cid], s.month, s.day, s.hour, s.minute, e.hour, e.minute, text(p.find(
                        "title[@lang='ja']")), text(p.find("sub-title")), perf, text(p.find("desc")), p.findall("category")])
        got = [[list(r.values()) for r in json.loads(self.body("/_truth/xmltv?day=1&time=9&genre=%d&channels=%s" % (
            g, ",".join(pick))))] for g in (14, 11, 12)]                # all, 教育, 趣味・実用
        self.assertEqual(got[0], [w[:12] for w in want])
        self.assertEqual(got[1:], [[w[:12] for w in want if [c.text for c in w[12]] == pair]
                                   for pair in (["教育", "Education"], ["趣味／教育", "Education"])])
        self.assertTrue(got[1] and got[2])
        self.assertTrue({(r[2], r[3]) for r in want} >= {(12, 7), (12, 8)} and any("〓" in r[8] for r in want), pick)


if __name__ == "__main__":
    unittest.main()
