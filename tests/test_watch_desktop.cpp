// SPDX-License-Identifier: GPL-3.0-or-later
// The watch heard and told: the desktop notification on a private session bus, the tone
// played into a PulseAudio null sink and recorded from its monitor, and no sound server at all.
// Each test starts its own bus or sound server on this machine and stops it after.
#include "process.h"
#include "sim_fixture.h"
#include "watch.h"

#include <cstdlib>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class Desktop : public ModuleTest {
protected:
    void raiseHigh() {
        dir.write("pavro-watch.ini", "[alarm]\nppm_high=20\n");
        start_program();
        connect();
        module.setReading(25);
        poll();
        ASSERT_EQ(limit_alarm.state, kAlarmHigh);
    }
    void clearHigh() {
        module.setReading(10);
        poll();
        ASSERT_EQ(limit_alarm.state, kAlarmNormal);
    }
};

TEST_F(Desktop, AnAlarmRaisedAndClearedIsToldOnTheSessionBus) {
    if (access("/usr/bin/dbus-daemon", X_OK) != 0 || access("/usr/bin/dbus-monitor", X_OK) != 0)
        GTEST_SKIP() << "no dbus-daemon here";
    std::string address = "unix:path=" + dir.path("bus");
    Process bus = Process::start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=" + address});
    ASSERT_TRUE(waitUntil([&] { return fs::exists(dir.path("bus")); }, 5.0));
    Process monitor = Process::start(
        {"/usr/bin/dbus-monitor", "--address", address, "interface='org.freedesktop.Notifications'"}, {},
        dir.path("monitor.txt"));
    ASSERT_TRUE(waitUntil([&] { return slurp(dir.path("monitor.txt")).find("NameAcquired") != std::string::npos; }, 5.0));
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    setenv("PAVRO_INSTANCE", "line-2", 1);  // the notification says which pavro of the machine speaks

    raiseHigh();
    clearHigh();
    ASSERT_TRUE(waitUntil([&] { return slurp(dir.path("monitor.txt")).find("Oxygen alarm cleared") != std::string::npos; },
                          5.0));
    std::string seen = slurp(dir.path("monitor.txt"));
    size_t raised = seen.find("string \"Oxygen alarm\"");
    ASSERT_NE(raised, std::string::npos) << seen;
    EXPECT_NE(seen.find("string \"HIGH 2", raised), std::string::npos) << seen;
    EXPECT_NE(seen.find("member=Notify"), std::string::npos);
    EXPECT_NE(seen.find("string \"pavro (line-2)\""), std::string::npos) << seen;
    unsetenv("PAVRO_INSTANCE");
    EXPECT_NE(seen.find("string \"urgency\"\n         variant             byte 2"), std::string::npos) << seen;
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

// Peak amplitude and rough frequency of what the null sink played over `seconds`, the event
// loop running meanwhile as it does for the operator.
std::pair<double, double> recorded(const std::string& dir, const std::string& server, double seconds) {
    std::string raw = dir + "/played.raw";
    {
        Process rec = Process::start({"/bin/sh", "-c",
                              "exec parec -d watchtest.monitor --latency-msec=50 --raw --format=s16le --rate=22050 --channels=1 > " + raw},
                             {"PULSE_SERVER=" + server});
        seam::QuitAfter(seconds);
        RunUserInterface();
        kill(rec.pid, SIGTERM);  // parec writes out what it holds
        rec.wait(2.0);
    }
    if (fs::file_size(raw) == 0) return {0.0, 0.0};  // nothing played: the sink sent nothing
    std::string stat = commandOutput("sox -t raw -r 22050 -e signed -b 16 -c 1 " + raw + " -n stat 2>&1");
    if (std::getenv("PAVRO_TEST_VERBOSE")) std::fprintf(stderr, "%s\n", stat.c_str());
    auto field = [&](const char* name) {
        size_t at = stat.find(name);
        return at == std::string::npos ? -1.0 : std::atof(stat.c_str() + stat.find(':', at) + 1);
    };
    return {field("Maximum amplitude"), field("Rough   frequency")};
}

TEST_F(Desktop, TheToneSoundsWhileAnAlarmIsRaisedAndStopsWhenAcknowledged) {
    if (access("/usr/bin/pulseaudio", X_OK) != 0 || access("/usr/bin/parec", X_OK) != 0 ||
        access("/usr/bin/sox", X_OK) != 0)
        GTEST_SKIP() << "no PulseAudio, parec or sox here";
    std::string runtime = dir.path("pulse");
    fs::create_directories(runtime);
    std::string server = "unix:" + runtime + "/native";
    Process pulse = Process::start({"/usr/bin/pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                    "--use-pid-file=no", "--disallow-exit",
                                    "-L", "module-native-protocol-unix socket=" + runtime + "/native auth-anonymous=1",
                                    "-L", "module-null-sink sink_name=watchtest"},
                                   {"PULSE_RUNTIME_PATH=" + runtime, "HOME=" + runtime}, dir.path("pulse.log"));
    if (!waitUntil([&] { return commandOutput("PULSE_SERVER=" + server + " pactl list short sinks 2>/dev/null").find("watchtest") !=
                                std::string::npos; },
                   10.0))
        GTEST_SKIP() << "PulseAudio does not start here: " << slurp(dir.path("pulse.log"));
    setenv("PULSE_SERVER", server.c_str(), 1);
    ASSERT_EQ(SoundAvailable(), 1);

    raiseHigh();
    auto [loud, pitch] = recorded(dir.path(), server, 3.0);
    EXPECT_GT(loud, 0.3) << "the tone, at half of full scale, is in the sink";
    EXPECT_NEAR(pitch, 880, 60);

    seam::Commit(p1, P1_ACK);
    auto [after, unused] = recorded(dir.path(), server, 1.0);
    (void)unused;
    EXPECT_LT(after, 0.01) << "silent once acknowledged";
    unsetenv("PULSE_SERVER");
}

TEST_F(Desktop, WithoutASoundServerTheAlarmIsSeenAndTheDialogSaysSoundIsUnavailable) {
    setenv("PULSE_SERVER", ("unix:" + dir.path("nothing-here")).c_str(), 1);
    raiseHigh();
    EXPECT_EQ(SoundAvailable(), 0);
    EXPECT_EQ(std::string(watch_text()).rfind("HIGH", 0), 0u);
    seam::AnswerForm({}, false);
    grenzen_dialog();
    EXPECT_EQ(seam::LastForm()["Sound"], "unavailable: no sound output, the alarm is shown only");
    seam::Commit(p1, P1_ACK);
    clearHigh();
    unsetenv("PULSE_SERVER");
}

}  // namespace
