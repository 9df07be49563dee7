// A folder of the test's own, which is the temporary folder too, for the
// file tests of every system.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "platform/TempFiles.h"

namespace zvek {

class FilesFixture : public ::testing::Test {
protected:
    FilesFixture() { RemovePrivateTempDir(); }
    ~FilesFixture() override {
        RemovePrivateTempDir();
        SetBeforePublishHook(nullptr);
    }

    // The names in the folder that begin with `prefix`.
    std::set<std::string> Names(const std::string& prefix = "") const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (const std::string name = PathText(entry.path().filename()); name.starts_with(prefix)) names.insert(name);
        return names;
    }

    test::TempDir dir;
    // Where POSIX and Windows look for the temporary folder.
    test::ScopedEnv tmpdir{"TMPDIR", PathText(dir.path())}, tmp{"TMP", PathText(dir.path())};
};

}  // namespace zvek
