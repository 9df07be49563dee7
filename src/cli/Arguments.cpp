#include "cli/Arguments.h"

#include <algorithm>
#include <filesystem>

#include "cli/Commands.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

using Setter = void (*)(Options&, const std::string& value);

struct Option {
    std::string_view shortName;  // "-r", or empty
    std::string_view longName;   // "--reference"
    std::string_view valueName;  // empty for an option that takes no value
    // Its lines under "Options:"; empty for those told of with their command.
    std::string_view help;
    // Null for the options answered before the command line is read (-h,
    // --version); anywhere else they are unknown.
    Setter set;
};

void SetEncoding(Options& options, const std::string& code) {
    const std::string lower = LowerAscii(code);
    if (lower == "sjis" || lower == "shift_jis" || lower == "cp932") options.utf8 = false;
    else if (lower == "utf8" || lower == "utf-8") options.utf8 = true;
    else throw UsageError{"不明な文字コード '" + code + "'（sjis か utf8 を指定してください）"};
}

const Option kOptions[] = {
    {"-r", "--reference", "REF",
     "参照ページ: ローカルの .htm/.html ページ、任意のテキスト\n"
     "ファイル、または http:// か https:// のアドレス。-r が\n"
     "なければ、文書の URL= の値がウェブのアドレスならそれ。\n"
     "次に untag では、タグファイルの Reference= の値がウェブの\n"
     "アドレスか、タグファイルと同じフォルダーにある .htm/.html\n"
     "ファイルの名前だけならそれ。使った参照ページは標準エラー\n"
     "出力に表示します",
     [](Options& o, const std::string& value) { o.reference = value; }},
    {"", "--partial", "",
     "untag: 参照ページに見つからないエントリーが残っても結果を\n"
     "書きます（終了ステータスは 13 のまま）",
     [](Options& o, const std::string&) { o.partial = true; }},
    {"-o", "--output", "PATH",
     "出力先。\"-\" = 標準出力。DIR/（末尾が \"/\"、または INPUT\n"
     "が複数で既にあるフォルダー）= DIR の中に既定の名前で。\n"
     "既定: 入力と同じフォルダーに、変換した文書の名前で（名前を\n"
     "付けて保存が示す名前）。--force がなければ既にあるファイル\n"
     "を上書きせず、既定の出力先が入力そのものになることはあり\n"
     "ません（-o で指定してください）",
     [](Options& o, const std::string& value) { o.output = value; }},
    {"-e", "--encoding", "sjis|utf8",
     "出力の文字コード。既定: sjis（プレーヤーが読む形式）。\n"
     "標準出力が端末なら utf8。unlrc: utf8",
     SetEncoding},
    {"-f", "--force", "", "上書きを許します", [](Options& o, const std::string&) { o.force = true; }},
    {"-q", "--quiet", "", "標準エラー出力に経過を表示しません（警告は表示します）",
     [](Options& o, const std::string&) { o.quiet = true; }},
    {"-h", "--help", "", "この説明を表示します", nullptr},
    {"", "--version", "", "バージョンを表示します", nullptr},
    {"", "--artist", "", "", [](Options& o, const std::string&) { o.artist = true; }},
    {"", "--ms", "", "",
     [](Options& o, const std::string&) {
         if (o.command->kind != Kind::Export) throw UsageError{"--ms は 'unlrc' のオプションです"};
         o.lrc.milliseconds = true;
     }},
};

constexpr std::string_view kInputsAndStatuses =
    "INPUT: パス。一つずつ順に変換します（失敗は報告し、残りの変換を続けます）。\n"
    "\"-\" だけなら標準入力（変換には -o FILE が要ります）。二つの INPUT が同じ\n"
    "ファイルに書かれるとき、出力先が別の INPUT になるときは --force があっても\n"
    "使い方の誤りで、何も書きません。UTF-8、またはバイトオーダーマーク付きの\n"
    "UTF-16 の入力はそのように読みます。Shift-JIS にない文字は \"?\" になります\n"
    "（その数を標準エラー出力に表示）。\n"
    "終了ステータス（最初の失敗のもの）: 0 成功、2 入力ファイルが見つからないか\n"
    "フォルダー、12 ページを取得できない、13 タグファイルを一部だけ変換、\n"
    "1 その他の失敗、64 使い方の誤り\n";

// Whether `arg` is `option`; its value, if it takes one, in `value`: from
// "-xVALUE", "--name=VALUE", or the next argument after "-x" or "--name".
bool Matches(const Option& option, const std::vector<std::string_view>& args, std::size_t& i, std::string& value) {
    const std::string_view arg = args[i], shortName = option.shortName, longName = option.longName;
    if (option.valueName.empty()) return arg == longName || (!shortName.empty() && arg == shortName);
    if (arg.starts_with(longName)) {
        if (arg.size() > longName.size() && arg[longName.size()] != '=') return false;
        if (arg.size() > longName.size()) return value = arg.substr(longName.size() + 1), true;
    } else if (shortName.empty() || !arg.starts_with(shortName)) {
        return false;
    } else if (arg.size() > shortName.size()) {
        return value = arg.substr(shortName.size()), true;
    }
    if (++i >= args.size()) throw UsageError{"オプション '" + std::string(arg) + "' には値が要ります"};
    value = args[i];
    return true;
}

