// Saving a document where POSIX decides: links, permissions, a write that
// the file size limit stops.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "TestSupport.h"
#include "lyrics/LyricsDocument.h"
#include "platform/Files.h"

namespace zvek {
namespace {

using Lines = std::vector<std::string>;

// Saving writes through a link and keeps the replaced file's permissions; a
// save that fails part way leaves the old file and no temporary beside it.
TEST(PosixDocumentTest, SavingReplacesOnlyTheFilesContents) {
    test::TempDir dir;
    test::FakeHost host;
    LyricsDocument doc(host);
    const std::string target = dir.Write("target.lyr", "old"), link = dir / "link.lyr";
    std::filesystem::permissions(target, std::filesystem::perms(0640));
    std::filesystem::create_symlink(target, link);
    doc.SetText("old contents");
    doc.SaveFile(link);
    EXPECT_EQ(std::tuple(std::filesystem::is_symlink(link), test::ReadBytes(target),
                         std::filesystem::status(target).permissions()),
              std::tuple(true, "old contents\r\n", std::filesystem::perms(0640)));

    doc.SetLines(Lines(1000, std::string(100, 'x')));
    doc.Modified = true;
    // Make the write itself fail part way: the file size limit stops it.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit small = {4096, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(doc.SaveFile(target), FileError);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    // The old file, no temporary beside it, the document as it was.
    EXPECT_EQ(std::tuple(test::ReadBytes(target), std::distance(std::filesystem::directory_iterator(dir.path()), {})),
              std::tuple("old contents\r\n", 2));
    EXPECT_EQ(std::tuple(doc.FileName(), doc.Modified, doc.Lines(), host.ScreenCursor()),
              std::tuple(target, true, Lines(1000, std::string(100, 'x')), crDefault));
    EXPECT_THROW(doc.SaveFile(dir / "no/such/folder.lyr"), FileError);
}

}  // namespace
}  // namespace zvek
