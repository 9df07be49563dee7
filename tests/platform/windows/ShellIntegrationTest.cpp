// The player, the association and the browser on Windows, against the real registry and window manager.
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are keys of the test's own (a
// UserHome) for the test's duration, so the machine's keys can be written as
// an installer would.
#include "platform/windows/Win32.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "TestSupport.h"
#include "platform/Association.h"
#include "platform/Files.h"
#include "platform/Player.h"
#include "platform/ShowInBrowser.h"
#include "platform/windows/Registry.h"
#include "platform/windows/WideText.h"
#include "web/BrowserCurrentPage.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

const std::wstring kSandbox = L"Software\\ZveklcTest\\" + std::to_wstring(GetCurrentProcessId());
const std::wstring kAppPaths = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZVEK.EXE";
const std::wstring kPlayerKey = L"Software\\HALDE\\ZVEK";
const std::wstring kClasses = L"Software\\Classes\\";

class ShellIntegrationTest : public ::testing::Test {
protected:
    ShellIntegrationTest() { home.emplace(dir.path()); }
    ~ShellIntegrationTest() override {
        home.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, kSandbox.c_str());
    }

    static void Set(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value,
                    DWORD type = REG_SZ) {
        ASSERT_EQ(RegSetKeyValueW(root, key.c_str(), name, type, value.c_str(),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    // The user's class keys as the association left them: key -> default value.
    static std::map<std::wstring, std::wstring> UserClasses() {
        std::map<std::wstring, std::wstring> values;
        for (const wchar_t* key : {L".TagLyr", L"ZvekTagFile", L"ZvekTagFile\\DefaultIcon", L"ZvekTagFile\\shell",
                                   L"ZvekTagFile\\shell\\open", L"ZvekTagFile\\shell\\open\\command",
                                   L"ZvekTagFile\\shell\\convert", L"ZvekTagFile\\shell\\convert\\command"}) {
            const auto opened = RegistryKey::Open(HKEY_CURRENT_USER, kClasses + key);
            if (opened) values[key] = opened.ReadString().value_or(L"(none)");
        }
        return values;
    }

    // The test's own key, made before the user's keys are the home's, as other processes see it.
    RegistryKey sandbox = RegistryKey::Create(HKEY_CURRENT_USER, kSandbox);
    test::TempDir dir;
    std::optional<test::UserHome> home;
    const std::string player = dir.Write("Program Files/ZVEK/ZVEK.EXE", "MZ");
    const std::string program = "C:\\Tools\\ZVEKLC\\zveklc.exe";
};

TEST_F(ShellIntegrationTest, FindsThePlayerInTheMachinesKeyThenTheUsers) {
    const std::string other = dir.Write("users/ZVEK2/zvek.exe", "MZ");
    const std::wstring p = Wide(player), o = Wide(other);
    test::ScopedEnv variable{"ZVEKLC_TEST_PLAYER", player};
    // {name, machine, type, user, expected}
    const std::tuple<const char*, std::optional<std::wstring>, DWORD, std::optional<std::wstring>, std::string>
        cases[] = {{"key 1 wins", p, REG_SZ, o, player},
                   {"only the user's key", std::nullopt, REG_SZ, o, other},
                   {"quoted", L"\"" + p + L"\"", REG_SZ, std::nullopt, player},
                   {"expandable", L"%ZVEKLC_TEST_PLAYER%", REG_EXPAND_SZ, std::nullopt, player},
                   {"key 1 names no file", p + L".gone", REG_SZ, o, other},
                   {"a folder is no player", Wide(dir.path().string()), REG_SZ, o, other},
                   {"not a string", L"1234", REG_BINARY, o, other},
                   {"a network path is not looked at", L"\\\\server\\share\\ZVEK.EXE", REG_SZ, std::nullopt, ""}};
    for (const auto& [name, machine, type, user, expected] : cases) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAppPaths.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, kPlayerKey.c_str());
        if (machine) Set(HKEY_LOCAL_MACHINE, kAppPaths, nullptr, *machine, type);
        if (user) Set(HKEY_CURRENT_USER, kPlayerKey, nullptr, *user);
        EXPECT_EQ(FindPlayerPath(), expected) << name;
    }
    // The key of a player installed for all users, which a normal user may
    // only read (then anything again, so that it can be removed).
    Set(HKEY_LOCAL_MACHINE, kAppPaths, nullptr, p);
    for (const wchar_t* access : {L"D:P(A;;KR;;;WD)", L"D:P(A;;KA;;;WD)"}) {
        EXPECT_EQ(FindPlayerPath(), player);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(access, SDDL_REVISION_1, &descriptor, nullptr);
        RegSetKeySecurity(RegistryKey::Open(HKEY_LOCAL_MACHINE, kAppPaths, WRITE_DAC).Handle(),
                          DACL_SECURITY_INFORMATION, descriptor);
        LocalFree(descriptor);
    }
    EXPECT_EQ(PlayerSettingsPath(player), player.substr(0, player.size() - 4) + ".ini");
}

