#!/usr/bin/env python3
"""Local stand-in for the TV listings site that telomiya reads.

It serves the timetable grid pages and the programme detail pages from data
generated deterministically from a fixed seed, so that an address always
gives the same bytes, and it listens on 127.0.0.1 only.  The same listings
also come as one XMLTV document.

    python3 tools/listings_site.py --port 8080 [--date YYYYMMDD [--hour H]] [fault options]
    python3 tools/listings_site.py --dump-detail '/genre/detail.php3?id=0002-20261206-02-1930'
    python3 tools/listings_site.py --dump-truth PATH [--format json|tsv]
    python3 tools/listings_site.py --dump-xmltv FILE [--date YYYYMMDD [--hour H]] [--xmltv-days N] [--xmltv-scale K]

Site pages
  /program/gridNormal.php?frame=off&tikicd=T&way=h&genre=G&hour_select=6&s_jikan=HH0000
      [&s_hiduke=YYYYMMDD] [&page=1..3 for T=3003]
      Any unknown value or missing key gives a page without programme links.
      Without s_hiduke the broadcast day is today (yesterday from 01:00 to 04:59);
      s_hiduke may name that day and the seven after it.
  /genre/detail.php3?id=GGGG-YYYYMMDD-SS-HHMM
      station group, broadcast day, station number in the group, start time
      in broadcast-day hours (05 to 28).
  /xmltv.xml[?days=N][&scale=K]
      XMLTV (UTF-8, DOCTYPE tv SYSTEM "xmltv.dtd") of the Tokyo stations (tikicd
      0002), then BS, then CS: channel ids tokyo-1.sim .. tokyo-8.sim,
      bs-1.sim .. bs-12.sim, cs-1.sim .. cs-30.sim, the first display-name
      (lang="ja") the station name the grid shows, some with a second in
      English.  Programmes of N broadcast days (default 9, at most 30) from the
      day before today, the same programmes as the site's pages, in shuffled
      order; scale=K (at most 20) repeats every channel K times, the copies'
      ids ending in -2.sim, -3.sim ... (tokyo-1-2.sim).  Built once per date,
      days and scale.  Deliberate roughness: times mostly "YYYYMMDDhhmmss +0900",
      some in UTC with "+0000", some in UTC without offset, some without seconds;
      about 5 % of programmes without stop and 1 % with a stop before the start;
      some English titles before the Japanese one; about 1 % of Japanese titles
      with a mark code page 932 lacks (the site's own title plus "♫", "©" or an
      emoji).  Categories: the ARIB large genre in Japanese, then English; 教育
      and キッズ keep their own Japanese name (教育/Education, キッズ/Children),
      趣味・実用 is 趣味／教育/Education.  Credits follow the performer headings
      of the site (出演, 声の出演 actor; 司会, キャスター, 講師 presenter; 解説, 語り
      commentator; ゲスト guest; 監督, 演出 director; 脚本, 原作 writer; 音楽 composer;
      names without heading actor).

Control paths
  /_truth/grid?path=P[&format=json|tsv]   records of a grid page, in link order
  /_truth/detail?path=P[&format=json|tsv] record of a detail page
  /_truth/xmltv?day=N&time=T&genre=G[&channels=ID,ID...][&days=N&scale=K][&format=json|tsv]
      records the program shows from the XMLTV document for day N (0..7 days
      after today's broadcast day), time window T (0..12: 05:00, 07:00 ... 29:00,
      six hours each, Japan time) and genre G (0..13 in the program's list,
      14 all).  A programme belongs when it starts before the window's end and
      ends after its start; a missing or backward stop ends it at the next
      start on its channel (none: at its own start).  Its genre is that of its
      first category the program knows (ニュース／報道, News ... 趣味／教育 to
      趣味・実用, Education to 教育, キッズ, Children to キッズ).  Order: channels
      as listed (else the document's), then start; a channel and start once.
      Fields as the other truths, but DetailPath "", Station the display-name,
      dates and hours in Japan time, Subtitle the sub-title or "", Other the
      desc, Performers the credits as heading／name・name... in the order
      監督 出演 脚本 脚色 製作 音楽 編集 司会 解説 ゲスト; characters code page 932
      lacks become "〓" (one per character), and Station, Title, Subtitle,
      Performers and Other are cut to 29, 254, 254, 999 and 999 bytes of
      code page 932 without splitting a character.
  /_log, /_log/clear                       site paths served, in arrival order
  /_stats, /_stats/clear                   requests, bytes_sent, in_flight, max_in_flight, stalled_now,
                                           fault counts (closed, reset, error500, cut, stalled,
                                           fail_grids, fail_details)
  /_control?key=value&...                  set faults; reset=1 clears them first
  /_control/size?n=N                       every grid and detail page exactly N bytes (off: n=off)
  /_control?down_ms=N                      stop listening for N milliseconds (connections are
                                           refused), then serve again on the same port
Fault keys (also options --latency-ms, --close-rate, ...): latency_ms, close_rate,
reset_rate, error500_rate, cut_rate, empty_grids, huge, malformed (a share or a
variant name), invalid_euc, fault_seed, size, and
  stall=off|grid|detail|xmltv|all (or a list: grid,detail)
      requests of those kinds are read, logged and counted (stalled, and
      stalled_now while held), then get no answer at all: the connection stays
      open until stall no longer names them, reset=1 comes or 60 s pass, and is
      then closed.  Other requests and the control paths are served meanwhile.
  fail_grids=TEXT
      every grid request whose address contains TEXT (tikicd=3001; gridNormal
      for all) is answered with 500, every time.  off or empty: none.
  fail_details=SHARE
      that share of detail pages, picked per address by the fault seed, is
      answered with 500 every time it is asked for.
  xmltv=ok|cut|notxml|404
      /xmltv.xml as it should be, cut about the middle with the connection
      closed (Content-Length gives the full size), an HTML page with status
      200, or a 404. A client that sends "Accept-Encoding: gzip" gets the
      document gzip-compressed (cut after compression).
The truths ignore the faults: pages failed by fail_grids still have their
records in /_truth/grid.

Python 3 standard library only.
"""

import argparse
import dataclasses
import datetime
import functools
import gzip
import json
import random
import re
import socket
import struct
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

# Every generated page derives from this; change it and all pages change.
SEED = "telomiya-listings-v1"

DETAIL_PREFIX = "/genre/detail.php3?"
GRID_PATH = "/program/gridNormal.php"
XMLTV_PATH = "/xmltv.xml"

# Broadcast day: 05:00 to 29:00 (05:00 of the next calendar day), in minutes.
DAY_START = 5 * 60
DAY_END = 29 * 60
WINDOW_MINUTES = 6 * 60

REGIONS = [
    ("北海道", "0001"), ("青森", "0101"), ("秋田", "0102"), ("岩手", "0103"),
    ("山形", "0104"), ("宮城", "0105"), ("福島", "0106"), ("東京", "0002"),
    ("埼玉", "0201"), ("千葉", "0202"), ("神奈川", "0203"), ("群馬", "0204"),
    ("栃木", "0205"), ("茨城", "0206"), ("山梨", "0301"), ("新潟", "0302"),
    ("長野", "0303"), ("静岡", "0401"), ("愛知", "0003"), ("岐阜", "0402"),
    ("三重", "0403"), ("富山", "0501"), ("石川", "0502"), ("福井", "0503"),
    ("大阪", "0004"), ("京都", "0601"), ("兵庫", "0602"), ("奈良", "0603"),
    ("和歌山", "0604"), ("滋賀", "0605"), ("岡山", "0701"), ("広島", "0702"),
    ("鳥取", "0703"), ("島根", "0704"), ("山口", "0705"), ("香川", "0801"),
    ("徳島", "0802"), ("愛媛", "0803"), ("高知", "0804"), ("福岡", "0005"),
    ("佐賀", "0901"), ("鹿児島", "0902"), ("宮崎", "0903"), ("大分", "0904"),
    ("熊本", "0905"), ("長崎", "0906"), ("沖縄", "0A01"),
]
REGION_LABEL = {code: label for label, code in REGIONS}
GROUP_BS = "3001"
GROUP_CS = "3003"
CS_PAGES = 3
CS_PER_PAGE = 10

GENRES = [
    ("N", "アニメ・特撮"), ("O", "キッズ"), ("D", "スポーツ"), ("Z", "その他"),
    ("M", "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養"), ("B", "ドラマ"), ("J", "ニュース・報道"),
    ("G", "バラエティ"), ("C", "映画"), ("E", "演劇"), ("F", "音楽"),
    ("P", "教育"), ("K", "趣味・実用"), ("Q", "情報"),
]
GENRE_LABEL = dict(GENRES)
GENRE_CODES = [code for code, _ in GENRES] + ["all"]
TIME_CODES = ["%02d0000" % h for h in range(5, 30, 2)]

WEEKDAYS = "月火水木金土日"

# ---------------------------------------------------------------------------
# Encoding helpers

def euc_to_sjis(data):
    """EUC-JP bytes to code page 932 the arithmetic way the program does it,
    with half-width katakana (0x8E xx) shortened to its single byte."""
    out = bytearray()
    i, n = 0, len(data)
    while i < n:
        c1 = data[i]
        if c1 < 0x80:
            out.append(c1)
            i += 1
            continue
        if i + 1 >= n:
            break
        c2 = data[i + 1]
        if c1 == 0x8E:
            out.append(c2)
        else:
            h = c1 >> 1
            if c1 & 1:
                out.append(h + (0x31 if c1 <= 0xDE else 0x71))
                out.append(c2 - (0x61 if c2 < 0xE0 else 0x60))
            else:
                out.append(h + (0x30 if c1 <= 0xDE else 0x70))
                out.append(c2 - 2)
        i += 2
    return bytes(out)


def sjis_len(text):
    return len(text.encode("cp932"))


def text_is_portable(text):
    """True when the EUC-JP form of text turns into exactly its CP932 form."""
    try:
        return euc_to_sjis(text.encode("euc_jp")) == text.encode("cp932")
    except UnicodeError:
        return False


# Bytes that would confuse a byte-wise search in the converted page: '@' and
# '^' can complete a misaligned 0x81 0x40 / 0x81 0x5E pair.
_FORBIDDEN_EVERYWHERE = set("\t<>/&\"@^\\\r")


# ---------------------------------------------------------------------------
# Stations

KEY_STATIONS = {
    "0002": ["ＮＨＫ総合", "ＮＨＫ教育", "日本テレビ", "ＴＢＳ", "フジテレビ",
             "テレビ朝日", "テレビ東京", "ＭＸテレビ"],
    "0004": ["ＮＨＫ総合", "ＮＨＫ教育", "毎日放送", "朝日放送", "関西テレビ",
             "読売テレビ", "テレビ大阪"],
    "0003": ["ＮＨＫ総合", "ＮＨＫ教育", "東海テレビ", "ＣＢＣテレビ", "名古屋テレビ",
             "中京テレビ", "テレビ愛知"],
    "0001": ["ＮＨＫ総合", "ＮＨＫ教育", "ＨＢＣ北海道放送", "札幌テレビ", "北海道テレビ",
             "北海道文化放送", "テレビ北海道"],
    "0005": ["ＮＨＫ総合", "ＮＨＫ教育", "ＲＫＢ毎日放送", "九州朝日放送", "テレビ西日本",
             "ＦＢＳ福岡放送", "ＴＶＱ九州放送"],
}
LOCAL_TEMPLATES = ["{}放送", "{}テレビ", "テレビ{}", "{}中央テレビ", "{}朝日放送",
                   "{}第一テレビ", "{}文化放送", "{}ケーブルテレビ"]

