#!/usr/bin/env bash
# Mutation check: does the test suite notice a wrong line?
#
#   scripts/mutation.sh [-n COUNT] [-s SEED] [-t SECONDS] [-B BUILD_DIR] [-l]
#
# Draws COUNT mutants (default 45) with SEED (default 1) from the lines of
# src/ that this build compiles, each folder's share in proportion to its
# lines of logic (tables of data, drawing, messages and logging are left
# out). One mutant changes one line in one way:
#   relational     "a < b" -> "a <= b", "==" -> "!=", ...
#   logical        "&&" <-> "||"
#   constant       an integer literal plus or minus one
#   negated        "if (c)" -> "if (!(c))", the same for while
#   dropped        an expression statement (a call, an assignment, ++i) removed
#   default return "return x;" -> "return {};"
# For each mutant the build is brought up to date (BUILD_DIR, default
# build-mutation, configured on first use) and ctest runs with a time-out of
# SECONDS (default 60) per test, stopping at the first failure. The file is
# put back byte for byte afterwards, also on Ctrl+C or an error; the script
# refuses to start while src/ has changes of its own. -l only lists the
# mutants it would try.
#
# Results: killed (a test failed), timed out (a test hung: it is noticed, so
# it counts with the killed in the score), survived (every test passed) and
# did not compile. The score is (killed + timed out) / (all that compiled).
# Survivors are worth a look: a test is missing, or the change cannot alter
# what the program does (an equivalent mutant).
set -euo pipefail
cd "$(dirname "$0")/.."

count=45 seed=1 timeout=60 build=build-mutation list=0
while getopts "n:s:t:B:lh" opt; do
    case $opt in
    n) count=$OPTARG ;;
    s) seed=$OPTARG ;;
    t) timeout=$OPTARG ;;
    B) build=$OPTARG ;;
    l) list=1 ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 64 ;;
    esac
done

for tool in cmake ctest ninja python3 git; do
    command -v "$tool" >/dev/null || { echo "mutation.sh needs $tool (apt-get install cmake ninja-build python3 git)" >&2; exit 1; }
done
if [ -n "$(git status --porcelain -- src)" ]; then
    echo "src/ has changes of its own: commit or stash them first, so that putting a mutant back leaves nothing else behind" >&2
    exit 1
fi

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZVEKLC_BENCH=OFF \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi
[ "$list" = 1 ] || echo "Building the unchanged tree in $build and running the suite once..."
[ "$list" = 1 ] || cmake --build "$build" -j"$(nproc)" >/dev/null
[ "$list" = 1 ] || (cd "$build" && ctest -j"$(nproc)" --timeout "$timeout" >/dev/null) || {
    echo "the suite fails without any mutant: fix that first" >&2
    exit 1
}

exec python3 - "$build" "$count" "$seed" "$timeout" "$list" <<'PYTHON'
import json, os, random, re, signal, subprocess, sys, time

build, count, seed, timeout = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
list_only = sys.argv[5] == '1'
jobs = str(os.cpu_count() or 2)

# Files that only draw or only hold texts and tables: a mutant there tells
# nothing about the tests of the program's logic.
SKIP_FILES = re.compile(r'(Icons\.(cpp|h)|Usage\.h|Version\.h)$')
# Lines that report rather than decide.
SKIP_LINE = re.compile(r'SetStatusText|ShowStatusText|ShowMessage|Warn\(|Note\(|std::cerr|fprintf|qWarning|qDebug|'
                       r'static_assert|assert\(|\.reserve\(')

def compiled_sources():
    """The src/ files this build compiles, and the headers beside them."""
    with open(os.path.join(build, 'compile_commands.json')) as f:
        units = {os.path.relpath(e['file']) for e in json.load(f)}
    sources = sorted(u for u in units if u.startswith('src/'))
    folders = {os.path.dirname(s) for s in sources}
    headers = sorted(os.path.join(d, n) for d in folders for n in os.listdir(d) if n.endswith('.h'))
    return [f for f in sources + headers if not SKIP_FILES.search(f)]

