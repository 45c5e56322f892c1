// The atomic replacement of a report file.
#include "report/atomic_file.h"
#include "tests/support/read_file.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Names in `dir`, for checking that no temporary file is left behind.
std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    while (d) {
        dirent* e = ::readdir(d);
        if (!e) break;
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    if (d) ::closedir(d);
    return names;
}

class AtomicFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/rebound-atomic-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/rebound.prom";
    }
    void TearDown() override {
        for (const auto& n : entries(dir_))
            ::unlink((dir_ + "/" + n).c_str());
        ::rmdir(dir_.c_str());
    }
    std::string dir_, path_;
};

TEST_F(AtomicFile, ReaderOfTheOldFileKeepsItWholeAndNoTemporaryRemains) {
    EXPECT_EQ(check_replaceable(path_), "");
    ASSERT_EQ(replace_file(path_, "old contents\n"), "");
    std::ifstream reader(path_); // opened before the replacement
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_EQ(replace_file(path_, "new contents\n"), "");
    std::ostringstream seen;
    seen << reader.rdbuf();
    EXPECT_EQ(seen.str(), "old contents\n"); // never a mix of old and new
    EXPECT_EQ(testsupport::read_file(path_), "new contents\n");
    EXPECT_EQ(entries(dir_), std::vector<std::string>{"rebound.prom"});
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask); // readable by a collector of another user
}

TEST_F(AtomicFile, FailuresLeaveNothingBehind) {
    const std::string missing = dir_ + "/no-such-dir/rebound.prom";
    EXPECT_NE(check_replaceable(missing).find("No such file or directory"), std::string::npos);
    EXPECT_NE(replace_file(missing, "x"), "");
    ASSERT_EQ(::mkdir((dir_ + "/sub").c_str(), 0755), 0);
    EXPECT_NE(check_replaceable(dir_ + "/sub").find("is a directory"), std::string::npos);
    EXPECT_NE(replace_file(dir_ + "/sub", "x"), "");
    EXPECT_EQ(entries(dir_), std::vector<std::string>{"sub"});
    ::rmdir((dir_ + "/sub").c_str());
}

TEST_F(AtomicFile, TargetStaysUntilCommitWhichChecksItAgain) {
    ASSERT_EQ(replace_file(path_, "old contents\n"), "");
    {
        file_replacement abandoned; // a run that never got to its end
        ASSERT_EQ(abandoned.open(path_), "");
        std::fputs("half a document", abandoned.stream());
    }
    EXPECT_EQ(testsupport::read_file(path_), "old contents\n");
    EXPECT_EQ(entries(dir_), std::vector<std::string>{"rebound.prom"});

    // Something that is no regular file put in the target's place during the run stays.
    file_replacement r;
    ASSERT_EQ(r.open(path_), "");
    std::fputs("new contents\n", r.stream());
    ASSERT_EQ(::unlink(path_.c_str()), 0);
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    EXPECT_NE(r.commit().find("is a FIFO"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(entries(dir_), std::vector<std::string>{"rebound.prom"});
}

} // namespace
