// SPDX-License-Identifier: GPL-3.0-or-later
// JSON texts as one plain value tree, read and written through Qt's JSON.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;                                  // String
    std::vector<Json> items;    // Array
    std::vector<Json> members;  // Object: each member with its key in `key`
    std::string key;            // of a member

    static Json of(double v) { Json j; j.kind = Number; j.number = v; return j; }
    static Json of(bool v) { Json j; j.kind = Bool; j.boolean = v; return j; }
    static Json of(const char* v) { Json j; j.kind = String; j.text = v ? v : ""; return j; }
    static Json of(const std::string& v) { return of(v.c_str()); }
    static Json object() { Json j; j.kind = Object; return j; }
    static Json array() { Json j; j.kind = Array; return j; }

    // Object: sets the member `name` (replacing it where it is), returns *this.
    Json& set(const std::string& name, Json value);
    // Object: the member `name`, or nullptr.
    const Json* get(const std::string& name) const;
};

// The value as compact JSON text (UTF-8).
std::string JsonText(const Json& value);
// Parses `size` bytes of JSON text into `out`; false with a short reason in `error` when it is
// no JSON, or it nests deeper than Qt reads.
bool JsonParse(const char* data, std::size_t size, Json* out, std::string* error);
// Reads and parses the file at `path` (at most `limit` bytes): 1 read, 0 no such file,
// negative unreadable, too long or no JSON (with the reason in `error`).
int JsonReadFile(const char* path, std::size_t limit, Json* out, std::string* error);
// Writes the value, indented, as a whole new file (WriteFileDurably). 0 on success.
int JsonWriteFile(const char* path, const Json& value);
