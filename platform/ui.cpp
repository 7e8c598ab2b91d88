// SPDX-License-Identifier: GPL-3.0-or-later
// Panels from the panel file (JSON), controls as Qt widgets, callbacks bound by name.
#include "format_internal.h"
#include "io.h"
#include "platform_internal.h"
#include "seams.h"
#include "ui_model.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

QApplication* app = nullptr;
QString argv0;
std::vector<CallbackEntry> callbacks;
std::vector<std::unique_ptr<Panel>> panels;      // handle h is panels[h - 1]
std::vector<std::unique_ptr<MenuBar>> menuBars;  // likewise

// ----- widgets of our own ------------------------------------------------------------------

class PanelWidget : public QWidget {
public:
    PanelWidget(int handle, QWidget* parent) : QWidget(parent), handle_(handle) {}

protected:
    void closeEvent(QCloseEvent* e) override {
        // Closing only tells the panel's callback; the callback decides what happens.
        e->ignore();
        deliverPanel(handle_, EVENT_CLOSE);
    }

private:
    int handle_;
};

QColor rgb(int c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

// A round lamp: lit in its on-colour, dark grey when off.
class Led : public QWidget {
public:
    Led(const Control& c, QWidget* parent) : QWidget(parent), c_(c) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        int d = qMin(width(), height()) - 2;
        QColor fill = c_.ival ? rgb(c_.onColor) : QColor(0x55, 0x5A, 0x60);
        if (!isEnabled()) fill = fill.lighter(150);
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
        p.setBrush(fill);
        p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
    }

private:
    const Control& c_;
};

// A coloured plate with its label inside, for state indicators.
class ColorBox : public QWidget {
public:
    ColorBox(const Control& c, QWidget* parent) : QWidget(parent), c_(c) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = rgb(c_.color);
        p.setPen(QPen(fill.darker(130), 1));
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(0.5, 0.5, width() - 1, height() - 1), 5, 5);
        p.setPen(fill.lightness() > 140 ? Qt::black : Qt::white);
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(rect(), Qt::AlignCenter, c_.labelText);
    }

private:
    const Control& c_;
};

// ----- loading ----------------------------------------------------------------------------

[[noreturn]] void loadError(const QString& file, const QString& problem) {
    QString msg = QStringLiteral("Cannot load the panel file %1: %2").arg(file, problem);
    std::fprintf(stderr, "pavro: %s\n", msg.toLocal8Bit().constData());
    if (!popupsReplaced() && QGuiApplication::platformName() != QLatin1String("offscreen"))
        QMessageBox::critical(nullptr, QStringLiteral("pavro"), msg);
    std::exit(2);
}

// What is wrong with a panel file: thrown inside the loader, caught where it was called.
struct LoadFailure {
    QString file;
    QString problem;
};

struct LoadContext {
    QString file;
    QString panelName;
    [[noreturn]] void fail(const QString& what) const {
        throw LoadFailure{file, panelName.isEmpty() ? what : QStringLiteral("panel %1: %2").arg(panelName, what)};
    }
};

template <class T>
T findCallback(const LoadContext& ctx, const QString& name, T CallbackEntry::*field, const char* form) {
    QByteArray n = name.toUtf8();
    for (const CallbackEntry& e : callbacks) {
        if (std::strcmp(e.name, n.constData()) == 0) {
            if (!(e.*field))
                ctx.fail(QStringLiteral("callback '%1' is not a %2 callback").arg(name, QLatin1String(form)));
            return e.*field;
        }
    }
    ctx.fail(QStringLiteral("unknown callback '%1'").arg(name));
}

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

int parseColor(const QJsonValue& v, int fallback) {
    if (v.isString()) {
        bool ok = false;
        int c = v.toString().remove(QLatin1Char('#')).toInt(&ok, 16);
        return ok ? c : fallback;
    }
    return v.isDouble() ? v.toInt() : fallback;
}

