#!/usr/bin/env bash
# Whole-process timings of zveklc-cli, start to exit, as a script meets
# them, side by side with iconv converting the same file in the same
# hyperfine run (so a busy machine slows both alike).
#
#   bench/whole-process.sh [path/to/zveklc-cli]   (default: build-rel/src/zveklc-cli)
#   BEFORE=path/to/older/zveklc-cli bench/whole-process.sh   also times an older build in the same runs
#   RUNS (default 20) runs per hyperfine run, ROUNDS (default 3) hyperfine runs per input
#
# Build it Release first:
#   cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DZVEKLC_GUI=OFF
#   cmake --build build-rel --target zveklc-cli
# Goals: a 40 KB page at most 2x iconv; a 9.6 MB EUC-JP page at most 1.0x
# iconv; a 9.6 MB Shift_JIS page at least 150 MB/s; `text` on 200,000 lines
# at least 1 M lines/s, and on 200,000 lines shaped like real Japanese lyrics
# (8 MB) at least 2 M lines/s.
set -euo pipefail

cli=$(realpath "${1:-build-rel/src/zveklc-cli}")
before=${BEFORE:+$(realpath "$BEFORE")}
runs=${RUNS:-20}
rounds=${ROUNDS:-3}
if [ -z "$(command -v hyperfine)" ]; then
    apt-get update -qq && apt-get install -y -qq hyperfine