// WM_ZVEK goes to the player's window of the first class found; a window
// found once is kept (when it has gone, the post fails), one not found is
// looked for at the next post.
TEST(PlayerWindowTest, PostsWmZvekToThePlayersWindow) {
    PlayerWindow early;
    EXPECT_FALSE(early.NotifyToolChanged());
    auto open = [](const wchar_t* className) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = className;
        RegisterClassW(&windowClass);
        return CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
    };
    const UINT wmZvek = RegisterWindowMessageW(L"WM_ZVEK");
    auto received = [wmZvek](HWND window) {
        int count = 0;
        for (MSG message; PeekMessageW(&message, window, wmZvek, wmZvek, PM_REMOVE); ++count)
            EXPECT_TRUE(message.wParam == kPlayerToolChanged && message.lParam == 0);
        return count;
    };
    const HWND older = open(L"TZvekForm");
    // Wine makes windows only with a display driver: X, or Graphics=null
    // under HKCU\Software\Wine\Drivers when its desktop starts.
    if (!older) GTEST_SKIP() << "no window can be made here";
    PlayerWindow found;
    const HWND newer = open(L"TFormZVEK");
    PlayerWindow preferred;
    for (PlayerWindow* window : {&early, &found, &preferred}) EXPECT_TRUE(window->NotifyToolChanged());
    EXPECT_EQ(std::tuple(received(older), received(newer)), std::tuple(1, 2));
    DestroyWindow(older);
    EXPECT_FALSE(found.NotifyToolChanged());
    EXPECT_EQ(received(newer), 0);
    DestroyWindow(newer);
}

TEST_F(ShellIntegrationTest, AssociationIsWrittenCheckedAndRepaired) {
    const bool japanese = IsValidLocale(0x0411, LCID_SUPPORTED);
    const std::wstring p = Wide(program);
    const std::map<std::wstring, std::wstring> expected = {
        {L".TagLyr", L"ZvekTagFile"},
        {L"ZvekTagFile", japanese ? L"ZVEK タグファイル" : L"ZVEK TagFile"},
        {L"ZvekTagFile\\DefaultIcon", p + L",0"},
        {L"ZvekTagFile\\shell", L"open"},
        {L"ZvekTagFile\\shell\\open", japanese ? L"開く(&O)" : L"&Open"},
        {L"ZvekTagFile\\shell\\open\\command", L"\"" + p + L"\" \"%1\""},
        {L"ZvekTagFile\\shell\\convert", japanese ? L"変換" : L"Convert"},
        {L"ZvekTagFile\\shell\\convert\\command", L"\"" + p + L"\" -convert \"%1\""}};
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Repaired);
    EXPECT_EQ(UserClasses(), expected);
    EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kClasses + L".TagLyr").ReadString(L"Content Type"), L"text/plain");
    EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kClasses + L"ZvekTagFile").ReadString(L"Converter"), p);
    EXPECT_TRUE(CheckTagLyrAssociation("c:\\tools\\zveklc\\ZVEKLC.EXE"));

    // Another copy's complete association is left to the menu; a missing
    // verb or value is put back at start-up.
    ASSERT_TRUE(WriteTagLyrAssociation(dir.Write("Other/zveklc.exe", "MZ")));
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Elsewhere);
    RegDeleteTreeW(HKEY_CURRENT_USER, (kClasses + L"ZvekTagFile\\shell\\convert").c_str());
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Repaired);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, (kClasses + L"ZvekTagFile").c_str(), L"Converter");
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Repaired);
    // So is one whose program is gone; a copy run from its build folder
    // writes nothing at start-up.
    ASSERT_TRUE(WriteTagLyrAssociation("C:\\Removed\\zveklc.exe"));
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Repaired);
    EXPECT_EQ(UserClasses(), expected);
    const std::string built = ExtractFileDir(dir.Write(std::string("build/src/") + kBuildTreeMarker, "")) + "\\a.exe";
    RegDeleteTreeW(HKEY_CURRENT_USER, (kClasses + L"ZvekTagFile\\shell\\convert").c_str());
    EXPECT_EQ(RunTagLyrAssociationCheck(built), AssociationState::DevelopmentBuild);
    EXPECT_FALSE(WriteTagLyrAssociation("zveklc.exe"));

    // The icon becomes the player's once the player is known, in place of
    // ours (in any case); an icon chosen elsewhere stays.
    const std::wstring icon = kClasses + L"ZvekTagFile\\DefaultIcon";
    Set(HKEY_CURRENT_USER, kPlayerKey, nullptr, Wide(player));
    Set(HKEY_CURRENT_USER, icon, nullptr, L"C:\\OLD\\ZVEKLC.EXE,0");
    ASSERT_TRUE(WriteTagLyrAssociation(program));
    EXPECT_EQ(UserClasses()[L"ZvekTagFile\\DefaultIcon"], Wide(player) + L",2");
    Set(HKEY_CURRENT_USER, icon, nullptr, L"C:\\Icons\\tags.dll,3");
    ASSERT_TRUE(WriteTagLyrAssociation(program));
    EXPECT_EQ(UserClasses()[L"ZvekTagFile\\DefaultIcon"], L"C:\\Icons\\tags.dll,3");
}