void applyGeometry(Control& c, int x, int y, int w, int h) {
    if (c.body) c.body->setGeometry(x, y, w, h);
    if (c.label) {
        if (c.labelGap > 0)
            c.label->setGeometry(x, y - c.labelGap, qMax(w, c.label->sizeHint().width()), c.labelGap);
        else
            c.label->setGeometry(x - 200 - 6, y, 200, h);
    }
}

void refreshNumeric(Control& c) {
    if (auto* e = dynamic_cast<QLineEdit*>(c.body)) e->setText(numericText(c));
}

void refreshShown(Control& c);

// Parses what the operator typed into a numeric control; keeps the old value when it is
// not a number, and holds the value to the control's range.
void acceptTyped(Control& c, const QString& typed) {
    QByteArray b = typed.trimmed().toLatin1();
    if (c.type == DataType::Double) {
        double v = c.dval;
        if (Scan(b.constData(), "%f", &v) == 1) {
            if (c.ranged) v = qBound(c.min, v, c.max);
            c.dval = v;
        }
    } else {
        int v = c.ival;
        if (Scan(b.constData(), "%d", &v) == 1) {
            if (c.ranged) v = static_cast<int>(qBound(c.min, static_cast<double>(v), c.max));
            c.ival = v;
        }
    }
    refreshNumeric(c);
}

