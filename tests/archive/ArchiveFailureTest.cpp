#include "archive/RecordArchive.h"

#include "ArchiveTestSupport.h"
#include "tests/files/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

size_t recordCount(const std::string& path) {
    RecordArchive a;
    EXPECT_TRUE(a.open(path)) << a.errorText();
    LoggerHistory h;
    EXPECT_TRUE(a.history("D0042", h)) << a.errorText();
    return h.recordCount();
}

void expectRefused(const std::string& path, ArchiveError kind, RecordArchive::Mode mode, const char* what) {
    RecordArchive a;
    EXPECT_FALSE(a.open(path, mode)) << what;
    EXPECT_FALSE(a.isOpen()) << what;
    EXPECT_EQ(a.error(), kind) << what << ": " << a.errorText();
    EXPECT_NE(a.errorText().find(path), std::string::npos) << what;
}

// A killed process: fork and SIGKILL, which Windows has not.
#ifndef _WIN32
TEST(ArchiveFailureTest, AKilledWriterLosesAtMostTheBlockItWasStoring) {
    TempDir dir;
    const std::string path = dir.file("archive.sqlite");
    constexpr int kPerBlock = 97; // a 4 KB block of 16-sensor records
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(reports[0]);
        RecordArchive a;
        if (!a.open(path))
            _exit(2);
        for (int b = 0; b < 100000; ++b) {
            const TestBlock block = testBlock("D0042", 16, b * kPerBlock, kPerBlock);
            StoreCounts c;
            if (!a.storeBlock(block.identity, 46000.5, block.view(), c) || c.added != kPerBlock)
                _exit(3);
            const char stored = 1;
            if (write(reports[1], &stored, 1) != 1)
                _exit(4);
        }
        _exit(0);
    }
    close(reports[1]);
    int reported = 0;
    char byte = 0;
    while (reported < 30 && read(reports[0], &byte, 1) == 1)
        ++reported;
    // Woken by a report, this process would otherwise kill the child between two blocks every time.
    usleep(5000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (read(reports[0], &byte, 1) == 1)
        ++reported;
    close(reports[0]);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child ended with " << status;

    const size_t held = recordCount(path);
    EXPECT_EQ(held % kPerBlock, 0u) << "a block stored in part";
    EXPECT_GE(held, static_cast<size_t>(reported) * kPerBlock);
    EXPECT_LE(held, static_cast<size_t>(reported + 1) * kPerBlock);
}
#endif

TEST(ArchiveFailureTest, GarbageTruncatedAndMisplacedFilesAreRefusedCleanly) {
    TempDir dir;
    const std::string good = dir.file("good.sqlite");
    {
        RecordArchive a;
        ASSERT_TRUE(a.open(good));
        for (int b = 0; b < 20; ++b)
            ASSERT_EQ(store(a, testBlock("D0042", 16, b * 97, 97)).added, 97);
    }
    const std::string bytes = readBytes(good);
    ASSERT_GT(bytes.size(), 64u * 1024);

    const std::string path = dir.file("bad.sqlite");
    for (size_t cut : {size_t{60}, size_t{4096}, bytes.size() / 2, bytes.size() - 4096}) {
        writeBytes(path, bytes.substr(0, cut));
        expectRefused(path, ArchiveError::Damaged, RecordArchive::Mode::ReadWrite,
                      ("cut at " + std::to_string(cut)).c_str());
    }
    std::mt19937 random(7);
    std::string garbage(bytes.size(), '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    writeBytes(path, garbage);
    expectRefused(path, ArchiveError::Damaged, RecordArchive::Mode::ReadWrite, "garbage");
    // The right size and the first pages intact: found before anything is written into it.
    const std::string overwritten = bytes.substr(0, 8192) + garbage.substr(0, bytes.size() - 8192);
    writeBytes(path, overwritten);
    expectRefused(path, ArchiveError::Damaged, RecordArchive::Mode::ReadWrite, "garbage pages");
    EXPECT_EQ(readBytes(path), overwritten);

    expectRefused(dir.file("missing/archive.sqlite"), ArchiveError::CannotOpen,
                  RecordArchive::Mode::ReadWrite, "missing folder");
    expectRefused(dir.path().string(), ArchiveError::CannotOpen, RecordArchive::Mode::ReadWrite, "a folder");
    expectRefused(dir.file("none.sqlite"), ArchiveError::CannotOpen, RecordArchive::Mode::ReadOnly,
                  "no file to read");
    {
        RawConnection other(dir.file("other.sqlite"));
        other.exec("CREATE TABLE notes(text)");
    }
    expectRefused(dir.file("other.sqlite"), ArchiveError::NotAnArchive, RecordArchive::Mode::ReadWrite,
                  "another program's file");
}

TEST(ArchiveFailureTest, ALockedArchiveFailsFastAndIsUsableOnceReleased) {
    TempDir dir;
    const std::string path = dir.file("archive.sqlite");
    RecordArchive archive;
    ASSERT_TRUE(archive.open(path));
    {
        RawConnection other(path);
        ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
        const auto t0 = std::chrono::steady_clock::now();
        StoreCounts c;
        const TestBlock block = testBlock("D0042", 2, 0, 3);
        EXPECT_FALSE(archive.storeBlock(block.identity, 46000.5, block.view(), c));
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
        EXPECT_EQ(archive.error(), ArchiveError::Locked) << archive.errorText();
        EXPECT_EQ(c.added, 0);
    }
    EXPECT_EQ(store(archive, testBlock("D0042", 2, 0, 3)).added, 3);
    archive.close();

    RawConnection other(path);
    ASSERT_EQ(other.exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM record WHERE 0;"),
              SQLITE_OK);
    expectRefused(path, ArchiveError::Locked, RecordArchive::Mode::ReadWrite, "exclusive lock");
}

TEST(ArchiveFailureTest, AnArchiveOfALaterSchemaIsRefused) {
    TempDir dir;
    const std::string path = dir.file("archive.sqlite");
    {
        RecordArchive a;
        ASSERT_TRUE(a.open(path));
        EXPECT_EQ(store(a, testBlock("D0042", 2, 0, 3)).added, 3);
    }
    EXPECT_EQ(recordCount(path), 3u);
    {
        RawConnection other(path);
        other.exec("PRAGMA user_version=" + std::to_string(RecordArchive::kSchemaVersion + 1));
    }
    expectRefused(path, ArchiveError::OtherVersion, RecordArchive::Mode::ReadWrite, "later schema");
    expectRefused(path, ArchiveError::OtherVersion, RecordArchive::Mode::ReadOnly, "later schema, reading");
}

} // namespace
