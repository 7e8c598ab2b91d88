// SPDX-License-Identifier: GPL-3.0-or-later
// User-interface operations of the run-time layer: panels loaded from the panel file,
// controls addressed by number, callbacks bound by name, timers, the graph and popups.
// Everything runs on the one GUI thread; a callback that blocks stalls the interface.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Events delivered to callbacks.
constexpr int EVENT_COMMIT = 1;
constexpr int EVENT_CLOSE = 11;
constexpr int EVENT_TIMER_TICK = 15;
// To a graph's callback: the operator zoomed or panned (eventData1 0) or returned to the full
// view (1); the pointer moved over the graph (eventData1 1, GetGraphCursor tells the point) or
// left it (0).
constexpr int EVENT_GRAPH_VIEW = 1001;
constexpr int EVENT_GRAPH_CURSOR = 1002;

// Control and panel attributes.
constexpr int ATTR_DIMMED = 500;
constexpr int ATTR_VISIBLE = 530;
constexpr int ATTR_TOP = 532;
constexpr int ATTR_TITLE = 573;
constexpr int ATTR_HEIGHT = 534;  // a panel's height [px]
constexpr int ATTR_LABEL_TEXT = 641;
constexpr int ATTR_FORMAT = 734;
constexpr int ATTR_PRECISION = 735;
constexpr int ATTR_COLOR = 880;
constexpr int ATTR_INTERVAL = 1270;
// Graph attributes.
constexpr int ATTR_YMAP_MODE = 1096;           // 0 linear, 1 logarithmic
constexpr int ATTR_DATA_MODE = 1142;           // 0 retain
constexpr int ATTR_COPY_ORIGINAL_DATA = 1143;  // 0 plots refer to the caller's arrays, 1 copy
constexpr int ATTR_SMOOTH_UPDATE = 1146;
constexpr int ATTR_ACTIVE_YAXIS = 1149;  // 1 left

// Numeric formats.
constexpr int VAL_FLOATING_PT_FORMAT = 0xFFF0;
constexpr int VAL_SCIENTIFIC_FORMAT = 0xFFF1;

// PlotXY data types.
constexpr int VAL_INTEGER = 1;
constexpr int VAL_DOUBLE = 4;

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
using PanelCallbackPtr = int (*)(int panel, int event, void* callbackData, int eventData1, int eventData2);
using MenuCallbackPtr = void (*)(int menuBar, int menuItem, void* callbackData, int panel);

// One row of the callback table: a name from the panel file and the routine of its form.
struct CallbackEntry {
    const char* name;
    CtrlCallbackPtr control;
    PanelCallbackPtr panel;
    MenuCallbackPtr menu;
};

// Starts the run-time (the application object, the program's path). Call first in main.
int RuntimeInit(int& argc, char** argv);
// For command-line tools: only the program's path, no windows.
int RuntimeInitConsole(int argc, char** argv);
// The table that binds callback names; hand it over before the first LoadPanel.
void RegisterCallbacks(const CallbackEntry* table, std::size_t count);

// Loads panel `resource` from the panel file `file` (resolved in the program's directory)
// as a top-level panel (parent 0) or a child of `parent`. A panel file that is missing,
// malformed or names an unknown callback ends the program with a message and status 2.
int LoadPanel(int parent, const char* file, int resource);
int GetPanelMenuBar(int panel);
int DisplayPanel(int panel);
int HidePanel(int panel);
int SetPanelAttribute(int panel, int attribute, const char* value);
// ATTR_HEIGHT: the panel's height; controls below it are cut off.
int SetPanelAttribute(int panel, int attribute, int value);
int GetPanelAttribute(int panel, int attribute, int* value);
// Delivers events until the process ends.
int RunUserInterface();

// Values pass at the control's data type; a mismatch is a programming error and fails
// loudly in debug builds and tests. Ints serve int and one-byte controls.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* value);
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, double* value);
int GetCtrlVal(int panel, int control, unsigned char* value);
int GetCtrlVal(int panel, int control, char* value, std::size_t size);
template <std::size_t N>
int GetCtrlVal(int panel, int control, char (&value)[N]) {
    return GetCtrlVal(panel, control, value, N);
}

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
// The control's attribute as last set; ATTR_VISIBLE only.
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
int ReplaceTextBoxLine(int panel, int control, int line, const char* text);
int ResetTimer(int panel, int control);

// Graph. x and y point at arrays of `count` ints (VAL_INTEGER) or doubles (VAL_DOUBLE).
int PlotXY(int panel, int control, const void* x, const void* y, int count, int xType, int yType, int plotStyle,
           int pointStyle, int lineStyle, int pointFrequency, int color);