BS_STATIONS = [
    ("ＮＨＫ衛星第一", "bs_nhk"), ("ＮＨＫ衛星第二", "bs_nhk"), ("ＮＨＫハイビジョン", "bs_nhk"),
    ("ＷＯＷＯＷ", "movie"), ("ＢＳ日テレ", "bs"), ("ＢＳ朝日", "bs"), ("ＢＳジャパン", "bs"),
    ("ＢＳフジ", "bs"), ("ＢＳイレブン", "hobby"), ("ＢＳトゥエルビ", "bs"),
    ("放送大学ＢＳ", "edu"), ("スターチャンネル", "movie"),
]
CS_STATIONS = [
    ("アニマックス", "anime"), ("キッズステーション", "kids"), ("カートゥーンネットワーク", "anime"),
    ("ディズニーチャンネル", "kids"), ("日本映画専門チャンネル", "movie"), ("ムービープラス", "movie"),
    ("ザ・シネマ", "movie"), ("衛星劇場", "stage"), ("時代劇専門チャンネル", "drama"),
    ("ファミリー劇場", "drama"),
    ("スーパードラマＴＶ", "drama"), ("ＡＸＮ", "drama"), ("ミステリチャンネル", "drama"),
    ("ＧＡＯＲＡ", "sports"), ("Ｊスポーツ１", "sports"), ("Ｊスポーツ２", "sports"),
    ("スポーツ・アイＥＳＰＮ", "sports"), ("ゴルフネットワーク", "sports"),
    ("グリーンチャンネル", "sports"), ("スペースシャワーＴＶ", "music"),
    ("ＭＴＶ", "music"), ("ＭｕｓｉｃＯｎ！ＴＶ", "music"), ("歌謡ポップスチャンネル", "music"),
    ("ディスカバリーチャンネル", "docu"), ("ナショナルジオグラフィック", "docu"),
    ("ヒストリーチャンネル", "docu"), ("旅チャンネル", "hobby"), ("囲碁・将棋チャンネル", "hobby"),
    ("ショップチャンネル", "shopping"), ("日テレＮＥＷＳ２４", "news"),
]


@functools.lru_cache(maxsize=None)
def stations(group):
    """[(name, profile)] of a station group in the order the grid lists them,
    or None for an unknown group."""
    if group == GROUP_BS:
        return list(BS_STATIONS)
    if group == GROUP_CS:
        return list(CS_STATIONS)
    if group not in REGION_LABEL:
        return None
    if group in KEY_STATIONS:
        names = KEY_STATIONS[group]
    else:
        rng = random.Random("%s|stations|%s" % (SEED, group))
        count = rng.randint(4, 7)
        picked = sorted(rng.sample(range(len(LOCAL_TEMPLATES)), count))
        region = REGION_LABEL[group]
        names = ["ＮＨＫ総合", "ＮＨＫ教育"] + [LOCAL_TEMPLATES[i].format(region) for i in picked]
    profiles = {"ＮＨＫ総合": "nhk", "ＮＨＫ教育": "edu"}
    return [(n, profiles.get(n, "commercial")) for n in names]


# ---------------------------------------------------------------------------
# Vocabulary.  Only characters with the same JIS X 0208 code in EUC-JP and
# CP932; checked at import time.

PROFILE_GENRES = {
    "nhk": {"J": 30, "M": 15, "Q": 14, "B": 8, "G": 6, "D": 6, "F": 5, "K": 5, "P": 3, "Z": 3, "E": 2, "O": 2, "C": 1},
    "edu": {"P": 30, "O": 20, "N": 12, "K": 15, "M": 10, "F": 5, "E": 3, "J": 3, "Z": 2},
    "commercial": {"G": 30, "B": 15, "J": 15, "Q": 12, "N": 6, "D": 6, "C": 5, "M": 4, "F": 4, "K": 2, "Z": 1},
    "bs_nhk": {"M": 25, "D": 15, "C": 10, "F": 10, "J": 15, "B": 10, "K": 10, "E": 5},
    "bs": {"K": 20, "M": 20, "J": 10, "G": 10, "B": 15, "Z": 10, "F": 5, "Q": 10},
    "movie": {"C": 70, "D": 8, "B": 10, "F": 6, "E": 3, "N": 3},
    "anime": {"N": 75, "O": 15, "C": 10},
    "kids": {"O": 60, "N": 30, "P": 10},
    "drama": {"B": 85, "E": 5, "Z": 10},
    "stage": {"E": 60, "F": 20, "C": 10, "Z": 10},
    "sports": {"D": 90, "Q": 10},
    "music": {"F": 85, "Q": 10, "Z": 5},
    "docu": {"M": 85, "Q": 15},
    "hobby": {"K": 70, "Q": 20, "Z": 10},
    "shopping": {"Z": 90, "K": 10},
    "news": {"J": 90, "Q": 10},
}

# Durations in minutes with weights; most programmes run 15, 30, 54 or 60.
DURATIONS = {
    "default": {15: 12, 30: 30, 54: 16, 60: 22, 90: 6, 120: 6, 45: 3, 10: 2, 5: 2, 180: 1},
    "J": {5: 10, 10: 10, 15: 25, 30: 25, 54: 10, 60: 15, 90: 3, 120: 2},
    "C": {120: 50, 180: 15, 90: 20, 150: 15},
    "D": {60: 25, 120: 30, 180: 20, 30: 15, 54: 10},
    "Z": {5: 10, 30: 30, 60: 30, 120: 20, 180: 10},
    "E": {120: 40, 180: 30, 90: 30},
}

TITLES = {
    "N": ["銀河鉄道の旅人", "魔法少女ミライ", "忍者ハヤテ丸", "ロボット大戦ガイア", "ﾃﾞｼﾞﾀﾙﾓﾝｽﾀｰ",
          "ｱﾆﾒ劇場", "星の子ポロン", "名探偵ハルカ", "海賊船ドリーム号", "超光戦士ジャスティス",
          "特捜戦隊シグナルマン", "ねこまる日記", "電脳少年ソラ", "ふしぎの国の冒険"],
    "O": ["おかあさんといっしょ", "ピタゴラ工作室", "みんなのうた", "はなかっぱの森", "こどもニュース",
          "ワンワンパーク", "ざわざわ森のなかまたち", "いないいないばあっ！", "てれび絵本",
          "キッズ☆ダンス", "ｷｯｽﾞｸｯｷﾝｸﾞ"],
    "D": ["プロ野球中継", "サッカー天皇杯", "大相撲九州場所", "全日本フィギュア", "Ｊリーグ中継",
          "ゴルフトーナメント", "ラグビー大学選手権", "スポーツうるぐす", "すぽると！", "マラソン中継",
          "ﾌﾟﾛ野球ﾆｭｰｽ", "バレーボール", "ボクシング世界戦", "競馬中継", "ＮＢＡバスケット"],
    "Z": ["テレビショッピング", "ミニ番組", "インフォマーシャル", "宝くじ抽選会", "ステーションブレイク",
          "ＴＶショップ", "お知らせ", "ﾃﾚﾋﾞｼｮｯﾋﾟﾝｸﾞ"],
    "M": ["ＮＨＫスペシャル", "世界遺産", "プロジェクト未来", "ドキュメント７２時間", "地球ドラマチック",
          "ﾄﾞｷｭﾒﾝﾄ日本", "その時歴史が動いた", "情熱の大陸", "ガイアの夜明け", "ザ・ノンフィクション",
          "人間ドキュメント", "美の巨人たち", "世界ふしぎ発見！", "ソロモン流"],
    "B": ["警視庁捜査一課", "土曜ドラマ", "月曜ドラマ", "大河ドラマ", "連続テレビ小説",
          "木曜ミステリー", "ﾄﾞﾗﾏ３０", "金曜ドラマ", "時代劇スペシャル", "刑事物語",
          "家族の時間", "白い巨塔", "湾岸捜査線", "銭形平次"],
    "J": ["ニュース", "ＮＨＫニュース７", "ニュースウオッチ９", "報道ステーション", "ニュース２３",
          "ﾆｭｰｽ", "ＦＮＮスピーク", "ＪＮＮニュース", "ＮＮＮストレイトニュース", "ＡＮＮニュース",
          "首都圏ニュース", "ニュース・気象情報", "ワールドビジネスサテライト", "きょうの出来事"],
    "G": ["ものまね王座決定戦", "クイズ！ヘキサゴン", "めちゃ２イケてる", "ぐるぐるナイン",
          "はねるのトびら", "しゃべくり００７", "行列のできる相談所", "世界まる見え",
          "ｸｲｽﾞ王決定戦", "お笑い演芸館", "さんま御殿", "爆笑レッドカーペット", "どっきり大作戦"],
    "C": ["金曜ロードショー", "日曜洋画劇場", "土曜プレミアム", "午後のロードショー",
          "映画「七人の侍」", "映画「ローマの休日」", "映画「東京物語」", "映画「天空の城」",
          "映画「男はつらいよ」", "シネマ・ｸﾗｼｯｸｽ", "映画「砂の器」", "映画「羅生門」"],
    "E": ["劇場中継", "歌舞伎中継", "宝塚歌劇", "新春狂言", "文楽への招待", "劇団四季ミュージカル",
          "落語研究会", "松竹新喜劇", "能楽鑑賞", "ステージ・ドア"],
    "F": ["ミュージックステーション", "うたばん", "ＣＤＴＶ", "歌謡コンサート", "Ｎコン",
          "ミュージックジャパン", "クラシック音楽館", "Ｎ響アワー", "名曲アルバム", "ｶｳﾝﾄﾀﾞｳﾝＴＶ",
          "演歌の花道", "ＨＥＹ！ＨＥＹ！ＨＥＹ！", "題名のない音楽会", "ライブ・エクスプレス"],
    "P": ["にほんごであそぼ", "高校講座・数学", "高校講座・英語", "基礎英語", "ビジネス英会話",
          "中学生日記", "おはなしのくに", "理科大好き", "社会のトビラ", "テストの花道",
          "漢字ＤＥ学ぼう", "科学ｱﾄﾞﾍﾞﾝﾁｬｰ"],
    "K": ["きょうの料理", "趣味の園芸", "釣りロマン", "囲碁の時間", "将棋講座", "きょうの健康",
          "おしゃれ工房", "ためしてガッテン", "旅サラダ", "お料理ﾊﾞﾗｴﾃｨ", "日曜大工入門",
          "ゴルフレッスン", "ペットの時間", "ヨガ教室"],
    "Q": ["めざましテレビ", "ズームイン！！", "とくダネ！", "スッキリ！！", "情報ライブ",
          "ワイドスクランブル", "天気予報", "交通情報", "あさイチ", "ちい散歩",
          "スーパーモーニング", "ﾜｲﾄﾞｼｮｰ", "首都圏ネットワーク", "生活情報"],
}
# Short programmes that bring a station back onto the half hour.
FILLER_TITLES = {
    "J": ["ニュース", "ＮＨＫニュース", "ﾆｭｰｽ", "ニュース・天気予報", "ニュースダイジェスト"],
    "Q": ["天気予報", "交通情報", "お天気ｶﾒﾗ", "きょうの占い"],
    "Z": ["ミニ番組", "お知らせ", "番組案内", "ステーションブレイク"],
}
TITLE_DECOR = ["スペシャル", "ＳＰ", "２時間スペシャル", "【字】", "【再】", "【デ】",
               "▽年末特大号", "・選", "★", "第２部", "ﾐﾆ", "ＤＸ"]

PHRASES = ["運命の再会", "消えた手紙", "約束の場所", "最後の賭け", "さよなら、夏の日", "真実の扉",
           "走れ！明日へ", "涙のホームラン", "迷宮の殺人", "春を待つ人", "ﾋﾐﾂの作戦", "謎の転校生",
           "嵐の夜に", "父の背中", "もう一度だけ", "旅立ちの朝", "赤い糸", "最強の敵", "奇跡の一日",
           "二人の約束", "表と裏", "ソラの決意"]
TOPICS = ["年末の渋滞予測", "円相場の行方", "感染症対策", "選挙戦の最新情勢", "大雪への備え",
          "ﾌﾟﾛ野球ｵﾌ情報", "物価の上昇", "地方の観光振興", "宇宙開発の今", "新しい働き方",
          "子育て支援", "ふるさと納税", "温暖化対策", "高齢者の見守り", "防災の知恵", "天気予報の裏側"]
PLACES = ["京都・嵐山", "北海道・富良野", "沖縄・石垣島", "浅草", "横浜中華街", "金沢", "長崎",
          "箱根", "軽井沢", "奈良公園", "仙台", "博多", "ハワイ", "パリ", "ニューヨーク", "道後温泉"]
ACTIVITIES = ["グルメ対決", "大食い", "温泉めぐり", "宝探し", "料理", "ものまね", "早押しクイズ",
              "ﾄﾞｯｷﾘ大作戦", "絶景さんぽ", "職人への弟子入り"]
