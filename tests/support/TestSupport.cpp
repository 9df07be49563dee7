#include "TestSupport.h"

#include <fcntl.h>
#include <iconv.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "text/Codec.h"

extern char** environ;

namespace zvek::test {

TempDir::TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "zveklc-test-XXXXXX").string();
    if (!::mkdtemp(name.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = name;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
}

std::string CrLf(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\r\n";
    return out;
}

std::string Sjis(std::string_view utf8) {
    std::size_t replaced = 0;
    std::string out = Utf8ToSjis(utf8, false, &replaced);
    if (replaced) throw std::runtime_error("test text has no Shift-JIS form");
    return out;
}

CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& cwd, std::string_view input) {
    TempDir io;
    WriteBytes(io / "in", input);
    std::vector<std::string> all = {ZVEKLC_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, (io / "in").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, (io / "out").c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&files, 2, (io / "err").c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addchdir_np(&files, cwd.c_str());
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    if (failed || waitpid(pid, &status, 0) != pid) throw std::runtime_error("cannot run " + all[0]);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(io / "out"), ReadBytes(io / "err")};
}

std::string Iconv(const char* to, const char* from, std::string_view text) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* op = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &op, &outLeft);
    iconv(cd, nullptr, nullptr, &op, &outLeft);  // the closing shift sequence, if any
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
    out.resize(out.size() - outLeft);
    return out;
}

MsgResult FakeHost::MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    messages.push_back({std::string(text), kind, buttons});
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    if (answers.empty()) return MsgResult::Cancel;
    const MsgResult answer = answers.front();
    answers.pop_front();
    return answer;
}

bool FakeHost::ExecuteDialog(FileDialog& dialog) {
    dialogs.push_back(dialog);
    if (dialogFiles.empty()) return false;
    dialog.fileName = dialogFiles.front();
    dialogFiles.pop_front();
    return true;
}

}  // namespace zvek::test
