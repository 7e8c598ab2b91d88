// SPDX-License-Identifier: GPL-3.0-or-later
// The recording info's JSON: written at a recording's start, at each interval change and at
// its stop; read by the viewer, which trusts nothing in it it has not checked.
#include "info.h"

#include "feed.h"
#include "io.h"
#include "json.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::size_t kInfoLimit = 1 << 20;  // [bytes] an info is a few hundred
constexpr double kLargest = 9007199254740992.0;  // 2^53: integers beyond are not exact

bool refuse(std::string* why, const std::string& reason) {
    *why = reason;
    return false;
}

Json whole_or_null(long long v, bool known) { return known ? Json::of(static_cast<double>(v)) : Json(); }

// A whole number of [lo, hi] at `key`; `nullable` takes null as -1.
bool whole(const Json& o, const char* key, double lo, double hi, long long* out, bool nullable, std::string* why) {
    const Json* v = o.get(key);
    if (nullable && v && v->kind == Json::Null) {
        *out = -1;
        return true;
    }
    if (!v || v->kind != Json::Number || !(v->number >= lo && v->number <= hi) || std::floor(v->number) != v->number) {
        *why = std::string("\"") + key + "\" is missing or no whole number in range";
        return false;
    }
    *out = static_cast<long long>(v->number);
    return true;
}

bool interval(const Json* v, double* out) {
    if (!v || v->kind != Json::Number || !(v->number >= 0.0 && v->number <= 86400.0)) return false;
    *out = v->number;
    return true;
}

bool text(const Json& o, const char* key, std::string* out, bool required, std::string* why) {
    const Json* v = o.get(key);
    if (!v && !required) return true;
    if (!v || v->kind != Json::String) {
        *why = std::string("\"") + key + "\" is missing or no text";
        return false;
    }
    *out = v->text;
    return true;
}

}  // namespace

bool info_path(const char* dataPath, char* infoPath) {
    if (!dataPath || !*dataPath || std::strlen(dataPath) + std::strlen(kInfoSuffix) >= kMaxPathname) return false;
    std::strcpy(infoPath, dataPath);
    std::strcat(infoPath, kInfoSuffix);
    return true;
}

static Json info_json(const RecordingInfo& r) {
    Json o = Json::object();
    o.set("format", Json::of(static_cast<double>(r.format)));
    o.set("start", Json::of(r.start));
    o.set("start_unix_ms", Json::of(static_cast<double>(r.startUnixMs)));
    o.set("unit", r.unit == kFeedUnknown ? Json() : Json::of(unit_name(r.unit)));
    o.set("display_mode", Json::of(static_cast<double>(r.displayMode)));
    o.set("interval_s", Json::of(r.interval_s));
    Json changes = Json::array();
    for (const IntervalChange& c : r.changes)
        changes.items.push_back(Json::object()
                                    .set("sample", Json::of(static_cast<double>(c.sample)))
                                    .set("interval_s", Json::of(c.interval_s)));
    o.set("interval_changes", changes);
    o.set("module_type", whole_or_null(r.moduleType, r.moduleType >= 0));
    o.set("settings_word", whole_or_null(r.settingsWord, r.settingsWord >= 0));
    o.set("port", Json::of(static_cast<double>(r.port)));
    o.set("device", Json::of(r.device));
    o.set("program_version", Json::of(r.programVersion));
    if (!r.interruptions.empty()) {
        Json list = Json::array();
        for (const Interruption& i : r.interruptions)
            list.items.push_back(Json::object()
                                     .set("samples", Json::of(static_cast<double>(i.samples)))
                                     .set("last_s", Json::of(i.last_s))
                                     .set("resumed", Json::of(i.resumed))
                                     .set("resumed_unix_ms", Json::of(static_cast<double>(i.resumedUnixMs))));
        o.set("interruptions", list);
    }
    if (r.ended) {
        o.set("end", Json::of(r.end));
        o.set("samples", Json::of(static_cast<double>(r.samples)));
        o.set("ended_by", Json::of(r.endedBy));
        o.set("bytes", Json::of(static_cast<double>(r.bytes)));
    }
    return o;
}

std::string info_text(const RecordingInfo& r) { return JsonText(info_json(r)); }