SEASONS = ["春", "夏", "秋", "冬", "年末", "新春"]
FOODS = ["ぶり大根", "肉じゃが", "鍋焼きうどん", "茶わん蒸し", "ちらしずし", "ハンバーグ", "ｶﾚｰﾗｲｽ",
         "豚汁", "天ぷら", "だし巻き卵", "白菜の漬物", "ソース焼きそば"]
THINGS = ["名建築", "伝統工芸", "秘湯", "絶景", "老舗", "祭り", "古民家", "ｸﾘｽﾏｽｲﾙﾐﾈｰｼｮﾝ",
          "紅葉", "夜景", "鉄道", "能面"]
TEAMS = ["巨人", "阪神", "中日", "広島", "ヤクルト", "横浜", "鹿島", "浦和", "ガンバ大阪",
         "日本代表", "韓国代表", "早稲田", "明治", "慶應"]
COUNTRIES = ["日本", "アメリカ", "フランス", "イギリス", "イタリア", "香港", "韓国", "ドイツ"]
LESSONS = ["二次関数", "過去形", "てこの原理", "江戸時代のくらし", "敬語の使い方", "あいさつ",
           "光の屈折", "確率", "俳句をつくろう", "世界の気候"]

# Subtitle forms per genre; "" stands for a programme without subtitle.
SUBTITLE_FORMS = {
    "story": ["第{n}話「{phrase}」", "最終回「{phrase}」", "「{phrase}」", "第{n}話　{phrase}",
              "＃{n}「{phrase}」", "第{n}話"],
    "news": ["▽{topic}▽{topic2}", "▽{topic}", "きょうの特集　{topic}", "▽ﾆｭｰｽ解説▽{topic}"],
    "variety": ["{person}が{place}で{activity}", "豪華ゲスト大集合ＳＰ", "{season}の{place}ロケ",
                "ｸｲｽﾞ大会", "{activity}対決　第{n}弾"],
    "sports": ["{team}対{team2}", "（{place}）", "第{n}日", "決勝　{team}対{team2}"],
    "movie": ["（{year}年・{country}）", "（{year}年・{country}）吹替版", "（{year}年・{country}）字幕版"],
    "docu": ["「{phrase}」", "{place}の{thing}", "{topic}の真実", "シリーズ{thing}　第{n}回"],
    "music": ["{person}ほか", "{season}の名曲特集", "ｽﾍﾟｼｬﾙﾗｲﾌﾞ", "第{n}回"],
    "edu": ["第{n}回「{lesson}」", "{lesson}", "「{lesson}」ほか"],
    "hobby": ["{food}のつくり方", "{season}の{thing}", "第{n}回", "{place}編"],
    "other": ["{thing}特集", "{season}のおすすめ"],
}
GENRE_KIND = {"N": "story", "O": "story", "B": "story", "E": "story", "C": "movie", "J": "news",
              "Q": "news", "G": "variety", "D": "sports", "M": "docu", "F": "music", "P": "edu",
              "K": "hobby", "Z": "other"}

SENTENCES = {
    "story": ["{person}演じる主人公が{place}で事件に巻き込まれる。",
              "かつての恋人と{place}で再会した主人公は、ある決断をする。",
              "仲間たちとともに最強の敵に立ち向かう。", "母と娘の絆を描く感動作。",
              "名匠が描く人間ドラマの傑作。", "謎の少女の正体とは？",
              "ﾋﾟﾝﾁの主人公に救いの手が差しのべられる。", "物語はいよいよ佳境へ。"],
    "movie": ["{year}年の名作を放送。", "{country}で大ヒットした話題作。",
              "{place}を舞台に繰り広げられる愛と冒険の物語。", "アカデミー賞受賞作品。",
              "ﾉｰｶｯﾄ・字幕スーパーで放送。"],
    "news": ["国内外のニュースを伝える。", "{topic}について最新の情報を伝える。",
             "全国の気象情報も。", "ﾆｭｰｽと天気をコンパクトに。", "経済の動きをわかりやすく解説。"],
    "variety": ["出演者たちが{activity}に挑戦！", "ｽﾀｼﾞｵに{person}を迎えてトーク。",
                "{person}が{place}で体当たりロケ。", "爆笑必至の企画が満載。",
                "視聴者から寄せられた悩みに答える。"],
    "sports": ["{team}対{team2}の一戦を生中継。", "注目の選手たちの熱戦をお伝えします。",
               "解説は元日本代表の{person}さん。", "試合終了まで中継します。"],
    "docu": ["{place}に生きる人々の姿を追った。", "{thing}に秘められた歴史をひもとく。",
             "{topic}の最前線に密着した。", "貴重な映像とともに振り返る。"],
    "music": ["{person}が新曲を披露する。", "懐かしの名曲から最新ヒットまで。",
              "ｽﾍﾟｼｬﾙﾗｲﾌﾞをお届けする。", "豪華アーティストが競演。"],
    "edu": ["今回のテーマは「{lesson}」。", "わかりやすい実験で学ぶ。", "身近な例を使って解説する。"],
    "hobby": ["{food}のおいしいつくり方を紹介。", "家庭でできる{thing}の楽しみ方。",
              "暮らしに役立つ情報をお届けします。", "{season}の旬の味覚を紹介する。"],
    "other": ["おすすめ商品をご紹介します。", "お得な情報をお届けします。",
              "番組の内容は予告なく変更になる場合があります。"],
    "any": ["今回は「{phrase}」をテーマにお届けします。", "{season}の{place}を訪ね、{food}を味わう。",
            "話題の{thing}を徹底調査。", "見逃せない{season}の特別編。", "果たして結末は？",
            "{person}が{place}の{thing}を紹介する。"],
}
INFO_TAGS = ["【字】", "【デ】", "【再】", "【二】", "【解】", "【Ｓ】", "ステレオ放送", "ハイビジョン放送",
             "文字多重放送", "ﾃﾞｰﾀ放送", "二か国語放送", "連動データ放送", "番組ホームページあり"]
INFO_NOTES = ["番組の内容は変更になる場合があります。", "この番組は字幕放送を実施しています。",
              "ｽﾎﾟｰﾂ中継延長の場合、以降の番組は繰り下げ。", "再放送です。",
              "データ放送で番組に参加できます。"]

HEADINGS = {"B": ["出演", "ゲスト", "原作", "脚本", "演出", "音楽"], "N": ["声の出演", "原作", "監督"],
            "O": ["出演", "声の出演"], "J": ["キャスター", "解説", "出演"], "G": ["司会", "出演", "ゲスト"],
            "D": ["解説", "実況", "出場"], "C": ["出演", "声の出演", "監督"], "M": ["語り", "出演", "ゲスト"],
            "F": ["司会", "出演", "指揮"], "P": ["講師", "出演"], "K": ["講師", "出演", "司会"],
            "Q": ["司会", "キャスター", "リポーター"], "E": ["出演", "作", "演出"], "Z": ["出演"]}
NO_PERFORMERS = {"J": 0.55, "Z": 0.7, "Q": 0.35, "D": 0.3}

SURNAMES = ("山田 鈴木 佐藤 高橋 田中 伊藤 渡辺 中村 小林 加藤 吉田 山本 松本 井上 木村 清水 山崎 "
            "池田 橋本 阿部 石川 前田 藤田 岡田 後藤 長谷川 村上 近藤 石井 坂本 遠藤 青木 藤井 西村 "
            "福田 太田 三浦 藤原 岡本 松田 中川 中野 原田 小野 竹内 金子 和田 森田 柴田 酒井 工藤 "
            "横山 宮崎 宮本 内田 高木 安藤 島田 谷口 大野 丸山 今井 河野 藤本 村田 武田 上田 杉山 "
            "増田 小山 平野 大塚 千葉 久保 松井 岩崎 桜井 野口 菅原 市川 十河 表").split()
GIVEN_NAMES = ("太郎 花子 一郎 健太 美咲 翔太 陽子 大輔 さくら 直樹 由美 誠 愛 拓也 恵 隆 真由美 浩二 "
               "明美 修 亮 彩 智子 和也 裕子 剛 舞 哲也 優子 聡 美穂 健一 奈々 達也 香織 蓮 陽菜 悠真 "
               "結衣 大和 葵 拓海 七海 颯太 美月 能子 ソノ").split()
FOREIGN_NAMES = ["マイケル・ブラウン", "ジョン・スミス", "エマ・ワトキンス", "アンナ・ペトロワ",
                 "ルイ・フォンテーヌ", "マリア・ロドリゲス", "ケビン・ミラー", "ソフィア・ロレンツォ"]
HANKAKU_NAMES = ["ｼﾞｮﾝ･ﾃﾞｨｰﾝ", "ﾒｱﾘｰ･ﾛｰｽﾞ", "ｹﾝｼﾞ･ﾊﾔｼ", "ﾏｰｸ･ｽﾐｽ", "ﾘｭｳ"]
GROUP_NAMES = ["劇団ひまわり", "東京少年少女合唱隊", "ザ・フラワーズ", "ＳＫＹ★ＢＯＹＳ", "ＮＨＫ交響楽団",
               "ﾊﾟﾌｨｰﾊﾞﾝﾄﾞ", "さくら組", "オレンジ☆レンジャー"]
# The program keeps names under 30 bytes in CP932; these sit on and past that edge.
EDGE_NAMES = ["ｼﾞｬﾝﾇ・ボナール・オーケストラ",      # 29 bytes (38 in EUC-JP): kept
              "ｼﾞｬﾝ・ボナール・オーケストラ団"]     # 30 bytes: dropped
LONG_NAMES = ["クリストファー・アレクサンダー・ジョンソン", "東京フィルハーモニー交響楽団合唱団有志",
              "アントニオ・デ・ラ・クルス・フェルナンデス", "ｸﾘｽﾄﾌｧｰ･ｱﾚｸｻﾝﾀﾞｰ･ｳｨﾘｱﾑｽﾞ･ｼﾞｭﾆｱ"]


def _check_all_vocabulary():
    lists = [TITLE_DECOR, PHRASES, TOPICS, PLACES, ACTIVITIES, SEASONS, FOODS, THINGS, TEAMS,
             COUNTRIES, LESSONS, INFO_TAGS, INFO_NOTES, SURNAMES, GIVEN_NAMES, FOREIGN_NAMES,
             HANKAKU_NAMES, GROUP_NAMES, EDGE_NAMES, LONG_NAMES, LOCAL_TEMPLATES,
             [label for _, label in REGIONS], [label for _, label in GENRES],
             [n for n, _ in BS_STATIONS], [n for n, _ in CS_STATIONS]]
    lists += list(TITLES.values()) + list(FILLER_TITLES.values()) + list(HEADINGS.values())
    lists += list(SUBTITLE_FORMS.values()) + list(SENTENCES.values()) + list(KEY_STATIONS.values())
    for words in lists:
        for w in words:
            bad = _FORBIDDEN_EVERYWHERE & set(w)
            if bad or "／" in w or not text_is_portable(w):
                raise ValueError("unusable text %r" % (w,))
    for w in (TITLE_DECOR + [t for v in TITLES.values() for t in v] + SURNAMES + GIVEN_NAMES
              + FOREIGN_NAMES + HANKAKU_NAMES + GROUP_NAMES + LONG_NAMES + EDGE_NAMES):
        if "　" in w or " " in w:
            raise ValueError("space in %r" % (w,))


_check_all_vocabulary()


_FULL_WIDTH_DIGITS = str.maketrans("0123456789", "０１２３４５６７８９")


def fw_digits(n):
    """Number in full-width digits, as the site writes episode numbers."""
    return str(n).translate(_FULL_WIDTH_DIGITS)


def weighted(rng, table):
    keys = list(table)
    return rng.choices(keys, weights=[table[k] for k in keys])[0]


def person_name(rng):
    r = rng.random()
    if r < 0.70:
        return rng.choice(SURNAMES) + rng.choice(GIVEN_NAMES)
    if r < 0.82:
        return rng.choice(FOREIGN_NAMES)
    if r < 0.90:
        return rng.choice(HANKAKU_NAMES)
    return rng.choice(GROUP_NAMES)


