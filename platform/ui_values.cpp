// SPDX-License-Identifier: GPL-3.0-or-later
// Control values and attributes.
#include "io.h"
#include "seams.h"
#include "ui_model.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

using namespace platform;

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

// The control when it holds a value of one of the `accepted` types; a mismatch is a
// programming error (see mismatch), and then null as for a missing control.
Control* typed(int p, int ctrl, std::initializer_list<DataType> accepted, const char* op, const char* passed) {
    Control* c = valueControl(p, ctrl);
    if (!c) return nullptr;
    for (DataType t : accepted)
        if (c->type == t) return c;
    mismatch(*c, op, passed);
    return nullptr;
}

}  // namespace

int SetCtrlVal(int p, int ctrl, int value) {
    Control* c = typed(p, ctrl, {DataType::Int, DataType::UChar}, "SetCtrlVal", "int");
    if (!c) return -1;
    c->ival = c->type == DataType::UChar ? static_cast<unsigned char>(value) : value;
    refreshShown(*c);
    return 0;
}

int SetCtrlVal(int p, int ctrl, double value) {
    Control* c = typed(p, ctrl, {DataType::Double}, "SetCtrlVal", "double");
    if (!c) return -1;
    c->dval = value;
    refreshShown(*c);
    return 0;
}

int SetCtrlVal(int p, int ctrl, const char* value) {
    Control* c = typed(p, ctrl, {DataType::Text}, "SetCtrlVal", "text");
    if (!c) return -1;
    c->text = QString::fromUtf8(value ? value : "");
    refreshShown(*c);
    return 0;
}

int GetCtrlVal(int p, int ctrl, int* value) {
    Control* c = typed(p, ctrl, {DataType::Int}, "GetCtrlVal", "int*");
    if (!c) return -1;
    *value = c->ival;
    return 0;
}

int GetCtrlVal(int p, int ctrl, double* value) {
    Control* c = typed(p, ctrl, {DataType::Double}, "GetCtrlVal", "double*");
    if (!c) return -1;
    *value = c->dval;
    return 0;
}

int GetCtrlVal(int p, int ctrl, unsigned char* value) {
    Control* c = typed(p, ctrl, {DataType::UChar}, "GetCtrlVal", "unsigned char*");
    if (!c) return -1;
    *value = static_cast<unsigned char>(c->ival);
    return 0;
}

int GetCtrlVal(int p, int ctrl, char* value, std::size_t size) {
    Control* c = size ? typed(p, ctrl, {DataType::Text}, "GetCtrlVal", "char*") : nullptr;
    if (!c) return -1;
    QByteArray b = c->text.toUtf8();
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

int GetCtrlAttribute(int p, int ctrl, int attribute, int* value) {
    Control* c = control(p, ctrl);
    if (!c || !value || attribute != ATTR_VISIBLE) return -1;
    *value = c->visible ? 1 : 0;
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
    if (c->body && !c->namedApart) c->body->setAccessibleName(c->labelText);
    if (c->body && c->namedApart) c->body->setAccessibleDescription(c->labelText);
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
