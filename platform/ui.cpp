// SPDX-License-Identifier: GPL-3.0-or-later
// The run-time: the loaded panels and menu bars, event delivery, and the panel operations.
// Reading the panel file is panel_file.cpp, building it ui_build.cpp, values ui_values.cpp.
#include "format_internal.h"
#include "io.h"
#include "platform_internal.h"
#include "ui_model.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

QApplication* app = nullptr;
QString argv0;
std::vector<CallbackEntry> callbacks;
std::vector<std::unique_ptr<Panel>> panels;      // handle h is panels[h - 1]
std::vector<std::unique_ptr<MenuBar>> menuBars;  // likewise

const QString& styleSheet();

}  // namespace

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

namespace {

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

const std::vector<CallbackEntry>& callbackTable() { return callbacks; }

int addPanel(std::unique_ptr<Panel> p) {
    p->handle = static_cast<int>(panels.size()) + 1;
    panels.push_back(std::move(p));
    return panels.back()->handle;
}

int addMenuBar(std::unique_ptr<MenuBar> m) {
    m->handle = static_cast<int>(menuBars.size()) + 1;
    menuBars.push_back(std::move(m));
    return menuBars.back()->handle;
}

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

void deliverControl(int panelHandle, int id, int event, int eventData1) {
    if (callbacksHeld()) {
        if (event == EVENT_TIMER_TICK) holdTick(panelHandle, id);
        return;
    }
    Control* c = control(panelHandle, id);
    if (c && c->callback && !c->dimmed) c->callback(panelHandle, id, event, nullptr, eventData1, 0);
}

void deliverPanel(int panelHandle, int event) {
    if (callbacksHeld()) return;
    Panel* p = panel(panelHandle);
    if (p && p->callback) p->callback(panelHandle, event, nullptr, 0, 0);
}

void deliverMenu(int mb, int item) {
    if (callbacksHeld()) return;
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

}  // namespace platform

using namespace platform;

// ----- operations -----------------------------------------------------------------------------

int RuntimeInit(int& argc, char** argv) {
    RuntimeInitConsole(argc, argv);
    // An instance's windows carry its name in their X class, so window lists and scripts tell
    // the pavros of one machine apart while every title stays the same.
    const char* instance = std::getenv("PAVRO_INSTANCE");
    if (instance && *instance && !InstanceNameValid(instance))
        std::fprintf(stderr, "pavro: PAVRO_INSTANCE '%s' is no instance name, none taken\n", instance);
    if (*InstanceName() && !qEnvironmentVariableIsSet("RESOURCE_NAME"))
        qputenv("RESOURCE_NAME", QByteArray("pavro-") + InstanceName());
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

int SetPanelAttribute(int p, int attribute, int value) {
    Panel* pp = panel(p);
    if (!pp || attribute != ATTR_HEIGHT || value <= 0) return -1;
    pp->widget->setFixedSize(pp->widget->width(), value);
    return 0;
}

int GetPanelAttribute(int p, int attribute, int* value) {
    Panel* pp = panel(p);
    if (!pp || attribute != ATTR_HEIGHT || !value) return -1;
    *value = pp->widget->height();
    return 0;
}

int RunUserInterface() { return QApplication::exec(); }
