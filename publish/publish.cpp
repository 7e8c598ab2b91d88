// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish.h"

#include "eventlog.h"
#include "io.h"
#include "json.h"
#include "mqtt.h"
#include "settings.h"
#include "ui.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

const char* const kMqttKey[kMqttKeys] = {"enabled",  "host",     "port",      "tls",    "ca_file",
                                         "cert_file", "key_file", "username", "password", "client_id",
                                         "prefix",    "qos",      "per_value"};

namespace {

enum { kEnabled, kHost, kPort, kTls, kCaFile, kCertFile, kKeyFile, kUsername, kPassword, kClientId, kPrefix, kQos,
       kPerValue, kKeyCount };
static_assert(kKeyCount == kMqttKeys);

// What is published now, and the watch's last alarm state (kept while not publishing too).
struct Publishing {
    bool on = false;
    int com = 0;  // the confirmed port, 0 before
    PublishSettings settings;
    int alarmState = kAlarmNormal;
    std::string alarm;  // its payload
    std::string since;  // when the state began
};
Publishing& pub() {
    static Publishing p;
    return p;
}

std::string now_text() {
    char t[40];
    LocalTimeText(t, sizeof t, 1);
    return t;
}

std::string number_text(double v) {
    char b[32];
    auto r = std::to_chars(b, b + sizeof b, v);
    return std::string(b, r.ptr);
}

// JSON has no infinity and no NaN: such a number is null.
Json number_json(double v) { return std::isfinite(v) ? Json::of(v) : Json{}; }

Json unit_json(int unit) { return unit == kFeedUnknown ? Json{} : Json::of(unit_name(unit)); }

const char* state_name(int state) {
    switch (state) {
    case kAlarmHigh: return "high";
    case kAlarmLow: return "low";
    case kAlarmNoReading: return "no-reading";
    default: return "normal";
    }
}

bool flag(const char* t, bool* v) {
    if (!std::strcmp(t, "true") || !std::strcmp(t, "1")) return *v = true, true;
    if (!std::strcmp(t, "false") || !std::strcmp(t, "0")) return *v = false, true;
    return false;
}

bool whole(const char* t, int lo, int hi, int* v) {
    int n = 0;
    auto [p, ec] = std::from_chars(t, t + std::strlen(t), n);
    if (ec != std::errc() || *p != '\0' || n < lo || n > hi) return false;
    *v = n;
    return true;
}

// A client id as a discovery message's object id: letters, digits, "_" and "-" only.
std::string object_id(const std::string& id) {
    std::string s;
    for (char c : id) s += (std::isalnum(static_cast<unsigned char>(c)) || c == '-') ? c : '_';
    return s;
}

std::string dropped_text(long long dropped) {
    return event_payload(now_text().c_str(), "publish-dropped",
                         (std::to_string(dropped) + " messages dropped while the broker could not be reached").c_str());
}

// Home Assistant's discovery: the reading and the alarm state as two sensors of one device.
void discovery(const PublishSettings& s) {
    std::string id = object_id(s.clientId);
    Json device = Json::object();
    Json ids = Json::array();
    ids.items.push_back(Json::of(id));
    device.set("identifiers", ids).set("name", Json::of(s.clientId)).set("manufacturer", Json::of("pavro"));
    auto sensor = [&](const char* what, const char* name, const char* value) {
        Json j = Json::object();
        j.set("name", Json::of(name))
            .set("unique_id", Json::of(id + "_" + what))
            .set("state_topic", Json::of(s.prefix + (std::strcmp(what, "alarm") ? "/reading" : "/alarm")))
            .set("value_template", Json::of(value))
            .set("availability_topic", Json::of(s.prefix + "/status"))
            .set("payload_available", Json::of("online"))
            .set("payload_not_available", Json::of("offline"))
            .set("device", device);
        MqttRetain("homeassistant/sensor/" + id + "_" + what + "/config", JsonText(j));
    };
    sensor("oxygen", "Oxygen", "{{ value_json.value }}");
    sensor("alarm", "Oxygen alarm", "{{ value_json.state }}");
}

}  // namespace

