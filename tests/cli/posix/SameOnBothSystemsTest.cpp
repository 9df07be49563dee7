// Every headless command as scripts meet it, on the same files: local
// references, and pages from servers here over HTTP and HTTPS. Pointed at
// zveklc-cli.exe (ZVEKLC_CLI_PROGRAM), each run is made by this build's
// zveklc-cli too, and both must give the same exit status, standard output
// and error, and leave the same files, byte for byte.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "LoopbackServer.h"
#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;
using test::Sjis;
using Command = std::vector<std::string>;

const std::string kCertificate = ZVEKLC_TEST_DATA "/tls/localhost.crt";
// Files in every code set: Shift-JIS, UTF-8 and UTF-16 text, LRC, player
// lyrics, pages in EUC-JP and ISO-2022-JP, references.
const std::string kInputs = ZVEKLC_TEST_DATA "/cli";

// Runs `command` through the Windows program's runner (Wine).
int RunUnderWine(const Command& command) {
    Command all = test::CliCommand();
    all.pop_back();
    std::string line;
    for (const std::string& word : all) line += "'" + word + "' ";
    for (const std::string& word : command) line += "'" + word + "' ";
    return std::system((line + ">/dev/null 2>&1").c_str());
}

// The test certificate among the trusted roots of the Wine prefix, for as
// long as the object lives (Wine keeps a root under its SHA-1 thumbprint).
class TrustedUnderWine {
public:
    TrustedUnderWine() {
        FILE* file = std::fopen(kCertificate.c_str(), "r");
        X509* certificate = file ? PEM_read_X509(file, nullptr, nullptr, nullptr) : nullptr;
        if (file) std::fclose(file);
        unsigned char *der = nullptr, hash[EVP_MAX_MD_SIZE];
        unsigned hashSize = 0;
        const int size = certificate ? i2d_X509(certificate, &der) : -1;
        if (size > 0 && X509_digest(certificate, EVP_sha1(), hash, &hashSize)) {
            // A serialised certificate: property 32 (the encoded certificate), 1, its size, the bytes.
            const std::uint32_t header[] = {32, 1, static_cast<std::uint32_t>(size)};
            const std::string blob =
                Hex(reinterpret_cast<const unsigned char*>(header), sizeof header) + Hex(der, size);
            key_ = "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + Hex(hash, hashSize);
            if (RunUnderWine({"reg", "add", key_, "/v", "Blob", "/t", "REG_BINARY", "/d", blob, "/f"}) != 0)
                key_.clear();
        }
        OPENSSL_free(der);
        X509_free(certificate);
    }
    ~TrustedUnderWine() {
        if (!key_.empty()) RunUnderWine({"reg", "delete", key_, "/f"});
    }
    bool trusted() const { return !key_.empty(); }

private:
    static std::string Hex(const unsigned char* bytes, std::size_t size) {
        std::string hex;
        for (std::size_t i = 0; i < size; ++i)
            hex += {"0123456789ABCDEF"[bytes[i] >> 4], "0123456789ABCDEF"[bytes[i] & 15]};
        return hex;
    }
    std::string key_;
};

// What one program did: each command's result, then every file in its folder.
struct Outcome {
    std::vector<test::CliResult> results;
    std::map<std::string, std::string> files;
};

class SameOnBothSystemsTest : public ::testing::Test {
protected:
    // Runs `commands` in order, in a fresh folder holding the inputs, with
    // `input` on standard input, by `program` (empty: this build's own).
    Outcome RunAll(const std::vector<Command>& commands, std::string_view input,
                   const std::optional<std::string>& program) {
        test::ScopedEnv which{"ZVEKLC_CLI_PROGRAM", program};
        test::TempDir dir;
        fs::copy(kInputs, dir.path(), fs::copy_options::recursive);
        for (const auto& [name, bytes] : inputs) dir.Write(name, bytes);
        fs::create_directory(dir.path() / "folder");
        Outcome outcome;
        for (const Command& command : commands) outcome.results.push_back(test::RunCli(command, dir.path(), input));
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            if (entry.is_regular_file())
                outcome.files[fs::relative(entry.path(), dir.path()).generic_string()] = test::ReadBytes(entry.path());
        return outcome;
    }

