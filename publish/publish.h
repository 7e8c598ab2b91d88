// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing to an MQTT broker: readings, the watch's alarm state and the events, as JSON
// under one prefix, for the plant's dashboards, historians and alerting. Off unless
// `pavro-watch.ini`'s [mqtt] group says `enabled=true`. A listener of the feed; the network
// itself runs on a thread of the run-time layer, so the event loop never waits for it.
#pragma once

#include "feed.h"

#include <cstddef>
#include <string>

struct PublishSettings {
    bool enabled = false;
    std::string host = "localhost";
    int port = 1883;
    bool tls = false;
    std::string caFile, certFile, keyFile;
    std::string username, password;
    std::string clientId;  // empty: pavro-HOST-comN, or pavro-HOST-NAME for instance NAME
    std::string prefix;    // empty: pavro/HOST/comN, or pavro/HOST/NAME for instance NAME
    int qos = 1;
    bool perValue = false;
};

constexpr int kMqttKeys = 13;
extern const char* const kMqttKey[kMqttKeys];  // the [mqtt] group's keys, in the file's order

// Why a topic prefix cannot be used ("#", "+", an empty level, ...); nullptr when it can.
const char* prefix_problem(const std::string& prefix);
// The [mqtt] group of pavro-watch.ini; a key that is missing keeps its default, one that is
// wrong too, and is named in `problem` ("" when none).
PublishSettings publish_settings_read(char* problem, std::size_t size);
// The client id and prefix with the defaults filled in for port `com`.
PublishSettings publish_settings_resolved(PublishSettings s, int com);

// Payloads (JSON, UTF-8; `time` ISO 8601 with offset). Text from the module is escaped as in
// the event log, so a payload is always valid UTF-8.
std::string reading_payload(const FeedReading& r, const char* time);
std::string alarm_payload(const FeedAlarm& a, const char* since);
std::string event_payload(const char* time, const char* kind, const char* details);

// Writes the [mqtt] group (mode 0600 when it holds a password); 0 on success.
int publish_settings_write(const PublishSettings& s);

// Starts publishing for the confirmed port `com` when the settings say so: status "online"
// (the broker's last will "offline"), the alarm state, the discovery messages.
void publish_starten(int com);
// The clean end: status "offline", what waits sent within a second.
void publish_enden();
// The prefix in use, "" while not publishing.
std::string publish_prefix();

// "Publishing…": the settings and the connection's state; Apply writes them and starts anew.
void veroeffentlichen(int menuBar, int menuItem, void* callbackData, int panel);

// The feed's listeners.
void publish_reading(const FeedReading& r);
void publish_alarm(const FeedAlarm& a);
void publish_event(const char* kind, const char* details);