void buildControl(const LoadContext& ctx, Panel& p, const QJsonObject& o) {
    Control c;
    c.id = requireInt(ctx, o, "id");
    c.name = o.value(QLatin1String("name")).toString();
    if (c.id <= 0 || p.controls.count(c.id))
        ctx.fail(QStringLiteral("control number %1 invalid or repeated").arg(c.id));
    c.kind = parseKind(ctx, o.value(QLatin1String("kind")).toString());
    c.type = parseType(ctx, o.value(QLatin1String("type")).toString());
    c.indicator = o.value(QLatin1String("indicator")).toBool(false);
    c.labelText = o.value(QLatin1String("label")).toString();
    c.precision = o.value(QLatin1String("precision")).toInt(2);
    c.format = o.value(QLatin1String("format")).toString() == QLatin1String("scientific") ? VAL_SCIENTIFIC_FORMAT
                                                                                          : VAL_FLOATING_PT_FORMAT;
    if (o.contains(QLatin1String("min")) && o.contains(QLatin1String("max"))) {
        c.ranged = true;
        c.min = o.value(QLatin1String("min")).toDouble();
        c.max = o.value(QLatin1String("max")).toDouble();
    }
    QJsonValue init = o.value(QLatin1String("value"));
    c.dval = init.toDouble(0.0);
    c.ival = init.toInt(0);
    c.text = init.isString() ? init.toString() : QString();
    c.color = parseColor(o.value(QLatin1String("color")), c.color);
    c.onColor = parseColor(o.value(QLatin1String("on_color")), c.onColor);
    c.interval = o.value(QLatin1String("interval")).toDouble(1.0);
    for (const QJsonValue& it : o.value(QLatin1String("items")).toArray())
        c.items.push_back({it.toObject().value(QLatin1String("label")).toString(),
                           it.toObject().value(QLatin1String("value")).toInt()});
    QString cb = o.value(QLatin1String("callback")).toString();
    if (!cb.isEmpty()) {
        c.callback = findCallback(ctx, cb, &CallbackEntry::control, "control");
        c.callbackName = cb;
    }

    QWidget* parent = p.widget;
    int x = o.value(QLatin1String("x")).toInt(), y = o.value(QLatin1String("y")).toInt();
    int w = o.value(QLatin1String("w")).toInt(80), h = o.value(QLatin1String("h")).toInt(24);
    int handle = p.handle;
    int id = c.id;
    QString accessible = c.labelText.isEmpty() ? o.value(QLatin1String("accessible")).toString() : c.labelText;
    if (accessible.isEmpty()) accessible = o.value(QLatin1String("accessible")).toString();

    switch (c.kind) {
    case Kind::Numeric: {
        auto* e = new QLineEdit(parent);
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        e->setReadOnly(c.indicator);
        e->setObjectName(c.indicator ? QStringLiteral("indicator") : QStringLiteral("numeric"));
        if (c.indicator) e->setFocusPolicy(Qt::NoFocus);
        c.body = e;
        if (!c.indicator) {
            // A finished edit takes the typed value and commits it, once.
            auto finish = [handle, id, e] {
                Control* cc = control(handle, id);
                if (!cc || !e->isModified()) return;
                e->setModified(false);
                acceptTyped(*cc, e->text());
                deliverControl(handle, id, EVENT_COMMIT);
            };
            QObject::connect(e, &QLineEdit::editingFinished, e, finish);
            // Enter finishes the edit, then presses the panel's default button.
            QObject::connect(e, &QLineEdit::returnPressed, e, [handle, finish] {
                finish();
                Panel* pp = panel(handle);
                if (pp && pp->defaultButton) deliverControl(handle, pp->defaultButton, EVENT_COMMIT);
            });
        }
        break;
    }
    case Kind::String: {
        auto* e = new QLineEdit(parent);
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        e->setObjectName(QStringLiteral("indicator"));
        c.body = e;
        break;
    }
    case Kind::TextBox: {
        auto* l = new QLabel(parent);
        l->setObjectName(QStringLiteral("textbox"));
        l->setWordWrap(true);
        c.lines = c.text.split(QLatin1Char('\n'));
        c.body = l;
        break;
    }
    case Kind::Switch: {
        auto* s = new QCheckBox(o.value(QLatin1String("text")).toString(), parent);
        c.body = s;
        QObject::connect(s, &QCheckBox::clicked, s, [handle, id](bool on) {
            Control* cc = control(handle, id);
            if (!cc) return;
            cc->ival = on ? 1 : 0;
            deliverControl(handle, id, EVENT_COMMIT);
        });
        break;
    }
    case Kind::Led:
        c.body = nullptr;  // created below, once the control has its final address
        break;
    case Kind::Ring: {
        auto* r = new QComboBox(parent);
        for (const RingItem& it : c.items) r->addItem(it.label, it.value);
        c.body = r;
        QObject::connect(r, &QComboBox::activated, r, [handle, id, r](int index) {
            Control* cc = control(handle, id);
            if (!cc) return;
            cc->ival = r->itemData(index).toInt();
            deliverControl(handle, id, EVENT_COMMIT);
        });
        break;
    }
    case Kind::Button: {
        auto* b = new QPushButton(c.labelText, parent);
        b->setObjectName(o.value(QLatin1String("style")).toString());
        c.body = b;
        QObject::connect(b, &QPushButton::clicked, b, [handle, id] { deliverControl(handle, id, EVENT_COMMIT); });
        break;
    }
    case Kind::Timer: {
        auto* t = new QTimer(parent);
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(static_cast<int>(std::lround(c.interval * 1000.0)));
        QObject::connect(t, &QTimer::timeout, t, [handle, id] { deliverControl(handle, id, EVENT_TIMER_TICK); });
        if (o.value(QLatin1String("enabled")).toBool(true)) t->start();
        c.timer = t;
        break;
    }
    case Kind::Graph:
    case Kind::ColorBox:
        break;
    }

    auto [pos, inserted] = p.controls.emplace(c.id, std::move(c));
    Control& placed = pos->second;
    (void)inserted;
    if (placed.kind == Kind::Led) placed.body = new Led(placed, parent);
    if (placed.kind == Kind::ColorBox) placed.body = new ColorBox(placed, parent);
    if (placed.kind == Kind::Graph) graphCreate(placed, parent);
    if (!placed.body) return;

    // Buttons, colour plates and switches show their label themselves.
    bool ownLabel = placed.kind == Kind::Button || placed.kind == Kind::ColorBox || placed.kind == Kind::Switch;
    if (!placed.labelText.isEmpty() && !ownLabel) {
        placed.label = new QLabel(placed.labelText, parent);
        placed.label->setObjectName(QStringLiteral("ctrlLabel"));
        QString side = o.value(QLatin1String("label_side")).toString();
        if (side == QLatin1String("left")) {
            placed.labelGap = 0;
            placed.label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        } else {
            placed.labelGap = 18;
            placed.label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
        }
        placed.label->setBuddy(placed.body);
    }
    int fontSize = o.value(QLatin1String("font_size")).toInt(0);
    if (fontSize > 0) {
        QFont f = placed.body->font();
        f.setPointSize(fontSize);
        f.setBold(o.value(QLatin1String("bold")).toBool(false));
        placed.body->setFont(f);
    }
    placed.body->setAccessibleName(accessible.isEmpty() ? placed.name : accessible);
    placed.body->setToolTip(o.value(QLatin1String("tooltip")).toString());
    applyGeometry(placed, x, y, w, h);
    refreshShown(placed);
}

