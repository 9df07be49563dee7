#include "TestSupport.h"

#include <lz4.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "platform/FsPath.h"
#include "text/Codec.h"

namespace zvek::test {

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::operator/(std::string_view name) const { return PathText(path_ / FsPath(name)); }

std::string TempDir::Write(std::string_view name, std::string_view bytes) const {
    WriteBytes(path_ / FsPath(name), bytes);
    return *this / name;
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string CrLf(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\r\n";
    return out;
}

std::vector<std::string> Words(std::string_view line) {
    std::istringstream words{std::string(line)};
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

std::string Sjis(std::string_view utf8) {
    std::size_t replaced = 0;
    std::string out = Utf8ToSjis(utf8, false, &replaced);
    if (replaced) throw std::runtime_error("test text has no Shift-JIS form");
    return out;
}

std::string MozLz4(const std::string& json, std::optional<std::uint32_t> claimed) {
    std::string block(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(json.size()))), '\0');
    block.resize(static_cast<std::size_t>(LZ4_compress_default(json.data(), block.data(), static_cast<int>(json.size()),
                                                               static_cast<int>(block.size()))));
    std::string out("mozLz40\0", 8);
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>(claimed.value_or(json.size()) >> shift & 0xFF);
    return out + block;
}

void ShowInBrowser(const std::filesystem::path& home, const std::string& url) {
    const std::filesystem::path firefox = FirefoxProfiles(home);
    WriteBytes(firefox / "profiles.ini", "[Profile0]\nPath=p\nIsRelative=1\nDefault=1\n");
    WriteBytes(firefox / "p/sessionstore-backups/recovery.jsonlz4",
               MozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":")" + url +
                      R"("}],"index":1}],"selected":1}],"selectedWindow":1})"));
}

}  // namespace zvek::test