def mask(line):
    """The line with string and character literals and a trailing comment
    blanked out, so that no mutant lands inside a text."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == '\\':
                out.append('__'); i += 2; continue
            out.append(quote if c == quote else '_')
            if c == quote: quote = None
        elif c in '"\'':
            quote = c; out.append(c)
        elif line.startswith('//', i):
            out.append(' ' * (len(line) - i)); break
        else:
            out.append(c)
        i += 1
    return ''.join(out)[:len(line)]

RELATIONAL = {'<': '<=', '<=': '<', '>': '>=', '>=': '>', '==': '!=', '!=': '=='}
STATEMENT = re.compile(r'^\s*((\+\+|--)[\w.\->\[\]]+;|[A-Za-z_][\w:.\->\[\]*]*\s*(\(|[-+*/|&^%]?=\s|<<=|>>=|\+\+;|--;))')
DECLARATION = re.compile(r'^\s*[\w:<>,*&]+\s+[A-Za-z_]\w*\s*[({=;]')
NOT_A_STATEMENT = re.compile(r'^\s*(return|break|continue|case|default|using|namespace|typedef|template|class|'
                             r'struct|enum|public|private|protected|friend|goto|if|for|while|switch|else|do|'
                             r'const|static|constexpr|inline|auto|explicit|virtual)\b')

def mutants_of(path, number, text):
    """Every mutant of one line: (path, line number, description, new line)."""
    m = mask(text)
    s = m.strip()
    if not s or s.startswith(('#', '*', '/*')) or SKIP_LINE.search(text):
        return []
    # Rows of a table: braces around literals and commas.
    if s.startswith('{') and ('"' in s or re.fullmatch(r'[{}\s\d,x_A-Fa-f\'"-]+', s)):
        return []
    found = []
    def add(start, end, new, what):
        found.append((path, number, what, text[:start] + new + text[end:]))
    for x in re.finditer(r' (<=|>=|==|!=|<|>) ', m):
        add(x.start(1), x.end(1), RELATIONAL[x.group(1)], f"'{x.group(1)}' -> '{RELATIONAL[x.group(1)]}'")
    for x in re.finditer(r' (&&|\|\|) ', m):
        new = '||' if x.group(1) == '&&' else '&&'
        add(x.start(1), x.end(1), new, f"'{x.group(1)}' -> '{new}'")
    array = re.search(r'\w\s+\w+(\[\w+\])+\s*[;={]', m)  # a declaration's sizes: only the memory changes
    for x in re.finditer(r'(?<![\w.\'])(\d+)(?![\w.\'])', m):
        if array and m[x.start() - 1:x.start()] == '[' and m[x.end():x.end() + 1] == ']':
            continue
        value = int(x.group(1))
        new = str(value + 1 if value == 0 or (number + x.start()) % 2 else value - 1)
        add(x.start(1), x.end(1), new, f"{value} -> {new}")
    for x in re.finditer(r'\b(if|while) \(', m):
        depth, i = 0, x.end() - 1
        for i in range(x.end() - 1, len(m)):
            depth += {'(': 1, ')': -1}.get(m[i], 0)
            if depth == 0:
                break
        if depth == 0:
            inner = text[x.end():i]
            found.append((path, number, f"{x.group(1)} negated",
                          text[:x.end()] + '!(' + inner + ')' + text[i:]))
    if s.endswith(';') and STATEMENT.match(m) and not NOT_A_STATEMENT.match(m) and not DECLARATION.match(m):
        indent = text[:len(text) - len(text.lstrip())]
        found.append((path, number, 'statement dropped', indent + ';  // ' + text.strip()))
    r = re.match(r'^(\s*)return (.+);\s*$', m)
    # Returning "nothing" already would make the same program again.
    if r and r.group(2).strip() in ('{}', 'nullptr', 'std::nullopt', 'std::string()', '""', '0'):
        r = None
    if r and r.group(2).strip() not in ('true', 'false'):
        found.append((path, number, 'return {}', r.group(1) + 'return {};'))
    elif r and r.group(2).strip() in ('true', 'false'):
        flip = 'false' if r.group(2).strip() == 'true' else 'true'
        found.append((path, number, f'return {flip}', r.group(1) + f'return {flip};'))
    return found

def draw():
    files = compiled_sources()
    per_folder, lines_of = {}, {}
    for path in files:
        folder = path.split('/')[1]
        with open(path, encoding='utf-8', errors='surrogateescape') as f:
            for number, text in enumerate(f.read().split('\n'), 1):
                ms = mutants_of(path, number, text)
                if ms:
                    lines_of[folder] = lines_of.get(folder, 0) + 1
                    per_folder.setdefault(folder, []).extend(ms)
    total = sum(lines_of.values())
    # Largest remainder: each folder's share of `count` by its lines of logic.
    shares = {f: count * n / total for f, n in lines_of.items()}
    quota = {f: int(s) for f, s in shares.items()}
    for f in sorted(shares, key=lambda f: shares[f] - quota[f], reverse=True)[:count - sum(quota.values())]:
        quota[f] += 1
    rng = random.Random(seed)
    chosen = []
    for folder in sorted(per_folder):
        chosen += rng.sample(per_folder[folder], min(quota[folder], len(per_folder[folder])))
    rng.shuffle(chosen)
    return chosen, lines_of

class Stop(Exception):
    pass

def on_signal(signum, frame):
    raise Stop()

signal.signal(signal.SIGTERM, on_signal)
signal.signal(signal.SIGHUP, on_signal)

def run(args, **kw):
    return subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, errors='replace', **kw)

def try_mutant(path, number, new_line):
    with open(path, 'rb') as f:
        original = f.read()
    lines = original.split(b'\n')
    lines[number - 1] = new_line.encode('utf-8', 'surrogateescape')
    try:
        with open(path, 'wb') as f:
            f.write(b'\n'.join(lines))
        made = run(['cmake', '--build', build, '-j', jobs])
        if made.returncode != 0:
            return 'did not compile', ''
        tests = run(['ctest', '-j', jobs, '--timeout', str(timeout), '--stop-on-failure'], cwd=build)
        if tests.returncode == 0:
            return 'survived', ''
        failed = re.findall(r'^\s*\d+ - (\S+) \((.*?)\)', tests.stdout, re.M)
        if failed and all('Timeout' in why for _, why in failed):
            return 'timed out', failed[0][0]
        return 'killed', failed[0][0] if failed else 'ctest failed'
    finally:
        # Written back byte for byte, whatever happened above.
        with open(path, 'wb') as f:
            f.write(original)

chosen, lines_of = draw()
print(f"{len(chosen)} mutants, seed {seed}, from " +
      ', '.join(f"{f} {n}" for f, n in sorted(lines_of.items())) + " lines of logic")
if list_only:
    for path, number, what, new_line in chosen:
        print(f"{path}:{number}  {what}\n        {new_line.strip()}")
    sys.exit(0)
results = {'killed': 0, 'timed out': 0, 'survived': 0, 'did not compile': 0}
started = time.time()
try:
    for i, (path, number, what, new_line) in enumerate(chosen, 1):
        outcome, test = try_mutant(path, number, new_line)
        results[outcome] += 1
        print(f"[{i:2}/{len(chosen)}] {outcome:15} {path}:{number}  {what}" + (f"  ({test})" if test else ''),
              flush=True)
        if outcome == 'survived':
            print(f"        {new_line.strip()}", flush=True)
except (KeyboardInterrupt, Stop):
    print("stopped: every file is back as it was", file=sys.stderr)
    sys.exit(130)
finally:
    # Leave the build matching the tree again.
    run(['cmake', '--build', build, '-j', jobs])

compiled = len(chosen) - results['did not compile']
noticed = results['killed'] + results['timed out']
print(f"killed {results['killed']}, timed out {results['timed out']}, survived {results['survived']}, "
      f"did not compile {results['did not compile']}: {noticed}/{compiled} noticed "
      f"({100 * noticed / max(compiled, 1):.0f}%) in {time.time() - started:.0f} s")
PYTHON
