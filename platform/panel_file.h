// SPDX-License-Identifier: GPL-3.0-or-later
// Private to platform/: the panel file read into plain descriptions, before any widget
// exists. The reader checks the file's form; binding callbacks and building widgets follow.
#pragma once

#include "ui_model.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace platform {

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

// One control as the file describes it: the model's values, and how it looks.
struct ControlSpec {
    Control model;     // number, name, kind, type, initial value, range, format, colours, items
    QString callback;  // callback name, "" none
    int x = 0, y = 0, w = 80, h = 24;
    QString accessible, tooltip;
    QString text;   // a switch's own text
    QString style;  // a button's look ("primary")
    bool labelLeft = false;
    int fontSize = 0;
    bool bold = false;
    bool running = true;  // a timer runs from the start
};

struct MenuItemSpec {
    int id = 0;
    QString name, label, callback, shortcut;
};

struct MenuSpec {
    QString label;
    std::vector<MenuItemSpec> items;
};

struct FrameSpec {
    int x = 0, y = 0, w = 0, h = 0;
    QString title;
};

struct PanelSpec {
    QString name, title, callback, defaultButton;
    int width = 400, height = 300, x = 0, y = 0;
    bool hasMenuBar = false;
    std::vector<MenuSpec> menus;
    std::vector<FrameSpec> frames;
    std::vector<ControlSpec> controls;
};

// Reads panel `resource` from the panel file's text into `spec`; a faulty text throws
// LoadFailure through ctx (whose panelName it sets).
void readPanel(const QByteArray& text, int resource, LoadContext& ctx, PanelSpec& spec);

}  // namespace platform
