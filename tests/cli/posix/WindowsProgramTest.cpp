// zveklc-cli.exe against this build's zveklc-cli: every headless command, on
// the same files, gives the same exit status, standard output and error,
// and leaves the same files, byte for byte; references from local files and
// from servers here over HTTP and HTTPS. Runs when the command-line tests
// are pointed at the Windows program (ZVEKLC_CLI_PROGRAM).
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "LoopbackServer.h"
#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;
using test::CrLf;
using test::Sjis;
using Command = std::vector<std::string>;

const std::string kCertificate = ZVEKLC_TEST_DATA "/tls/localhost.crt";

// The words of `command` started by the Windows program's runner (Wine).
Command UnderWine(Command command) {
    Command all = test::CliCommand();
    all.pop_back();
    all.insert(all.end(), command.begin(), command.end());
    return all;
}

int Run(const Command& command) {
    std::string line;
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
        unsigned char* der = nullptr;
        const int size = certificate ? i2d_X509(certificate, &der) : -1;
        X509_free(certificate);
        if (size <= 0) return;
        unsigned char hash[EVP_MAX_MD_SIZE];
        unsigned hashSize = 0;
        EVP_Digest(der, static_cast<std::size_t>(size), hash, &hashSize, EVP_sha1(), nullptr);
        // A serialised certificate: property 32 (the encoded certificate), 1, its size, the bytes.
        const auto le32 = [](std::uint32_t v) {
            std::string hex;
            for (int i = 0; i < 4; ++i, v >>= 8) hex += Hex(v & 0xFF);
            return hex;
        };
        std::string blob = le32(32) + le32(1) + le32(static_cast<std::uint32_t>(size));
        key_ = "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
        for (int i = 0; i < size; ++i) blob += Hex(der[i]);
        for (unsigned i = 0; i < hashSize; ++i) key_ += Hex(hash[i]);
        OPENSSL_free(der);
        if (Run(UnderWine({"reg", "add", key_, "/v", "Blob", "/t", "REG_BINARY", "/d", blob, "/f"})) != 0) key_.clear();
    }
    ~TrustedUnderWine() {
        if (!key_.empty()) Run(UnderWine({"reg", "delete", key_, "/f"}));
    }
    bool trusted() const { return !key_.empty(); }

private:
    static std::string Hex(unsigned byte) { return {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]}; }
    std::string key_;
};

// What one program did: each command's result, then every file in its folder.
struct Outcome {
    std::vector<test::CliResult> results;
    std::map<std::string, std::string> files;
};

class WindowsProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::CliIsWindowsProgram()) GTEST_SKIP() << "compares zveklc-cli.exe with this build's program";
    }

    // Runs `commands` in order, in a fresh folder holding `inputs`, with
    // `input` on standard input, by `program` (empty: this build's own).
    Outcome RunAll(const std::vector<Command>& commands, std::string_view input,
                   const std::optional<std::string>& program) {
        test::ScopedEnv which{"ZVEKLC_CLI_PROGRAM", program};
        test::TempDir dir;
        for (const auto& [name, bytes] : inputs) dir.Write(name, bytes);
        fs::create_directory(dir.path() / "folder");
        Outcome outcome;
        for (const Command& command : commands) outcome.results.push_back(test::RunCli(command, dir.path(), input));
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            if (entry.is_regular_file())
                outcome.files[fs::relative(entry.path(), dir.path()).generic_string()] = test::ReadBytes(entry.path());
        return outcome;
    }

    // Both programs, one after the other, in folders of their own; the exit statuses.
    std::vector<int> Same(const std::vector<Command>& commands, std::string_view input = {}) {
        const Outcome windows = RunAll(commands, input, std::getenv("ZVEKLC_CLI_PROGRAM"));
        const Outcome linux = [&] {
            // No browser profile to read: the Windows program's are in its own Wine prefix.
            test::ScopedEnv runner{"ZVEKLC_CLI_RUNNER", std::nullopt};
            test::ScopedEnv home{"HOME", empty.path().string()};
            test::ScopedEnv config{"XDG_CONFIG_HOME", empty.path().string()};
            return RunAll(commands, input, std::nullopt);
        }();
        for (std::size_t i = 0; i < commands.size(); ++i) {
            SCOPED_TRACE(testing::PrintToString(commands[i]));
            EXPECT_EQ(windows.results[i].status, linux.results[i].status) << linux.results[i].err;
            EXPECT_EQ(windows.results[i].out, linux.results[i].out);
            EXPECT_EQ(windows.results[i].err, linux.results[i].err);
        }
        EXPECT_EQ(windows.files, linux.files);
        std::vector<int> statuses;
        for (const auto& result : windows.results) statuses.push_back(result.status);
        return statuses;
    }

    test::TempDir empty;
    test::ScopedEnv devTools{"ZVEKLC_DEVTOOLS_PORT", std::to_string(test::UnusedPort())};
    const std::string lyrics =
        CrLf({"[Spec]", Sjis("Title=あ B"), "Artist=x", "[Text]", Sjis("00:01:000=朝の窓をあけて"),
              "00:02:000=Walking down the street", Sjis("00:03:000=\"　ひかり\""), "00:04:000=#fade", "00:05:000="});
    const std::string pageText = "朝の窓をあけて<br>Walking down the street<br>ひかり";
    std::map<std::string, std::string> inputs = {
        {"plain.txt", Sjis("　こんにちは　\r\n\r\n二行目\r\n")},
        {"utf8.txt", "こんにちは\nworld\n"},
        {"utf16.txt", "\xFF\xFE" + test::Iconv("UTF-16LE", "UTF-8", "歌\r\n\xF0\x9F\x8E\xB5\r\n")},
        {"timed.txt", "[00:01:50]a\n[00:02:00]b\n"},
        {"song.lyr", lyrics},
        {"song.lrc", "\xEF\xBB\xBF[ti:Song]\n[00:02.00][00:03.50]b\n[00:01.005]歌\n[0x:03.00]c\n"},
        {"euc.htm", test::Iconv("EUC-JP", "UTF-8", "<meta charset=EUC-JP><body>" + pageText)},
        {"jis.html", test::Iconv("ISO-2022-JP", "UTF-8", "<meta charset=ISO-2022-JP><p>" + pageText)},
        {"ref.txt", Sjis("前書き\r\n朝の窓をあけて\r\nWalking down the street\r\nひかり\r\n")},
        {"cut.txt", Sjis("朝の窓をあけて\r\n")},
    };
};

