// SPDX-License-Identifier: GPL-3.0-or-later
// Panels built from their descriptions: widgets, callbacks bound by name, events wired.
#include "io.h"
#include "panel_file.h"
#include "platform_internal.h"
#include "seams.h"
#include "ui_model.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

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

// ----- binding -----------------------------------------------------------------------------

template <class T>
T findCallback(const LoadContext& ctx, const QString& name, T CallbackEntry::*field, const char* form) {
    QByteArray n = name.toUtf8();
    for (const CallbackEntry& e : callbackTable()) {
        if (std::strcmp(e.name, n.constData()) == 0) {
            if (!(e.*field))
                ctx.fail(QStringLiteral("callback '%1' is not a %2 callback").arg(name, QLatin1String(form)));
            return e.*field;
        }
    }
    ctx.fail(QStringLiteral("unknown callback '%1'").arg(name));
}

// Parses what the operator typed into a numeric control; keeps the old value when it is
// not a number, and holds the value to the control's range.
void acceptTyped(Control& c, const QString& typed) {
    QByteArray b = typed.trimmed().toUtf8();
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

// ----- building ----------------------------------------------------------------------------

// The widget of a control, its events wired to the control's callback.
QWidget* makeBody(Control& c, const ControlSpec& s, int handle, QWidget* parent) {
    int id = c.id;
    switch (c.kind) {
    case Kind::Numeric: {
        auto* e = new QLineEdit(parent);
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        e->setReadOnly(c.indicator);
        e->setObjectName(c.indicator ? QStringLiteral("indicator") : QStringLiteral("numeric"));
        if (c.indicator) {
            e->setFocusPolicy(Qt::NoFocus);
            return e;
        }
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
        return e;
    }
    case Kind::String: {
        auto* e = new QLineEdit(parent);
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        e->setObjectName(QStringLiteral("indicator"));
        return e;
    }
    case Kind::TextBox: {
        auto* l = new QLabel(parent);
        l->setObjectName(QStringLiteral("textbox"));
        l->setWordWrap(true);
        return l;
    }
    case Kind::Switch: {
        auto* sw = new QCheckBox(s.text, parent);
        QObject::connect(sw, &QCheckBox::clicked, sw, [handle, id](bool on) {
            Control* cc = control(handle, id);
            if (!cc) return;
            cc->ival = on ? 1 : 0;
            deliverControl(handle, id, EVENT_COMMIT);
        });
        return sw;
    }
    case Kind::Ring: {
        auto* r = new QComboBox(parent);
        for (const RingItem& it : c.items) r->addItem(it.label, it.value);
        QObject::connect(r, &QComboBox::activated, r, [handle, id, r](int index) {
            Control* cc = control(handle, id);
            if (!cc) return;
            cc->ival = r->itemData(index).toInt();
            deliverControl(handle, id, EVENT_COMMIT);
        });
        return r;
    }
    case Kind::Button: {
        auto* b = new QPushButton(c.labelText, parent);
        b->setObjectName(s.style);
        QObject::connect(b, &QPushButton::clicked, b, [handle, id] { deliverControl(handle, id, EVENT_COMMIT); });
        return b;
    }
    case Kind::Timer: {
        auto* t = new QTimer(parent);
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(static_cast<int>(std::lround(c.interval * 1000.0)));
        QObject::connect(t, &QTimer::timeout, t, [handle, id] { deliverControl(handle, id, EVENT_TIMER_TICK); });
        if (s.running) t->start();
        c.timer = t;
        return nullptr;
    }
    case Kind::Led:
        return new Led(c, parent);
    case Kind::ColorBox:
        return new ColorBox(c, parent);
    case Kind::Graph:
        graphCreate(c, parent);
        return c.body;
    }
    return nullptr;
}

void buildControl(const LoadContext& ctx, Panel& p, ControlSpec& s) {
    if (!s.callback.isEmpty()) s.model.callback = findCallback(ctx, s.callback, &CallbackEntry::control, "control");
    Control& c = p.controls.emplace(s.model.id, std::move(s.model)).first->second;  // its final address
    QWidget* parent = p.widget;
    c.body = makeBody(c, s, p.handle, parent);
    if (!c.body) return;

    // Buttons, colour plates and switches show their label themselves.
    bool ownLabel = c.kind == Kind::Button || c.kind == Kind::ColorBox || c.kind == Kind::Switch;
    if (!c.labelText.isEmpty() && !ownLabel) {
        c.label = new QLabel(c.labelText, parent);
        c.label->setObjectName(QStringLiteral("ctrlLabel"));
        c.labelGap = s.labelLeft ? 0 : 18;
        c.label->setAlignment(s.labelLeft ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignBottom);
        c.label->setBuddy(c.body);
    }
    if (s.fontSize > 0) {
        QFont f = c.body->font();
        f.setPointSize(s.fontSize);
        f.setBold(s.bold);
        c.body->setFont(f);
    }
    c.body->setAccessibleName(s.accessible.isEmpty() ? c.name : s.accessible);
    c.namedApart = s.accessible != c.labelText;
    c.body->setToolTip(s.tooltip);
    applyGeometry(c, s.x, s.y, s.w, s.h);
    refreshShown(c);
}

void buildMenuBar(const LoadContext& ctx, Panel& p, const std::vector<MenuSpec>& menus) {
    auto mb = std::make_unique<MenuBar>();
    mb->panel = p.handle;
    mb->widget = new QMenuBar(p.widget);
    int mbHandle = addMenuBar(std::move(mb));
    MenuBar& bar = *menuBar(mbHandle);
    for (const MenuSpec& m : menus) {
        QMenu* menu = bar.widget->addMenu(m.label);
        for (const MenuItemSpec& is : m.items) {
            MenuItem item;
            item.id = is.id;
            item.name = is.name;
            item.label = is.label;
            if (!is.callback.isEmpty()) item.callback = findCallback(ctx, is.callback, &CallbackEntry::menu, "menu");
            QAction* a = menu->addAction(item.label);
            if (!is.shortcut.isEmpty()) a->setShortcut(QKeySequence(is.shortcut));
            int itemId = item.id;
            QObject::connect(a, &QAction::triggered, a, [mbHandle, itemId] { deliverMenu(mbHandle, itemId); });
            bar.items.emplace(item.id, std::move(item));
        }
    }
    bar.widget->setGeometry(0, 0, p.widget->width(), bar.widget->sizeHint().height());
    p.menuBar = mbHandle;
}

int buildPanel(int parent, int resource, const LoadContext& ctx, PanelSpec& spec) {
    Panel* parentPanel = parent ? panel(parent) : nullptr;
    if (parent && !parentPanel) return -1;
    auto p = std::make_unique<Panel>();
    p->resource = resource;
    p->parent = parent;
    if (!spec.callback.isEmpty()) p->callback = findCallback(ctx, spec.callback, &CallbackEntry::panel, "panel");
    Panel& pr = *panel(addPanel(std::move(p)));
    auto* w = new PanelWidget(pr.handle, parentPanel ? parentPanel->widget : nullptr);
    w->setObjectName(parent ? QStringLiteral("childPanel") : QStringLiteral("panel"));
    w->setAttribute(Qt::WA_StyledBackground);
    w->setWindowTitle(spec.title);
    w->resize(spec.width, spec.height);
    if (parent)
        w->move(spec.x, spec.y);
    else
        w->setFixedSize(w->size());
    if (!parent && *InstanceName()) w->setWindowRole(QStringLiteral("pavro-") + QString::fromUtf8(InstanceName()));
    w->hide();
    pr.widget = w;

    if (spec.hasMenuBar) buildMenuBar(ctx, pr, spec.menus);
    for (const FrameSpec& f : spec.frames) {
        auto* frame = new QLabel(w);
        frame->setObjectName(QStringLiteral("frame"));
        frame->setGeometry(f.x, f.y, f.w, f.h);
        auto* title = new QLabel(f.title, w);
        title->setObjectName(QStringLiteral("frameTitle"));
        title->move(f.x + 10, f.y + 6);
        title->adjustSize();
    }
    for (ControlSpec& c : spec.controls) buildControl(ctx, pr, c);
    for (auto& [id, c] : pr.controls)
        if (!spec.defaultButton.isEmpty() && c.name == spec.defaultButton) pr.defaultButton = id;
    return pr.handle;
}

int loadPanel(int parent, const char* file, int resource) {
    QString name = QString::fromUtf8(file ? file : "");
    QString path = QFileInfo(name).isAbsolute() ? name : QDir(projectDir()).filePath(name);
    LoadContext ctx{path, {}};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) ctx.fail(f.errorString());
    PanelSpec spec;
    readPanel(f.readAll(), resource, ctx, spec);
    return buildPanel(parent, resource, ctx, spec);
}

[[noreturn]] void loadError(const QString& file, const QString& problem) {
    QString msg = QStringLiteral("Cannot load the panel file %1: %2").arg(file, problem);
    std::fprintf(stderr, "pavro: %s\n", msg.toUtf8().constData());
    if (!popupsReplaced() && QGuiApplication::platformName() != QLatin1String("offscreen"))
        QMessageBox::critical(nullptr, QStringLiteral("pavro"), msg);
    std::exit(2);
}

}  // namespace
}  // namespace platform

int LoadPanel(int parent, const char* file, int resource) {
    try {
        return platform::loadPanel(parent, file, resource);
    } catch (const platform::LoadFailure& f) {
        platform::loadError(f.file, f.problem);
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
