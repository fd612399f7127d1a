#!/usr/bin/env python3
"""Writes the fuzz seed corpora under tests/fuzz/corpus/ (run from anywhere):

    detail/   the golden EUC-JP detail pages, some cut short at a marker, and
              a few damaged pages of the listings site simulator
    grid/     grid pages of the simulator, cut to GRID_LIMIT bytes, each behind
              the grid target's control byte
    euc/      short EUC-JP texts with every kind of sequence
    request/  inputs in the request target's layout (see request_fuzz.cpp)

The simulator runs on a free loopback port with a fixed date, so the seeds
come out the same every time.
"""

import os
import shutil
import socket
import struct
import subprocess
import sys
import time
import urllib.request

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
CORPUS = os.path.join(ROOT, "tests", "fuzz", "corpus")
PAGES = os.path.join(ROOT, "tests", "data", "pages")
SITE = os.path.join(ROOT, "tools", "listings_site.py")
DATE = "20261206"
GRID_LIMIT = 20000

GRID = "/program/gridNormal.php?frame=off&tikicd=%s&way=h&genre=%s&hour_select=6&s_jikan=%s"


def write(kind, name, data):
    folder = os.path.join(CORPUS, kind)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def detail_seeds():
    cuts = [b'<TD class="gtitle">', b"\xa1\xa1", b"&gt;&gt; ", b" \xa1\xa1", b"/program/listPerformer.php?",
            b"\xa1\xbf", b"<!--info2 from  here-->"]
    for name in sorted(os.listdir(PAGES)):
        if not name.endswith(".html"):
            continue
        page = open(os.path.join(PAGES, name), "rb").read()
        stem = name[:-5]
        write("detail", stem + ".html", page)
        if stem not in ("plain", "headings"):
            continue
        # The page ending right behind a marker the parser looks for next.
        for k, marker in enumerate(cuts):
            at = page.find(marker)
            if at >= 0:
                write("detail", "%s_cut%d.html" % (stem, k), page[:at + len(marker)])


def detail_fault_seeds(path):
    for variant in ("heading_markup", "link_without_gt", "name_without_lt", "no_description_end", "long_texts"):
        page = subprocess.run([sys.executable, SITE, "--malformed", variant, "--dump-detail", path],
                              check=True, capture_output=True).stdout
        write("detail", "site_%s.html" % variant, page[:GRID_LIMIT])
    for choice in (3, 6):
        page = subprocess.run([sys.executable, SITE, "--invalid-euc", "1", "--fault-seed", str(choice),
                               "--dump-detail", path], check=True, capture_output=True).stdout
        write("detail", "site_invalid_euc_seed%d.html" % choice, page)


def grid_seeds():
    port = free_port()
    site = subprocess.Popen([sys.executable, SITE, "--port", str(port), "--date", DATE, "--hour", "12"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), 0.2).close()
                break
            except OSError:
                time.sleep(0.1)
        pages = [
            ("tokyo_all_19", GRID % ("0002", "all", "190000"), 0x07),
            ("osaka_news_05", GRID % ("0004", "J", "050000"), 0x00),
            ("bs_all_21", GRID % ("3001", "all", "210000") + "&s_hiduke=20261207", 0x2F),
            ("cs_page2_13", GRID % ("3003", "all", "130000") + "&page=2", 0x0A),
            ("unknown_address", GRID % ("9999", "all", "190000"), 0x00),
        ]
        for name, path, control in pages:
            with urllib.request.urlopen("http://127.0.0.1:%d%s" % (port, path), timeout=10) as reply:
                page = reply.read()
            write("grid", name + ".html", bytes([control]) + page[:GRID_LIMIT])
    finally:
        site.terminate()
        site.wait()
    # Hand-made edge cases: a repeated link, a long query without '"', links
    # holding "<br>", a space and an ideographic space, and a cut marker.
    link = b'<a href="/genre/detail.php3?id=0002-20261206-00-1900">'
    write("grid", "edges.html", b"\x05" + link + b"A</a><br>" + link + b"B</a>" +
          b'<a href="/genre/detail.php3?' + b"x" * 130 + b'">' +
          b'<a href="/genre/detail.php3?id=1<br>2">' + b'<a href="/genre/detail.php3?id=1 2">' +
          b'<a href="/genre/detail.php3?id=1\x81\x402">' + b"/genre/detail.ph")


def euc_seeds():
    seeds = {
        "ascii": b'<TD class="gtitle">plain text</TD>',
        "kanji": "番組詳細　テレビ番組表／出演・深夜".encode("euc_jp"),
        "hankaku": "ｱﾆﾒ ﾄﾞｷｭﾒﾝﾀﾘｰ".encode("euc_jp"),
        "jisx0212": b"a\x8f\xb0\xa1b\x8f\xa1<c",
        "invalid": b"\x80<\x8e\x41>\xff\xa0\xa1\x8f\xa1",
        "lone_lead_at_end": "前".encode("euc_jp") + b"\xb0",
        "rows_edges": b"\xa1\xa1\xa1\xfe\xde\xa1\xdf\xdf\xe0\xe0\xfe\xfe\xfd\xa1",
        "embedded_zero": "番組".encode("euc_jp") + b"\x00\xa1\xa1tail",
    }
    for name, data in seeds.items():
        write("euc", name, data)


def request_seed(genre, time_, region, day, year, month, mday, hour, minute, sizes, texts):
    head = struct.pack("<bbbbHBBBBBBB", genre, time_, region, day, year, month, mday, hour, minute, *sizes)
    return head + b"\n".join(texts)


def request_seeds():
    path = GRID % ("0002", "all", "190000")
    seeds = {
        "tokyo_today": request_seed(14, 7, 7, 0, 2026, 12, 6, 12, 0, (64, 255, 32),
                                    [b"127.0.0.1:8080", b"http://127.0.0.1:8080" + path.encode(), b"127.0.0.1:8080"]),
        "new_year": request_seed(0, 0, 46, 3, 2008, 12, 30, 10, 0, (8, 8, 4),
                                 [b"tv.example.jp", b"http://tv.example.jp", b"tv.example.jp"]),
        "leap_day": request_seed(5, 12, 0, 3, 2000, 2, 27, 2, 30, (0, 1, 0),
                                 [b"h", b"http://h/", b"h:65535"]),
        "first_after_midnight": request_seed(3, 1, 20, 1, 2009, 3, 1, 2, 0, (255, 255, 255),
                                             [b"a" * 240, b"ftp://x/y", b":80"]),
        "out_of_table": request_seed(15, -1, 47, 8, 1900, 13, 40, 4, 59, (1, 2, 3),
                                     [b"", b"http://", b"host:0"]),
    }
    for name, data in seeds.items():
        write("request", name, data)


def main():
    for kind in ("detail", "grid", "euc", "request"):
        shutil.rmtree(os.path.join(CORPUS, kind), ignore_errors=True)
    detail_seeds()
    detail_fault_seeds("/genre/detail.php3?id=0002-20261206-00-0930")
    grid_seeds()
    euc_seeds()
    request_seeds()
    return 0


if __name__ == "__main__":
    sys.exit(main())
