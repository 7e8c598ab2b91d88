// SPDX-License-Identifier: GPL-3.0-or-later
// The panel file (JSON) read into plain descriptions. No widget is made here, so the reader
// can be run and fuzzed on any text alone.
#include "panel_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>

namespace platform {
namespace {

QString str(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }
int num(const QJsonObject& o, const char* key, int fallback) { return o.value(QLatin1String(key)).toInt(fallback); }

Kind parseKind(const LoadContext& ctx, const QString& k) {
    static const std::pair<const char*, Kind> kinds[] = {
        {"numeric", Kind::Numeric}, {"string", Kind::String},    {"textbox", Kind::TextBox}, {"switch", Kind::Switch},
        {"led", Kind::Led},         {"ring", Kind::Ring},        {"button", Kind::Button},   {"timer", Kind::Timer},
        {"graph", Kind::Graph},     {"colorbox", Kind::ColorBox}};
    for (auto& [name, kind] : kinds)
        if (k == QLatin1String(name)) return kind;
    ctx.fail(QStringLiteral("unknown control kind '%1'").arg(k));
}

DataType parseType(const LoadContext& ctx, const QString& t) {
    if (t.isEmpty()) return DataType::None;
    if (t == QLatin1String("double")) return DataType::Double;
    if (t == QLatin1String("int")) return DataType::Int;
    if (t == QLatin1String("uchar")) return DataType::UChar;
    if (t == QLatin1String("string")) return DataType::Text;
    ctx.fail(QStringLiteral("unknown data type '%1'").arg(t));
}

int requireInt(const LoadContext& ctx, const QJsonObject& o, const char* key) {
    QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble()) ctx.fail(QStringLiteral("'%1' missing or not a number").arg(QLatin1String(key)));
    return v.toInt();
}

// "#RRGGBB", "RRGGBB" or a number; the fallback for anything else.
int parseColor(const QJsonValue& v, int fallback) {
    if (v.isString()) {
        bool ok = false;
        int c = v.toString().remove(QLatin1Char('#')).toInt(&ok, 16);
        return ok ? c : fallback;
    }
    return v.isDouble() ? v.toInt() : fallback;
}

ControlSpec readControl(const LoadContext& ctx, const QJsonObject& o) {
    ControlSpec s;
    Control& c = s.model;
    c.id = requireInt(ctx, o, "id");
    c.name = str(o, "name");
    c.kind = parseKind(ctx, str(o, "kind"));
    c.type = parseType(ctx, str(o, "type"));
    c.indicator = o.value(QLatin1String("indicator")).toBool(false);
    c.labelText = str(o, "label");
    c.precision = num(o, "precision", 2);
    c.format = str(o, "format") == QLatin1String("scientific") ? VAL_SCIENTIFIC_FORMAT : VAL_FLOATING_PT_FORMAT;
    if (o.contains(QLatin1String("min")) && o.contains(QLatin1String("max"))) {
        c.ranged = true;
        c.min = o.value(QLatin1String("min")).toDouble();
        c.max = o.value(QLatin1String("max")).toDouble();
    }
    QJsonValue init = o.value(QLatin1String("value"));
    c.dval = init.toDouble(0.0);
    c.ival = init.toInt(0);
    c.text = init.isString() ? init.toString() : QString();
    if (c.kind == Kind::TextBox) c.lines = c.text.split(QLatin1Char('\n'));
    c.color = parseColor(o.value(QLatin1String("color")), c.color);
    c.onColor = parseColor(o.value(QLatin1String("on_color")), c.onColor);
    c.interval = o.value(QLatin1String("interval")).toDouble(1.0);
    c.visible = o.value(QLatin1String("visible")).toBool(true);
    for (const QJsonValue& it : o.value(QLatin1String("items")).toArray())
        c.items.push_back({str(it.toObject(), "label"), num(it.toObject(), "value", 0)});
    s.callback = str(o, "callback");
    c.callbackName = s.callback;
    s.x = num(o, "x", 0);
    s.y = num(o, "y", 0);
    s.w = num(o, "w", 80);
    s.h = num(o, "h", 24);
    s.accessible = o.contains(QLatin1String("accessible")) ? str(o, "accessible") : c.labelText;
    s.tooltip = str(o, "tooltip");
    s.text = str(o, "text");
    s.style = str(o, "style");
    s.labelLeft = str(o, "label_side") == QLatin1String("left");
    s.fontSize = num(o, "font_size", 0);
    s.bold = o.value(QLatin1String("bold")).toBool(false);
    s.running = o.value(QLatin1String("enabled")).toBool(true);
    return s;
}

MenuSpec readMenu(const LoadContext& ctx, const QJsonObject& m) {
    MenuSpec menu;
    menu.label = str(m, "label");
    for (const QJsonValue& iv : m.value(QLatin1String("items")).toArray()) {
        QJsonObject io = iv.toObject();
        MenuItemSpec item;
        item.id = requireInt(ctx, io, "id");
        item.name = str(io, "name");
        item.label = str(io, "label");
        item.callback = str(io, "callback");
        item.shortcut = str(io, "shortcut");
        menu.items.push_back(item);
    }
    return menu;
}

}  // namespace

void readPanel(const QByteArray& text, int resource, LoadContext& ctx, PanelSpec& spec) {
    QJsonParseError err;
    QJsonDocument doc = QJsonDocument::fromJson(text, &err);
    if (doc.isNull())
        ctx.fail(QStringLiteral("not valid JSON at offset %1: %2").arg(err.offset).arg(err.errorString()));
    QJsonObject po;
    for (const QJsonValue& v : doc.object().value(QLatin1String("panels")).toArray())
        if (v.toObject().value(QLatin1String("resource")).toInt() == resource) po = v.toObject();
    if (po.isEmpty()) ctx.fail(QStringLiteral("no panel with resource number %1").arg(resource));
    ctx.panelName = spec.name = str(po, "name");
    spec.title = str(po, "title");
    spec.callback = str(po, "callback");
    spec.defaultButton = str(po, "default_button");
    spec.width = num(po, "width", 400);
    spec.height = num(po, "height", 300);
    spec.x = num(po, "x", 0);
    spec.y = num(po, "y", 0);
    spec.hasMenuBar = po.contains(QLatin1String("menubar"));
    for (const QJsonValue& mv : po.value(QLatin1String("menubar")).toObject().value(QLatin1String("menus")).toArray())
        spec.menus.push_back(readMenu(ctx, mv.toObject()));
    for (const QJsonValue& fv : po.value(QLatin1String("frames")).toArray()) {
        QJsonObject fo = fv.toObject();
        spec.frames.push_back({num(fo, "x", 0), num(fo, "y", 0), num(fo, "w", 0), num(fo, "h", 0), str(fo, "title")});
    }
    std::set<int> ids;
    for (const QJsonValue& cv : po.value(QLatin1String("controls")).toArray()) {
        ControlSpec c = readControl(ctx, cv.toObject());
        if (c.model.id <= 0 || !ids.insert(c.model.id).second)
            ctx.fail(QStringLiteral("control number %1 invalid or repeated").arg(c.model.id));
        spec.controls.push_back(std::move(c));
    }
}

}  // namespace platform