// ".TagLyr" claimed by another program, for all users or for this one: the
// start-up check writes nothing, and the menu names the key before it
// replaces it for this user.
TEST_F(ShellIntegrationTest, AnotherProgramsAssociationIsLeftAlone) {
    Set(HKEY_LOCAL_MACHINE, kClasses + L".TagLyr", nullptr, L"OtherTagFile");
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Elsewhere);
    EXPECT_TRUE(UserClasses().empty());
    EXPECT_EQ(ForeignTagLyrAssociationFile(), "HKEY_LOCAL_MACHINE\\Software\\Classes\\.TagLyr");
    Set(HKEY_CURRENT_USER, kClasses + L".TagLyr", nullptr, L"1", REG_BINARY);
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Elsewhere);
    EXPECT_EQ(ForeignTagLyrAssociationFile(), "HKEY_CURRENT_USER\\Software\\Classes\\.TagLyr");
    ASSERT_TRUE(WriteTagLyrAssociation(program));
    EXPECT_EQ(ForeignTagLyrAssociationFile(), "");
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Complete);
}

// Only what the gate lets through reaches the shell, and our help page by
// its checked path.
TEST_F(ShellIntegrationTest, OnlyCheckedAddressesReachTheShell) {
    const fs::path folder = dir.path() / L"ヘルプ 1";
    const std::string page = Narrow((folder / L"index.html").wstring());
    test::WriteBytes(folder / L"index.html", "<html></html>");
    EXPECT_EQ(LocalPageAddress(page),
              "file:///" + Narrow(dir.path().generic_wstring()) + "/%E3%83%98%E3%83%AB%E3%83%97%201/index.html");
    for (const std::string& refused : {dir / "gone.html", std::string("index.html"), dir.Write("page.txt", "")})
        EXPECT_EQ(LocalPageAddress(refused), std::nullopt) << refused;
    // A browser for http addresses and .html files that notes what it was
    // given in the test's own key, as one argument of its own.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring note = L"\"" + std::wstring(system) + L"\\reg.exe\" add HKCU\\" + kSandbox + L" /f /v ";
    Set(HKEY_CURRENT_USER, L"Classes\\http\\shell\\open\\command", nullptr, note + L"address /d \"%1\"");
    Set(HKEY_CURRENT_USER, L"Classes\\.html", nullptr, L"ZveklcTestPage");
    Set(HKEY_CURRENT_USER, L"Classes\\ZveklcTestPage\\shell\\open\\command", nullptr, note + L"page /d \"%1\"");
    HKEY classes = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Classes", 0, KEY_READ, &classes);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, classes);
    EXPECT_TRUE(OpenInBrowser("HTTP://127.0.0.1:9/a b?q=\"x\"&r=|^%;&"));
    EXPECT_TRUE(OpenLocalPageInBrowser(page));
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(classes);
    std::optional<std::wstring> address, opened;
    for (int i = 0; i < 200 && !(address && opened); ++i, Sleep(50)) {
        address = sandbox.ReadString(L"address");
        opened = sandbox.ReadString(L"page");
    }
    EXPECT_EQ(address, L"http://127.0.0.1:9/a%20b?q=%22x%22&r=%7C%5E%25%3B&");
    EXPECT_EQ(opened, Wide(page));
    EXPECT_TRUE(!OpenInBrowser("C:\\Windows\\System32\\calc.exe") && !OpenLocalPageInBrowser(dir / "gone.html"));
}

// Firefox's session under %APPDATA%, and under the Microsoft Store
// package's folder of %LOCALAPPDATA%: the one written last is the browser's.
TEST(FirefoxOnWindowsTest, SessionsUnderTheUsersApplicationData) {
    test::TempDir dir;
    test::ScopedEnv roaming{"APPDATA", dir / "Roaming"}, local{"LOCALAPPDATA", dir / "Local"};
    const char* roots[] = {"Roaming/Mozilla/Firefox",
                           "Local/Packages/Mozilla.Firefox_n80bbvh6b1yt2/LocalCache/Roaming/Mozilla/Firefox"};
    for (const char* root : roots) {
        const fs::path profile = dir.path() / root / "Profiles/p.default";
        test::WriteBytes(dir.path() / root / "profiles.ini",
                         "[Profile0]\r\nPath=Profiles/p.default\r\nIsRelative=1\r\n");
        test::WriteBytes(profile / "sessionstore-backups/recovery.jsonlz4",
                         test::MozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"http://)" + std::string(root, 4) +
                                      R"(/"}],"index":1}],"selected":1}],"selectedWindow":1})"));
        fs::last_write_time(profile / "sessionstore-backups/recovery.jsonlz4",
                            fs::file_time_type::clock::now() - std::chrono::hours(root == roots[0]));
        EXPECT_EQ(GetBrowserPage(9), "http://" + std::string(root, 4) + "/");
    }
}

}  // namespace
}  // namespace zvek
