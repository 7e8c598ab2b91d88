// SPDX-License-Identifier: GPL-3.0-or-later
// The plain value tree to and from Qt's JSON documents.
#include "io.h"
#include "json.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

QJsonValue toQt(const Json& j) {
    switch (j.kind) {
    case Json::Bool:
        return j.boolean;
    case Json::Number:
        return j.number;
    case Json::String:
        return QString::fromStdString(j.text);
    case Json::Array: {
        QJsonArray a;
        for (const Json& item : j.items) a.append(toQt(item));
        return a;
    }
    case Json::Object: {
        QJsonObject o;
        for (const Json& m : j.members) o.insert(QString::fromStdString(m.key), toQt(m));
        return o;
    }
    case Json::Null:
        break;
    }
    return QJsonValue::Null;
}

Json fromQt(const QJsonValue& v) {
    Json j;
    if (v.isBool()) {
        j = Json::of(v.toBool());
    } else if (v.isDouble()) {
        j = Json::of(v.toDouble());
    } else if (v.isString()) {
        j = Json::of(v.toString().toStdString());
    } else if (v.isArray()) {
        j = Json::array();
        for (const QJsonValue& item : v.toArray()) j.items.push_back(fromQt(item));
    } else if (v.isObject()) {
        j = Json::object();
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            j.members.push_back(fromQt(it.value()));
            j.members.back().key = it.key().toStdString();
        }
    }
    return j;
}

QJsonDocument document(const Json& j) {
    QJsonValue v = toQt(j);
    return v.isArray() ? QJsonDocument(v.toArray()) : QJsonDocument(v.toObject());
}

}  // namespace

Json& Json::set(const std::string& name, Json value) {
    kind = Object;
    value.key = name;
    for (Json& m : members)
        if (m.key == name) {
            m = std::move(value);
            return *this;
        }
    members.push_back(std::move(value));
    return *this;
}

const Json* Json::get(const std::string& name) const {
    for (const Json& m : members)
        if (m.key == name) return &m;
    return nullptr;
}

std::string JsonText(const Json& value) {
    if (value.kind != Json::Object && value.kind != Json::Array) {
        // A bare value: Qt writes documents only, so it is cut out of a one-item array.
        std::string t = QJsonDocument(QJsonArray{toQt(value)}).toJson(QJsonDocument::Compact).toStdString();
        return t.substr(1, t.size() - 2);
    }
    return document(value).toJson(QJsonDocument::Compact).toStdString();
}

bool JsonParse(const char* data, std::size_t size, Json* out, std::string* error) {
    QJsonParseError e{};
    QJsonDocument d = QJsonDocument::fromJson(QByteArray(data ? data : "", static_cast<qsizetype>(data ? size : 0)), &e);
    if (d.isNull()) {
        if (error) *error = e.errorString().toStdString();
        return false;
    }
    if (out) *out = d.isArray() ? fromQt(d.array()) : fromQt(d.object());
    return true;
}

int JsonReadFile(const char* path, std::size_t limit, Json* out, std::string* error) {
    QFile f(QString::fromUtf8(path ? path : ""));
    if (!f.exists()) return 0;
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = "cannot be read";
        return -1;
    }
    QByteArray bytes = f.read(static_cast<qint64>(limit) + 1);
    if (static_cast<std::size_t>(bytes.size()) > limit) {
        if (error) *error = "too long";
        return -1;
    }
    if (JsonParse(bytes.constData(), static_cast<std::size_t>(bytes.size()), out, error)) return 1;
    if (error) *error = "no JSON: " + *error;
    return -1;
}

int JsonWriteFile(const char* path, const Json& value) {
    QByteArray text = document(value).toJson(QJsonDocument::Indented);
    return WriteFileDurably(path, text.constData(), static_cast<std::size_t>(text.size()));
}