void buildMenuBar(const LoadContext& ctx, Panel& p, const QJsonObject& o) {
    auto mb = std::make_unique<MenuBar>();
    mb->handle = static_cast<int>(menuBars.size()) + 1;
    mb->panel = p.handle;
    mb->widget = new QMenuBar(p.widget);
    int mbHandle = mb->handle;
    for (const QJsonValue& mv : o.value(QLatin1String("menus")).toArray()) {
        QJsonObject m = mv.toObject();
        QMenu* menu = mb->widget->addMenu(m.value(QLatin1String("label")).toString());
        for (const QJsonValue& iv : m.value(QLatin1String("items")).toArray()) {
            QJsonObject io = iv.toObject();
            MenuItem item;
            item.id = requireInt(ctx, io, "id");
            item.name = io.value(QLatin1String("name")).toString();
            item.label = io.value(QLatin1String("label")).toString();
            QString cb = io.value(QLatin1String("callback")).toString();
            if (!cb.isEmpty()) item.callback = findCallback(ctx, cb, &CallbackEntry::menu, "menu");
            QAction* a = menu->addAction(item.label);
            QString shortcut = io.value(QLatin1String("shortcut")).toString();
            if (!shortcut.isEmpty()) a->setShortcut(QKeySequence(shortcut));
            int itemId = item.id;
            QObject::connect(a, &QAction::triggered, a, [mbHandle, itemId] { deliverMenu(mbHandle, itemId); });
            mb->items.emplace(item.id, std::move(item));
        }
    }
    mb->widget->setGeometry(0, 0, p.widget->width(), mb->widget->sizeHint().height());
    p.menuBar = mb->handle;
    menuBars.push_back(std::move(mb));
}

const QString& styleSheet() {
    static const QString css = QStringLiteral(
        "QWidget#panel { background: #eef1f4; }"
        "QWidget#childPanel { background: #ffffff; border: 1px solid #8a96a3; border-radius: 6px; }"
        "QLabel#ctrlLabel { color: #3b4856; font-size: 9pt; }"
        "QLabel#frameTitle { color: #1f3b57; font-weight: bold; font-size: 9pt; }"
        "QLabel#frame { background: #ffffff; border: 1px solid #c8d0d8; border-radius: 6px; }"
        "QLabel#textbox { color: #3b4856; }"
        "QLineEdit#indicator { background: #f7f9fb; border: 1px solid #c8d0d8; border-radius: 3px; color: #0b1d2e; }"
        "QLineEdit#numeric { background: #ffffff; border: 1px solid #9aa7b4; border-radius: 3px; }"
        "QLineEdit:disabled, QLineEdit#indicator:disabled { color: #9aa3ad; }"
        "QPushButton { padding: 3px 10px; }"
        "QPushButton#primary { background: #1f6fb2; color: white; border: 1px solid #185a91; border-radius: 4px; }"
        "QPushButton#primary:disabled { background: #b8c4cf; border-color: #b8c4cf; }");
    return css;
}

}  // namespace

// ----- shared with the seam and the graph ---------------------------------------------------

const QString& startPath() { return argv0; }

Panel* panel(int handle) {
    if (handle <= 0 || static_cast<std::size_t>(handle) > panels.size()) return nullptr;
    return panels[static_cast<std::size_t>(handle) - 1].get();
}

