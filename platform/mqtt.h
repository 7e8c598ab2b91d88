// SPDX-License-Identifier: GPL-3.0-or-later
// A connection to an MQTT broker (libmosquitto) run on a thread of its own: the caller only
// hands messages over and never waits for the network. While the broker cannot be reached,
// messages wait in a bounded queue (the oldest dropped first) and the connection is tried again
// after a pause that grows from 1 s to 30 s. Retained messages are kept and published anew at
// every connection, before what waited.
#pragma once

#include <string>

struct MqttOptions {
    std::string host = "localhost";
    int port = 1883;
    std::string clientId;
    std::string username, password;  // no login when username is empty
    bool tls = false;
    std::string caFile, certFile, keyFile;  // TLS: the authority's file, the client's own pair
    int qos = 1;
    std::string willTopic, willPayload;  // retained, sent by the broker when the client is gone
    std::string droppedTopic;           // where the count of dropped messages goes, at connection
    std::size_t queueLimit = 10000;
};

// Starts the connection (ends one that ran); false when the options are not usable (the reason
// then in MqttStateText).
bool MqttStart(const MqttOptions& options);
// Publishes the retained `payload` on `topic` (at every connection from now on) and, before
// the connection ends cleanly, nothing else.
void MqttRetain(const std::string& topic, const std::string& payload);
// Hands a message over: published at once when connected, else queued.
void MqttPublish(const std::string& topic, const std::string& payload);
// Ends the connection: the retained `lastTopic` set to `lastPayload` (the clean end's word in
// place of the will), what waits sent within `waitSeconds`, then the disconnect.
void MqttStop(const std::string& lastTopic, const std::string& lastPayload, double waitSeconds = 1.0);

// The connection's state in words: "off", "connected to broker:1883", "connecting (attempt 3,
// next in 8 s)", "refused: not authorised", "TLS: certificate not trusted", ...
std::string MqttStateText();
bool MqttConnected();
// Messages dropped from the full queue since the start, and those waiting now.
long long MqttDropped();
std::size_t MqttQueued();
// The text the dropped-count message carries (set by the caller, built at connection).
using MqttDroppedText = std::string (*)(long long dropped);
void MqttOnDropped(MqttDroppedText text);