    // The program under test, and with the Windows one this build's too, in
    // folders of their own: what the program under test did.
    // Each command is a line of words; ";" parts several in one string.
    Outcome Same(const std::vector<std::string>& lines, std::string_view input = {}) {
        std::vector<Command> commands;
        for (const std::string& line : lines) {
            std::istringstream parts(line);
            for (std::string part; std::getline(parts, part, ';');) commands.push_back(test::Words(part));
        }
        const Outcome tested = RunAll(commands, input, test::CliCommand().back());
        if (!test::CliIsWindowsProgram()) return tested;
        const Outcome linux = [&] {
            // No browser profile to read: the Windows program's are in its own Wine prefix.
            test::ScopedEnv runner{"ZVEKLC_CLI_RUNNER", std::nullopt};
            test::UserHome home(empty.path());
            return RunAll(commands, input, std::nullopt);
        }();
        for (std::size_t i = 0; i < commands.size(); ++i) {
            SCOPED_TRACE(testing::PrintToString(commands[i]));
            EXPECT_EQ(tested.results[i].status, linux.results[i].status) << linux.results[i].err;
            EXPECT_EQ(tested.results[i].out, linux.results[i].out);
            EXPECT_EQ(tested.results[i].err, linux.results[i].err);
        }
        EXPECT_EQ(tested.files, linux.files);
        return tested;
    }

    test::TempDir empty;
    test::ScopedEnv devTools{"ZVEKLC_DEVTOOLS_PORT", std::to_string(test::UnusedPort())};
    const std::string lyrics = test::ReadBytes(kInputs + "/song.lyr");
    const std::string pageText = "朝の窓をあけて<br>Walking down the street<br>ひかり";
    std::map<std::string, std::string> inputs;  // besides those in kInputs
};

TEST_F(SameOnBothSystemsTest, TextCommandsAndMessages) {
    Same({"text plain.txt utf8.txt utf16.txt; text -e utf8 -o - plain.txt; text plain.txt",
          "text -q -o out/ plain.txt timed.txt missing.txt folder; untext -o - song.lyr; untext song.lyr",
          "winamp timed.txt; auto -f timed.txt; lrc song.lrc; unlrc --ms -e sjis -o - song.lyr",
          "unlrc -f song.lyr; html euc.htm jis.html; search song.lyr; search --artist song.lyr; browser",
          "--version; --help; ; bogus; text -x plain.txt; text -o a.lyr plain.txt utf8.txt"});  // "": no command
    Same({"text -o - -", "untext -o - -"}, Sjis("00:01:000=標準入力\r\n"));
}

// The tag file names its page, so untag needs no -r; a site's busy notice
// stops only a downloaded reference.
TEST_F(SameOnBothSystemsTest, TagFilesWithLocalAndWebReferences) {
    test::ScopedEnv noProxy{"http_proxy", std::nullopt};
    test::LoopbackServer http, https(test::LoopbackServer::Scheme::Https),
        stranger(test::LoopbackServer::Scheme::HttpsStranger);
    const auto page = [&](const std::string& notice) {
        return Sjis("<html><head><meta charset=\"Shift_JIS\"></head><body>" + notice + pageText + "</body>");
    };
    for (auto* server : {&http, &https, &stranger}) server->Serve("/song.htm", 200, page(""));
    http.Serve("/gone.htm", 404, page(""));
    http.Serve("/busy.htm", 200, inputs["busy.htm"] = page("大変混み合っております"));
    std::optional<TrustedUnderWine> trusted;
    if (test::CliIsWindowsProgram()) {
        ASSERT_TRUE(trusted.emplace().trusted());
    }
    test::ScopedEnv linuxTrust{"SSL_CERT_FILE", kCertificate};
    const std::string refused = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/song.htm";
    const Outcome outcome = Same(
        {"tag -r ref.txt song.lyr", "untag -r ref.txt -o back.lyr song.TagLyr",
         "untag -r cut.txt -o part.lyr song.TagLyr", "untag --partial -r cut.txt -o part.lyr song.TagLyr",
         "auto -r euc.htm -o auto.TagLyr song.lyr", "tag -r " + http.Url("/song.htm") + " -o http.TagLyr song.lyr",
         "untag -o - http.TagLyr", "tag -r " + https.Url("/song.htm") + " -o https.TagLyr song.lyr",
         "untag -o https.lyr https.TagLyr", "untag -r " + http.Url("/gone.htm") + " -o - http.TagLyr",
         "untag -r " + stranger.Url("/song.htm") + " -o - http.TagLyr", "untag -r " + refused + " -o - http.TagLyr",
         "untag -r " + http.Url("/busy.htm") + " -o - http.TagLyr", "untag -q -r busy.htm -o busy.lyr http.TagLyr"});
    // Alike is not enough: the pages came, and the failures are the right ones.
    std::vector<int> statuses;
    for (const auto& result : outcome.results) statuses.push_back(result.status);
    EXPECT_EQ(statuses, (std::vector<int>{0, 0, 13, 13, 0, 0, 0, 0, 0, 12, 12, 12, 1, 0}));
    EXPECT_EQ(outcome.results[6].out, lyrics);
    for (const char* name : {"back.lyr", "https.lyr", "busy.lyr"}) EXPECT_EQ(outcome.files.at(name), lyrics) << name;
    EXPECT_NE(outcome.results[12].err.find("サイトが混雑しています\n再実行してください"), std::string::npos);
}

}  // namespace
}  // namespace zvek