Control* control(int panelHandle, int id) {
    Panel* p = panel(panelHandle);
    if (!p) return nullptr;
    auto it = p->controls.find(id);
    return it == p->controls.end() ? nullptr : &it->second;
}

MenuBar* menuBar(int handle) {
    if (handle <= 0 || static_cast<std::size_t>(handle) > menuBars.size()) return nullptr;
    return menuBars[static_cast<std::size_t>(handle) - 1].get();
}

std::vector<int> panelHandles() {
    std::vector<int> out;
    for (auto& p : panels)
        if (p) out.push_back(p->handle);
    return out;
}

void deliverControl(int panelHandle, int id, int event) {
    Control* c = control(panelHandle, id);
    if (c && c->callback && !c->dimmed) c->callback(panelHandle, id, event, nullptr, 0, 0);
}

void deliverPanel(int panelHandle, int event) {
    Panel* p = panel(panelHandle);
    if (p && p->callback) p->callback(panelHandle, event, nullptr, 0, 0);
}

void deliverMenu(int mb, int item) {
    MenuBar* m = menuBar(mb);
    if (!m) return;
    auto it = m->items.find(item);
    if (it != m->items.end() && it->second.callback) it->second.callback(mb, item, nullptr, m->panel);
}

QString numericText(const Control& c) {
    if (c.type == DataType::Int || c.type == DataType::UChar) return QString::number(c.ival);
    char buf[400];
    std::size_t n =
        fmtlang::formatDouble(buf, sizeof buf, c.dval, c.precision, c.format == VAL_SCIENTIFIC_FORMAT ? 2 : -1);
    return QString::fromLatin1(buf, static_cast<qsizetype>(n));
}

void discardPanels() {
    for (auto& p : panels)
        if (p && p->parent == 0) delete p->widget;
    panels.clear();
    menuBars.clear();
}

namespace {

// Shows a control's value, look and state, and paints it at once: a blocking callback
// must show what it writes while it blocks.
void refreshShown(Control& c) {
    QWidget* w = c.body;
    if (!w) return;
    switch (c.kind) {
    case Kind::Numeric:
        refreshNumeric(c);
        break;
    case Kind::String:
        static_cast<QLineEdit*>(w)->setText(c.text);
        static_cast<QLineEdit*>(w)->setCursorPosition(0);
        break;
    case Kind::TextBox:
        static_cast<QLabel*>(w)->setText(c.lines.join(QLatin1Char('\n')));
        break;
    case Kind::Switch:
        static_cast<QCheckBox*>(w)->setChecked(c.ival != 0);
        break;
    case Kind::Ring: {
        auto* r = static_cast<QComboBox*>(w);
        int idx = r->findData(c.ival);
        r->setCurrentIndex(idx);
        break;
    }
    default:
        break;
    }
    if (c.label) c.label->setText(c.labelText);
    if (c.kind == Kind::Button) static_cast<QPushButton*>(w)->setText(c.labelText);
    w->setEnabled(!c.dimmed);
    if (c.label) c.label->setEnabled(!c.dimmed);
    w->setVisible(c.visible);
    if (c.label) c.label->setVisible(c.visible);
    if (w->isVisible()) w->repaint();
    if (c.label && c.label->isVisible()) c.label->repaint();
}

}  // namespace
}  // namespace platform

using namespace platform;

// ----- operations -----------------------------------------------------------------------------

int RuntimeInit(int& argc, char** argv) {
    RuntimeInitConsole(argc, argv);
    if (!QApplication::instance()) app = new QApplication(argc, argv);
    // The panels look the same on every desktop: a light instrument face, whatever dark
    // theme the desktop has, so no text ever stands light on light.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QPalette light = QApplication::style()->standardPalette();
    QApplication::setPalette(light);
    qApp->setStyleSheet(styleSheet());
    projectDir();  // fixed from the start, whatever happens to the working directory later
    return 0;
}

