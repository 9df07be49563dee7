// The .TagLyr association in the registry, per user.
#include "platform/Association.h"

#include <shlobj.h>

#include <string>
#include <string_view>

#include "platform/Player.h"
#include "platform/windows/Registry.h"
#include "platform/windows/WideText.h"

namespace zvek {

namespace {

const std::wstring kClasses = L"Software\\Classes\\";
const std::wstring kExtension = L".TagLyr";
const std::wstring kFileType = L"ZvekTagFile";

// A key as the shell sees it under HKEY_CLASSES_ROOT: the user's where the
// user has it, else the machine's.
struct ClassKey {
    RegistryKey key;
    bool user = false;
};

ClassKey OpenClass(const std::wstring& name) {
    if (auto key = RegistryKey::Open(HKEY_CURRENT_USER, kClasses + name)) return {std::move(key), true};
    return {RegistryKey::Open(HKEY_LOCAL_MACHINE, kClasses + name), false};
}

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring OpenCommand(const std::wstring& program) { return L"\"" + program + L"\" \"%1\""; }
std::wstring ConvertCommand(const std::wstring& program) { return L"\"" + program + L"\" -convert \"%1\""; }

// A program path the commands can hold: absolute (a drive or a network
// share), without quotes or control characters, which no Windows file name has.
bool UsablePath(std::wstring_view path) {
    const bool drive = path.size() > 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool share = path.size() > 2 && path.starts_with(L"\\\\") && path[2] != L'?' && path[2] != L'.';
    if (!drive && !share) return false;
    for (const wchar_t c : path)
        if (c < 0x20 || c == 0x7F || c == L'"') return false;
    return true;
}

// Whether a command starts with the quoted full path of a program that is
// not there (any longer). Ours are always quoted; an unquoted one may hold
// blanks in its path, and is left alone.
bool NamesMissingProgram(std::wstring_view command) {
    if (!command.starts_with(L'"')) return false;
    const std::size_t end = command.find(L'"', 1);
    if (end == std::wstring_view::npos) return false;
    const std::wstring program(command.substr(1, end - 1));
    if (!UsablePath(program)) return false;
    const DWORD attributes = GetFileAttributesW(program.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where ".TagLyr" names a file type other than ours (or holds something
// that is no file type at all): that key, as the question names it.
std::wstring ForeignExtensionKey() {
    const ClassKey extension = OpenClass(kExtension);
    if (!extension.key.HasValue(L"")) return {};
    const auto type = extension.key.ReadString();
    if (type && (type->empty() || EqualIgnoringCase(*type, kFileType))) return {};
    return (extension.user ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\") + kClasses + kExtension;
}

// The icon: the player's when the player is found, else ours. An icon the
// user or another program chose (one that names neither an empty value nor
// a file of our name) is kept.
bool WriteIcon(const std::wstring& program) {
    const std::wstring key = kFileType + L"\\DefaultIcon";
    const std::wstring icon = Lower(OpenClass(key).key.ReadString().value_or(L""));
    const std::wstring name = Lower(program.substr(program.find_last_of(L"\\/") + 1));
    if (!icon.empty() && icon.find(name) == std::wstring::npos) return true;
    const std::string player = FindPlayerPath();
    return RegistryKey::Create(HKEY_CURRENT_USER, kClasses + key)
        .WriteString(L"", player.empty() ? program + L",0" : Wide(player) + L",2");
}

}  // namespace

bool detail::AssociationCanName(const std::string& programPath) { return UsablePath(Wide(programPath)); }

bool detail::WriteAssociationPieces(const std::string& programPath) {
    const std::wstring program = Wide(programPath);
    const bool japanese = IsValidLocale(MAKELCID(0x0411, SORT_DEFAULT), LCID_SUPPORTED) != FALSE;

    const auto extension = RegistryKey::Create(HKEY_CURRENT_USER, kClasses + kExtension);
    if (!extension) return false;
    bool complete = extension.WriteString(L"", kFileType);
    complete = extension.WriteString(L"Content Type", L"text/plain") && complete;

    const auto type = RegistryKey::Create(HKEY_CURRENT_USER, kClasses + kFileType);
    if (!type) return false;
    const struct {
        const wchar_t* key;
        std::wstring value;
    } verbs[] = {
        {L"shell", L"open"},
        {L"shell\\open", japanese ? L"開く(&O)" : L"&Open"},
        {L"shell\\open\\command", OpenCommand(program)},
        {L"shell\\convert", japanese ? L"変換" : L"Convert"},
        {L"shell\\convert\\command", ConvertCommand(program)},
    };
    // In this order, and no further after a failure: what was written stays,
    // and the next start completes it.
    complete = complete && type.WriteString(L"", japanese ? L"ZVEK タグファイル" : L"ZVEK TagFile") &&
               type.WriteString(L"Converter", program) && WriteIcon(program);
    for (const auto& verb : verbs)
        complete = complete && RegistryKey::Create(HKEY_CURRENT_USER, kClasses + kFileType + L"\\" + verb.key)
                                   .WriteString(L"", verb.value);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return complete;
}

std::string ForeignTagLyrAssociationFile() { return Narrow(ForeignExtensionKey()); }

std::optional<AssociationState> detail::FoundAssociation(const std::string& programPath) {
    const auto extension = OpenClass(kExtension).key.ReadString();
    if (!extension || extension->empty()) return std::nullopt;  // the write leaves another program's value alone
    if (!EqualIgnoringCase(*extension, kFileType)) return AssociationState::Elsewhere;
    if (!OpenClass(kFileType).key.HasValue(L"Converter")) return std::nullopt;
    if (!OpenClass(kFileType + L"\\shell\\convert").key) return std::nullopt;
    const auto open = OpenClass(kFileType + L"\\shell\\open\\command").key.ReadString();
    if (open && EqualIgnoringCase(*open, OpenCommand(Wide(programPath)))) return AssociationState::Complete;
    if (open && NamesMissingProgram(*open)) return std::nullopt;
    return AssociationState::Elsewhere;
}

}  // namespace zvek
