// SPDX-License-Identifier: GPL-3.0-or-later
// The testing seam: linked only into tests and benchmarks. Delivers operator actions and
// timer ticks exactly as the run-time would, answers popups from a script, and reads back
// what the panels show.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace seam {

// Starts the run-time for a test binary (offscreen, popups scripted).
void Init(int& argc, char** argv);
// The folder taken as the program's directory (panel file, settings file, ports/).
void SetProjectDir(const std::string& dir);
// Discards every loaded panel, so a test starts afresh.
void DiscardPanels();
// Loads a panel as LoadPanel does, but a faulty file gives -1 and the problem in `error`
// instead of ending the process.
int TryLoadPanel(int parent, const std::string& file, int resource, std::string* error);

// A virtual clock for Timer() and Delay(): Delay advances it instead of sleeping, so timed
// sequences run at once and exactly. Serial time-outs keep real time.
void UseVirtualTime(bool on);
void SetTime(double seconds);

// Answers a serial port in-process: every write hands its bytes to `answer`, whose result is
// what the module sends back, arriving after the write (a flush of input that follows the
// write keeps it; one before the next write discards what is left). A read takes what was
// answered; one that finds no terminator times out at once, so thousands of exchanges run in
// a second. An empty function ends it.
void AnswerPort(int port, std::function<std::string(const std::string& command)> answer);

// Every serial port closed and forgotten, as in a new process.
void ForgetPorts();

// Ends RunUserInterface after `seconds`.
void QuitAfter(double seconds);

// Popup answers, used in order: ConfirmPopup gets the next int, FileSelectPopup the next
// {result, path}. For a result above 0 the dialog reports, as the real one does, 1 when the
// path exists and 2 when it is new. A popup without a scripted answer aborts the test.
void AnswerConfirm(int answer);
void AnswerFileSelect(int result, const std::string& path);
struct Popup {
    std::string kind;  // "message", "confirm" or "file"
    std::string title;
    std::string text;
};
// Every popup shown since the last call, then forgets them.
std::vector<Popup> TakePopups();
// Drops unused answers and recorded popups.
void ResetPopups();
// The latest file dialog as the operator would see it (built from its arguments, not shown):
// its title, its accept button's text, and whether it offers to make a new folder.
struct FileDialogLook {
    std::string title, accept;
    bool newFolder;
};
FileDialogLook LastFileDialog();
// Message popups are echoed on stderr unless quiet (a fuzzer shows thousands).
void QuietPopups(bool quiet);

// The next FormPopup: the fields named by label take these values (the others keep theirs),
// then Apply (true) or Cancel. A refused Apply shows its message as a message popup and the
// form ends as cancelled. LastForm: every field of the latest form, as the script left it.
void AnswerForm(const std::map<std::string, std::string>& values, bool apply);
std::map<std::string, std::string> LastForm();
// A picture of the next form's dialog, as the operator would see it, as PNG.
void SaveNextFormImage(const std::string& path);

// Operator actions and timer ticks.
void Commit(int panel, int control);
void Close(int panel);
void Tick(int panel, int control);
void ChooseMenuItem(int menuBar, int item);
// Types a value into a numeric control and presses Enter: the edit is committed, then the
// panel's default button, if it has one.
void Type(int panel, int control, const std::string& text);

// What the panels show.
bool PanelVisible(int panel);
std::string PanelTitle(int panel);
std::string Text(int panel, int control);  // the control's displayed text
std::string TextBoxLine(int panel, int control, int line);
bool Dimmed(int panel, int control);
bool Visible(int panel, int control);
int Top(int panel, int control);
std::string Label(int panel, int control);
int Format(int panel, int control);
int Precision(int panel, int control);
int Color(int panel, int control);
double TimerInterval(int panel, int control);
bool TimerRunning(int panel, int control);
double TimerRemaining(int panel, int control);  // [s] until the next tick
std::string AccessibleName(int panel, int control);

