// SPDX-License-Identifier: GPL-3.0-or-later
// Files and paths of the run-time layer.
#include "fixture.h"

#include "io.h"

#include <sys/resource.h>

#include <csignal>

namespace {

TEST(Files, WriteOnlyTruncatesAndEveryLineIsOnDiskAtOnce) {
    ProgramDir d;
    d.write("f.txt", "old content that must go\n");
    int h = OpenFile(d.path("f.txt").c_str(), 2, 0, 1);
    ASSERT_GT(h, 0);
    EXPECT_EQ(FmtFile(h, " %f[p1]\t%f[e2] \n", 12.34, 3.4), 20);
    // Read back through another handle before closing: the line is already there.
    EXPECT_EQ(d.read("f.txt"), " 12.3\t3.400000e+00 \n");
    CloseFile(h);
}

TEST(Files, ReadOnlyOpenOfAMissingFileFailsAndHandlesAreReused) {
    ProgramDir d;
    EXPECT_LT(OpenFile(d.path("missing").c_str(), 1, 0, 1), 0);
    EXPECT_LT(OpenFile(d.path().c_str(), 1, 0, 1), 0);  // a folder is no file
    d.write("a", "1");
    int h1 = OpenFile(d.path("a").c_str(), 1, 2, 1);
    ASSERT_GT(h1, 0);
    CloseFile(h1);
    EXPECT_EQ(OpenFile(d.path("a").c_str(), 1, 2, 1), h1);
    CloseFile(h1);
    EXPECT_LT(CloseFile(h1), 0);
    EXPECT_LT(FmtFile(h1, "x"), 0);
}

TEST(Files, ScanFileReadsLineAfterLineAcrossItsBuffer) {
    ProgramDir d;
    std::string content;
    for (int i = 0; i < 20000; ++i)
        content += " " + std::to_string(i) + ".5\t" + std::to_string(i * 2) + ".000000e+00 \r\n";
    d.write("rec.dat", content);
    int h = OpenFile(d.path("rec.dat").c_str(), 1, 2, 1);
    double t = 0, v = 0;
    for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(ScanFile(h, "%f %f", &t, &v), 2) << i;
        ASSERT_EQ(t, i + 0.5);
        ASSERT_EQ(v, i * 2.0);
    }
    EXPECT_EQ(ScanFile(h, "%f %f", &t, &v), 0);
    CloseFile(h);
}

TEST(Files, SizesAndPaths) {
    ProgramDir d;
    d.write("s", std::string(12345, 'x'));
    long long size = -1;
    EXPECT_EQ(GetFileInfo(d.path("s").c_str(), &size), 1);
    EXPECT_EQ(size, 12345);
    EXPECT_EQ(GetFileInfo(d.path("none").c_str(), &size), 0);
    EXPECT_EQ(size, 0);
    char dir[kMaxPathname], path[kMaxPathname];
    ASSERT_EQ(GetProjectDir(dir), 0);
    EXPECT_EQ(std::string(dir), d.path().substr(0, d.path().size() - 1));
    ASSERT_EQ(MakePathname(dir, "pavro.ini", path), 0);
    EXPECT_EQ(std::string(path), d.path("pavro.ini"));
    EXPECT_LT(MakePathname(dir, std::string(300, 'n').c_str(), path), 0);
}

}  // namespace

namespace {

TEST(Files, AFullDiskNeverLeavesAPartLineAndWritingGoesOnFailing) {
    ProgramDir d;
    std::string path = d.path("full.dat");
    auto record = [&] {
        std::signal(SIGXFSZ, SIG_IGN);  // a size limit then fails the write, as a full disk does
        rlimit lim{};
        lim.rlim_cur = lim.rlim_max = 100;
        setrlimit(RLIMIT_FSIZE, &lim);
        int h = OpenFile(path.c_str(), 0, 0, 1);
        int ok = 0, failed = 0;
        for (int i = 0; i < 20; ++i) (FmtFile(h, " %f[p1]\t%f[e2] \n", i * 1.0, 3.4) > 0 ? ok : failed)++;
        CloseFile(h);
        std::exit(ok == 5 && failed == 15 ? 0 : 1);  // five lines of 19 bytes fit in 100
    };
    EXPECT_EXIT(record(), ::testing::ExitedWithCode(0), "");
    std::string content = d.read("full.dat");
    EXPECT_EQ(content.size(), 95u);  // the sixth line, cut at 100 bytes, was taken back
    EXPECT_EQ(content.substr(76), " 4.0\t3.400000e+00 \n");
}

// Qt's reader takes other headers for a group too (a blank inside the brackets, %-escapes, no
// closing bracket, a line ended by CR): the group written reads back as written all the same,
// and every line that is not the group stays.
TEST(Files, AnIniGroupReadsBackAsWrittenWhateverElseTheFileHolds) {
    ProgramDir d;
    const std::string path = d.path("w.ini");
    IniEntry in[2] = {{"high", "20", false}, {"note", "a, \"b\"", false}};
    const struct {
        const char* old;
        const char* kept;  // a line that must stay
    } cases[] = {
        {"[ alarm]\nhigh=1\n[other]\nk=v\n", "[other]\nk=v\n"},
        {"[%61larm]\nhigh=2\n", ""},
        {"[%U0061larm]\nhigh=3\nnote=x\n", ""},
        {"[alarm\nhigh=4\n[x]\ny=1\n", "[x]\ny=1\n"},
        {"[x]\ny=1\r[alarm]\rhigh=5\r", "[x]\ny=1\n"},
        {"top=1\n[alarm]]\nhigh=6\n", "[General]\ntop=1\n"},
        {"[x]\na=\"open\n[ alarm ]\nhigh=7\n", "[x]\na=\"open\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.old);
        d.write("w.ini", c.old);
        ASSERT_EQ(IniWriteGroup(path.c_str(), "alarm", in, 2), 0);
        IniEntry out[2] = {{"high", "", false}, {"note", "", false}};
        IniReadGroup(path.c_str(), "alarm", out, 2);
        EXPECT_STREQ(out[0].value, "20");
        EXPECT_STREQ(out[1].value, "a, \"b\"");
        const std::string now = d.read("w.ini");
        EXPECT_NE(now.find(c.kept), std::string::npos) << now;
        EXPECT_EQ(now.find("alarm]\nhigh=", 2), std::string::npos) << now;  // one group only
    }
}

}  // namespace