const char* prefix_problem(const std::string& prefix) {
    if (prefix.empty()) return "The prefix is empty.";
    if (prefix.find_first_of("#+") != std::string::npos) return "The prefix must not hold # or +.";
    if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
        return "The prefix must not have an empty level (a / at its start or end, or //).";
    for (char c : prefix)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "The prefix must not hold control characters.";
    if (prefix.size() > 200) return "The prefix is longer than 200 characters.";
    return nullptr;
}

PublishSettings publish_settings_read(char* problem, std::size_t size) {
    PublishSettings s;
    if (size) problem[0] = '\0';
    char path[kMaxPathname];
    if (!watch_settings_path(path)) return s;
    IniEntry e[kKeyCount];
    for (int k = 0; k < kKeyCount; ++k) e[k].key = kMqttKey[k];
    if (IniReadGroup(path, "mqtt", e, kKeyCount) == 1) return s;
    std::string wrong;
    auto bad = [&](int k) { wrong += (wrong.empty() ? "" : ", ") + std::string(kMqttKey[k]); };
    auto text = [&](int k, std::string* out) {
        if (e[k].found) *out = e[k].value;
    };
    if (e[kEnabled].found && !flag(e[kEnabled].value, &s.enabled)) bad(kEnabled);
    if (e[kHost].found && e[kHost].value[0]) s.host = e[kHost].value;
    if (e[kPort].found && !whole(e[kPort].value, 1, 65535, &s.port)) bad(kPort);
    if (e[kTls].found && !flag(e[kTls].value, &s.tls)) bad(kTls);
    text(kCaFile, &s.caFile);
    text(kCertFile, &s.certFile);
    text(kKeyFile, &s.keyFile);
    text(kUsername, &s.username);
    text(kPassword, &s.password);
    text(kClientId, &s.clientId);
    text(kPrefix, &s.prefix);
    if (!s.prefix.empty() && prefix_problem(s.prefix)) {
        bad(kPrefix);
        s.prefix.clear();
    }
    if (e[kQos].found && !whole(e[kQos].value, 0, 1, &s.qos)) bad(kQos);
    if (e[kPerValue].found && !flag(e[kPerValue].value, &s.perValue)) bad(kPerValue);
    if (!wrong.empty() && size) std::snprintf(problem, size, "[mqtt] %s: not usable, the default taken", wrong.c_str());
    return s;
}

PublishSettings publish_settings_resolved(PublishSettings s, int com) {
    char user[64], host[64];
    GetUserAndHost(user, host);
    std::string h = host[0] ? host : "localhost";
    // An instance names its module on this machine, whatever port it is on today.
    const std::string module = *InstanceName() ? std::string(InstanceName()) : "com" + std::to_string(com);
    if (s.clientId.empty()) s.clientId = "pavro-" + h + "-" + module;
    if (s.prefix.empty() || prefix_problem(s.prefix)) {
        s.prefix = "pavro/" + h + "/" + module;
        for (char& c : s.prefix)
            if (c == '#' || c == '+') c = '_';
    }
    return s;
}

std::string reading_payload(const FeedReading& r, const char* time) {
    Json j = Json::object();
    j.set("time", Json::of(time))
        .set("value", r.ok ? number_json(r.value) : Json{})
        .set("unit", unit_json(r.unit))
        .set("source", Json::of(r.source == kSourceRecorder ? "recorder" : "live"))
        .set("ok", Json::of(r.ok))
        .set("status", Json::of(event_escape(r.status)));
    if (r.aux) {
        Json aux = Json::object();
        static const char* const kAux[] = {"u1", "u3", "u5", "u6"};
        for (int i = 0; i < 4; ++i) aux.set(kAux[i], number_json(r.aux[i]));
        j.set("aux", aux);
    }
    return JsonText(j);
}

std::string alarm_payload(const FeedAlarm& a, const char* since) {
    bool limit = a.state == kAlarmHigh || a.state == kAlarmLow;
    Json j = Json::object();
    j.set("state", Json::of(state_name(a.state)))
        .set("since", Json::of(since))
        .set("value", limit ? number_json(a.value) : Json{})
        .set("limit", limit ? number_json(a.limit) : Json{})
        .set("unit", limit ? unit_json(a.unit) : Json{})
        .set("acknowledged", Json::of(a.acknowledged));
    return JsonText(j);
}

