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

// A group's header as Qt's reader takes it: a line that begins with '[' opens the group named
// up to the first ']' (what follows on the line is passed over).
bool isHeader(const QByteArray& line) { return line.trimmed().startsWith('['); }

QByteArray headerName(const QByteArray& line) {
    QByteArray t = line.trimmed().mid(1);
    qsizetype end = t.indexOf(']');
    return end < 0 ? t : t.left(end);
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
    // QSettings keeps what it read of a path and takes it again while the file's size and time
    // look the same, so a file rewritten within a second could read as before: it reads a
    // copy under a name never used before in this process instead.
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    static unsigned long long copies = 0;
    QString name = QDir::temp().filePath(
        QStringLiteral("pavro-ini-%1-%2.ini").arg(QCoreApplication::applicationPid()).arg(++copies));
    struct Remove {
        QString path;
        ~Remove() { QFile::remove(path); }
    } removeAfter{name};
    {
        QFile copy(name);
        if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate) || copy.write(f.readAll()) < 0 || !copy.flush())
            return -1;
    }
    QSettings s(name, QSettings::IniFormat);
    s.beginGroup(QString::fromUtf8(group));
    for (int i = 0; i < count; ++i) {
        QString key = QString::fromLatin1(entries[i].key);
        if (!s.contains(key)) continue;
        QVariant v = s.value(key);
        // A value with a comma reads as a list: handed back as written, for the check to refuse.
        QString text = v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(',')) : v.toString();
        copyValue(text, entries[i].value);
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
    // stood before any group stays in Qt's [General].
    QList<QByteArray> lines = old.split('\n');
    if (!old.isEmpty() && old.endsWith('\n')) lines.removeLast();
    QByteArray general, rest;
    bool inside = false, started = false;
    for (const QByteArray& line : lines) {
        if (isHeader(line)) {
            started = true;
            inside = headerName(line) == group;
        }
        if (!inside) (started ? rest : general) += line + '\n';
    }
    QByteArray out = section;
    bool ownGeneral = !general.trimmed().isEmpty();
    if (ownGeneral) out += "\n[General]\n" + general;
    if (!rest.isEmpty()) out += (ownGeneral || rest.startsWith('\n') ? QByteArray() : QByteArray("\n")) + rest;
    return WriteFileDurably(path, out.constData(), static_cast<std::size_t>(out.size()), privateFile);
}