int RuntimeInitConsole(int argc, char** argv) {
    argv0 = argc > 0 && argv[0] ? QString::fromLocal8Bit(argv[0]) : QString();
#ifdef SIGXFSZ
    // A file-size limit fails the write, as a full disk does, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    return 0;
}

void RegisterCallbacks(const CallbackEntry* table, std::size_t count) { callbacks.assign(table, table + count); }

namespace {

int loadPanel(int parent, const char* file, int resource) {
    QString name = QString::fromLocal8Bit(file ? file : "");
    QString path = QFileInfo(name).isAbsolute() ? name : QDir(projectDir()).filePath(name);
    LoadContext ctx{path, {}};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) ctx.fail(f.errorString());
    QJsonParseError err;
    QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (doc.isNull())
        ctx.fail(QStringLiteral("not valid JSON at offset %1: %2").arg(err.offset).arg(err.errorString()));
    QJsonObject po;
    for (const QJsonValue& v : doc.object().value(QLatin1String("panels")).toArray())
        if (v.toObject().value(QLatin1String("resource")).toInt() == resource) po = v.toObject();
    if (po.isEmpty()) ctx.fail(QStringLiteral("no panel with resource number %1").arg(resource));
    ctx.panelName = po.value(QLatin1String("name")).toString();

    Panel* parentPanel = parent ? panel(parent) : nullptr;
    if (parent && !parentPanel) return -1;
    auto p = std::make_unique<Panel>();
    p->handle = static_cast<int>(panels.size()) + 1;
    p->resource = resource;
    p->parent = parent;
    auto* w = new PanelWidget(p->handle, parentPanel ? parentPanel->widget : nullptr);
    w->setObjectName(parent ? QStringLiteral("childPanel") : QStringLiteral("panel"));
    w->setAttribute(Qt::WA_StyledBackground);
    w->setWindowTitle(po.value(QLatin1String("title")).toString());
    w->resize(po.value(QLatin1String("width")).toInt(400), po.value(QLatin1String("height")).toInt(300));
    if (parent)
        w->move(po.value(QLatin1String("x")).toInt(), po.value(QLatin1String("y")).toInt());
    else
        w->setFixedSize(w->size());
    w->hide();
    p->widget = w;
    QString pcb = po.value(QLatin1String("callback")).toString();
    if (!pcb.isEmpty()) p->callback = findCallback(ctx, pcb, &CallbackEntry::panel, "panel");
    panels.push_back(std::move(p));
    Panel& pr = *panels.back();

    if (po.contains(QLatin1String("menubar"))) buildMenuBar(ctx, pr, po.value(QLatin1String("menubar")).toObject());
    for (const QJsonValue& fv : po.value(QLatin1String("frames")).toArray()) {
        QJsonObject fo = fv.toObject();
        auto* frame = new QLabel(w);
        frame->setObjectName(QStringLiteral("frame"));
        frame->setGeometry(fo.value(QLatin1String("x")).toInt(), fo.value(QLatin1String("y")).toInt(),
                           fo.value(QLatin1String("w")).toInt(), fo.value(QLatin1String("h")).toInt());
        auto* title = new QLabel(fo.value(QLatin1String("title")).toString(), w);
        title->setObjectName(QStringLiteral("frameTitle"));
        title->move(fo.value(QLatin1String("x")).toInt() + 10, fo.value(QLatin1String("y")).toInt() + 6);
        title->adjustSize();
    }
    for (const QJsonValue& cv : po.value(QLatin1String("controls")).toArray()) buildControl(ctx, pr, cv.toObject());
    QString def = po.value(QLatin1String("default_button")).toString();
    for (auto& [id, c] : pr.controls)
        if (!def.isEmpty() && c.name == def) pr.defaultButton = id;
    return pr.handle;
}

}  // namespace

int LoadPanel(int parent, const char* file, int resource) {
    try {
        return loadPanel(parent, file, resource);
    } catch (const LoadFailure& f) {
        loadError(f.file, f.problem);
    }
}

