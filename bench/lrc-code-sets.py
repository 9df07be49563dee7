#!/usr/bin/env python3
"""How often zveklc-cli reads an LRC file in the wrong code set.

Makes random LRC files of one, two and four lyrics lines (a time stamp in
front of each, kana, common kanji, punctuation, some English), writes each in
EUC-JP and in Shift-JIS, converts it with `zveklc-cli lrc -o - -` and
compares the result with that of the same text as UTF-8 with a byte-order
mark, which is never in doubt. Shift-JIS files are written in full-width text
and, one in five, in the half-width katakana of old karaoke files, the only
Shift-JIS that is also valid EUC-JP often enough to matter.

    bench/lrc-code-sets.py [path/to/zveklc-cli] [files per set]

Prints, per code set and number of lines, the files read wrongly, the files
that were valid in both code sets, and how many of all got the note that the
code set was only assumed. The seed is fixed: the same build gives the same
figures.
"""
import random
import subprocess
import sys

CLI = sys.argv[1] if len(sys.argv) > 1 else "build/src/zveklc-cli"
COUNT = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
SEED = 20261208

NOUNS = ("君 僕 私 あなた 愛 夢 空 心 涙 笑顔 明日 世界 未来 光 風 花 夜 星 歌 手 時間 季節 想い 言葉 永遠 "
         "約束 記憶 奇跡 春 夏 秋 冬 雨 雪 海 街 道 扉 窓 声 胸 瞳 背中 景色 場所 今日 昨日 毎日 一人 二人 "
         "自分 友達 恋 桜 月 太陽 朝 夕焼け 青空 願い 希望 勇気 未来図 思い出 坂道 線路 電車 手紙 写真 "
         "最後 最初 始まり 終わり 気持ち 理由 答え 鼓動 運命 翼 旅 地図 虹 波 砂 砂浜 灯り 影 嘘 本当").split()
KATAKANA = ("メロディー ラブ ハート ドリーム キス ダンス ステージ ストーリー メッセージ ライト スター "
            "ブルー ロック ギター リズム パーティー ワンダー シャイン ナイト サマー ウィンター ドア").split()
PARTICLES = "を が は に で と の も へ から まで より".split()
VERBS = ("歩いて 走って 抱きしめて 見つめて 信じて 笑って 泣いて 叫んで 歌って 探して 忘れない 離さない "
         "会いたい 届けたい 守りたい 感じる 消えていく 輝いて 揺れて 待っている 始まる 終わらない 愛してる "
         "知らない 変わらない 描いた 選んだ 咲いた 続いていく 呼んでいる 抱えて 重ねて 繋いで 飛び立つ").split()
ENDINGS = "よ ね さ な の だ わ よね かな だろう".split()
ENGLISH = ("Oh yeah baby love I love you Wow Hey Come on Forever Dream Shine Go Let's go Na na na "
           "All right My love Fly away Good bye").split("  ") + "Oh yeah baby love Wow Hey".split()
PUNCT = ["、", "。", "！", "？", "…", "〜", "ー", "・"]
COMMON_KANJI = ("一二三四五六七八九十百千万円年月日時分上下左右中大小山川田人口目耳手足力男女子学生先名前"
                "白赤青黒金木水火土天気雨花草竹石糸車音楽校文字本休見聞言話読書歩走立入出行来帰思考知"
                "作使持待買売食飲会同朝昼夜晩東西南北春夏秋冬風雲海空星光色心愛夢恋涙声歌笑泣遠近強弱")
HALF = "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜｦﾝｰｯｬｭｮ"
HALF_WORDS = ("ｱｲｼﾃﾙ ｷﾐｦ ﾎﾞｸﾊ ﾜﾀｼ ﾕﾒ ｿﾗﾆ ﾊﾅ ｺｺﾛ ｱｼﾀ ｶｾﾞ ﾎｼ ｳﾀ ﾅﾐﾀﾞ ｴｶﾞｵ ﾄｷ ﾐﾗｲ ｺﾄﾊﾞ ﾖﾙ ｱﾒ ﾐﾁ "
              "ﾄﾋﾞﾗ ﾋｶﾘ ｻｸﾗ ﾂｷ ﾀﾋﾞ ｳﾐ ﾏﾁ ｺｴ ﾑﾈ ﾋﾄﾐ ｶﾞ ﾊ ﾆ ﾃﾞ ﾄ ﾉ ﾓ ﾖ ﾈ ｻ ﾀﾞｲｽｷ ﾒﾛﾃﾞｨｰ ﾗﾌﾞ ﾊｰﾄ ｷｽ "
              "ﾀﾞﾝｽ ｱｲﾀｲ ﾜｽﾚﾅｲ ｼﾝｼﾞﾃ ﾜﾗｯﾃ ﾅｲﾃ ｳﾀｯﾃ ｻｶﾞｼﾃ ﾏｯﾃｲﾙ ﾊｼﾞﾏﾙ").split()


