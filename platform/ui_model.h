// SPDX-License-Identifier: GPL-3.0-or-later
// Private to platform/: the loaded panels and their controls, shared by the operations in
// ui.cpp, the graph in graph.cpp and the testing seam.
#pragma once

#include "ui.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

class QWidget;
class QLabel;
class QTimer;
class QCustomPlot;
class QMenuBar;
class QMenu;

namespace platform {

enum class Kind { Numeric, String, TextBox, Switch, Led, Ring, Button, Timer, Graph, ColorBox };
enum class DataType { None, Double, Int, UChar, Text };

struct RingItem {
    QString label;
    int value;
};

// One plot on a graph. A referring plot reads the caller's arrays at every redraw.
struct Plot {
    const void* x = nullptr;
    const void* y = nullptr;
    int count = 0;
    int xType = VAL_DOUBLE;
    int yType = VAL_DOUBLE;
    bool refers = false;
    std::vector<double> xs, ys;  // the copy, when not referring
    int color = 0;
    int width = 1;
    void* curve = nullptr;  // the QCPCurve drawing it
};

struct Axis {
    bool autoscale = true;
    double min = 0.0;
    double max = 10.0;
};

// A light band behind the plots, from lo to hi at each x (a copy of the caller's arrays).
struct Band {
    std::vector<double> x, lo, hi;
    int color = 0;
    void* curve = nullptr;  // the QCPCurve filling it
};

// A horizontal line across the graph at y, with its text at the right end (a limit).
struct Level {
    double y = 0.0;
    QString text;
    int color = 0;
    void* line = nullptr;   // the QCPItemStraightLine
    void* label = nullptr;  // the QCPItemText
};

struct GraphState {
    QCustomPlot* plot = nullptr;
    std::vector<Plot> plots;
    std::vector<Band> bands;
    std::vector<Level> levels;
    void* note = nullptr;        // the QCPItemText of SetGraphNote, or none
    long long clockOrigin = -1;  // SetGraphClock: x is seconds after this [ms since 1970], -1 elapsed
    Axis x, y;
    bool logY = false;
    bool copyData = true;  // attribute 1143
    // The axes follow their scaling modes until the operator zooms or pans.
    bool following = true;
    bool cursorValid = false;  // the pointer is over the graph near a drawn point
    double cursorX = 0.0, cursorY = 0.0;
};

struct Control {
    int id = 0;
    QString name;
    Kind kind = Kind::Numeric;
    DataType type = DataType::None;
    bool indicator = false;
    QWidget* body = nullptr;
    QLabel* label = nullptr;
    QString labelText;
    int labelGap = 0;  // label's height above the control's top
    CtrlCallbackPtr callback = nullptr;
    QString callbackName;

    double dval = 0.0;
    int ival = 0;
    QString text;
    QStringList lines;
    int format = VAL_FLOATING_PT_FORMAT;
    int precision = 2;
    bool ranged = false;
    double min = 0.0, max = 0.0;
    std::vector<RingItem> items;
    int color = 0xA0A0A0;
    int onColor = 0x00C000;
    bool visible = true;
    bool dimmed = false;
    bool namedApart = false;  // the panel file gives its accessible name: a new label leaves it

    QTimer* timer = nullptr;
    double interval = 1.0;
    std::unique_ptr<GraphState> graph;
};

struct MenuItem {
    int id = 0;
    QString name;
    QString label;
    MenuCallbackPtr callback = nullptr;
};

struct Panel {
    int handle = 0;
    int resource = 0;
    int parent = 0;
    QWidget* widget = nullptr;
    PanelCallbackPtr callback = nullptr;
    std::map<int, Control> controls;
    int menuBar = 0;  // handle, 0 when none
    int defaultButton = 0;
};

struct MenuBar {
    int handle = 0;
    int panel = 0;
    QMenuBar* widget = nullptr;
    std::map<int, MenuItem> items;
};

// The loaded panels and menu bars, by handle; null where none.
Panel* panel(int handle);
Control* control(int panel, int id);
MenuBar* menuBar(int handle);
std::vector<int> panelHandles();

// Delivers an event to a control's or panel's callback, or a menu item's choice.
void deliverControl(int panel, int id, int event, int eventData1 = 0);
// True while a progress runs: callbacks wait; a timer's tick is kept with holdTick.
bool callbacksHeld();
void holdTick(int panel, int control);
void deliverPanel(int panel, int event);
void deliverMenu(int menuBar, int item);

// The callback table the program registered.
const std::vector<CallbackEntry>& callbackTable();
// Takes a new panel or menu bar and gives it its handle, which it returns.
int addPanel(std::unique_ptr<Panel> p);
int addMenuBar(std::unique_ptr<MenuBar> m);

// The text a numeric control shows for its value, format and precision.
QString numericText(const Control& c);
// Shows a control's value, look and state and paints it at once; a numeric's value alone.
void refreshShown(Control& c);
void refreshNumeric(Control& c);
// Places a control and its label.
void applyGeometry(Control& c, int x, int y, int w, int h);

// Graph operations (graph.cpp). plotPoints gives a plot's points as it would draw them now.
void plotPoints(const Plot& p, std::vector<double>& x, std::vector<double>& y);
void graphCreate(Control& c, QWidget* parent);
void graphRedraw(Control& c);
// The graph widget with the operator's zoom, pan, cursor and picture menu (graph_view.cpp).
QCustomPlot* makeChart(GraphState& g, QWidget* parent);
// Renders the graph `width` pixels wide (0: its own size) as PNG, PDF or SVG by the path's
// extension and writes it whole or not at all. Empty on success, else the reason.
QString writePicture(QCustomPlot* plot, const QString& path, int width);
// For the testing seam: deliver a pending view change now; the graph's context menu, built but
// not shown; a zoom to times x0 to x1.
void settleChart(QCustomPlot* plot);
QMenu* chartMenu(QCustomPlot* plot);
void zoomChart(QCustomPlot* plot, double x0, double x1);

// Discards every panel (tests start each case afresh; the program never does).
void discardPanels();

}  // namespace platform
