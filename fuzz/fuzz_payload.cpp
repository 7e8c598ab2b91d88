// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the published payloads: every reading, alarm and event payload parses as JSON, is
// printable ASCII, and gives back the value, unit, source and text it was built from.
#include "eventlog.h"
#include "json.h"
#include "publish.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double number_at(const std::uint8_t* p) {
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

Json parsed(const std::string& payload) {
    for (char c : payload)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) std::abort();
    Json j;
    std::string why;
    if (!JsonParse(payload.data(), payload.size(), &j, &why) || j.kind != Json::Object) std::abort();
    return j;
}

// A number given back as it went in, or null where JSON has no such number.
void same(const Json* j, double v) {
    if (!j) std::abort();
    if (!std::isfinite(v) ? j->kind != Json::Null : j->kind != Json::Number || j->number != v) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // 8 bytes value, 32 bytes aux, 1 byte of flags, then the text.
    if (size < 41) return 0;
    double value = number_at(data), aux[4];
    for (int i = 0; i < 4; ++i) aux[i] = number_at(data + 8 + 8 * i);
    std::uint8_t flags = data[40];
    std::string text(reinterpret_cast<const char*>(data + 41), size - 41);
    text = text.c_str();
    int unit = flags % 3 - 1;
    bool ok = flags & 4, live = flags & 8;
    FeedReading r{value, ok, unit, live ? kSourceLive : kSourceRecorder, text.c_str(), live ? aux : nullptr, 0.0};
    const char* time = "2026-12-10T14:32:05.123+01:00";  // the program's own clock text
    Json j = parsed(reading_payload(r, time));
    if (ok) same(j.get("value"), value);
    else if (!j.get("value") || j.get("value")->kind != Json::Null) std::abort();
    const Json* u = j.get("unit");
    if (!u || (unit == kFeedUnknown ? u->kind != Json::Null : u->text != unit_name(unit))) std::abort();
    if (!j.get("source") || j.get("source")->text != (live ? "live" : "recorder")) std::abort();
    if (!j.get("status") || j.get("status")->text != event_escape(text.c_str())) std::abort();
    if (live)
        for (const char* k : {"u1", "u3", "u5", "u6"})
            same(j.get("aux") ? j.get("aux")->get(k) : nullptr, aux[k[1] == '1' ? 0 : k[1] == '3' ? 1 : k[1] == '5' ? 2 : 3]);

    FeedAlarm a{flags >> 4 & 3, ok, false, value, aux[0], unit, text.c_str(), text.c_str()};
    j = parsed(alarm_payload(a, time));
    if (a.state == kAlarmHigh || a.state == kAlarmLow) {
        same(j.get("value"), value);
        same(j.get("limit"), aux[0]);
    }
    j = parsed(event_payload(time, text.c_str(), text.c_str()));
    if (!j.get("details") || j.get("details")->text != event_escape(text.c_str())) std::abort();
    return 0;
}