// What the options ask of the command and its INPUTs, once all are read.
void Check(Options& options, const std::string& name) {
    const Kind kind = options.command->kind;
    const bool writes = Writes(kind);
    if ((kind == Kind::Lrc || kind == Kind::Export || kind == Kind::Html) && (options.reference || options.partial))
        throw UsageError{"'" + name + "' は参照ページを取りません"};
    if (!writes && (options.output || options.reference || options.force || options.partial || options.utf8))
        throw UsageError{"'" + name + "' はファイルを書かず、参照ページも取りません"};
    if (options.artist && kind != Kind::Search) throw UsageError{"--artist は 'search' のオプションです"};
    if (kind == Kind::Browser) {
        if (!options.inputs.empty()) throw UsageError{"'browser' は INPUT を取りません"};
        return;
    }
    if (options.inputs.empty()) throw UsageError{"INPUT（変換するファイル）がありません"};
    if (options.output && options.output->empty()) throw UsageError{"出力先が空です"};
    if (options.reference && options.reference->empty()) throw UsageError{"参照ページが空です"};
    const bool several = options.inputs.size() > 1;
    std::error_code ec;
    if (options.output && *options.output != "-")
        options.outputFolder = IsPathDelimiter(options.output->back()) ||
                               (several && std::filesystem::is_directory(FsPath(*options.output), ec));
    if (several && options.output && !options.outputFolder)
        throw UsageError{"INPUT が複数のとき、-o にはフォルダーを指定してください（末尾に '/' を付けます）"};
    for (const auto& input : options.inputs) {
        if (input != "-") continue;
        if (several) throw UsageError{"標準入力（'-'）は、ほかに INPUT がないときだけ使えます"};
        if (writes && !options.NamedOutput())
            throw UsageError{"標準入力を読むときは -o FILE で出力先を指定してください（標準出力なら -o -）"};
    }
    if (kind == Kind::Export) options.lrc.shiftJis = options.utf8 && !*options.utf8;
}

// An entry of the usage text: `head`, and beside it, from `column` on (or
// two blanks after a longer head), the lines of `help`.
void AddEntry(std::string& out, std::string_view head, std::string_view help, std::size_t column) {
    out += head;
    std::size_t at = head.size() - (head.rfind('\n') + 1);  // npos + 1 is 0
    for (std::string_view line : SplitLines(help)) {
        out.append(std::max(column, at + 2) - at, ' ');
        out.append(line);
        out += '\n';
        at = 0;
    }
}

}  // namespace

Options ParseArguments(const std::vector<std::string_view>& args) {
    Options options;
    if (args.empty()) throw UsageError{"コマンドがありません"};
    for (const auto& command : Commands())
        if (command.name == args[0]) options.command = &command;
    if (!options.command) throw UsageError{"不明なコマンド '" + std::string(args[0]) + "'"};

    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg.front() != '-') {
            options.inputs.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        const auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                         [&](const Option& o) { return o.set && Matches(o, args, i, value); });
        if (option == std::end(kOptions)) throw UsageError{"不明なオプション '" + std::string(arg) + "'"};
        option->set(options, value);
    }
    Check(options, std::string(args[0]));
    return options;
}

bool AsksForHelp(const std::vector<std::string_view>& args) {
    return std::any_of(args.begin(), args.end(), [](std::string_view a) { return a == "-h" || a == "--help"; });
}

bool AsksForVersion(const std::vector<std::string_view>& args) { return !args.empty() && args[0] == "--version"; }

std::string UsageText() {
    std::string out = "使い方: zveklc-cli COMMAND [OPTIONS] INPUT...\n";
    for (const auto& command : Commands()) {
        std::string head = "  " + std::string(command.name);
        if (!command.synopsis.empty()) head += " " + std::string(command.synopsis) + "\n";
        AddEntry(out, head, command.help, 11);
    }
    out += "オプション:\n";
    for (const auto& option : kOptions) {
        if (option.help.empty()) continue;
        // "-x," or blanks in its place, so that the long names line up.
        std::string head = option.shortName.empty() ? "     " : "  " + std::string(option.shortName) + ",";
        head += " " + std::string(option.longName);
        if (!option.valueName.empty()) head += " " + std::string(option.valueName);
        AddEntry(out, head, option.help, 21);
    }
    return out += kInputsAndStatuses;
}

}  // namespace zvek
