// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: read whole or not at all, written as one exact line.
#include "fixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kDefaults[] = " 1 1.000000 1 1 0.000000 10.000000 0.000000 10.000000 Lu_2002\n";

class Settings : public ::testing::Test {
protected:
    ProgramDir dir;
    // Puts non-default values in place, so a read that takes defaults is seen.
    void SetUp() override {
        com_nummer = 9;
        abtast = 9.0;
        was[0] = was[1] = 9;
        skl[0] = skl[1] = skl[2] = skl[3] = 9.0;
    }
    std::string round_trip(const std::string& content) {
        dir.write("pavro.ini", content);
        ini_lesen();
        ini_schreiben();
        return dir.read("pavro.ini");
    }
};

TEST_F(Settings, NoFileGivesTheDefaultsAndTheCloseWritesThem) {
    ini_lesen();
    EXPECT_EQ(com_nummer, 1);
    ini_schreiben();
    EXPECT_EQ(dir.read("pavro.ini"), kDefaults);
    EXPECT_FALSE(fs::exists(dir.path("pavro.ini.new")));
}

TEST_F(Settings, AFileShortOfEightValuesIsNotTakenAtAll) {
    for (const std::string& bad :
         {std::string(), std::string(" 3 0.5 0 1 -1.0 20.0 2.5\n"), std::string("\x01\x02\xff\xfe garbage", 12),
          std::string(" 3 0.5 x 1 2 3 4 5"), std::string(5'000'000, '7'), std::string(" 3 inf 0 1 -1 20 2.5 10")}) {
        SetUp();
        EXPECT_EQ(round_trip(bad), kDefaults) << bad.substr(0, 40);
    }
}

TEST_F(Settings, EightValuesAreTakenAsReadWhateverFollows) {
    EXPECT_EQ(round_trip(" 3 0.5 0 1 -1.0 20.0 2.5 10.0"),
              " 3 0.500000 0 1 -1.000000 20.000000 2.500000 10.000000 Lu_2002\n");
    EXPECT_EQ(round_trip("0 0 0 0 0 0 0 0 anything\nmore lines\n"),
              " 0 0.000000 0 0 0.000000 0.000000 0.000000 0.000000 Lu_2002\n");
    EXPECT_EQ(round_trip(" 96 1e-06 -5 7 -1e30 1e30 0 1"), " 96 1e-06 -5 7 -1e+30 1e+30 0.000000 1.000000 Lu_2002\n");
}

TEST_F(Settings, ALinkedFileIsWrittenThroughTheLinkWhichStays) {
    fs::create_directories(dir.path("elsewhere"));
    dir.write("elsewhere/mine.ini", " 4 2.5 0 1 0 5 0 10 Lu_2002\n");
    fs::create_symlink("elsewhere/mine.ini", dir.path("pavro.ini"));  // relative, as an operator makes it
    ini_lesen();
    EXPECT_EQ(com_nummer, 4);
    com_nummer = 5;
    ini_schreiben();
    EXPECT_TRUE(fs::is_symlink(dir.path("pavro.ini")));
    EXPECT_EQ(dir.read("elsewhere/mine.ini"), " 5 2.500000 0 1 0.000000 5.000000 0.000000 10.000000 Lu_2002\n");
    EXPECT_FALSE(fs::exists(dir.path("elsewhere/mine.ini.new")));
}

TEST_F(Settings, TheFileKeepsItsModeAndOwner) {
    dir.write("pavro.ini", kDefaults);
    std::string path = dir.path("pavro.ini");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    bool root = getuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);  // another user's file
    }
    ini_lesen();
    com_nummer = 3;
    ini_schreiben();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
    EXPECT_EQ(dir.read("pavro.ini").substr(0, 3), " 3 ");
}

TEST_F(Settings, AFolderThatCannotBeWrittenIsNoError) {
    seam::SetProjectDir(dir.path("no/such/folder"));
    ini_schreiben();  // nothing to see, nothing crashes
    EXPECT_FALSE(fs::exists(dir.path("no")));
    seam::SetProjectDir(std::string(300, 'x'));  // a folder too long for the path
    ini_lesen();
    EXPECT_EQ(com_nummer, 1);
    ini_schreiben();
}

}  // namespace
