// What the check of an index file found, remembered in the user's cache for the same file only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "Helpers/UserCache.h"
#include "TestSupport.h"
#include "index/IndexCheckMemo.h"

namespace {

using IndexSpace::IndexImpl::IndexView;
using IndexSpace::IndexImpl::RecallCheck;
using IndexSpace::IndexImpl::RememberCheck;

TEST(IndexCheckMemo, RecallsForTheSameFileStateOnlyAndNeverThroughALink) {
    const NorikTest::TempDir folder;
    const char* before = std::getenv("XDG_CACHE_HOME");
    const std::string previous = before != nullptr ? before : "";
    ::setenv("XDG_CACHE_HOME", folder.file("cache").c_str(), 1);
    const std::string file = folder.file("index.ttx");
    constexpr std::int64_t kHourAgo = (std::int64_t{1'700'000'000}) * 1'000'000'000;
    const Norik::FileStamp stamp{1, 2, 1000, kHourAgo, kHourAgo};
    IndexView::CheckResult checked{{-5, 70, 9000}, {4, 700, 900}, 130, 4000};
    const std::uint64_t kDigest = IndexSpace::IndexImpl::ContentDigest(std::vector<unsigned char>(1000, 7));

    RememberCheck(file, stamp, kDigest, checked);
    const auto recalled = RecallCheck(file, stamp, kDigest);
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->markKeys, checked.markKeys);
    EXPECT_EQ(recalled->markPlaces, checked.markPlaces);
    EXPECT_EQ(recalled->count, 130u);
    EXPECT_EQ(recalled->total, 4000);
    // Any change of the file's state, or another file, finds nothing.
    Norik::FileStamp written = stamp;
    written.changedNs += 1;
    EXPECT_FALSE(RecallCheck(file, written, kDigest).has_value());
    EXPECT_FALSE(RecallCheck(folder.file("other.ttx"), stamp, kDigest).has_value());
    // A record of the same state for other content (planted, or made for another file) is refused
    // and removed: it is not taken even for the content it was made for.
    std::vector<unsigned char> other(1000, 7);
    other[999] = 8;
    EXPECT_FALSE(RecallCheck(file, stamp, IndexSpace::IndexImpl::ContentDigest(other)).has_value());
    EXPECT_FALSE(RecallCheck(file, stamp, kDigest).has_value());
    RememberCheck(file, stamp, kDigest, checked);

    // A file changed a moment ago may change again within the clock's step: it is not remembered.
    const std::string fresh = folder.file("fresh.ttx");
    const auto now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const Norik::FileStamp moment{1, 3, 1000, now, now};
    RememberCheck(fresh, moment, kDigest, checked);
    EXPECT_FALSE(RecallCheck(fresh, moment, kDigest).has_value());
    // Nor is one changed now whose modification time says an hour ago.
    const Norik::FileStamp setBack{1, 3, 1000, kHourAgo, now};
    RememberCheck(fresh, setBack, kDigest, checked);
    EXPECT_FALSE(RecallCheck(fresh, setBack, kDigest).has_value());
    // The folders made for the records are the user's alone.
    for (const std::filesystem::path& made :
         {Norik::UserCacheFolder().parent_path(), Norik::UserCacheFolder(), Norik::UserCacheFolder() / "index-checks"})
        EXPECT_EQ(std::filesystem::status(made).permissions(), std::filesystem::perms::owner_all) << made;

    // A link planted where the record goes is not read, even to a sound record, and its target is
    // never written.
    const std::filesystem::path record = Norik::UserCacheFolder() / "index-checks" / (Norik::PathKey(file) + ".check");
    const std::string planted = folder.file("planted.check");
    std::filesystem::rename(record, planted);
    std::filesystem::create_symlink(planted, record);
    EXPECT_FALSE(RecallCheck(file, stamp, kDigest).has_value());
    const std::string victim = folder.file("victim.txt");
    std::ofstream(victim) << "keep";
    std::filesystem::remove(record);
    std::filesystem::create_symlink(victim, record);
    EXPECT_FALSE(RecallCheck(file, stamp, kDigest).has_value());
    RememberCheck(file, stamp, kDigest, checked);
    std::ifstream in(victim);
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "keep");
    EXPECT_FALSE(std::filesystem::is_symlink(record));
    EXPECT_TRUE(RecallCheck(file, stamp, kDigest).has_value());

    // Nor is a folder of the cache that is a link followed, to read or to write.
    const std::filesystem::path checks = Norik::UserCacheFolder() / "index-checks";
    const std::filesystem::path elsewhere = folder.file("elsewhere");
    std::filesystem::rename(checks, elsewhere);
    std::filesystem::create_directory_symlink(elsewhere, checks);
    EXPECT_FALSE(RecallCheck(file, stamp, kDigest).has_value());
    std::filesystem::remove(elsewhere / record.filename());
    RememberCheck(file, stamp, kDigest, checked);
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
    if (before != nullptr) {
        ::setenv("XDG_CACHE_HOME", previous.c_str(), 1);
    } else {
        ::unsetenv("XDG_CACHE_HOME");
    }
}

TEST(IndexCheckMemo, AFileRewrittenWithItsModificationTimeSetBackHasAnotherStamp) {
    const NorikTest::TempDir folder;
    const std::string file = folder.file("index.ttx");
    const timespec hourAgo{::time(nullptr) - 3600, 0};
    const timespec times[2] = {hourAgo, hourAgo};
    NorikTest::WriteFile(file, "first");
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const auto before = Norik::FileStampOf(file);
    // The kernel's clock for file times moves in steps of a few milliseconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    NorikTest::WriteFile(file, "other");
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const auto after = Norik::FileStampOf(file);
    ASSERT_TRUE(before && after);
    EXPECT_EQ(before->inode, after->inode);
    EXPECT_EQ(before->modifiedNs, after->modifiedNs);
    EXPECT_FALSE(*before == *after);
}

}  // namespace