std::string event_payload(const char* time, const char* kind, const char* details) {
    Json j = Json::object();
    j.set("time", Json::of(time)).set("kind", Json::of(event_escape(kind))).set("details", Json::of(event_escape(details)));
    return JsonText(j);
}

void publish_starten(int com) {
    Publishing& p = pub();
    p.com = com;
    char problem[256];
    PublishSettings s = publish_settings_read(problem, sizeof problem);
    if (problem[0]) std::fprintf(stderr, "pavro-watch.ini %s\n", problem);
    if (!s.enabled) return;
    s = publish_settings_resolved(s, com);
    MqttOptions o;
    o.host = s.host;
    o.port = s.port;
    o.clientId = s.clientId;
    o.username = s.username;
    o.password = s.password;
    o.tls = s.tls;
    o.caFile = s.caFile;
    o.certFile = s.certFile;
    o.keyFile = s.keyFile;
    o.qos = s.qos;
    o.willTopic = s.prefix + "/status";
    o.willPayload = "offline";
    o.droppedTopic = s.prefix + "/event";
    MqttOnDropped(dropped_text);
    p.settings = s;
    p.on = MqttStart(o);
    if (!p.on) {
        std::fprintf(stderr, "pavro: publishing: %s\n", MqttStateText().c_str());
        return;
    }
    MqttRetain(s.prefix + "/status", "online");
    if (p.alarm.empty()) {
        FeedAlarm normal{kAlarmNormal, false, false, 0.0, 0.0, kFeedUnknown, "", ""};
        p.since = now_text();
        p.alarm = alarm_payload(normal, p.since.c_str());
    }
    MqttRetain(s.prefix + "/alarm", p.alarm);
    discovery(s);
}

void publish_enden() {
    Publishing& p = pub();
    if (!p.on) return;
    p.on = false;
    MqttStop(p.settings.prefix + "/status", "offline", 1.0);
}

std::string publish_prefix() { return pub().on ? pub().settings.prefix : std::string(); }

void publish_reading(const FeedReading& r) {
    Publishing& p = pub();
    if (!p.on) return;
    const std::string& prefix = p.settings.prefix;
    MqttPublish(prefix + "/reading", reading_payload(r, now_text().c_str()));
    if (!p.settings.perValue) return;
    if (r.ok && std::isfinite(r.value)) MqttPublish(prefix + "/value", number_text(r.value));
    if (r.aux) {
        static const char* const kAux[] = {"/u1", "/u3", "/u5", "/u6"};
        for (int i = 0; i < 4; ++i) MqttPublish(prefix + kAux[i], number_text(r.aux[i]));
    }
}

void publish_alarm(const FeedAlarm& a) {
    Publishing& p = pub();
    if (a.state != p.alarmState || p.since.empty()) p.since = now_text();
    p.alarmState = a.state;
    p.alarm = alarm_payload(a, p.since.c_str());
    if (p.on) MqttRetain(p.settings.prefix + "/alarm", p.alarm);
}

void publish_event(const char* kind, const char* details) {
    Publishing& p = pub();
    if (p.on) MqttPublish(p.settings.prefix + "/event", event_payload(now_text().c_str(), kind, details));
}

namespace {

// The text of setting `key`, flags as `yes` or `no`: the file's and the dialog's alike.
std::string setting_text(const PublishSettings& s, int key, const char* yes, const char* no) {
    switch (key) {
    case kEnabled: return s.enabled ? yes : no;
    case kHost: return s.host;
    case kPort: return std::to_string(s.port);
    case kTls: return s.tls ? yes : no;
    case kCaFile: return s.caFile;
    case kCertFile: return s.certFile;
    case kKeyFile: return s.keyFile;
    case kUsername: return s.username;
    case kPassword: return s.password;
    case kClientId: return s.clientId;
    case kPrefix: return s.prefix;
    case kQos: return std::to_string(s.qos);
    default: return s.perValue ? yes : no;
    }
}

}  // namespace

int publish_settings_write(const PublishSettings& s) {
    char path[kMaxPathname];
    if (!watch_settings_path(path)) return -1;
    IniEntry e[kKeyCount];
    for (int k = 0; k < kKeyCount; ++k) {
        e[k].key = kMqttKey[k];
        std::snprintf(e[k].value, sizeof e[k].value, "%s", setting_text(s, k, "true", "false").c_str());
    }
    return IniWriteGroup(path, "mqtt", e, kKeyCount, !s.password.empty());
}