struct PlotInfo {
    std::vector<double> x, y;  // as the plot would draw them now
    int color;
    bool refers;
};
std::vector<PlotInfo> Plots(int panel, int graph);
struct AxisInfo {
    bool autoscale;
    double min, max;  // the range in force
    bool log;
};
AxisInfo XAxis(int panel, int graph);
AxisInfo YAxis(int panel, int graph);

// A graph's bands, as PlotBand was given them.
struct BandInfo {
    std::vector<double> x, lo, hi;
    int color;
};
std::vector<BandInfo> Bands(int panel, int graph);
// A graph's horizontal lines, as SetGraphLevels was given them, and whether each is drawn.
struct LevelInfo {
    double y;
    std::string text;
    int color;
    bool shown;
};
std::vector<LevelInfo> GraphLevels(int panel, int graph);
// A panel's height [px].
int PanelHeight(int panel);
// The next progress shows its window after `showAfter` seconds (negative: the program's half
// second) and the operator presses Cancel once it reaches `cancelAt` (above 1: never).
void ProgressScript(double cancelAt, double showAfter = -1.0);
// Whether the last progress showed its window.
bool ProgressShown();
// The open log window (ShowLogWindow) filtered by `kind` ("" all) and `search`: the rows it
// shows, top first, each its columns joined by tabs; its status line into *status. Empty
// when none is open. Close it with CloseLogWindow.
std::vector<std::string> LogWindowRows(const std::string& kind, const std::string& search, std::string* status);
// Selects the shown rows `first` to `last` (from the top) and presses Copy; the clipboard's text.
std::string LogWindowCopy(int first, int last);
void CloseLogWindow();
// A picture of the open log window as PNG.
bool SaveLogWindowImage(const std::string& path);
// The log window's look at its source now, as its one-second timer does.
void RefreshLogWindow();
// A graph's note (SetGraphNote), empty when none is shown; the x axis' label and the tick
// labels of its last drawing.
std::string GraphNote(int panel, int graph);
std::string GraphXLabel(int panel, int graph);
std::vector<std::string> GraphXTicks(int panel, int graph);
// The operator at a graph, at pixel positions of the graph widget. Every view change reaches
// the program before these return (a wheel's or a key's too, without the pause it waits for).
std::pair<int, int> GraphPixel(int panel, int graph, double x, double y);  // where (x, y) is drawn
void Wheel(int panel, int graph, int px, int py, int notches, bool shift);
void Drag(int panel, int graph, int fromX, int fromY, int toX, int toY, bool ctrl);
void DoubleClick(int panel, int graph, int px, int py);
void Hover(int panel, int graph, int px, int py);
void LeaveGraph(int panel, int graph);
// Zooms to times x0 to x1 (the y range kept), as a drag of the operator's would.
void ZoomGraph(int panel, int graph, double x0, double x1);
// Paints the graph now, as the screen would show it.
void RepaintGraph(int panel, int graph);
// Keys by name: "Home", "Left", "Right", "Up", "Down", "+", "-".
void Key(int panel, int graph, const std::string& key);
// The context menu's entries, and choosing one. "Save picture..." takes the next answer.
std::vector<std::string> GraphMenu(int panel, int graph);
void ChooseGraphMenu(int panel, int graph, const std::string& entry);
void AnswerPictureSave(const std::string& path, int width);
// Writes a picture of the graph's context menu as PNG. False on failure.
bool SaveGraphMenuImage(int panel, int graph, const std::string& path);
// The clipboard's picture size, {0, 0} when it holds none.
std::pair<int, int> ClipboardImage();

// Writes a picture of the panel, child panels included, as PNG. False on failure.
bool SavePanelImage(int panel, const std::string& path);

// Every control of a loaded panel: {number, name}.
std::vector<std::pair<int, std::string>> Controls(int panel);

// The device under KeepFileSynced, in place of fdatasync: each sync counted by the file's path;
// held, a sync waits (the disk stalls) until released. Off: fdatasync again.
void ScriptDisk(bool on);
void HoldDisk(bool held);
int DiskSyncs(const std::string& path);
// True while a sync waits at the held disk.
bool DiskWaiting();

}  // namespace seam