int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh);
// axis 0 x, 1 left y; mode 0 fixed range min..max, 1 autoscale.
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);
// A light band behind the plots, from lo[i] to hi[i] at x[i]; the arrays are copied. Removed
// with the plots by DeleteGraphPlot(..., -1, ...).
int PlotBand(int panel, int control, const double* x, const double* lo, const double* hi, int count, int color);
// Horizontal lines across the graph at y[i], each with its text at the right end, in place of
// those set before; plots come and go beneath them. A log axis leaves out those at zero and
// below. count 0 removes them.
int SetGraphLevels(int panel, int control, const double* y, const char* const* texts, int count, int color);
// x as clock time: the axis labels the local time of day `originUnixMs` (ms since 1970 UTC)
// plus x seconds; negative: elapsed seconds again ("Time [s]"). The data stay as they are.
int SetGraphClock(int panel, int control, long long originUnixMs);
// One line of text in the graph's top left corner, over the plots; empty removes it.
int SetGraphNote(int panel, int control, const char* text);
// The full view again: the axes follow their scaling modes. Delivers no event.
int ResetGraphView(int panel, int control);
// The ranges shown. Returns 1 while the axes follow their scaling modes, 0 when the operator
// has zoomed or panned, negative for a control that is no graph.
int GetGraphView(int panel, int control, double* xmin, double* xmax, double* ymin, double* ymax);
// The drawn point nearest the pointer. Returns 1 when the pointer is over the graph and a
// point is drawn, 0 otherwise.
int GetGraphCursor(int panel, int control, double* x, double* y);
// A picture of the graph as PNG, PDF or SVG by the path's extension, `width` pixels wide
// (0: the graph's own size), written whole or not at all. 0 on success; otherwise negative,
// after a message popup saying why.
int SaveGraphPicture(int panel, int control, const char* path, int width);

// Long work: ProgressBegin, then ProgressStep with the share done (call it every few thousand
// lines: it looks at the clock), ProgressEnd. A window with the text and Cancel shows once the
// work has taken half a second; ProgressStep is false from the moment Cancel was pressed.
// While it lasts no callback runs (a timer that came due ticks once after ProgressEnd).
void ProgressBegin(const char* title, const char* text);
bool ProgressStep(double fraction);
void ProgressEnd();

// A window of log rows (time, kind, details), newest first, with a filter by kind, a text
// search and copy of the selected rows. `source` is asked when it opens and every second while
// it is open: it adds the rows that are new (true: they replace all shown) and says in `status`
// what the window should tell beside them. Shown again when it is open.
constexpr int kLogColumns = 3;
struct LogRow {
    std::string columns[kLogColumns];
};
using LogSource = bool (*)(std::vector<LogRow>* rows, std::string* status);
int ShowLogWindow(const char* title, const char* const* headers, LogSource source);

int MessagePopup(const char* title, const char* message);
// Non-zero for yes.
int ConfirmPopup(const char* title, const char* message);
// 0 nothing chosen, 1 an existing file, 2 a new name, negative on error; the full path goes
// to `path` (260 characters). buttonLabel 3 asks for an existing file to load.
int FileSelectPopup(const char* directory, const char* defaultSpec, const char* filters, const char* title,
                    int buttonLabel, int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char* path);

// A modal form: labelled fields the operator edits, with Apply and Cancel.
enum FormKind { kFormText = 0, kFormCheck = 1, kFormNote = 2, kFormSecret = 3 };  // secret: a password
struct FormField {
    const char* label;
    int kind;         // FormKind; a note is text to read, not to edit
    char value[512];  // the text; "1" or "0" for a check
};
// The message that says what is wrong with the values, or null when they are good.
using FormCheck = const char* (*)(const FormField* fields, int count);
// Apply runs `check`: its message keeps the form open, shown above the buttons; null closes it
// and returns 1 with the fields holding what the operator entered. Cancel returns 0 and leaves
// the fields as they were.
int FormPopup(const char* title, FormField* fields, int count, FormCheck check);

// The operator's attention. A repeating two-beep tone through the desktop's default sound
// output: 1 playing, 0 stopped, negative when there is no sound output. SoundAvailable: 1
// when there is one.
int AlarmTone(int on);
int SoundAvailable();
// A desktop notification (freedesktop, on the session bus), sent without waiting for an
// answer. Negative when there is no session bus.
int DesktopNotify(const char* summary, const char* body, int urgent);
// The panel's window asks for attention (urgency hint) until the operator activates it.
int AlertPanel(int panel);
// Calls `tick` every `seconds` from the event loop, from now until the process ends.
int StartTicker(double seconds, void (*tick)());