namespace {

// The dialog's fields: the connection's state, then the settings in the file's order, then the file.
enum { kFState, kFEnabled, kFHost, kFPort, kFTls, kFCa, kFCert, kFKey, kFUser, kFPassword, kFClient, kFPrefix, kFQos,
       kFPerValue, kFFile, kFields };
static_assert(kFEnabled == kEnabled + 1 && kFPerValue == kPerValue + 1);
const char* const kLabel[kFields] = {"Connection",  "Publish to the broker", "Broker host",        "Port",
                                     "TLS",         "CA file",               "Client certificate", "Client key",
                                     "User name",   "Password",              "Client id",          "Topic prefix",
                                     "QoS (0 or 1)", "One topic per value too", "Settings file"};

bool fields_to_settings(const FormField* f, PublishSettings* s, const char** wrong) {
    *wrong = nullptr;
    s->enabled = f[kFEnabled].value[0] == '1';
    s->host = f[kFHost].value[0] ? f[kFHost].value : "localhost";
    s->tls = f[kFTls].value[0] == '1';
    s->caFile = f[kFCa].value;
    s->certFile = f[kFCert].value;
    s->keyFile = f[kFKey].value;
    s->username = f[kFUser].value;
    s->password = f[kFPassword].value;
    s->clientId = f[kFClient].value;
    s->prefix = f[kFPrefix].value;
    s->perValue = f[kFPerValue].value[0] == '1';
    if (!whole(f[kFPort].value, 1, 65535, &s->port)) *wrong = "The port must be a whole number from 1 to 65535.";
    else if (!whole(f[kFQos].value, 0, 1, &s->qos)) *wrong = "QoS must be 0 or 1.";
    else if (!s->prefix.empty()) *wrong = prefix_problem(s->prefix);
    if (!*wrong && s->host.find_first_of(" \t") != std::string::npos) *wrong = "The broker host must not hold blanks.";
    return !*wrong;
}

const char* check_fields(const FormField* f, int) {
    PublishSettings s;
    const char* wrong = nullptr;
    fields_to_settings(f, &s, &wrong);
    return wrong;
}

}  // namespace

void veroeffentlichen(int, int, void*, int) {
    FormField f[kFields];
    char problem[256];
    PublishSettings s = publish_settings_read(problem, sizeof problem);
    auto put = [&](int k, const std::string& v) { std::snprintf(f[k].value, sizeof f[k].value, "%s", v.c_str()); };
    for (int i = 0; i < kFields; ++i) {
        f[i].label = kLabel[i];
        f[i].kind = kFormText;
        f[i].value[0] = '\0';
    }
    f[kFState].kind = f[kFFile].kind = kFormNote;
    f[kFEnabled].kind = f[kFTls].kind = f[kFPerValue].kind = kFormCheck;
    f[kFPassword].kind = kFormSecret;
    std::string state = MqttStateText();
    if (!pub().on) {
        // A refused start keeps its reason; otherwise publishing is simply off.
        state = state != "off" ? "not publishing: " + state
                : pub().com    ? std::string("not publishing")
                               : std::string("not publishing: it starts when the port is confirmed");
    } else {
        if (long long dropped = MqttDropped()) state += "; " + std::to_string(dropped) + " messages dropped since the start";
        if (std::size_t waiting = MqttQueued()) state += "; " + std::to_string(waiting) + " waiting";
        state += " (prefix " + pub().settings.prefix + ")";
    }
    put(kFState, state);
    for (int k = 0; k < kKeyCount; ++k) put(kFEnabled + k, setting_text(s, k, "1", "0"));
    char path[kMaxPathname];
    if (!watch_settings_path(path)) path[0] = '\0';
    put(kFFile, problem[0] ? std::string(path) + ": " + problem : std::string(path));
    if (FormPopup("Publishing", f, kFields, check_fields) != 1) return;
    const char* wrong = nullptr;
    if (!fields_to_settings(f, &s, &wrong)) return;
    if (publish_settings_write(s) != 0) {
        MessagePopup("Publishing", "The settings file could not be written; publishing is as it was.");
        return;
    }
    int com = pub().com;
    publish_enden();
    if (com) publish_starten(com);
}