int platform::tryLoadPanel(int parent, const char* file, int resource, QString* error) {
    try {
        return loadPanel(parent, file, resource);
    } catch (const LoadFailure& f) {
        if (error) *error = f.problem;
        return -1;
    }
}

int GetPanelMenuBar(int p) {
    Panel* pp = panel(p);
    return pp ? pp->menuBar : -1;
}

int DisplayPanel(int p) {
    Panel* pp = panel(p);
    if (!pp) return -1;
    pp->widget->show();
    pp->widget->raise();
    if (!pp->parent) {
        pp->widget->activateWindow();
    } else {
        // A child panel takes the keyboard, so its first field can be typed into at once.
        for (auto& [id, c] : pp->controls)
            if (c.body && c.body->focusPolicy() != Qt::NoFocus && c.kind == Kind::Numeric) {
                c.body->setFocus();
                break;
            }
    }
    pp->widget->repaint();
    return 0;
}

int HidePanel(int p) {
    Panel* pp = panel(p);
    if (!pp) return -1;
    pp->widget->hide();
    return 0;
}

int SetPanelAttribute(int p, int attribute, const char* value) {
    Panel* pp = panel(p);
    if (!pp) return -1;
    if (attribute == ATTR_TITLE) pp->widget->setWindowTitle(QString::fromUtf8(value ? value : ""));
    return 0;
}

int RunUserInterface() { return QApplication::exec(); }

// ----- values -----------------------------------------------------------------------------

namespace {

const char* typeName(DataType t) {
    switch (t) {
    case DataType::Double:
        return "double";
    case DataType::Int:
        return "int";
    case DataType::UChar:
        return "unsigned char";
    case DataType::Text:
        return "text";
    default:
        return "no value";
    }
}

// A value of the wrong type for a control is a programming error.
int mismatch(const Control& c, const char* op, const char* passed) {
    std::fprintf(stderr, "pavro: %s on %s (%s) with %s\n", op, c.name.toLocal8Bit().constData(), typeName(c.type),
                 passed);
#ifdef NDEBUG
    if (popupsReplaced()) std::abort();
#else
    std::abort();
#endif
    return -1;
}

Control* valueControl(int p, int ctrl) {
    Control* c = control(p, ctrl);
    if (!c) std::fprintf(stderr, "pavro: no control %d on panel %d\n", ctrl, p);
    return c;
}

}  // namespace

int SetCtrlVal(int p, int ctrl, int value) {
    Control* c = valueControl(p, ctrl);
    if (!c) return -1;
    if (c->type != DataType::Int && c->type != DataType::UChar) return mismatch(*c, "SetCtrlVal", "int");
    c->ival = c->type == DataType::UChar ? static_cast<unsigned char>(value) : value;
    if (c->kind == Kind::Led && c->body) c->body->repaint();
    refreshShown(*c);
    return 0;
}

int SetCtrlVal(int p, int ctrl, double value) {
    Control* c = valueControl(p, ctrl);
    if (!c) return -1;
    if (c->type != DataType::Double) return mismatch(*c, "SetCtrlVal", "double");
    c->dval = value;
    refreshShown(*c);
    return 0;
}

int SetCtrlVal(int p, int ctrl, const char* value) {
    Control* c = valueControl(p, ctrl);
    if (!c) return -1;
    if (c->type != DataType::Text) return mismatch(*c, "SetCtrlVal", "text");
    c->text = QString::fromLocal8Bit(value ? value : "");
    refreshShown(*c);
    return 0;
}

int GetCtrlVal(int p, int ctrl, int* value) {
    Control* c = valueControl(p, ctrl);
    if (!c) return -1;
    if (c->type != DataType::Int) return mismatch(*c, "GetCtrlVal", "int*");
    *value = c->ival;
    return 0;
}

int GetCtrlVal(int p, int ctrl, double* value) {
    Control* c = valueControl(p, ctrl);
    if (!c) return -1;
    if (c->type != DataType::Double) return mismatch(*c, "GetCtrlVal", "double*");
    *value = c->dval;
    return 0;
}

