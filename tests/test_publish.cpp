// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing to a real Mosquitto broker, started by each test on a free loopback port with a
// configuration of its own, and watched by a subscriber of the test's own.
#include "json.h"
#include "mqtt.h"
#include "process.h"
#include "publish.h"
#include "sim_fixture.h"

#include <mosquitto.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <mutex>

namespace {

constexpr const char* kMosquitto = "/usr/sbin/mosquitto";

int free_port() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

bool accepts(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

// A broker on 127.0.0.1:port, anonymous unless a user and password are given.
struct Broker {
    Process process;
    int port = 0;
    std::string dir;
    bool start(const std::string& folder, int onPort, const std::string& user = "", const std::string& password = "") {
        dir = folder;
        port = onPort;
        std::string conf = dir + "/mosquitto.conf";
        std::FILE* f = std::fopen(conf.c_str(), "w");
        // No limit on what waits for the subscriber: a slow test machine must not lose messages.
        std::fprintf(f, "listener %d 127.0.0.1\npersistence false\nmax_queued_messages 0\n", port);
        if (user.empty()) {
            std::fprintf(f, "allow_anonymous true\n");
        } else {
            std::string pw = dir + "/passwords";
            commandOutput("mosquitto_passwd -b -c " + pw + " " + user + " " + password + " 2>&1");
            std::fprintf(f, "allow_anonymous false\npassword_file %s\n", pw.c_str());
        }
        std::fclose(f);
        process = Process::start({kMosquitto, "-c", conf}, {}, dir + "/broker.log");
        return waitUntil([&] { return accepts(port); }, 5.0);
    }
    void stop() {
        kill(process.pid, SIGTERM);
        process.wait(5.0);
    }
};

struct Received {
    std::string topic, payload;
    bool retained;
};

// Subscribes to everything and keeps what arrives, in order.
class Subscriber {
public:
    explicit Subscriber(int port) {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* obj, const mosquitto_message* m) {
            auto* s = static_cast<Subscriber*>(obj);
            std::lock_guard<std::mutex> g(s->lock_);
            s->seen_.push_back({m->topic, std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
                                m->retain});
        });
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int) { mosquitto_subscribe(m, nullptr, "#", 1); });
        mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* obj, int, int, const int*) {
            static_cast<Subscriber*>(obj)->subscribed_ = true;
        });
        mosquitto_connect(mosq_, "127.0.0.1", port, 30);
        mosquitto_loop_start(mosq_);
        waitUntil([&] { return subscribed_.load(); }, 5.0);
    }
    ~Subscriber() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
    std::vector<Received> on(const std::string& topic) {
        std::lock_guard<std::mutex> g(lock_);
        std::vector<Received> r;
        for (const Received& m : seen_)
            if (m.topic == topic) r.push_back(m);
        return r;
    }
    // Waits for a message on `topic` whose payload holds `text`.
    bool waitFor(const std::string& topic, const std::string& text, double seconds = 5.0) {
        return waitUntil(
            [&] {
                for (const Received& m : on(topic))
                    if (m.payload.find(text) != std::string::npos) return true;
                return false;
            },
            seconds);
    }

private:
    mosquitto* mosq_ = nullptr;
    std::mutex lock_;
    std::vector<Received> seen_;
    std::atomic<bool> subscribed_{false};
};

Json parsed(const std::string& payload) {
    Json j;
    std::string why;
    EXPECT_TRUE(JsonParse(payload.data(), payload.size(), &j, &why)) << payload << ": " << why;
    return j;
}

double number(const Json& j, const char* key) {
    const Json* m = j.get(key);
    return m && m->kind == Json::Number ? m->number : -1e300;
}

std::string text(const Json& j, const char* key) {
    const Json* m = j.get(key);
    return m && m->kind == Json::String ? m->text : m && m->kind == Json::Null ? "<null>" : "<none>";
}

// ----- payloads and settings, without a broker --------------------------------------------------