fi
for tool in iconv python3; do
    [ -n "$(command -v "$tool")" ] || { echo "needs $tool" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Inputs: a lyrics site's page (Japanese lines between <br> tags, a table,
# lists, comments, CR LF) repeated to size, plain lyrics lines, and lines
# shaped like real Japanese lyrics.
python3 - <<'EOF'
head = ('<html>\r\n<head>\r\n<meta http-equiv="Content-Type" content="text/html; charset=@">\r\n'
        '<title>歌詞検索 - 春の歌</title>\r\n</head>\r\n<body bgcolor="#FFFFFF">\r\n')
block = ('<table width="100%" border="0"><tr><td class="title">春の風　作詞：山田太郎</td></tr></table>\r\n'
         '<!-- 歌詞ここから -->\r\n'
         '<p>春の風が吹いて　君の名前を呼んだ<br>\r\n'
         '夜空に光る星たちよ、どうか届けてこの想い<br>\r\n'
         '<b>ラララ</b> 遠い街まで歩いていこう &amp; 歌おう<br>\r\n'
         '窓を開ければ聞こえてくる　あの日の約束と笑い声<br></p>\r\n'
         '<ul><li>カラオケ配信中<li type="square">着うた配信中</ul>\r\n'
         '<blockquote>いつまでも忘れないで、二人で見た海の色を</blockquote>\r\n'
         '<ol><li>春の風<li>夏の空</ol>\r\n')
tail = '</body>\r\n</html>\r\n'
def page(size, codec, label):
    b = block.encode(codec)
    text = head.replace('@', label).encode(codec) + b * (size // len(b)) + tail.encode(codec)
    return text
open('small-euc.html', 'wb').write(page(40 * 1000, 'euc_jp', 'EUC-JP'))
open('large-euc.html', 'wb').write(page(9600 * 1000, 'euc_jp', 'EUC-JP'))
open('large-sjis.html', 'wb').write(page(9600 * 1000, 'cp932', 'Shift_JIS'))
lines = ['朝の窓をあけて', '　ひかりが部屋にこぼれる　', '', '  Walking down the morning street  ',
         '"one", "two"']
open('lines.txt', 'wb').write(''.join(lines[i % 5] + '\r\n' for i in range(200000)).encode('cp932'))
# Lyrics as real songs have them: Japanese lines of 8-40 characters (kana,
# kanji, punctuation, full-width spaces, some ASCII words), blank lines
# between verses, now and then a whole line in ASCII. A fixed linear
# congruential generator keeps the file the same on every machine.
seed = 12345
def rnd(n):
    global seed
    seed = (seed * 1103515245 + 12345) % 2**31
    return (seed >> 8) % n
hira = 'あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをんがぎぐげござじずぜぞだでどばびぶべぼぱぴぷっゃゅょ'
kata = 'アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲンガギグゲゴザジズゼゾダデドバビブベボパピプペポッャュョー'
kanji = '愛夢空海風花雪月星夜朝光影心声涙笑君僕私街道歩走見聞言思出会別今日明昨時間永遠約束記憶未来過去世界胸手届遠近色青赤白黒春夏秋冬雨雲虹'
punct = '、。！？「」…〜'
ascii = ['Oh', 'yeah', 'baby', 'love', 'my heart', 'I love you', 'Forever', 'la la la', 'Hey!', 'dream', 'Stay with me']
def piece():
    k = rnd(20)
    if k < 8: return ''.join(hira[rnd(len(hira))] for _ in range(1 + rnd(5)))
    if k < 12: return ''.join(kanji[rnd(len(kanji))] for _ in range(1 + rnd(3)))
    if k < 15: return ''.join(kata[rnd(len(kata))] for _ in range(2 + rnd(5)))
    if k < 17: return punct[rnd(len(punct))]
    if k < 19: return '　'
    return ' ' + ascii[rnd(len(ascii))] + ' '
def lyric():
    k = rnd(100)
    if k < 10: return ''
    if k < 14: return ' '.join(ascii[rnd(len(ascii))] for _ in range(2 + rnd(4)))
    goal = 8 + rnd(33)
    line = ''
    while len(line) < goal: line += piece()
    line = line[:goal]
    if rnd(10) == 0: line = '　' + line
    return line
open('lyrics.txt', 'wb').write(''.join(lyric() + '\r\n' for _ in range(200000)).encode('cp932'))
EOF
# The same page, converted by iconv, must be valid in both code sets.
iconv -f EUC-JP -t CP932 large-euc.html >check.txt

uptime
"$cli" --version

# One hyperfine run per input: zveklc-cli first, iconv second. Output goes
# through a pipe that hyperfine empties, as in a script's pipeline. The
# machine is shared: each run is repeated `rounds` times and the lowest
# median of each command counts.
measure() {  # name, zveklc-cli arguments, iconv arguments
    local name=$1 ours=$2 theirs=$3 round
    for round in $(seq "$rounds"); do
        hyperfine -N -w 3 -r "$runs" --output=pipe --export-json "$name.$round.json" \
            "$cli $ours" "iconv $theirs" ${before:+"$before $ours"} >"$name.log" 2>&1 || { cat "$name.log"; exit 1; }
    done
}
measure small "html -q -o - small-euc.html" "-f EUC-JP -t CP932 small-euc.html"
measure euc "html -q -o - large-euc.html" "-f EUC-JP -t CP932 large-euc.html"
measure sjis "html -q -o - large-sjis.html" "-f CP932 -t CP932 large-sjis.html"
measure text "text -q -o - lines.txt" "-f CP932 -t CP932 lines.txt"
measure winamp "winamp -q -o - lines.txt" "-f CP932 -t CP932 lines.txt"
measure lyrics "text -q -o - lyrics.txt" "-f CP932 -t CP932 lyrics.txt"
measure lyrwinamp "winamp -q -o - lyrics.txt" "-f CP932 -t CP932 lyrics.txt"
measure version --version --version

python3 - <<'EOF'
import glob, json, os
def medians(name):
    rounds = [json.load(open(f))['results'] for f in glob.glob(name + '.*.json')]
    return [min(r[i]['median'] for r in rounds) for i in range(len(rounds[0]))]
mb = lambda f: os.path.getsize(f) / 1e6
rows = [('version', '--version', None, None),
        ('small', 'html, 40 KB EUC-JP page', 'small-euc.html', 'MB'),
        ('euc', 'html, 9.6 MB EUC-JP page', 'large-euc.html', 'MB'),
        ('sjis', 'html, 9.6 MB Shift_JIS page', 'large-sjis.html', 'MB'),
        ('text', 'text, 200,000 lines', 'lines.txt', 'lines'),
        ('winamp', 'winamp, 200,000 lines', 'lines.txt', 'lines'),
        ('lyrics', 'text, 200,000 lyrics lines', 'lyrics.txt', 'lines'),
        ('lyrwinamp', 'winamp, 200,000 lyrics lines', 'lyrics.txt', 'lines')]
def rate(unit, f, t):
    if unit == 'MB': return f'{mb(f) / t:.0f} MB/s'
    if unit == 'lines': return f'{200000 / t / 1e6:.2f} M lines/s'
    return ''
print('medians; ratio = zveklc-cli / iconv')
for name, label, f, unit in rows:
    times = medians(name)
    ours, theirs = times[0], times[1]
    line = f'{label:28} {ours * 1000:7.1f} ms  iconv {theirs * 1000:6.1f} ms  {ours / theirs:5.2f}x  {rate(unit, f, ours):>15}'
    if len(times) > 2:
        line += f'  | before {times[2] * 1000:7.1f} ms {times[2] / theirs:5.2f}x {rate(unit, f, times[2]):>15}'
    print(line)
EOF