int GetCtrlVal(int p, int ctrl, unsigned char* value) {
    Control* c = valueControl(p, ctrl);
    if (!c) return -1;
    if (c->type != DataType::UChar) return mismatch(*c, "GetCtrlVal", "unsigned char*");
    *value = static_cast<unsigned char>(c->ival);
    return 0;
}

int GetCtrlVal(int p, int ctrl, char* value, std::size_t size) {
    Control* c = valueControl(p, ctrl);
    if (!c || size == 0) return -1;
    if (c->type != DataType::Text) return mismatch(*c, "GetCtrlVal", "char*");
    QByteArray b = c->text.toLocal8Bit();
    std::size_t n = qMin(static_cast<std::size_t>(b.size()), size - 1);
    std::memcpy(value, b.constData(), n);
    value[n] = '\0';
    return 0;
}

// ----- attributes ------------------------------------------------------------------------------

int SetCtrlAttribute(int p, int ctrl, int attribute, int value) {
    Control* c = valueControl(p, ctrl);
    if (!c) return -1;
    switch (attribute) {
    case ATTR_DIMMED:
        c->dimmed = value != 0;
        break;
    case ATTR_VISIBLE:
        c->visible = value != 0;
        break;
    case ATTR_TOP:
        if (c->body) applyGeometry(*c, c->body->x(), value, c->body->width(), c->body->height());
        break;
    case ATTR_FORMAT:
        c->format = value;
        break;
    case ATTR_PRECISION:
        c->precision = qBound(0, value, 15);
        break;
    case ATTR_COLOR:
        c->color = value & 0xFFFFFF;
        break;
    case ATTR_INTERVAL:
        return SetCtrlAttribute(p, ctrl, attribute, static_cast<double>(value));
    case ATTR_YMAP_MODE:
    case ATTR_DATA_MODE:
    case ATTR_COPY_ORIGINAL_DATA:
    case ATTR_SMOOTH_UPDATE:
    case ATTR_ACTIVE_YAXIS:
        if (!c->graph) return -1;
        if (attribute == ATTR_YMAP_MODE) {
            c->graph->logY = value != 0;
            graphRedraw(*c);
        }
        if (attribute == ATTR_COPY_ORIGINAL_DATA) c->graph->copyData = value != 0;
        // 1142 retain, 1146 smooth update and 1149 left y axis are how this graph always works.
        return 0;
    default:
        return -1;
    }
    refreshShown(*c);
    return 0;
}

int SetCtrlAttribute(int p, int ctrl, int attribute, double value) {
    Control* c = valueControl(p, ctrl);
    if (!c) return -1;
    if (attribute != ATTR_INTERVAL) return SetCtrlAttribute(p, ctrl, attribute, static_cast<int>(value));
    if (!c->timer) return -1;
    // An interval of zero or less would spin: the shortest tick is one millisecond.
    double s = std::isfinite(value) ? qBound(0.001, value, 2.0e6) : 1.0;
    c->interval = value;
    bool running = c->timer->isActive();
    c->timer->setInterval(static_cast<int>(std::lround(s * 1000.0)));
    if (running) c->timer->start();
    return 0;
}

int SetCtrlAttribute(int p, int ctrl, int attribute, const char* value) {
    Control* c = valueControl(p, ctrl);
    if (!c || attribute != ATTR_LABEL_TEXT) return -1;
    c->labelText = QString::fromUtf8(value ? value : "");
    if (c->body) c->body->setAccessibleName(c->labelText);
    refreshShown(*c);
    return 0;
}

int ReplaceTextBoxLine(int p, int ctrl, int line, const char* text) {
    Control* c = valueControl(p, ctrl);
    if (!c || c->kind != Kind::TextBox || line < 0) return -1;
    while (c->lines.size() <= line) c->lines.append(QString());
    c->lines[line] = QString::fromUtf8(text ? text : "");
    refreshShown(*c);
    return 0;
}

int ResetTimer(int p, int ctrl) {
    Control* c = valueControl(p, ctrl);
    if (!c || !c->timer) return -1;
    c->timer->start();
    return 0;
}