def fill(rng, form):
    """Fills the {slots} of a text form with picked words."""
    team, team2 = rng.sample(TEAMS, 2)
    topic, topic2 = rng.sample(TOPICS, 2)
    values = {
        "n": fw_digits(rng.randint(1, 48)), "phrase": rng.choice(PHRASES), "topic": topic,
        "topic2": topic2, "place": rng.choice(PLACES), "person": rng.choice(SURNAMES) + rng.choice(GIVEN_NAMES),
        "activity": rng.choice(ACTIVITIES), "season": rng.choice(SEASONS), "food": rng.choice(FOODS),
        "thing": rng.choice(THINGS), "team": team, "team2": team2, "country": rng.choice(COUNTRIES),
        "year": fw_digits(rng.randint(1950, 2008)), "lesson": rng.choice(LESSONS),
    }
    return form.format(**values)


# ---------------------------------------------------------------------------
# Programmes

@dataclasses.dataclass(frozen=True)
class Programme:
    group: str
    station_index: int
    station: str
    date: datetime.date     # broadcast day the programme belongs to
    start: int              # minutes from that day's midnight, 300..1739
    duration: int
    genre: str
    title: str
    subtitle: str           # "" when the programme has none
    description: str
    info: str
    performers: tuple       # ((heading or "", (name, ...)), ...)
    title_prefix: bool      # the title cell carries "<span>genre</span><BR>"
    double_link: bool       # the grid links it twice (title, then time)

    @property
    def end(self):
        return self.start + self.duration

    @property
    def query(self):
        return "id=%s-%s-%02d-%02d%02d" % (self.group, self.date.strftime("%Y%m%d"), self.station_index,
                                           self.start // 60, self.start % 60)

    @property
    def path(self):
        return DETAIL_PREFIX + self.query


def _make_performers(rng, genre):
    if rng.random() < NO_PERFORMERS.get(genre, 0.15):
        return ()
    headings = HEADINGS[genre]
    count = rng.choices([1, 2, 3], weights=[50, 35, 15])[0]
    count = min(count, len(headings))
    chosen = [headings[0]] + rng.sample(headings[1:], count - 1) if rng.random() < 0.7 \
        else rng.sample(headings, count)
    groups = []
    if rng.random() < 0.15:
        # Names that stand before any role heading, as some pages have them.
        groups.append(["", [person_name(rng) for _ in range(rng.randint(1, 3))]])
        if rng.random() < 0.4:
            chosen = []
    for h in chosen:
        n = rng.choices([1, 2, 3, 4, 5], weights=[25, 30, 20, 15, 10])[0]
        groups.append([h, [person_name(rng) for _ in range(n)]])
    r = rng.random()
    if r < 0.06 or r > 0.96:
        # An over-long or edge-length name, never alone under its heading.
        g = rng.choice(groups)
        extra = rng.choice(LONG_NAMES) if r < 0.06 else rng.choice(EDGE_NAMES)
        g[1].insert(rng.randint(0, len(g[1])), extra)
    for g in groups:
        # A name appears at most once under a heading, like a real cast list.
        seen, names = set(), []
        for n in g[1]:
            if n not in seen:
                seen.add(n)
                names.append(n)
        g[1] = names
    return tuple((h, tuple(names)) for h, names in groups)


def _make_programme(group, index, station, profile, date, start, duration, genre, filler):
    rng = random.Random("%s|prog|%s|%d|%s|%d" % (SEED, group, index, date.isoformat(), start))
    kind = GENRE_KIND[genre]
    if filler:
        title = rng.choice(FILLER_TITLES[genre])
        subtitle = ""
        description = rng.choice(SENTENCES[kind]) if rng.random() < 0.7 else ""
        description = fill(rng, description)
        performers = ()
    else:
        title = rng.choice(TITLES[genre])
        if rng.random() < 0.3:
            title += rng.choice(TITLE_DECOR)
        subtitle = "" if rng.random() < 0.25 else fill(rng, rng.choice(SUBTITLE_FORMS[kind]))
        sentences = []
        if rng.random() > 0.03:
            pool = SENTENCES[kind] + SENTENCES["any"]
            for _ in range(rng.randint(1, 4)):
                s = fill(rng, rng.choice(pool))
                if s not in sentences:
                    sentences.append(s)
        description = "".join(sentences)
        performers = _make_performers(rng, genre)
    tags = rng.sample(INFO_TAGS, rng.randint(0, 4))
    info = " ".join(tags)
    if rng.random() < 0.4:
        info = (info + " " if info else "") + rng.choice(INFO_NOTES)
    return Programme(group=group, station_index=index, station=station, date=date, start=start,
                     duration=duration, genre=genre, title=title, subtitle=subtitle,
                     description=description, info=info, performers=performers,
                     title_prefix=rng.random() < 0.85,
                     double_link=duration >= 10 and rng.random() < 0.85)


@functools.lru_cache(maxsize=4096)
def schedule(group, index, date):
    """The station's programmes of one broadcast day (05:00 to 29:00), tiling it."""
    name, profile = stations(group)[index]
    rng = random.Random("%s|day|%s|%d|%s" % (SEED, group, index, date.isoformat()))
    progs = []
    t = DAY_START
    while t < DAY_END:
        if t % 30:
            gap = 30 - t % 30
            if gap < 5:
                gap += 30
            genre = rng.choice(["J", "Q", "Z"])
            duration, filler = gap, True
        else:
            genre = weighted(rng, PROFILE_GENRES[profile])
            duration, filler = weighted(rng, DURATIONS.get(genre, DURATIONS["default"])), False
        duration = min(duration, DAY_END - t)
        progs.append(_make_programme(group, index, name, profile, date, t, duration, genre, filler))
        t += duration
    return tuple(progs)


def programmes_in_window(group, index, date, window_start):
    """Programmes of a station that overlap the six hours from window_start
    (minutes from the date's midnight; past 29:00 the next broadcast day)."""
    window_end = window_start + WINDOW_MINUTES
    found = []
    for offset, day in ((0, date), (1440, date + datetime.timedelta(days=1))):
        if DAY_START + offset >= window_end:
            break
        for p in schedule(group, index, day):
            if p.start + offset < window_end and p.end + offset > window_start:
                found.append(p)
    return found


DETAIL_ID = re.compile(r"^([0-9A-Z]{4})-(\d{8})-(\d{2})-(\d{2})(\d{2})$")


def programme_for_query(query):
    """The programme a detail query names, or None."""
    if query.startswith(DETAIL_PREFIX):
        query = query[len(DETAIL_PREFIX):]
    ident = urllib.parse.parse_qs(query).get("id", [""])[0]
    m = DETAIL_ID.match(ident)
    if not m:
        return None
    group, ymd, index, hh, mm = m.groups()
    sts = stations(group)
    if sts is None or int(index) >= len(sts):
        return None
    try:
        date = datetime.datetime.strptime(ymd, "%Y%m%d").date()
    except ValueError:
        return None
    start = int(hh) * 60 + int(mm)
    for p in schedule(group, int(index), date):
        if p.start == start:
            return p
    return None


# ---------------------------------------------------------------------------
# Times as the detail page prints them and as the program reads them back

def start_clock(minute):
    """(sign, two-digit hour) of a start time in broadcast-day minutes."""
    if minute >= 1440:
        return "深", (minute - 1440) // 60
    if minute < 720:
        return "前", minute // 60
    return "後", minute // 60 - 12


def end_clock(minute):
    hour = (minute % 1440) // 60
    if minute >= 1440 and hour < 5:
        return "深", hour
    if hour < 12:
        return "前", hour
    return "後", hour - 12


def next_day_as_parsed(date):
    """(month, day) of the calendar day after date, the day a "深" start
    falls on.  The page shows no year, but the program takes it from the
    broadcast day it asked for, so leap years count: a start after midnight
    of 28 February 2028 lies on 29 February, one of 28 February 2027 on
    1 March."""
    following = date + datetime.timedelta(days=1)
    return following.month, following.day


def performers_text(performers):
    """Performers as the program stores them: heading with its "／", names
    joined by "・", names of 30 bytes or more left out."""
    out = ""
    for heading, names in performers:
        if heading:
            if out.endswith("・"):
                out = out[:-1]
            out += heading + "／"
        for n in names:
            if sjis_len(n) < 30:
                out += n + "・"
    return out[:-1] if out else ""


def truth(p):
    """The record a correct parser makes of the programme's detail page."""
    month, day = p.date.month, p.date.day
    if p.start >= 1440:
        month, day = next_day_as_parsed(p.date)
    end = p.end % 1440
    subtitle = p.subtitle if sjis_len(p.subtitle) >= 2 else ""
    return {
        "DetailPath": p.path, "Station": p.station, "Month": month, "Day": day,
        "StartHour": (p.start // 60) % 24, "StartMinute": p.start % 60,
        "EndHour": end // 60, "EndMinute": end % 60, "Title": p.title, "Subtitle": subtitle,
        "Performers": performers_text(p.performers), "Other": p.description + "\r\n" + p.info,
    }


TRUTH_FIELDS = ["DetailPath", "Station", "Month", "Day", "StartHour", "StartMinute", "EndHour",
                "EndMinute", "Title", "Subtitle", "Performers", "Other"]


def escape_field(value):
    """CP932 bytes of a field with backslash, CR, LF and TAB escaped; the
    escaping works on bytes, so a 0x5C trail byte (ソ, 表) is doubled too."""
    data = str(value).encode("cp932")
    return (data.replace(b"\\", b"\\\\").replace(b"\r", b"\\r")
            .replace(b"\n", b"\\n").replace(b"\t", b"\\t"))


def truth_tsv(records):
    return b"".join(b"\t".join(escape_field(r[f]) for f in TRUTH_FIELDS) + b"\n" for r in records)


def truth_expected_file(record):
    """The "Name<TAB>value" lines of a golden .expected file."""
    return b"".join(f.encode("ascii") + b"\t" + escape_field(record[f]) + b"\n"
                    for f in TRUTH_FIELDS[1:])


def _check_programme(p):
    """Raises when a generated programme breaks the page layout's rules."""
    for field in (p.title, p.description, p.station) + tuple(n for _, ns in p.performers for n in ns):
        if set(field) & set("　\t<>／/") or not text_is_portable(field):
            raise ValueError("unusable text %r" % (field,))
    t = truth(p)
    limits = {"Station": 30, "Title": 254, "Subtitle": 253, "Performers": 999, "Other": 999}
    for k, limit in limits.items():
        if sjis_len(t[k]) >= limit:
            raise ValueError("%s too long in %s" % (k, p.path))


# ---------------------------------------------------------------------------
# Detail pages

PAGE_HEAD = ('<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">\n'
             '<html lang="ja">\n<head>\n'
             '<meta http-equiv="Content-Type" content="text/html; charset=EUC-JP">\n'
             '<link rel="stylesheet" href="/css/common.css" type="text/css">\n')
DATE_TABLE = '<TABLE cellSpacing="1" cellPadding="0" border="0" width="590">'


def performer_link(name):
    return '<A href="/program/listPerformer.php?id=%d">%s</A>' % (
        zlib.crc32(name.encode("utf-8")) % 900000 + 100000, name)


def performer_html(performers):
    parts = []
    for heading, names in performers:
        links = "、".join(performer_link(n) for n in names)
        parts.append("<BR>\n%s／ %s" % (heading, links) if heading else links)
    return "".join(parts)


def detail_segments(p):
    """The detail page as [label, text] pieces; joined and encoded in EUC-JP
    they make the page.  The pieces let faults be placed precisely."""
    sign, hour = start_clock(p.start)
    esign, ehour = end_clock(p.end)
    d = p.date
    prefix = "<span>%s</span><BR>" % GENRE_LABEL[p.genre] if p.title_prefix else ""
    subtitle = p.subtitle if p.subtitle else "\n"
    back = "/program/gridNormal.php?frame=off&amp;tikicd=%s&amp;way=h&amp;genre=all&amp;hour_select=6" % p.group
    perf = performer_html(p.performers)
    return [
        ["head", PAGE_HEAD + "<title>%s - 番組詳細 - テレビ番組表</title>\n</head>\n"
                 '<body bgcolor="#FFFFFF" text="#000000">\n'
                 '<TABLE cellSpacing="0" cellPadding="0" border="0" width="600">\n<TR>\n'
                 '<TD class="gtitle">\n%s' % (p.title, prefix)],
        ["title", p.title],
        ["title_end", "　"],
        ["subtitle", subtitle],
        ["date", "\t</TD>\n</TR>\n</TABLE>\n%s\n<TR><TD class=\"genre\">%02d/%02d(%s)" % (
            DATE_TABLE, d.month, d.day, WEEKDAYS[d.weekday()])],
        ["times", "　%s%02d:%02d &gt;&gt; %s%02d:%02d" % (sign, hour, p.start % 60, esign, ehour, p.end % 60)],
        ["station_mark", " 　"],
        ["station", p.station],
        ["station_end", " /<BR>"],
        ["description", p.description],
        ["description_end", "\n</TD></TR>\n"],
        ["performers", '<TR><TD class="performer">%s\n</TD></TR>\n' % perf if perf else ""],
        ["info", "</TABLE>\n<!--info2 from  here-->\n%s\n<TR><TD class=\"genre\">\n%s\n</TD></TR>\n</TABLE>\n" % (
            DATE_TABLE, p.info)],
        ["tail", '<p class="back"><a href="%s">番組表へ戻る</a></p>\n</body>\n</html>\n' % back],
    ]


def detail_page(p):
    return "".join(text for _, text in detail_segments(p)).encode("euc_jp")


NOT_FOUND_PAGE = (PAGE_HEAD + "<title>番組詳細 - テレビ番組表</title>\n</head>\n<body>\n"
                  "<p>お探しの番組は見つかりませんでした。</p>\n</body>\n</html>\n").encode("euc_jp")


def detail_body(path):
    p = programme_for_query(path)
    return detail_page(p) if p else NOT_FOUND_PAGE


# ---------------------------------------------------------------------------
# Grid pages

@dataclasses.dataclass(frozen=True)
class GridRequest:
    group: str
    genre: str
    date: datetime.date
    window_start: int
    page: int


def broadcast_today(local_date, local_hour):
    """The broadcast day the site shows without a date: before 05:00 the
    night still belongs to the previous day (hours 1 to 4, as the program)."""
    return local_date - datetime.timedelta(days=1) if 1 <= local_hour <= 4 else local_date


def parse_grid(path, today):
    """GridRequest for a grid address, or None when the site does not know it.
    today is the broadcast day shown without s_hiduke."""
    parts = urllib.parse.urlsplit(path)
    if parts.path != GRID_PATH:
        return None
    qs = urllib.parse.parse_qs(parts.query, keep_blank_values=True)

    def one(key):
        values = qs.get(key)
        return values[0] if values else None

    if one("frame") != "off" or one("way") != "h" or one("hour_select") != "6":
        return None
    group, genre, jikan = one("tikicd"), one("genre"), one("s_jikan")
    if group is None or stations(group) is None or genre not in GENRE_CODES or jikan not in TIME_CODES:
        return None
    date = today
    hiduke = one("s_hiduke")
    if hiduke is not None:
        try:
            date = datetime.datetime.strptime(hiduke, "%Y%m%d").date()
        except ValueError:
            return None
        if len(hiduke) != 8 or not 0 <= (date - today).days <= 7:
            return None
    page = one("page")
    pages = ["1", "2", "3"] if group == GROUP_CS else ["1"]
    if page is None:
        page = "1"
    if page not in pages:
        return None
    return GridRequest(group, genre, date, int(jikan[:2]) * 60, int(page))


def grid_programmes(req):
    """[(station, [programmes])] of a grid page in station order."""
    count = len(stations(req.group))
    first, last = 0, count
    if req.group == GROUP_CS:
        first, last = (req.page - 1) * CS_PER_PAGE, min(count, req.page * CS_PER_PAGE)
    out = []
    for i in range(first, last):
        progs = programmes_in_window(req.group, i, req.date, req.window_start)
        if req.genre != "all":
            progs = [p for p in progs if p.genre == req.genre]
        out.append((stations(req.group)[i][0], progs))
    return out


def grid_charset(group):
    # The satellite pages of the site come in Shift_JIS, the others in EUC-JP.
    return ("Shift_JIS", "cp932") if group == GROUP_CS else ("EUC-JP", "euc_jp")


def _grid_shell(title, charset, body):
    return ('<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">\n<html lang="ja">\n<head>\n'
            '<meta http-equiv="Content-Type" content="text/html; charset=%s">\n'
            '<title>%s</title>\n<link rel="stylesheet" href="/css/grid.css" type="text/css">\n</head>\n'
            '<body bgcolor="#FFFFFF">\n<div class="head"><a href="/">テレビ番組表</a></div>\n%s'
            '</body>\n</html>\n' % (charset, title, body))


def grid_page(req, no_links=False):
    charset, codec = grid_charset(req.group)
    d = req.date
    where = {GROUP_BS: "ＢＳ", GROUP_CS: "ＣＳ"}.get(req.group) or REGION_LABEL[req.group]
    title = "%s %d月%d日(%s) %d時からの番組表" % (where, d.month, d.day, WEEKDAYS[d.weekday()],
                                            req.window_start // 60)
    nav = "/program/gridNormal.php?frame=off&amp;tikicd=%s&amp;way=h&amp;genre=%s&amp;hour_select=6" % (
        req.group, req.genre)
    rows = ['<div class="nav"><a href="%s&amp;s_jikan=%06d">前の時間帯</a> | '
            '<a href="%s&amp;s_jikan=%06d">次の時間帯</a></div>\n' % (
                nav, max(5, req.window_start // 60 - 2) * 10000, nav, min(29, req.window_start // 60 + 2) * 10000),
            '<table class="grid" cellspacing="1" cellpadding="2" border="0">\n']
    for station, progs in grid_programmes(req):
        cells = ['<tr><th class="station" nowrap>%s</th>\n' % station]
        if no_links:
            progs = []
        for p in progs:
            link = '<a href="%s">' % p.path
            hhmm = "%02d:%02d" % ((p.start // 60) % 24, p.start % 60)
            cell = '<td class="g%s" colspan="%d">%s%s</a>' % (p.genre, max(1, p.duration // 5), link, p.title)
            if p.double_link:
                cell += '<br>%s%s</a>' % (link, hhmm)
            cells.append(cell + "</td>\n")
        if not progs:
            cells.append('<td class="none">&nbsp;</td>\n')
        rows.append("".join(cells) + "</tr>\n")
    rows.append("</table>\n")
    if req.group == GROUP_CS:
        rows.append('<div class="pages">%s</div>\n' % " ".join(
            '<a href="%s&amp;s_jikan=%06d&amp;page=%d">%d</a>' % (nav, req.window_start // 60 * 10000, k, k)
            for k in range(1, CS_PAGES + 1)))
    return _grid_shell(title, charset, "".join(rows)).encode(codec)


def empty_grid_page():
    """What the site answers for an address it does not know."""
    return _grid_shell("テレビ番組表", "EUC-JP",
                       "<p>指定された条件の番組表はありません。</p>\n").encode("euc_jp")


def grid_truth(req):
    if req is None:
        return []
    return [truth(p) for _, progs in grid_programmes(req) for p in progs]


# ---------------------------------------------------------------------------
# XMLTV document: the site's own listings of Tokyo, BS and CS as one file

JST = datetime.timezone(datetime.timedelta(hours=9), "JST")
XMLTV_DAYS = 9              # broadcast days from yesterday, as served without ?days=
XMLTV_MAX_DAYS = 30
XMLTV_MAX_SCALE = 20
XMLTV_GROUPS = [("0002", "tokyo"), (GROUP_BS, "bs"), (GROUP_CS, "cs")]

# English display names some channels carry after their Japanese one.
CHANNEL_EN = {
    "ＮＨＫ総合": "NHK General", "ＮＨＫ教育": "NHK Educational", "日本テレビ": "Nippon TV", "ＴＢＳ": "TBS",
    "フジテレビ": "Fuji TV", "テレビ朝日": "TV Asahi", "テレビ東京": "TV Tokyo", "ＷＯＷＯＷ": "WOWOW",
    "ＢＳフジ": "BS Fuji", "スターチャンネル": "Star Channel", "アニマックス": "Animax", "ＡＸＮ": "AXN",
    "ディスカバリーチャンネル": "Discovery Channel", "ＭＴＶ": "MTV",
}
# English titles some programmes carry before the Japanese one; found by how the title begins.
TITLE_EN = {
    "ニュース": "News", "ＮＨＫニュース７": "NHK News 7", "ニュース・気象情報": "News & Weather",
    "天気予報": "Weather Forecast", "大河ドラマ": "Taiga Drama", "金曜ロードショー": "Friday Roadshow",
    "世界遺産": "World Heritage", "プロ野球中継": "Pro Baseball Live", "きょうの料理": "Today's Cooking",
    "みんなのうた": "Songs for Everyone", "ＮＨＫスペシャル": "NHK Special", "ミュージックステーション": "Music Station",
    "サッカー天皇杯": "Emperor's Cup Football", "ワールドビジネスサテライト": "World Business Satellite",
    "映画「七人の侍」": "Seven Samurai", "映画「ローマの休日」": "Roman Holiday", "映画「東京物語」": "Tokyo Story",
    "銀河鉄道の旅人": "Galaxy Railway <Traveller>", "宝塚歌劇": "Takarazuka Revue", "基礎英語": "Basic English",
"ゴルフトーナメント": "Golf Tournament", "名探偵ハルカ": "Detective Haruka",
}
_TITLE_EN_KEYS = sorted(TITLE_EN, key=len, reverse=True)
# Marks code page 932 has no place for; a few titles carry one.
TITLE_MARKS = [("♫", True), ("©", False), ("\U0001F4FA", False)]   # (mark, before the title)

# Site genre: (ARIB large genre in Japanese, English category).  教育 and キッズ
# keep their own Japanese names, so only their English category names a genre.
XMLTV_CATEGORIES = {
    "J": ("ニュース／報道", "News"), "D": ("スポーツ", "Sports"), "Q": ("情報／ワイドショー", "Information"),
    "B": ("ドラマ", "Drama"), "F": ("音楽", "Music"), "G": ("バラエティ", "Entertainment"),
    "C": ("映画", "Movie"), "N": ("アニメ／特撮", "Animation"), "M": ("ドキュメンタリー／教養", "Documentary"),
    "E": ("劇場／公演", "Theater"), "K": ("趣味／教育", "Education"), "P": ("教育", "Education"),
    "O": ("キッズ", "Children"), "Z": ("その他", "Other"),
}
# The program's table from a category to its genre label; a programme takes
# the genre of its first category found here.
CATEGORY_GENRE = {
    "ニュース／報道": "ニュース・報道", "News": "ニュース・報道", "スポーツ": "スポーツ", "Sports": "スポーツ",
    "情報／ワイドショー": "情報", "Information": "情報", "ドラマ": "ドラマ", "Drama": "ドラマ",
    "音楽": "音楽", "Music": "音楽", "バラエティ": "バラエティ", "Entertainment": "バラエティ",
    "映画": "映画", "Movie": "映画", "アニメ／特撮": "アニメ・特撮", "Animation": "アニメ・特撮",
    "ドキュメンタリー／教養": "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養", "Documentary": "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養",
    "劇場／公演": "演劇", "Theater": "演劇", "趣味／教育": "趣味・実用", "Education": "教育",
    "Children": "キッズ", "キッズ": "キッズ", "その他": "その他", "Other": "その他",
}
# The site's performer headings as XMLTV credit roles; names without a heading act.
HEADING_ROLE = {
    "": "actor", "出演": "actor", "声の出演": "actor", "出場": "actor", "監督": "director", "演出": "director",
    "脚本": "writer", "作": "writer", "原作": "writer", "音楽": "composer", "指揮": "composer",
    "司会": "presenter", "キャスター": "presenter", "講師": "presenter", "リポーター": "presenter",
    "語り": "commentator", "解説": "commentator", "実況": "commentator", "ゲスト": "guest",
}
# Credit roles in the order the DTD wants them, with the heading the program shows.
CREDIT_ROLES = [("director", "監督"), ("actor", "出演"), ("writer", "脚本"), ("adapter", "脚色"),
                ("producer", "製作"), ("composer", "音楽"), ("editor", "編集"), ("presenter", "司会"),
                ("commentator", "解説"), ("guest", "ゲスト")]
# How a time is written: with +0900, in UTC with +0000, in UTC without offset,
# without seconds; with their weights.
TIME_FORMS = {"jst": 80, "utc": 7, "bare": 6, "short": 7}
FIELD_BYTES = {"Station": 29, "Title": 254, "Subtitle": 254, "Performers": 999, "Other": 999}


@dataclasses.dataclass(frozen=True)
class Listing:
    """One programme as the XMLTV document has it."""
    channel: str            # id of the first copy's channel
    start: datetime.datetime
    stop: object            # datetime.datetime, None when left out; may lie before start
    start_form: str
    stop_form: str
    title: str
    title_en: str           # "" when the programme has no English title
    subtitle: str
    desc: str
    credits: tuple          # ((role, (name, ...)), ...) in CREDIT_ROLES order
    categories: tuple       # (Japanese, English)


def _listing(p, channel):
    rng = random.Random("%s|xmltv|%s" % (SEED, p.path))
    start = datetime.datetime.combine(p.date, datetime.time(), JST) + datetime.timedelta(minutes=p.start)
    r = rng.random()
    if r < 0.05:
        stop = None
    elif r < 0.06:
        stop = start - datetime.timedelta(minutes=rng.choice([1, 5, 30, p.duration]))
    else:
        stop = start + datetime.timedelta(minutes=p.duration)
    title = p.title
    r = rng.random()
    if r < 0.012:
        mark, before = TITLE_MARKS[int(r / 0.004)]
        title = mark + title if before else title + mark
    title_en = ""
    key = next((k for k in _TITLE_EN_KEYS if p.title.startswith(k)), None)
    if key and rng.random() < 0.6:
        title_en = TITLE_EN[key]
    roles = {}
    for heading, names in p.performers:
        listed = roles.setdefault(HEADING_ROLE[heading], [])
        listed.extend(n for n in names if n not in listed)
    credits = tuple((role, tuple(roles[role])) for role, _ in CREDIT_ROLES if roles.get(role))
    return Listing(channel=channel, start=start, stop=stop, start_form=weighted(rng, TIME_FORMS),
                   stop_form=weighted(rng, TIME_FORMS), title=title, title_en=title_en, subtitle=p.subtitle,
                   desc=p.description, credits=credits, categories=XMLTV_CATEGORIES[p.genre])


def xmltv_channels(scale=1):
    """[(id, Japanese name, English name or "")] in the document's order;
    copies after the first have ids ending in -2.sim, -3.sim..."""
    out = []
    for copy in range(1, scale + 1):
        suffix = "-%d" % copy if copy > 1 else ""
        for group, prefix in XMLTV_GROUPS:
            for i, (name, _) in enumerate(stations(group)):
                out.append(("%s-%d%s.sim" % (prefix, i + 1, suffix), name, CHANNEL_EN.get(name, "")))
    return out


@functools.lru_cache(maxsize=4)
def xmltv_model(first_day, days=XMLTV_DAYS, scale=1):
    """(channels, [(channel id, Listing)] in the document's order) for the
    broadcast days first_day to first_day + days - 1."""
    base = []
    for group, prefix in XMLTV_GROUPS:
        for i in range(len(stations(group))):
            cid = "%s-%d.sim" % (prefix, i + 1)
            for k in range(days):
                base.extend(_listing(p, cid) for p in schedule(group, i, first_day + datetime.timedelta(days=k)))
    entries = [(l.channel if copy == 1 else l.channel[:-4] + "-%d.sim" % copy, l)
               for copy in range(1, scale + 1) for l in base]
    random.Random("%s|xmltv-order|%s|%d|%d" % (SEED, first_day, days, scale)).shuffle(entries)
    return xmltv_channels(scale), entries


def xmltv_time(moment, form):
    if form in ("utc", "bare"):
        moment = moment.astimezone(datetime.timezone.utc)
    text = "%04d%02d%02d%02d%02d" % (moment.year, moment.month, moment.day, moment.hour, moment.minute)
    if form != "short":
        text += "%02d" % moment.second
    return text + {"jst": " +0900", "short": " +0900", "utc": " +0000", "bare": ""}[form]


def xml_text(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def _programme_xml(l):
    """The programme element split around the channel id."""
    attrs = 'start="%s"' % xmltv_time(l.start, l.start_form)
    if l.stop is not None:
        attrs += ' stop="%s"' % xmltv_time(l.stop, l.stop_form)
    out = ['">\n']
    if l.title_en:
        out.append('    <title lang="en">%s</title>\n' % xml_text(l.title_en))
    out.append('    <title lang="ja">%s</title>\n' % xml_text(l.title))
    if l.subtitle:
        out.append('    <sub-title lang="ja">%s</sub-title>\n' % xml_text(l.subtitle))
    if l.desc:
        out.append('    <desc lang="ja">%s</desc>\n' % xml_text(l.desc))
    if l.credits:
        out.append("    <credits>\n")
        out.extend("      <%s>%s</%s>\n" % (role, xml_text(n), role) for role, names in l.credits for n in names)
        out.append("    </credits>\n")
    out.append('    <category lang="ja">%s</category>\n    <category lang="en">%s</category>\n'
               '  </programme>\n' % l.categories)
    return '  <programme %s channel="' % attrs, "".join(out)


_xmltv_lock = threading.Lock()


@functools.lru_cache(maxsize=3)
def _xmltv_bytes(first_day, days, scale):
    channels, entries = xmltv_model(first_day, days, scale)
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE tv SYSTEM "xmltv.dtd">\n'
           '<tv source-info-name="telomiya listings simulator" generator-info-name="listings_site.py">\n']
    for cid, name, english in channels:
        out.append('  <channel id="%s">\n    <display-name lang="ja">%s</display-name>\n' % (cid, xml_text(name)))
        if english:
            out.append('    <display-name lang="en">%s</display-name>\n' % xml_text(english))
        out.append("  </channel>\n")
    parts = {}
    for cid, l in entries:
        head, tail = parts.get(id(l)) or parts.setdefault(id(l), _programme_xml(l))
        out += (head, cid, tail)
    out.append("</tv>\n")
    return "".join(out).encode("utf-8")


def xmltv_document(first_day, days=XMLTV_DAYS, scale=1):
    """UTF-8 bytes of the document, built once per first day, days and scale."""
    with _xmltv_lock:
        return _xmltv_bytes(first_day, days, scale)


def cp932_text(text, size):
    """text as the program keeps it: characters code page 932 lacks become
    "〓", then cut to at most size bytes without splitting a character."""
    out, used = [], 0
    for ch in text:
        try:
            n = len(ch.encode("cp932"))
        except UnicodeError:
            ch, n = "〓", 2
        if used + n > size:
            break
        out.append(ch)
        used += n
    return "".join(out)


def credits_text(credits):
    """Credits as the program stores them: heading, "／", names joined by "・"."""
    heading = dict(CREDIT_ROLES)
    return "".join(heading[role] + "／" + "・".join(names) for role, names in credits)


def xmltv_truth(first_day, bday, hour, genre, channel_ids=None, days=XMLTV_DAYS, scale=1):
    """Records the program shows for the six hours from hour (broadcast-day
    hours, 5 to 29) of broadcast day bday, taken from the document of
    first_day, days and scale.  genre is a label of GENRES or None for all."""
    channels, entries = xmltv_model(first_day, days, scale)
    names = {cid: name for cid, name, _ in channels}
    order = list(dict.fromkeys(c for c in channel_ids if c in names)) if channel_ids else list(names)
    by_channel = {}
    for cid, l in entries:
        by_channel.setdefault(cid, []).append(l)
    begin = datetime.datetime.combine(bday, datetime.time(), JST) + datetime.timedelta(hours=hour)
    end = begin + datetime.timedelta(minutes=WINDOW_MINUTES)
    records = []
    for cid in order:
        listings = sorted(by_channel.get(cid, []), key=lambda l: l.start)
        seen = set()
        for k, l in enumerate(listings):
            if l.start in seen:
                continue
            seen.add(l.start)
            stop = l.stop
            if stop is None or stop < l.start:
                stop = next((m.start for m in listings[k + 1:] if m.start > l.start), l.start)
            if not (l.start < end and stop > begin):
                continue
            found = next((CATEGORY_GENRE[c] for c in l.categories if c in CATEGORY_GENRE), None)
            if genre is not None and found != genre:
                continue
            s, e = l.start.astimezone(JST), stop.astimezone(JST)
            records.append({
                "DetailPath": "", "Station": names[cid], "Month": s.month, "Day": s.day,
                "StartHour": s.hour, "StartMinute": s.minute, "EndHour": e.hour, "EndMinute": e.minute,
                "Title": l.title, "Subtitle": l.subtitle, "Performers": credits_text(l.credits), "Other": l.desc})
            for field, size in FIELD_BYTES.items():
                records[-1][field] = cp932_text(records[-1][field], size)
    return records


XMLTV_NOT_XML = _grid_shell("テレビ番組表", "EUC-JP",
                            "<p>ただいまメンテナンス中です。しばらくお待ちください。</p>\n").encode("euc_jp")


def xmltv_size_args(args):
    """(days, scale) from the arguments of an XMLTV address; ValueError when bad."""
    days, scale = int(args.get("days", XMLTV_DAYS)), int(args.get("scale", 1))
    if not (1 <= days <= XMLTV_MAX_DAYS and 1 <= scale <= XMLTV_MAX_SCALE):
        raise ValueError("days must lie in 1..%d and scale in 1..%d" % (XMLTV_MAX_DAYS, XMLTV_MAX_SCALE))
    return days, scale


# ---------------------------------------------------------------------------
# Faults

MALFORMED_VARIANTS = [
    "no_title_cell", "no_ideographic_space", "no_tab", "no_date_table", "no_date_cell",
    "no_end_time", "no_station_mark", "no_slash", "no_description_end", "no_info_cell",
    "long_texts", "heading_markup", "link_without_gt", "name_without_lt", "empty",
    "cut_after_title_cell", "cut_after_start_space", "cut_after_end_mark", "cut_after_station_mark",
    "cut_after_performer_link", "cut_after_heading", "cut_after_info_mark", "cut_after_info_cell",
]


def _long_programme(p):
    """The programme with texts far longer than the record's fields."""
    names = []
    rng = random.Random("%s|long|%s" % (SEED, p.path))
    for k in range(200):
        name = rng.choice(LONG_NAMES) if k % 7 == 3 else person_name(rng) + fw_digits(k)
        names.append(name)
    performers = (("", tuple(names[:20])), ("出演", tuple(names[20:100])),
                  ("声の出演" * 200, tuple(names[100:200])))
    return dataclasses.replace(
        p, title=(p.title + "スペシャル") * 120, subtitle=(p.subtitle or "副題") * 300,
        station=p.station * 8, description=(p.description or "説明") * 80 + "長い説明文" * 500,
        info=("番組情報" * 700), performers=performers)


def malformed_detail(p, variant):
    """EUC-JP bytes of a damaged detail page."""
    if variant == "long_texts":
        p = _long_programme(p)
    segs = detail_segments(p)
    seg = {pair[0]: pair for pair in segs}

    def joined():
        return "".join(text for _, text in segs)

    if variant == "empty":
        return b""
    if variant == "no_title_cell":
        seg["head"][1] = seg["head"][1].replace('<TD class="gtitle">', '<TD class="title">')
    elif variant == "no_ideographic_space":
        return joined().replace("　", " ").encode("euc_jp")
    elif variant == "no_tab":
        return joined().replace("\t", " ").encode("euc_jp")
    elif variant == "no_date_table":
        seg["date"][1] = seg["date"][1].replace(DATE_TABLE, '<TABLE border="0" width="590">')
    elif variant == "no_date_cell":
        text = joined()
        return text.replace('<TR><TD class="genre">', '<TR><TD class="date">').encode("euc_jp")
    elif variant == "no_end_time":
        seg["times"][1] = seg["times"][1].replace("&gt;&gt; ", "から")
    elif variant == "no_station_mark":
        seg["station_mark"][1] = "　"
    elif variant == "no_slash":
        text = joined()
        cut = text.index(" /<BR>")
        return (text[:cut] + text[cut:].replace("/", "|")).encode("euc_jp")
    elif variant == "no_description_end":
        text = joined()
        cut = text.index(" /<BR>")
        return (text[:cut] + text[cut:].replace("</TD>", "</td>")).encode("euc_jp")
    elif variant == "no_info_cell":
        seg["info"][1] = "</TABLE>\n<!--info2 from  here-->\n<p>番組情報はありません</p>\n"
    elif variant == "heading_markup":
        # A '>' right before the "／" and headings not on their own line.
        seg["performers"][1] = ('<TR><TD class="performer"><B>出演</B>／%s<B>ゲスト</B>>／%s\n</TD></TR>\n' % (
            performer_link("山田太郎"), performer_link("鈴木花子")))
    elif variant == "link_without_gt":
        return (joined().split("<!--info2", 1)[0] + '<A href="/program/listPerformer.php?id=1').encode("euc_jp")
    elif variant == "name_without_lt":
        return (joined().split("<!--info2", 1)[0]
                + '<A href="/program/listPerformer.php?id=2">名前だけの出演者').encode("euc_jp")
    elif variant.startswith("cut_after_"):
        page = joined()
        anchors = {
            "title_cell": ['<TD class="gtitle">'],
            "start_space": ['<TR><TD class="genre">', "　"],
            "end_mark": ["&gt;&gt; "],
            "station_mark": ["&gt;&gt; ", " 　"],
            "performer_link": [" /<BR>", "/program/listPerformer.php?"],
            "heading": [" /<BR>", "／"],
            "info_mark": ["<!--info2 from  here-->"],
            "info_cell": ["<!--info2 from  here-->", '<TD class="genre">'],
        }[variant[len("cut_after_"):]]
        pos = 0
        for a in anchors:
            found = page.find(a, pos)
            if found < 0:
                break
            pos = found + len(a)
        return page[:pos].encode("euc_jp")
    return joined().encode("euc_jp")


def invalid_euc_detail(p, choice):
    """The detail page with byte sequences that are not EUC-JP: stray 0x8E and
    0x8F lead bytes, lone lead bytes and a lead byte as the very last byte."""
    out = []
    for label, text in detail_segments(p):
        data = text.encode("euc_jp")
        if label == "title":
            half = len(text) // 2
            data = text[:half].encode("euc_jp") + b"\x8e\x41" + text[half:].encode("euc_jp")
            if choice & 1:
                data += b"\xc6"           # lone lead byte just before the "　"
        elif label == "description":
            data = b"\x8f\x21" + data + (b"\x8e" if choice & 2 else b"")
        elif label == "station" and choice & 4:
            data = data[:2] + b"\x80" + data[2:]
        elif label == "performers" and data:
            cut = data.find(b'">')
            if cut > 0:
                data = data[:cut + 2] + b"\xff\xfe\x8f" + data[cut + 2:]
        elif label == "tail":
            data += b"\xb0"              # a lead byte without its second byte
        out.append(data)
    return b"".join(out)


STALL_KINDS = ["grid", "detail", "xmltv", "all"]
XMLTV_MODES = ["ok", "cut", "notxml", "404"]
STALL_LIMIT = 60.0      # seconds a held request waits at most before its connection is closed
FAULT_KEYS = ["latency_ms", "close_rate", "reset_rate", "error500_rate", "cut_rate", "empty_grids", "huge",
              "malformed", "invalid_euc", "fault_seed", "size", "stall", "fail_grids", "fail_details", "xmltv"]


def request_kind(path):
    """grid, detail, xmltv or other: what a site path asks for."""
    where = urllib.parse.urlsplit(path).path
    return {GRID_PATH: "grid", "/genre/detail.php3": "detail", XMLTV_PATH: "xmltv"}.get(where, "other")


def _share(value):
    """A fault setting as a share of pages: on/off words or a number."""
    if isinstance(value, (int, float)):
        return float(value)
    v = str(value).strip().lower()
    if v in ("", "0", "off", "false", "no"):
        return 0.0
    if v in ("1", "on", "true", "yes"):
        return 1.0
    return float(v)


@dataclasses.dataclass
class Faults:
    latency_ms: int = 0
    close_rate: float = 0.0
    reset_rate: float = 0.0
    error500_rate: float = 0.0
    cut_rate: float = 0.0
    empty_grids: float = 0.0
    huge: float = 0.0
    malformed: str = "0"        # share of detail pages, or one variant's name
    invalid_euc: float = 0.0
    fault_seed: str = "0"
    size: int = -1              # exact body size of every page; -1: off
    stall: str = "off"          # kinds of request held without an answer: grid, detail, xmltv, all
    fail_grids: str = ""        # grid addresses containing this text are answered with 500
    fail_details: float = 0.0   # share of detail pages always answered with 500
    xmltv: str = "ok"           # how /xmltv.xml is answered: ok, cut, notxml, 404

    def set(self, key, value):
        if key == "latency_ms":
            self.latency_ms = max(0, int(value))
        elif key in ("close_rate", "reset_rate", "error500_rate", "cut_rate", "empty_grids", "huge",
                     "invalid_euc", "fail_details"):
            share = _share(value)
            if not 0.0 <= share <= 1.0:
                raise ValueError("%s must lie between 0 and 1" % key)
            setattr(self, key, share)
        elif key == "malformed":
            if value not in MALFORMED_VARIANTS and not 0.0 <= _share(value) <= 1.0:
                raise ValueError("malformed must be a share or one of: " + ", ".join(MALFORMED_VARIANTS))
            self.malformed = value
        elif key == "fault_seed":
            self.fault_seed = str(value)
        elif key == "size":
            self.size = int(value) if str(value).strip() not in ("", "off") else -1
        elif key == "stall":
            kinds = [k.strip().lower() for k in str(value).split(",") if k.strip()]
            if not set(kinds) <= set(STALL_KINDS + ["off"]):
                raise ValueError("stall must be off or a list of: " + ", ".join(STALL_KINDS))
            kinds = [k for k in STALL_KINDS if k in kinds]
            self.stall = ",".join(kinds) or "off"
        elif key == "fail_grids":
            self.fail_grids = "" if str(value).strip().lower() in ("", "off") else str(value)
        elif key == "xmltv":
            if value not in XMLTV_MODES:
                raise ValueError("xmltv must be one of: " + ", ".join(XMLTV_MODES))
            self.xmltv = value
        else:
            raise KeyError(key)

    def stalls(self, kind):
        """True when requests of kind (grid, detail, xmltv or other) are held."""
        kinds = self.stall.split(",")
        return "all" in kinds or kind in kinds

    def fails(self, kind, path):
        """True when the request is one of those that always get a 500."""
        if kind == "grid":
            return bool(self.fail_grids) and self.fail_grids in path
        if kind == "detail":
            return self.page_hit("fail_details", self.fail_details, urllib.parse.urlsplit(path).query)
        return False

    def draw(self, what, key):
        """A number in [0, 1) fixed by the fault seed, what and key."""
        return random.Random("%s|%s|%s" % (self.fault_seed, what, key)).random()

    def page_hit(self, what, share, path):
        return share >= 1.0 or (share > 0 and self.draw(what, path) < share)

    def detail(self, path):
        """Body of a detail page with the page faults applied."""
        p = programme_for_query(path)
        if p is None:
            body = NOT_FOUND_PAGE
        elif self.malformed in MALFORMED_VARIANTS:
            body = malformed_detail(p, self.malformed)
        elif self.page_hit("malformed", _share(self.malformed), path):
            variant = MALFORMED_VARIANTS[int(self.draw("variant", path) * len(MALFORMED_VARIANTS))]
            body = malformed_detail(p, variant)
        elif self.page_hit("invalid_euc", self.invalid_euc, path):
            body = invalid_euc_detail(p, int(self.draw("choice", path) * 8))
        else:
            body = detail_page(p)
        return self.sized(body)

    def grid(self, path, today):
        req = parse_grid(path, today)
        if req is None:
            return "EUC-JP", self.sized(empty_grid_page())
        charset = grid_charset(req.group)[0]
        body = grid_page(req, no_links=self.page_hit("empty_grids", self.empty_grids, path))
        if self.size < 0 and self.page_hit("huge", self.huge, path):
            body = pad(body, 3000000)
        return charset, self.sized(body)

    def sized(self, body):
        return pad(body, self.size) if self.size >= 0 else body


@functools.lru_cache(maxsize=4)
def gzip_compressed(body):
    return gzip.compress(body, compresslevel=1, mtime=0)


def pad(body, n):
    """body made exactly n bytes long: ASCII padding in an HTML comment at the
    end, or cut when the page is longer."""
    if len(body) >= n:
        return body[:n]
    room = n - len(body)
    if room < 9:
        return body + b" " * room
    return body + b"<!--" + b"x" * (room - 8) + b"-->\n"


# ---------------------------------------------------------------------------
# HTTP server

ERROR_500_PAGE = (b"<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n"
                  b"<title>500 Internal Server Error</title>\n</head><body>\n<h1>Internal Server Error</h1>\n"
                  b"<p>The server encountered an internal error and was unable to complete your request.</p>\n"
                  b"</body></html>\n")
NOT_FOUND_404 = (b"<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n"
                 b"<title>404 Not Found</title>\n</head><body>\n<h1>Not Found</h1>\n"
                 b"<p>The requested URL was not found on this server.</p>\n</body></html>\n")
REASONS = {200: "OK", 400: "Bad Request", 403: "Forbidden", 404: "Not Found", 500: "Internal Server Error"}


def index_page(today):
    links = "".join(
        '<li><a href="/program/gridNormal.php?frame=off&amp;tikicd=%s&amp;way=h&amp;genre=all'
        '&amp;hour_select=6&amp;s_jikan=190000">%s</a></li>\n' % (code, label) for label, code in REGIONS)
    return _grid_shell("テレビ番組表", "EUC-JP", "<p>%d月%d日の番組表</p>\n<ul>\n%s</ul>\n" % (
        today.month, today.day, links)).encode("euc_jp")


class SiteState:
    """Everything the handler threads share, guarded by one lock."""

    def __init__(self, faults, fixed_date=None, fixed_hour=None):
        self.lock = threading.Lock()
        self.faults = faults
        self.fixed_date = fixed_date
        self.fixed_hour = fixed_hour
        self.log = []
        self.sequence = 0           # site requests since the fault seed was last set
        self.in_flight = 0
        self.down_until = None      # monotonic time to listen again after a down_ms request
        self.held = threading.Condition(self.lock)  # wakes held requests when the faults change
        self.stall_epoch = 0        # raised by reset=1: every held request is let go
        self.stalled_now = 0
        self.clear_stats()

    def clear_stats(self):
        # Requests still being answered stay counted as in flight.
        self.requests = 0
        self.bytes_sent = 0
        self.max_in_flight = self.in_flight
        self.outcomes = {"closed": 0, "reset": 0, "error500": 0, "cut": 0, "stalled": 0,
                         "fail_grids": 0, "fail_details": 0}

    def today(self):
        now = datetime.datetime.now()
        date = self.fixed_date or now.date()
        hour = self.fixed_hour if self.fixed_hour is not None else (12 if self.fixed_date else now.hour)
        return broadcast_today(date, hour)

    def stats(self):
        return {"requests": self.requests, "bytes_sent": self.bytes_sent, "in_flight": self.in_flight,
                "max_in_flight": self.max_in_flight, "stalled_now": self.stalled_now, **self.outcomes}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "Apache/2.2.3"
    sys_version = ""

    def log_message(self, format, *args):
        pass

    # -- plumbing

    def send_page(self, status, ctype, body, cut=False, count=True, gzipped=False):
        head = ("HTTP/1.1 %d %s\r\nDate: %s\r\nServer: %s\r\nContent-Type: %s\r\n%s"
                "Content-Length: %d\r\nConnection: close\r\n\r\n" % (
                    status, REASONS.get(status, "OK"), self.date_time_string(), self.server_version,
                    ctype, "Content-Encoding: gzip\r\n" if gzipped else "", len(body))).encode("ascii")
        data = head + (body[:len(body) // 2] if cut else body)
        self.close_connection = True
        try:
            self.wfile.write(data)
            self.wfile.flush()
        except OSError:
            return
        if count:
            with self.server.state.lock:
                self.server.state.bytes_sent += len(data)

    def reset_connection(self):
        # Linger 0 makes close() send a TCP reset instead of a FIN.
        self.close_connection = True
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.rfile.close()
            self.connection.close()
        except OSError:
            pass

    def do_GET(self):
        if self.path.startswith("/_"):
            self.control()
        else:
            self.site()

    # -- the listings site

    def site(self):
        st = self.server.state
        with st.lock:
            st.log.append(self.path)
            st.requests += 1
            st.in_flight += 1
            st.max_in_flight = max(st.max_in_flight, st.in_flight)
            seq = st.sequence
            st.sequence += 1
            faults = dataclasses.replace(st.faults)
            today = st.today()
            kind = request_kind(self.path)
            stalled = faults.stalls(kind)
            if stalled:
                st.outcomes["stalled"] += 1
                st.stalled_now += 1
        try:
            if stalled:
                self.hold(kind)
                return
            if faults.latency_ms:
                time.sleep(faults.latency_ms / 1000.0)
            if faults.fails(kind, self.path):
                with st.lock:
                    st.outcomes["fail_" + kind + "s"] += 1
                self.send_page(500, "text/html; charset=iso-8859-1", ERROR_500_PAGE)
                return
            u = faults.draw("request", seq)
            action = None
            edge = 0.0
            for name, rate in (("closed", faults.close_rate), ("reset", faults.reset_rate),
                               ("error500", faults.error500_rate), ("cut", faults.cut_rate)):
                edge += rate
                if u < edge:
                    action = name
                    break
            if action:
                with st.lock:
                    st.outcomes[action] += 1
            if action == "closed":
                self.close_connection = True        # the server closes without a word
                return
            if action == "reset":
                self.reset_connection()
                return
            if action == "error500":
                self.send_page(500, "text/html; charset=iso-8859-1", ERROR_500_PAGE)
                return
            status, ctype, body = self.site_page(faults, today)
            cut = action == "cut" or (kind == "xmltv" and faults.xmltv == "cut" and status == 200)
            # As tuner servers do, the document goes compressed to a client that asks for it.
            gzipped = kind == "xmltv" and status == 200 and "gzip" in self.headers.get("Accept-Encoding", "")
            self.send_page(status, ctype, gzip_compressed(body) if gzipped else body, cut=cut, gzipped=gzipped)
        finally:
            with st.lock:
                st.in_flight -= 1

    def hold(self, kind):
        """Keeps the connection open without a word until the stall is switched
        off for kind, a reset comes or STALL_LIMIT passes; then closes it."""
        st = self.server.state
        deadline = time.monotonic() + STALL_LIMIT
        with st.lock:
            epoch = st.stall_epoch
            while st.faults.stalls(kind) and st.stall_epoch == epoch:
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                st.held.wait(left)
            st.stalled_now -= 1
        self.close_connection = True

    def site_page(self, faults, today):
        parts = urllib.parse.urlsplit(self.path)
        if parts.path == GRID_PATH:
            charset, body = faults.grid(self.path, today)
            return 200, "text/html; charset=%s" % charset, body
        if parts.path == "/genre/detail.php3":
            return 200, "text/html; charset=EUC-JP", faults.detail(parts.query)
        if parts.path == XMLTV_PATH:
            if faults.xmltv == "404":
                return 404, "text/html; charset=iso-8859-1", NOT_FOUND_404
            if faults.xmltv == "notxml":
                return 200, "text/html; charset=EUC-JP", XMLTV_NOT_XML
            qs = urllib.parse.parse_qs(parts.query)
            try:
                days, scale = xmltv_size_args({k: v[-1] for k, v in qs.items()})
            except ValueError:
                return 400, "text/html; charset=iso-8859-1", b"<html><body><h1>Bad Request</h1></body></html>\n"
            return 200, "application/xml; charset=UTF-8", xmltv_document(today - datetime.timedelta(days=1),
                                                                          days, scale)
        if parts.path in ("/", "/index.html"):
            return 200, "text/html; charset=EUC-JP", index_page(today)
        return 404, "text/html; charset=iso-8859-1", NOT_FOUND_404

    # -- control paths (loopback only)

    def send_json(self, value, status=200):
        self.send_page(status, "application/json; charset=utf-8",
                       json.dumps(value, ensure_ascii=False, indent=1).encode("utf-8") + b"\n", count=False)

    def control(self):
        st = self.server.state
        host = self.client_address[0]
        if not (host.startswith("127.") or host == "::1"):
            self.send_json({"error": "control paths answer loopback clients only"}, 403)
            return
        parts = urllib.parse.urlsplit(self.path)
        qs = urllib.parse.parse_qs(parts.query, keep_blank_values=True)
        args = {k: v[-1] for k, v in qs.items()}
        route = parts.path.rstrip("/")
        if route in ("/_truth/grid", "/_truth/detail"):
            path = args.get("path", "")
            if route == "/_truth/grid":
                records = grid_truth(parse_grid(path, st.today()))
                found = True
            else:
                p = programme_for_query(urllib.parse.urlsplit(path).query if path.startswith("/") else path)
                records = [truth(p)] if p else []
                found = p is not None
            if args.get("format") == "tsv":
                self.send_page(200 if found else 404, "text/tab-separated-values; charset=Shift_JIS",
                               truth_tsv(records), count=False)
            elif route == "/_truth/grid":
                self.send_json(records)
            else:
                self.send_json(records[0] if found else {"error": "no such programme"}, 200 if found else 404)
        elif route == "/_truth/xmltv":
            try:
                day, slot, genre = int(args.get("day", 0)), int(args.get("time", 0)), int(args.get("genre", 14))
                days, scale = xmltv_size_args(args)
                if not (0 <= day <= 7 and 0 <= slot < len(TIME_CODES) and 0 <= genre <= len(GENRES)):
                    raise ValueError
            except ValueError:
                self.send_json({"error": "day 0..7, time 0..12, genre 0..14, days, scale: whole numbers"}, 400)
                return
            today = st.today()
            channels = [c for c in args.get("channels", "").split(",") if c] or None
            records = xmltv_truth(today - datetime.timedelta(days=1), today + datetime.timedelta(days=day),
                                  int(TIME_CODES[slot][:2]), GENRES[genre][1] if genre < len(GENRES) else None,
                                  channels, days, scale)
            if args.get("format") == "tsv":
                self.send_page(200, "text/tab-separated-values; charset=Shift_JIS", truth_tsv(records), count=False)
            else:
                self.send_json(records)
        elif route == "/_log":
            with st.lock:
                text = "".join(line + "\n" for line in st.log)
            self.send_page(200, "text/plain; charset=iso-8859-1", text.encode("latin-1", "replace"), count=False)
        elif route == "/_log/clear":
            with st.lock:
                st.log = []
            self.send_json({"log": "cleared"})
        elif route == "/_stats":
            with st.lock:
                stats = st.stats()
            self.send_json(stats)
        elif route == "/_stats/clear":
            with st.lock:
                st.clear_stats()
                stats = st.stats()
            self.send_json(stats)
        elif route in ("/_control", "/_control/size"):
            # All settings of one request apply together or not at all.
            # down_ms is an action, not a lasting fault: it is taken out first.
            down_ms = None
            if route == "/_control" and "down_ms" in args:
                try:
                    down_ms = int(args.pop("down_ms"))
                except ValueError:
                    down_ms = -1
                if down_ms < 0:
                    self.send_json({"error": "down_ms must be a whole number of milliseconds"}, 400)
                    return
            with st.lock:
                reset = args.get("reset") not in (None, "0")
                faults = Faults() if reset else dataclasses.replace(st.faults)
                try:
                    for key, value in args.items():
                        if key != "reset":
                            faults.set("size" if (route == "/_control/size" and key == "n") else key, value)
                except KeyError as e:
                    error = "unknown fault key %s" % e
                except ValueError as e:
                    error = "bad fault value: %s" % e
                else:
                    error = None
                    st.faults = faults
                    if reset or "fault_seed" in args:
                        st.sequence = 0
                    if reset:
                        st.stall_epoch += 1
                    st.held.notify_all()
                current = dataclasses.asdict(st.faults)
            if error:
                self.send_json({"error": error}, 400)
                return
            if down_ms is not None:
                current["down_ms"] = down_ms
            self.send_json(current)
            if down_ms:
                self.go_down(down_ms)
        else:
            self.send_json({"error": "unknown control path"}, 404)

    def go_down(self, milliseconds):
        """Has the serving loop close the listening socket and open it again
        after milliseconds; requests already accepted are still answered."""
        st = self.server.state
        with st.lock:
            st.down_until = time.monotonic() + milliseconds / 1000.0
        # shutdown() waits for the loop, which runs on another thread.
        threading.Thread(target=self.server.shutdown, daemon=True).start()


class SiteServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128

    def reopen(self):
        """A new listening socket on the same address."""
        self.socket = socket.socket(self.address_family, self.socket_type)
        self.server_bind()
        self.server_activate()

    def handle_error(self, request, client_address):
        # A client that went away is not news; anything else is a bug here.
        if not isinstance(sys.exc_info()[1], (ConnectionError, socket.timeout)):
            super().handle_error(request, client_address)


# ---------------------------------------------------------------------------
# Command line

def _date_arg(text):
    return datetime.datetime.strptime(text, "%Y%m%d").date()


def main(argv=None):
    ap = argparse.ArgumentParser(description="Stand-in for the TV listings site (loopback only).")
    ap.add_argument("--port", type=int, default=8080, help="TCP port on 127.0.0.1 (0: any free port)")
    ap.add_argument("--date", type=_date_arg, help="local date taken as today, YYYYMMDD")
    ap.add_argument("--hour", type=int, help="local hour taken as now (default 12 with --date)")
    ap.add_argument("--dump-detail", metavar="PATH", help="write the detail page's EUC-JP bytes to stdout")
    ap.add_argument("--dump-truth", metavar="PATH", help="write the truth of a detail or grid path")
    ap.add_argument("--format", choices=["json", "tsv"], default="json", help="format of --dump-truth")
    ap.add_argument("--dump-xmltv", metavar="FILE", help="write the XMLTV document of the date to FILE")
    ap.add_argument("--xmltv-days", type=int, default=XMLTV_DAYS, help="broadcast days of --dump-xmltv")
    ap.add_argument("--xmltv-scale", type=int, default=1, help="copies of the channels in --dump-xmltv")
    for key in FAULT_KEYS:
        ap.add_argument("--" + key.replace("_", "-"), dest=key, metavar="VALUE", help="fault: " + key)
    args = ap.parse_args(argv)

    faults = Faults()
    for key in FAULT_KEYS:
        value = getattr(args, key)
        if value is not None:
            try:
                faults.set(key, value)
            except ValueError:
                ap.error("bad value for --%s: %r" % (key.replace("_", "-"), value))
    state = SiteState(faults, args.date, args.hour)

    first_day = state.today() - datetime.timedelta(days=1)
    if args.dump_xmltv:
        try:
            days, scale = xmltv_size_args({"days": args.xmltv_days, "scale": args.xmltv_scale})
        except ValueError as e:
            ap.error(str(e))
        with open(args.dump_xmltv, "wb") as f:
            f.write(xmltv_document(first_day, days, scale))
        return 0
    if args.dump_detail:
        path = args.dump_detail
        query = urllib.parse.urlsplit(path).query if path.startswith("/") else path
        sys.stdout.buffer.write(faults.detail(query))
        return 0
    if args.dump_truth:
        path = args.dump_truth
        if urllib.parse.urlsplit(path).path == GRID_PATH:
            records = grid_truth(parse_grid(path, state.today()))
            value = records
        else:
            p = programme_for_query(urllib.parse.urlsplit(path).query if path.startswith("/") else path)
            if p is None:
                print("no such programme: %s" % path, file=sys.stderr)
                return 1
            records = [truth(p)]
            value = records[0]
        if args.format == "tsv":
            sys.stdout.buffer.write(truth_tsv(records))
        else:
            sys.stdout.buffer.write(json.dumps(value, ensure_ascii=False, indent=1).encode("utf-8") + b"\n")
        return 0

    server = SiteServer(("127.0.0.1", args.port), Handler)
    server.state = state
    # The document takes about a second to build; have it ready before it is asked for.
    threading.Thread(target=xmltv_document, args=(first_day,), daemon=True).start()
    print("listings_site: serving http://127.0.0.1:%d/" % server.server_address[1], flush=True)
    try:
        while True:
            # A short poll so that a down_ms request closes the socket promptly.
            server.serve_forever(poll_interval=0.05)
            with state.lock:
                until, state.down_until = state.down_until, None
            if until is None:
                continue                    # a stray stop from overlapping down requests
            server.socket.close()           # new connections are refused from here
            time.sleep(max(0.0, until - time.monotonic()))
            server.reopen()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