TEST_F(WindowsProgramTest, TextCommandsAndMessages) {
    Same({{"text", "plain.txt", "utf8.txt", "utf16.txt"},
          {"text", "-e", "utf8", "-o", "-", "plain.txt"},
          {"text", "plain.txt"},  // exists now
          {"text", "-q", "-o", "out/", "plain.txt", "timed.txt", "missing.txt", "folder"},
          {"untext", "-o", "-", "song.lyr"},
          {"untext", "song.lyr"},
          {"winamp", "timed.txt"},
          {"auto", "-f", "timed.txt"},
          {"lrc", "song.lrc"},
          {"unlrc", "--ms", "-e", "sjis", "-o", "-", "song.lyr"},
          {"unlrc", "-f", "song.lyr"},
          {"html", "euc.htm", "jis.html"},
          {"search", "song.lyr"},
          {"search", "--artist", "song.lyr"},
          {"browser"},
          {"--version"},
          {"--help"},
          {},
          {"bogus"},
          {"text", "-x", "plain.txt"},
          {"text", "-o", "a.lyr", "plain.txt", "utf8.txt"}});
    Same({{"text", "-o", "-", "-"}, {"untext", "-o", "-", "-"}}, Sjis("00:01:000=標準入力\r\n"));
}

TEST_F(WindowsProgramTest, TagFilesWithLocalAndWebReferences) {
    test::ScopedEnv noProxy{"http_proxy", std::nullopt};
    test::LoopbackServer http, https(test::LoopbackServer::Scheme::Https),
        stranger(test::LoopbackServer::Scheme::HttpsStranger);
    const std::string page = Sjis("<html><head><meta charset=\"Shift_JIS\"></head><body>" + pageText + "</body>");
    for (auto* server : {&http, &https, &stranger}) server->Serve("/song.htm", 200, page);
    http.Serve("/gone.htm", 404, page);
    TrustedUnderWine trusted;
    ASSERT_TRUE(trusted.trusted());
    test::ScopedEnv linuxTrust{"SSL_CERT_FILE", kCertificate};
    const std::string refused = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/song.htm";
    // Alike is not enough: the pages came, and the failures are the right ones.
    const std::vector<int> statuses = Same({{"tag", "-r", "ref.txt", "song.lyr"},
                                            {"untag", "-r", "ref.txt", "-o", "back.lyr", "song.TagLyr"},
                                            {"untag", "-r", "cut.txt", "-o", "part.lyr", "song.TagLyr"},
                                            {"untag", "--partial", "-r", "cut.txt", "-o", "part.lyr", "song.TagLyr"},
                                            {"auto", "-r", "euc.htm", "-o", "auto.TagLyr", "song.lyr"},
                                            {"tag", "-r", http.Url("/song.htm"), "-o", "http.TagLyr", "song.lyr"},
                                            {"untag", "-o", "-", "http.TagLyr"},
                                            {"tag", "-r", https.Url("/song.htm"), "-o", "https.TagLyr", "song.lyr"},
                                            {"untag", "-o", "http.lyr", "https.TagLyr"},
                                            {"untag", "-r", http.Url("/gone.htm"), "-o", "-", "http.TagLyr"},
                                            {"untag", "-r", stranger.Url("/song.htm"), "-o", "-", "http.TagLyr"},
                                            {"untag", "-r", refused, "-o", "-", "http.TagLyr"}});
    EXPECT_EQ(statuses, (std::vector<int>{0, 0, 13, 13, 0, 0, 0, 0, 0, 12, 12, 12}));
}

}  // namespace
}  // namespace zvek