TEST(Payloads, ReadingsAlarmsAndEventsAreJsonWithTheModulesTextEscaped) {
    double aux[4] = {0.5, 1.25, -3.0, 42.0};
    FeedReading live{12.5, true, kFeedPpm, kSourceLive, "ok", aux, 0.0};
    Json j = parsed(reading_payload(live, "2026-12-10T14:32:05.123+01:00"));
    EXPECT_EQ(text(j, "time"), "2026-12-10T14:32:05.123+01:00");
    EXPECT_EQ(number(j, "value"), 12.5);
    EXPECT_EQ(text(j, "unit"), "ppm");
    EXPECT_EQ(text(j, "source"), "live");
    ASSERT_NE(j.get("ok"), nullptr);
    EXPECT_TRUE(j.get("ok")->boolean);
    ASSERT_NE(j.get("aux"), nullptr);
    EXPECT_EQ(number(*j.get("aux"), "u5"), -3.0);

    // A failed reading of a garbled reply: no value, the reply escaped, valid UTF-8 throughout.
    FeedReading failed{0.0, false, kFeedUnknown, kSourceRecorder, "M=\x07\xff\xc3(\"", nullptr, 0.0};
    std::string payload = reading_payload(failed, "t");
    j = parsed(payload);
    EXPECT_EQ(text(j, "value"), "<null>");
    EXPECT_EQ(text(j, "unit"), "<null>");
    EXPECT_EQ(text(j, "source"), "recorder");
    EXPECT_EQ(text(j, "status"), "M=\\x07\\xff\\xc3(\"");
    EXPECT_EQ(j.get("aux"), nullptr);
    for (unsigned char c : payload) EXPECT_LT(c, 0x80);

    FeedAlarm high{kAlarmHigh, true, false, 25.3, 20.0, kFeedPpm, "14:32:05", "HIGH"};
    j = parsed(alarm_payload(high, "2026-12-10T14:32:05.000+01:00"));
    EXPECT_EQ(text(j, "state"), "high");
    EXPECT_EQ(number(j, "value"), 25.3);
    EXPECT_EQ(number(j, "limit"), 20.0);
    EXPECT_TRUE(j.get("acknowledged")->boolean);
    FeedAlarm none{kAlarmNoReading, false, false, 0.0, 0.0, kFeedUnknown, "", "NO READING"};
    j = parsed(alarm_payload(none, "s"));
    EXPECT_EQ(text(j, "state"), "no-reading");
    EXPECT_EQ(text(j, "limit"), "<null>");

    j = parsed(event_payload("t", "settings-read", "word=49 reply \x07\tend\\"));
    EXPECT_EQ(text(j, "kind"), "settings-read");
    EXPECT_EQ(text(j, "details"), "word=49 reply \\x07\\x09end\\\\");
}

TEST(Payloads, APrefixWithAWildcardOrAnEmptyLevelIsRefused) {
    EXPECT_EQ(prefix_problem("pavro/lab1/com3"), nullptr);
    for (const char* bad : {"", "pavro/#", "pavro/+/x", "/pavro", "pavro/", "pavro//x", "a\nb"})
        EXPECT_NE(prefix_problem(bad), nullptr) << bad;
}

class PublishSettingsFile : public ProgramTest {};

TEST_F(PublishSettingsFile, ABrokenGroupKeepsEachWrongKeysDefaultAndNamesIt) {
    PublishSettings s = publish_settings_read(nullptr, 0);
    EXPECT_FALSE(s.enabled);  // no file: off
    dir.write("pavro-watch.ini",
              "[alarm]\nppm_high=20\n[mqtt]\nenabled=true\nhost=broker.example\nport=99999\nqos=2\nprefix=a/#\n"
              "per_value=maybe\nusername=op\n");
    char problem[256];
    s = publish_settings_read(problem, sizeof problem);
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.host, "broker.example");
    EXPECT_EQ(s.port, 1883);
    EXPECT_EQ(s.qos, 1);
    EXPECT_FALSE(s.perValue);
    EXPECT_EQ(s.username, "op");
    std::string p = problem;
    for (const char* key : {"port", "qos", "prefix", "per_value"}) EXPECT_NE(p.find(key), std::string::npos) << p;
    EXPECT_EQ(p.find("host"), std::string::npos) << p;
    s = publish_settings_resolved(s, 3);
    EXPECT_EQ(s.prefix.rfind("pavro/", 0), 0u) << s.prefix;
    EXPECT_EQ(s.prefix.substr(s.prefix.size() - 5), "/com3");
    EXPECT_EQ(s.clientId.substr(s.clientId.size() - 5), "-com3");
    // An instance names its module in both, whatever port it is on; a name that is none is not taken.
    setenv("PAVRO_INSTANCE", "line-2", 1);
    PublishSettings i = publish_settings_resolved(publish_settings_read(nullptr, 0), 3);
    EXPECT_EQ(i.prefix, s.prefix.substr(0, s.prefix.size() - 4) + "line-2");
    EXPECT_EQ(i.clientId, s.clientId.substr(0, s.clientId.size() - 4) + "line-2");
    setenv("PAVRO_INSTANCE", "../x", 1);
    EXPECT_EQ(publish_settings_resolved(publish_settings_read(nullptr, 0), 3).prefix, s.prefix);
    unsetenv("PAVRO_INSTANCE");
}

