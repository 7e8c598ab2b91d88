// SPDX-License-Identifier: GPL-3.0-or-later
// Files of Qt's INI form beside the settings file: read through QSettings, one group
// rewritten in place of the old one with every other line kept, written durably.
#include "io.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QCoreApplication>
#include <QDir>

#include <cstring>

namespace {

void copyValue(const QString& s, char (&out)[256]) {
    QByteArray b = s.toUtf8();
    std::size_t n = qMin(static_cast<std::size_t>(b.size()), sizeof out - 1);
    std::memcpy(out, b.constData(), n);
    out[n] = '\0';
}

// A value as Qt's INI form writes it: quoted where it holds what the form reads otherwise.
QByteArray iniValue(const char* value) {
    QByteArray v(value ? value : "");
    bool plain = !v.isEmpty() && v.front() != ' ' && v.back() != ' ' && v.front() != '@';
    for (char ch : v)
        if (std::strchr(",;#=\"\\", ch) || static_cast<unsigned char>(ch) < 0x20) plain = false;
    if (plain || v.isEmpty()) return v;
    QByteArray q("\"");
    for (char ch : v) {
        unsigned char u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\')
            q += '\\', q += ch;
        else if (u < 0x20)
            q += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            q += ch;
    }
    return q + '"';
}

// A value with a comma reads as a list: handed back as written, for the check to refuse.
QString textOf(const QVariant& v) {
    return v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(',')) : v.toString();
}

bool isHeader(const QByteArray& line) { return line.trimmed().startsWith('['); }

// Bytes in a file under a name never used before in this process: QSettings keeps what it
// read of a path and takes it again while the file's size and time look the same, so a file
// rewritten within a second could read as before. Removed when this goes.
struct FreshCopy {
    QString name;
    bool ok = false;
    explicit FreshCopy(const QByteArray& bytes) {
        static unsigned long long copies = 0;
        name = QDir::temp().filePath(
            QStringLiteral("pavro-ini-%1-%2.ini").arg(QCoreApplication::applicationPid()).arg(++copies));
        QFile copy(name);
        ok = copy.open(QIODevice::WriteOnly | QIODevice::Truncate) && copy.write(bytes) == bytes.size() &&
             copy.flush();
    }
    ~FreshCopy() { QFile::remove(name); }
    FreshCopy(const FreshCopy&) = delete;
    FreshCopy& operator=(const FreshCopy&) = delete;
};

// Which of these header lines Qt's reader takes as [group]: it trims the name, decodes %XX
// and %UXXXX, and may find it where no ']' closes the line, so Qt itself is asked, each header
// followed by a key of its own.
QList<bool> namesGroup(const QList<QByteArray>& headers, const QString& group) {
    QList<bool> ours(headers.size(), false);
    QByteArray probe;
    for (qsizetype i = 0; i < headers.size(); ++i)
        probe += headers[i] + "\npavro_probe_" + QByteArray::number(i) + "=1\n";
    FreshCopy copy(probe);
    if (!copy.ok) return ours;
    QSettings s(copy.name, QSettings::IniFormat);
    s.beginGroup(group);
    for (const QString& key : s.childKeys())
        if (key.startsWith(QLatin1String("pavro_probe_"))) {
            qsizetype i = key.mid(12).toLongLong();
            if (i >= 0 && i < ours.size()) ours[i] = true;
        }
    return ours;
}

// True when [group] of these bytes reads exactly the entries, as IniReadGroup hands them back.
bool readsAs(const QByteArray& bytes, const char* group, const IniEntry* entries, int count) {
    FreshCopy copy(bytes);
    if (!copy.ok) return false;
    QSettings s(copy.name, QSettings::IniFormat);
    s.beginGroup(QString::fromUtf8(group));
    for (int i = 0; i < count; ++i) {
        if (textOf(s.value(QString::fromLatin1(entries[i].key))) != QString::fromUtf8(entries[i].value)) return false;
    }
    return true;
}

}  // namespace

int IniReadGroup(const char* path, const char* group, IniEntry* entries, int count) {
    for (int i = 0; i < count; ++i) {
        entries[i].found = false;
        entries[i].value[0] = '\0';
    }
    QString file = QString::fromUtf8(path ? path : "");
    QFileInfo info(file);
    if (!info.exists()) return 1;
    if (!info.isFile() || !info.isReadable()) return -1;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    FreshCopy copy(f.readAll());
    if (!copy.ok) return -1;
    QSettings s(copy.name, QSettings::IniFormat);
    s.beginGroup(QString::fromUtf8(group));
    for (int i = 0; i < count; ++i) {
        QString key = QString::fromLatin1(entries[i].key);
        if (!s.contains(key)) continue;
        copyValue(textOf(s.value(key)), entries[i].value);
        entries[i].found = true;
    }
    return s.status() == QSettings::NoError ? 0 : -2;
}

int IniWriteGroup(const char* path, const char* group, const IniEntry* entries, int count, bool privateFile) {
    QByteArray old;
    {
        QFile f(QString::fromUtf8(path ? path : ""));
        if (f.exists() && !f.open(QIODevice::ReadOnly)) return -1;
        if (f.isOpen()) old = f.readAll();
    }
    QByteArray section = QByteArray("[") + group + "]\n";
    for (int i = 0; i < count; ++i) section += QByteArray(entries[i].key) + '=' + iniValue(entries[i].value) + '\n';

    // The group comes first and every other line follows as it was: nothing above it (a quote
    // left open in another group's value, say) can take it into that value on reading. What
    // stood before any group stays in Qt's [General]; any other header Qt reads as this group
    // goes with its lines, as the old group does. Qt ends a line at CR too: lines end in LF here.
    old.replace("\r\n", "\n");
    old.replace('\r', '\n');
    QList<QByteArray> lines = old.split('\n');
    if (!old.isEmpty() && old.endsWith('\n')) lines.removeLast();
    QList<QByteArray> headers;
    for (const QByteArray& line : lines)
        if (isHeader(line)) headers += line;
    QList<bool> ours = namesGroup(headers, QString::fromUtf8(group));
    QByteArray general, rest;
    bool inside = false, started = false;
    qsizetype header = 0;
    for (const QByteArray& line : lines) {
        if (isHeader(line)) {
            started = true;
            inside = ours[header++];
        }
        if (!inside) (started ? rest : general) += line + '\n';
    }
    auto compose = [&section](const QByteArray& top, const QByteArray& others) {
        QByteArray out = section;
        bool ownGeneral = !top.trimmed().isEmpty();
        if (ownGeneral) out += "\n[General]\n" + top;
        if (!others.isEmpty()) out += (ownGeneral || others.startsWith('\n') ? QByteArray() : QByteArray("\n")) + others;
        return out;
    };
    QByteArray out = compose(general, rest);
    if (!readsAs(out, group, entries, count)) {
        // Something kept still reads into the group: kept as comments, so nothing is lost.
        auto comment = [](const QByteArray& text) {
            QByteArray c;
            for (const QByteArray& line : text.split('\n'))
                if (!line.isEmpty()) c += "; " + line + '\n';
            return c;
        };
        out = compose(QByteArray(), comment(general + rest));
        if (!readsAs(out, group, entries, count)) return -1;
    }
    return WriteFileDurably(path, out.constData(), static_cast<std::size_t>(out.size()), privateFile);
}