static bool from_json(const Json& o, RecordingInfo* r, std::string* why) {
    if (o.kind != Json::Object) return refuse(why, "no JSON object");
    long long n = 0;
    if (!whole(o, "format", 1, kLargest, &n, false, why)) return false;
    if (n > kInfoFormat) return refuse(why, "written by a later version of pavro");
    r->format = static_cast<int>(n);
    if (!text(o, "start", &r->start, true, why)) return false;
    if (!whole(o, "start_unix_ms", 0, kLargest, &r->startUnixMs, false, why)) return false;
    const Json* unit = o.get("unit");
    if (unit && unit->kind == Json::Null)
        r->unit = kFeedUnknown;
    else if (unit && unit->kind == Json::String && (unit->text == "ppm" || unit->text == "mV"))
        r->unit = unit->text == "ppm" ? kFeedPpm : kFeedMv;
    else
        return refuse(why, "\"unit\" is neither ppm, mV nor null");
    if (!whole(o, "display_mode", 0, 2, &n, false, why)) return false;
    r->displayMode = static_cast<int>(n);
    if (!interval(o.get("interval_s"), &r->interval_s)) return refuse(why, "\"interval_s\" is no interval");
    r->changes.clear();
    if (const Json* changes = o.get("interval_changes")) {
        if (changes->kind != Json::Array) return refuse(why, "\"interval_changes\" is no list");
        for (const Json& c : changes->items) {
            IntervalChange change{};
            if (c.kind != Json::Object || !whole(c, "sample", 0, kLargest, &change.sample, false, why) ||
                !interval(c.get("interval_s"), &change.interval_s))
                return refuse(why, "an interval change is not a sample and an interval");
            r->changes.push_back(change);
        }
    }
    if (!whole(o, "module_type", 0, 2147483647.0, &n, true, why)) return false;
    r->moduleType = static_cast<int>(n);
    if (!whole(o, "settings_word", 0, 2147483647.0, &n, true, why)) return false;
    r->settingsWord = static_cast<int>(n);
    if (!whole(o, "port", 0, 2147483647.0, &n, false, why)) return false;
    r->port = static_cast<int>(n);
    if (!text(o, "device", &r->device, false, why) || !text(o, "program_version", &r->programVersion, true, why))
        return false;
    r->interruptions.clear();
    if (const Json* list = o.get("interruptions")) {
        if (list->kind != Json::Array) return refuse(why, "\"interruptions\" is no list");
        for (const Json& i : list->items) {
            Interruption cut;
            const Json* last = i.kind == Json::Object ? i.get("last_s") : nullptr;
            if (!last || last->kind != Json::Number || !(last->number >= 0.0 && last->number <= kLargest) ||
                !whole(i, "samples", 0, kLargest, &cut.samples, false, why) ||
                !text(i, "resumed", &cut.resumed, true, why) ||
                !whole(i, "resumed_unix_ms", 0, kLargest, &cut.resumedUnixMs, false, why))
                return refuse(why, "an interruption is not samples, a time and a resumption");
            cut.last_s = last->number;
            r->interruptions.push_back(cut);
        }
    }
    r->ended = o.get("end") != nullptr;
    if (!r->ended) return true;
    return text(o, "end", &r->end, true, why) && whole(o, "samples", 0, kLargest, &r->samples, false, why) &&
           text(o, "ended_by", &r->endedBy, true, why) && whole(o, "bytes", 0, kLargest, &r->bytes, false, why);
}

bool info_parse(const char* data, std::size_t size, RecordingInfo* r, std::string* why) {
    Json o;
    std::string reason;
    if (!JsonParse(data, size, &o, &reason)) return refuse(why, "no JSON: " + reason);
    RecordingInfo parsed;
    if (!from_json(o, &parsed, why)) return false;
    *r = std::move(parsed);
    return true;
}

int info_read(const char* dataPath, RecordingInfo* r, std::string* why) {
    char path[kMaxPathname];
    if (!info_path(dataPath, path)) return 0;
    Json o;
    std::string reason;
    int read = JsonReadFile(path, kInfoLimit, &o, &reason);
    if (read <= 0) {
        if (read < 0) *why = reason;
        return read;
    }
    RecordingInfo parsed;
    if (!from_json(o, &parsed, why)) return -1;
    *r = std::move(parsed);
    return 1;
}

int info_write(const char* dataPath, const RecordingInfo& r) {
    char path[kMaxPathname];
    if (!info_path(dataPath, path)) return -1;
    return JsonWriteFile(path, info_json(r));
}