// ----- against the broker ----------------------------------------------------------------------

class Publishing : public ModuleTest {
protected:
    Broker broker;
    void TearDown() override {
        publish_enden();
        ModuleTest::TearDown();
    }
    void enable(int port, const std::string& more = "") {
        dir.write("pavro-watch.ini", "[mqtt]\nenabled=true\nhost=127.0.0.1\nport=" + std::to_string(port) +
                                         "\nprefix=site/o2\n" + more);
        start_program();
    }
};

TEST_F(Publishing, ReadingsStatusAlarmEventsAndDiscoveryReachTheBroker) {
    if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << "no mosquitto here";
    ASSERT_TRUE(broker.start(dir.path(), free_port()));
    Subscriber sub(broker.port);
    // The administrators' recipe: mosquitto_sub storing every reading as a line of a file.
    Process store;
    if (access("/usr/bin/mosquitto_sub", X_OK) == 0)
        store = Process::start({"/usr/bin/mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(broker.port), "-q", "1",
                                "-t", "site/o2/reading"},
                               {}, dir.path("readings.jsonl"));
    auto clients = [&] {
        std::string log = dir.read("broker.log");
        std::size_t n = 0;
        for (std::size_t at = 0; (at = log.find("New client connected", at)) != std::string::npos; ++at) ++n;
        return n;
    };
    if (store.pid > 0) {
        EXPECT_TRUE(waitUntil([&] { return clients() >= 2; }, 5.0)) << dir.read("broker.log");
    }
    enable(broker.port, "per_value=true\n");
    module.setReading(17.5);
    connect();
    ASSERT_TRUE(sub.waitFor("site/o2/status", "online")) << MqttStateText();
    EXPECT_NE(MqttStateText().find("connected to 127.0.0.1:"), std::string::npos) << MqttStateText();
    poll();
    ASSERT_TRUE(sub.waitFor("site/o2/reading", "\"live\""));
    Json r = parsed(sub.on("site/o2/reading").back().payload);
    EXPECT_NEAR(number(r, "value"), 17.5, 0.01);
    EXPECT_NEAR(number(r, "value"), value(P1_O2), 0.1);
    EXPECT_EQ(text(r, "unit"), unit_name(feed_unit()));
    EXPECT_NE(r.get("aux"), nullptr);
    EXPECT_TRUE(sub.waitFor("site/o2/value", ""));
    EXPECT_TRUE(sub.waitFor("site/o2/u1", ""));
    EXPECT_TRUE(sub.waitFor("site/o2/alarm", "\"normal\""));
    EXPECT_TRUE(sub.waitFor("site/o2/event", "\"settings-read\""));
    EXPECT_TRUE(sub.waitFor("site/o2/event", "\"port\""));
    std::string id = publish_settings_resolved(publish_settings_read(nullptr, 0), 1).clientId;
    for (char& c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
    bool discovered = true;
    for (const char* what : {"oxygen", "alarm"})
        discovered = sub.waitFor("homeassistant/sensor/" + id + "_" + what + "/config", "site/o2/status") && discovered;
    EXPECT_TRUE(discovered);

    if (store.pid > 0) {
        EXPECT_TRUE(waitUntil([&] { return dir.read("readings.jsonl").find("\"source\":\"live\"") != std::string::npos; }, 5.0))
            << dir.read("readings.jsonl");
        std::string first = dir.read("readings.jsonl");
        first = first.substr(0, first.find('\n'));
        EXPECT_NEAR(number(parsed(first), "value"), 17.5, 0.01) << first;
    }

    // The clean end says offline itself.
    publish_enden();
    EXPECT_TRUE(sub.waitFor("site/o2/status", "offline"));
    EXPECT_TRUE(sub.on("site/o2/status").back().payload == "offline");
}

TEST_F(Publishing, WhileTheBrokerIsDownReadingsWaitInOrderAndTheOldestAreDropped) {
    if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << "no mosquitto here";
    ASSERT_TRUE(broker.start(dir.path(), free_port()));
    enable(broker.port);
    publish_starten(1);
    ASSERT_TRUE(waitUntil([] { return MqttConnected(); }, 5.0)) << MqttStateText();
    // What the start queued (the discovery messages) handed over first: only the readings wait.
    ASSERT_TRUE(waitUntil([] { return MqttQueued() == 0; }, 5.0));
    broker.stop();
    ASSERT_TRUE(waitUntil([] { return !MqttConnected(); }, 5.0));
    EXPECT_TRUE(waitUntil([] { return MqttStateText().find("next in") != std::string::npos; }, 3.0)) << MqttStateText();
    ASSERT_EQ(MqttQueued(), 0u);
    const int n = 10010;  // ten more than the queue holds
    for (int i = 0; i < n; ++i) feed_reading({static_cast<double>(i), true, kFeedPpm, kSourceRecorder, "ok", nullptr, 0.0});
    EXPECT_EQ(MqttQueued(), 10000u);
    EXPECT_EQ(MqttDropped(), 10);

    // Back when the pause before the next attempt is 4 s, so the subscriber is there first.
    ASSERT_TRUE(waitUntil([] { return MqttStateText().find("next in 4 s") != std::string::npos; }, 8.0)) << MqttStateText();
    ASSERT_TRUE(broker.start(dir.path(), broker.port));
    Subscriber sub(broker.port);
    ASSERT_EQ(MqttQueued(), 10000u) << "connected before the subscriber";
    ASSERT_TRUE(waitUntil([&] { return sub.on("site/o2/reading").size() == 10000u; }, 15.0))
        << sub.on("site/o2/reading").size() << " received; " << MqttStateText() << "; queued " << MqttQueued()
        << "; last " << (sub.on("site/o2/reading").empty() ? -1.0 : number(parsed(sub.on("site/o2/reading").back().payload), "value"))
        << "\n" << dir.read("broker.log");
    auto got = sub.on("site/o2/reading");
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(number(parsed(got[i].payload), "value"), static_cast<double>(i + 10)) << i;
    EXPECT_TRUE(sub.waitFor("site/o2/event", "10 messages dropped"));
    EXPECT_TRUE(sub.waitFor("site/o2/status", "online"));  // retained states anew
}

TEST_F(Publishing, AWrongPasswordOrNoBrokerIsSaidInWordsAndNothingBreaks) {
    if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << "no mosquitto here";
    int nowhere = free_port();
    enable(nowhere);
    publish_starten(1);
    EXPECT_TRUE(waitUntil([] { return MqttStateText().find("connection refused") != std::string::npos; }, 3.0))
        << MqttStateText();
    feed_event("port", "queued while nobody listens");
    publish_enden();
    dir.write("pavro-watch.ini", "[mqtt]\nenabled=true\nhost=no-such-host.invalid\n");
    publish_starten(1);
    EXPECT_TRUE(waitUntil([] { return MqttStateText().rfind("host name not found: no-such-host.invalid", 0) == 0; }, 5.0))
        << MqttStateText();
    publish_enden();

    ASSERT_TRUE(broker.start(dir.path(), free_port(), "operator", "right"));
    enable(broker.port, "username=operator\npassword=wrong\n");
    publish_starten(1);
    EXPECT_TRUE(waitUntil([] { return MqttStateText().rfind("refused: not authorised", 0) == 0 ||
                                      MqttStateText().rfind("refused: bad user name or password", 0) == 0; },
                          5.0))
        << MqttStateText();
    EXPECT_FALSE(MqttConnected());
    publish_enden();
    enable(broker.port, "username=operator\npassword=right\n");
    publish_starten(1);
    EXPECT_TRUE(waitUntil([] { return MqttConnected(); }, 5.0)) << MqttStateText();
}

TEST_F(Publishing, AnAlarmRaisedAndAcknowledgedIsTheRetainedAlarmState) {
    if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << "no mosquitto here";
    ASSERT_TRUE(broker.start(dir.path(), free_port()));
    dir.write("pavro-watch.ini", "[alarm]\nppm_high=20\n[mqtt]\nenabled=true\nhost=127.0.0.1\nport=" +
                                     std::to_string(broker.port) + "\nprefix=site/o2\n");
    start_program();
    module.setReading(10);
    connect();
    ASSERT_TRUE(waitUntil([] { return MqttConnected(); }, 5.0)) << MqttStateText();
    module.setReading(25);
    poll();
    seam::Commit(p1, P1_ACK);
    // A subscriber that comes later is told the state at once: it is retained.
    Subscriber late(broker.port);
    ASSERT_TRUE(late.waitFor("site/o2/alarm", "\"acknowledged\":true"));
    Json a = parsed(late.on("site/o2/alarm").back().payload);
    EXPECT_TRUE(late.on("site/o2/alarm").front().retained);
    EXPECT_EQ(text(a, "state"), "high");
    EXPECT_NEAR(number(a, "value"), 25.0, 0.01);
    EXPECT_EQ(number(a, "limit"), 20.0);
    EXPECT_EQ(text(a, "unit"), "ppm");
    EXPECT_EQ(text(a, "since").size(), 29u) << text(a, "since");  // 2026-12-10T14:32:05.123+01:00
    EXPECT_TRUE(late.waitFor("site/o2/status", "online"));
    module.setReading(10);
    poll();
    EXPECT_TRUE(late.waitFor("site/o2/alarm", "\"normal\""));
}

TEST_F(Publishing, TheDialogRefusesABadPrefixWritesAPasswordPrivatelyAndStartsAnew) {
    if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << "no mosquitto here";
    ASSERT_TRUE(broker.start(dir.path(), free_port()));
    dir.write("pavro-watch.ini", "[alarm]\nppm_high=20\n");
    start_program();
    connect();
    seam::AnswerForm({}, false);
    veroeffentlichen(m1, MENUBAR_WATCH_PUBLISH, nullptr, p1);
    auto shown = seam::TakePopups();
    EXPECT_EQ(seam::LastForm()["Connection"], "not publishing");
    const std::string before = dir.read("pavro-watch.ini");
    for (const char* bad : {"plant/#", "plant//o2", "/plant"}) {
        seam::AnswerForm({{"Publish to the broker", "1"}, {"Topic prefix", bad}}, true);
        veroeffentlichen(m1, MENUBAR_WATCH_PUBLISH, nullptr, p1);
        shown = seam::TakePopups();
        ASSERT_EQ(shown.size(), 2u) << bad;
        EXPECT_NE(shown[1].text.find("prefix"), std::string::npos) << shown[1].text;
    }
    seam::AnswerForm({{"Publish to the broker", "1"}, {"Port", "0"}}, true);
    veroeffentlichen(m1, MENUBAR_WATCH_PUBLISH, nullptr, p1);
    EXPECT_EQ(seam::TakePopups()[1].text, "The port must be a whole number from 1 to 65535.");
    EXPECT_EQ(dir.read("pavro-watch.ini"), before);

    seam::AnswerForm({{"Publish to the broker", "1"}, {"Broker host", "127.0.0.1"}, {"Port", std::to_string(broker.port)},
                      {"Topic prefix", "lab/o2"}, {"User name", "op"}, {"Password", "pw"}},
                     true);
    veroeffentlichen(m1, MENUBAR_WATCH_PUBLISH, nullptr, p1);
    std::string written = dir.read("pavro-watch.ini");
    EXPECT_EQ(written.rfind("[mqtt]\n", 0), 0u) << written;
    EXPECT_NE(written.find("password=pw\n"), std::string::npos) << written;
    EXPECT_NE(written.find("[alarm]\nppm_high=20\n"), std::string::npos) << written;  // kept
    EXPECT_EQ(fs::status(dir.path("pavro-watch.ini")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(waitUntil([] { return MqttConnected(); }, 5.0)) << MqttStateText();
    EXPECT_EQ(publish_prefix(), "lab/o2");
    seam::AnswerForm({}, false);
    veroeffentlichen(m1, MENUBAR_WATCH_PUBLISH, nullptr, p1);
    seam::TakePopups();
    EXPECT_EQ(seam::LastForm()["Connection"].rfind("connected to 127.0.0.1:", 0), 0u) << seam::LastForm()["Connection"];
    EXPECT_EQ(seam::LastForm()["Password"], "pw");
}

// A certificate authority made here, a broker certificate it signed for 127.0.0.1, and a second
// authority that signed nothing of it.
bool make_certificates(const std::string& d) {
    std::string sh = "cd " + d + " && "
                     "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test-ca -keyout ca.key -out ca.pem && "
                     "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=other-ca -keyout other.key -out other.pem && "
                     "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key -out server.csr && "
                     "printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\n' > san.ext && "
                     "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext "
                     "-out server.pem && chmod 644 server.key && echo made";  // the broker may read it as another user
    return commandOutput("(" + sh + ") 2>/dev/null").find("made") != std::string::npos;
}

TEST_F(Publishing, TlsWithTheSitesAuthorityConnectsAndWithAnotherIsNotTrusted) {
    if (access(kMosquitto, X_OK) != 0 || access("/usr/bin/openssl", X_OK) != 0) GTEST_SKIP() << "no mosquitto or openssl";
    ASSERT_TRUE(make_certificates(dir.path()));
    int port = free_port();
    {
        std::ofstream conf(dir.path("mosquitto.conf"));
        conf << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\n"
             << "cafile " << dir.path("ca.pem") << "\ncertfile " << dir.path("server.pem") << "\nkeyfile "
             << dir.path("server.key") << "\n";
    }
    broker.port = port;
    broker.process = Process::start({kMosquitto, "-c", dir.path("mosquitto.conf")}, {}, dir.path("broker.log"));
    ASSERT_TRUE(waitUntil([&] { return accepts(port); }, 5.0)) << dir.read("broker.log");

    enable(port, "tls=true\nca_file=" + dir.path("other.pem") + "\n");
    publish_starten(1);
    EXPECT_TRUE(waitUntil([] { return MqttStateText().rfind("TLS: certificate not trusted", 0) == 0; }, 5.0))
        << MqttStateText();
    EXPECT_FALSE(MqttConnected());
    publish_enden();

    enable(port, "tls=true\nca_file=" + dir.path("ca.pem") + "\n");
    publish_starten(1);
    EXPECT_TRUE(waitUntil([] { return MqttConnected(); }, 5.0)) << MqttStateText();
}

// A killed program: the broker itself says offline, by the last will.
TEST(PublishingProcess, AKilledProgramIsOfflineByItsLastWill) {
    if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << "no mosquitto here";
    ProgramDir dir;
    Broker broker;
    ASSERT_TRUE(broker.start(dir.path(), free_port()));
    Subscriber sub(broker.port);
    dir.write("pavro-watch.ini",
              "[mqtt]\nenabled=true\nhost=127.0.0.1\nport=" + std::to_string(broker.port) + "\nprefix=killed/o2\n");
    Process sim = Process::start({PAVRO_BIN_DIR "/pavro-sim", "--link", dir.path("ports/com1")});
    ASSERT_TRUE(waitUntil([&] { return fs::is_symlink(dir.path("ports/com1")); }, 10));
    Process p = Process::start({PAVRO_BIN_DIR "/pavro-driver", dir.path(), dir.path("rec.dat"), "0.1", "record"},
                               {"QT_QPA_PLATFORM=offscreen"}, dir.path("driver.log"));
    ASSERT_TRUE(sub.waitFor("killed/o2/status", "online", 10.0)) << dir.read("driver.log");
    ASSERT_TRUE(sub.waitFor("killed/o2/reading", "\"recorder\""));
    kill(p.pid, SIGKILL);
    p.wait(5.0);
    EXPECT_TRUE(sub.waitFor("killed/o2/status", "offline"));
    auto status = sub.on("killed/o2/status");
    EXPECT_EQ(status.back().payload, "offline");
}

}  // namespace