def phrase(rng):
    kind = rng.random()
    if kind < 0.45:
        words = rng.choice(NOUNS) + rng.choice(PARTICLES)
        if rng.random() < 0.6:
            words += rng.choice(VERBS)
    elif kind < 0.6:
        words = rng.choice(KATAKANA) + rng.choice(PARTICLES + [""])
    elif kind < 0.75:
        words = rng.choice(VERBS) + rng.choice(ENDINGS + [""])
    elif kind < 0.85:
        words = rng.choice(ENGLISH)
    elif kind < 0.93:
        words = "".join(rng.choice(COMMON_KANJI) for _ in range(rng.randint(1, 3))) + rng.choice(PARTICLES)
    else:
        words = rng.choice(NOUNS) + rng.choice(NOUNS)
    return words


def full_width_line(rng):
    parts = [phrase(rng) for _ in range(rng.randint(1, 4))]
    out = ""
    for part in parts:
        if out:
            out += rng.choice(["", "", " ", "　", rng.choice(PUNCT)])
        out += part
    if rng.random() < 0.3:
        out += rng.choice(PUNCT)
    if rng.random() < 0.1:
        opener, closer = rng.choice([("「", "」"), ("『", "』"), ("（", "）")])
        out = opener + out + closer
    return out


def half_width_line(rng):
    words = [rng.choice(HALF_WORDS) for _ in range(rng.randint(2, 6))]
    if rng.random() < 0.2:
        words.insert(rng.randint(0, len(words)), rng.choice(ENGLISH))
    return " ".join(words)


def stamp(rng, t):
    return "[%02d:%02d.%02d]" % (t // 6000, t // 100 % 60, t % 100)


def lrc_text(rng, lines, half):
    t = rng.randint(0, 6000)
    out = []
    for _ in range(lines):
        t += rng.randint(150, 800)
        out.append(stamp(rng, t) + (half_width_line(rng) if half else full_width_line(rng)))
    return "\r\n".join(out) + "\r\n"


def convert(data):
    r = subprocess.run([CLI, "lrc", "-o", "-", "-"], input=data, capture_output=True, check=False)
    return r.stdout, r.stderr.decode("utf-8", "replace")


def valid_sjis(data):
    i = 0
    while i < len(data):
        b = data[i]
        if b >= 0x80 and not 0xA1 <= b <= 0xDF:
            if not (0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC) or i + 1 >= len(data):
                return False
            i += 1
            if data[i] < 0x40 or data[i] == 0x7F or data[i] > 0xFC:
                return False
        i += 1
    return True


def valid_euc(data):
    i = 0
    while i < len(data):
        b = data[i]
        if b >= 0x80:
            trail = 2 if b == 0x8F else 1
            last = 0xDF if b == 0x8E else 0xFE
            if b not in (0x8E, 0x8F) and not 0xA1 <= b <= 0xFE or i + trail >= len(data):
                return False
            if any(not 0xA1 <= t <= last for t in data[i + 1:i + 1 + trail]):
                return False
            i += trail
        i += 1
    return True


def both_valid(data):
    """Bytes that read as both code sets, which only a closer look can tell apart."""
    return any(b >= 0x80 for b in data) and valid_sjis(data) and valid_euc(data)


def main():
    rng = random.Random(SEED)
    print("code set   lines  files  misread  valid in both  note")
    for codec in ("euc_jp", "cp932"):
        for lines in (1, 2, 4):
            wrong = ambiguous = noted = 0
            for _ in range(COUNT):
                half = codec == "cp932" and rng.random() < 0.2
                text = lrc_text(rng, lines, half)
                data = text.encode(codec)
                # The reference reads "〜" as the program's table does.
                reference = b"\xef\xbb\xbf" + text.encode("cp932").decode("cp932").encode("utf-8")
                out, err = convert(data)
                want, _ = convert(reference)
                wrong += out != want
                ambiguous += both_valid(data)
                noted += "文字コード" in err
            name = "EUC-JP" if codec == "euc_jp" else "Shift-JIS"
            print("%-10s %5d  %5d  %5.1f %%  %11.1f %%  %4.1f %%" % (
                name, lines, COUNT, 100 * wrong / COUNT, 100 * ambiguous / COUNT, 100 * noted / COUNT))


if __name__ == "__main__":
    main()
