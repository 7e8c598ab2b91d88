// SPDX-License-Identifier: GPL-3.0-or-later
// One pavro per module on one machine: the installed launcher's --instance and --autostart,
// and two instances at once against two simulators.
#include "fixture.h"
#include "process.h"

#include <algorithm>
#include <map>

namespace {

// An installed layout of its own: the launcher in bin/ under each program's name, the built
// programs in lib/pavro/, and a home folder for the operator.
class Launcher : public ::testing::Test {
protected:
    ProgramDir root;

    void SetUp() override {
        fs::create_directories(root.path("bin"));
        fs::create_directories(root.path("lib/pavro"));
        fs::create_directories(root.path("home"));
        for (std::string name : {"pavro", "pavro-sim", "pavro-ports"}) {
            fs::copy_file(PAVRO_SOURCE_DIR "/packaging/launcher", root.path("bin/" + name));
            fs::permissions(root.path("bin/" + name), fs::perms::owner_exec, fs::perm_options::add);
            fs::create_symlink(fs::path(PAVRO_BIN_DIR) / name, root.path("lib/pavro/" + name));
        }
        fs::create_symlink(fs::path(PAVRO_BIN_DIR) / "pavro_5.uir", root.path("lib/pavro/pavro_5.uir"));
    }
    std::vector<std::string> env() const {
        return {"HOME=" + root.path("home"), "XDG_DATA_HOME=" + root.path("home/share"),
                "XDG_CONFIG_HOME=" + root.path("home/config")};
    }
    std::string data(const std::string& name = "") const { return root.path("home/share/pavro/" + name); }
    // What a launcher prints, both streams, and its exit status after "rc=".
    std::string run(const std::string& program, const std::string& args) const {
        std::string command = "env";
        for (const std::string& e : env()) command += " '" + e + "'";
        return commandOutput(command + " " + root.path("bin/" + program) + " " + args + " 2>&1; echo rc=$?");
    }
};

TEST_F(Launcher, AnInstanceHasAFolderOfItsOwnAndNoneKeepsTodaysFolder) {
    std::string out = run("pavro-ports", "");
    EXPECT_EQ(out.substr(0, out.find('\n')), "ports/ links are looked for in " + data("ports")) << out;
    for (std::string name : {"line-1", "G_2"}) {
        out = run("pavro-ports", "--instance " + name);
        EXPECT_EQ(out.substr(0, out.find('\n')), "ports/ links are looked for in " + data(name + "/ports")) << out;
        EXPECT_NE(out.find("rc=0"), std::string::npos) << out;
        EXPECT_TRUE(fs::is_directory(data(name + "/ports")));
        EXPECT_TRUE(fs::is_symlink(data(name + "/pavro")));
    }
    out = run("pavro-ports", "--instance=G_2");
    EXPECT_EQ(out.substr(0, out.find('\n')), "ports/ links are looked for in " + data("G_2/ports")) << out;
}

TEST_F(Launcher, NamesThatCouldLeaveTheFolderOrClashAreRefusedWithAMessage) {
    for (std::string name : std::vector<std::string>{"'a/b'", "..", "../x", "'a b'", "''", "a.b", "'x\ny'", "ports", "pavro",
                             std::string(65, 'x'), "\xc3\xa9t\xc3\xa9"}) {
        std::string out = run("pavro", "--instance " + name);
        EXPECT_NE(out.find("pavro: '"), std::string::npos) << name << ": " << out;
        EXPECT_NE(out.find("cannot name an instance"), std::string::npos) << name << ": " << out;
        EXPECT_NE(out.find("rc=2"), std::string::npos) << name << ": " << out;
    }
    std::string out = run("pavro-sim", "--instance");
    EXPECT_EQ(out, "pavro-sim: --instance needs a name\nrc=2\n");
    // Nothing was made for any of them, not even the default folder.
    EXPECT_FALSE(fs::exists(data()));
}

TEST_F(Launcher, AutostartWritesAValidSessionEntryAndTakesItBack) {
    std::string out = run("pavro", "--autostart --instance line-1");
    std::string entry = root.path("home/config/autostart/pavro-line-1.desktop");
    EXPECT_EQ(out, "pavro --instance line-1 starts with the desktop session: " + entry + "\nrc=0\n");
    std::string text = ProgramDir::readAt(entry);
    EXPECT_NE(text.find("\nExec=" + root.path("bin/pavro") + " --instance line-1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos) << text;
    if (access("/usr/bin/desktop-file-validate", X_OK) == 0) {
        EXPECT_EQ(commandOutput("desktop-file-validate " + entry + " 2>&1; echo rc=$?"), "rc=0\n");
    }
    EXPECT_EQ(run("pavro", "--autostart"),
              "pavro starts with the desktop session: " + root.path("home/config/autostart/pavro.desktop") + "\nrc=0\n");
    EXPECT_FALSE(fs::exists(data()));  // nothing started
    EXPECT_EQ(run("pavro", "--no-autostart --instance line-1"),
              "pavro --instance line-1 no longer starts with the desktop session\nrc=0\n");
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(fs::exists(root.path("home/config/autostart/pavro.desktop")));
}

std::size_t lineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// Two modules on one PC: each instance connects at start to the simulator its own ports/com1
// stands for, keeps its own settings line and logs its own events; each window carries its
// instance in its X class, so the right one can be closed while the other goes on.
TEST_F(Launcher, TwoInstancesAgainstTwoSimulatorsKeepTheirFilesApart) {
    if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
    VirtualDisplay x;
    ASSERT_TRUE(x.start(root.path()));
    const std::map<std::string, std::string> line = {
        {"a", " 1 0.500000 1 1 0.000000 10.000000 0.000000 10.000000 Lu_2002\n"},
        {"b", " 1 2.000000 0 1 -5.000000 50.000000 0.000000 10.000000 Lu_2002\n"}};
    std::map<std::string, Process> sims, pavros;
    std::vector<std::string> withDisplay = env();
    withDisplay.push_back("DISPLAY=" + x.name);
    withDisplay.push_back("QT_QPA_PLATFORM=xcb");
    for (const auto& [name, settings] : line) {
        fs::create_directories(data(name + "/ports"));
        ProgramDir::writeAt(data(name + "/pavro.ini"), settings);
        ProgramDir::writeAt(data(name + "/pavro-watch.ini"), "[link]\nconnect_at_start=true\n[alarm]\nppm_high=" +
                                                                 std::string(name == "a" ? "1000" : "2000") + "\n");
        sims[name] = Process::start({PAVRO_BIN_DIR "/pavro-sim", "--link", data(name + "/ports/com1"), "--log",
                                     root.path("sim-" + name + ".log")});
        ASSERT_TRUE(waitUntil([&] { return fs::is_symlink(data(name + "/ports/com1")); }, 10));
        pavros[name] = Process::start({root.path("bin/pavro"), "--instance", name}, withDisplay,
                                      root.path("log-" + name));
    }
    // The connection's 14 exchanges and a poll of 7 in each simulator.
    for (const std::string name : {"a", "b"})
        ASSERT_TRUE(waitUntil([&] { return lineCount(root.read("sim-" + name + ".log")) >= 21; }, 20))
            << name << ": " << root.read("log-" + name);

    auto close = [&](const std::string& name) {
        Process closer = Process::start({"/usr/bin/python3", PAVRO_SOURCE_DIR "/tests/close_window.py",
                                         "Kelto O2-Messung", "10", "--class", "pavro-" + name},
                                        {"DISPLAY=" + x.name});
        return closer.wait(15);
    };
    ASSERT_EQ(close("a"), 0);
    EXPECT_EQ(pavros["a"].wait(10), 0) << root.read("log-a");
    // b polls on.
    std::size_t seen = lineCount(root.read("sim-b.log"));
    EXPECT_TRUE(waitUntil([&] { return lineCount(root.read("sim-b.log")) >= seen + 7; }, 10));
    ASSERT_EQ(close("b"), 0);
    EXPECT_EQ(pavros["b"].wait(10), 0) << root.read("log-b");

    for (const auto& [name, settings] : line) {
        const std::string other = name == "a" ? "b" : "a";
        EXPECT_EQ(ProgramDir::readAt(data(name + "/pavro.ini")), settings) << name;
        EXPECT_NE(ProgramDir::readAt(data(name + "/pavro-watch.ini")).find(name == "a" ? "1000" : "2000"),
                  std::string::npos);
        std::string log = ProgramDir::readAt(data(name + "/pavro-events.log"));
        EXPECT_NE(log.find("folder=" + data(name) + " "), std::string::npos) << log;
        EXPECT_NE(log.find(data(name + "/ports/com1")), std::string::npos) << log;
        EXPECT_EQ(log.find(data(other)), std::string::npos) << log;
    }
    EXPECT_FALSE(fs::exists(data("pavro.ini")));
    EXPECT_FALSE(fs::exists(data("pavro-events.log")));
}

}  // namespace
