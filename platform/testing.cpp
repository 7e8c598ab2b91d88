// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing.h"

#include "platform_internal.h"
#include "seams.h"
#include "ui_model.h"

#include <qcustomplot.h>
#include <QApplication>
#include <QTreeWidget>
#include <QComboBox>
#include <QCheckBox>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include <unistd.h>

using namespace platform;

namespace {

Control& need(int panel, int ctrl) {
    Control* c = control(panel, ctrl);
    if (!c) {
        std::fprintf(stderr, "seam: no control %d on panel %d\n", ctrl, panel);
        std::abort();
    }
    return *c;
}

// Timer() reads it and Delay() advances it, so timed sequences run at once and exactly.
struct VirtualClock : platform::Clock {
    double t = 0.0;
    double now() override { return t; }
    void sleep(double seconds) override { t += seconds; }
};
VirtualClock virtualClock;

struct PopupRecord {
    std::string kind, title, text;
};

// Answers from the script, in order; every popup is recorded instead of shown.
struct ScriptedPopups : platform::Popups {
    bool quiet = false;  // message popups are not echoed on stderr
    std::deque<int> confirms;
    std::deque<std::pair<int, std::string>> files;
    std::deque<std::pair<std::string, int>> pictures;
    std::deque<std::pair<bool, std::map<std::string, std::string>>> forms;
    std::vector<PopupRecord> shown;
    platform::FileSelectArgs lastFile;

    [[noreturn]] static void unanswered(const char* kind, const char* title, const char* text) {
        std::fprintf(stderr, "pavro test: %s \"%s\" / \"%s\" has no scripted answer\n", kind, title, text);
        std::abort();
    }
    void message(const char* title, const char* text) override {
        shown.push_back({"message", title, text});
        if (!quiet) std::fprintf(stderr, "popup: \"%s\" \"%s\"\n", title, text);
    }
    int confirm(const char* title, const char* text) override {
        shown.push_back({"confirm", title, text});
        if (confirms.empty()) unanswered("ConfirmPopup", title, text);
        int a = confirms.front();
        confirms.pop_front();
        return a;
    }
    int fileSelect(const platform::FileSelectArgs& args, std::string* path) override {
        shown.push_back({"file", args.title, args.defaultSpec});
        lastFile = args;
        if (files.empty()) unanswered("FileSelectPopup", args.title.c_str(), args.defaultSpec.c_str());
        auto [result, name] = files.front();
        files.pop_front();
        *path = name;
        return result;
    }
    int pictureSave(int graphWidth, std::string* path, int* width) override {
        shown.push_back({"picture", "Save picture", std::to_string(graphWidth)});
        if (pictures.empty()) unanswered("Save picture", "", "");
        *path = pictures.front().first;
        *width = pictures.front().second;
        pictures.pop_front();
        return path->empty() ? 0 : 1;
    }
    int form(const std::string& title, const std::vector<std::string>& labels,
             std::vector<std::string>* values) override {
        shown.push_back({"form", title, ""});
        if (forms.empty()) unanswered("FormPopup", title.c_str(), "");
        auto [apply, given] = forms.front();
        forms.pop_front();
        for (auto& [label, value] : given) {
            auto at = std::find(labels.begin(), labels.end(), label);
            if (at == labels.end()) {
                std::fprintf(stderr, "seam: the form \"%s\" has no field \"%s\"\n", title.c_str(), label.c_str());
                std::abort();
            }
            (*values)[static_cast<std::size_t>(at - labels.begin())] = value;
        }
        lastForm.clear();
        for (std::size_t i = 0; i < labels.size(); ++i) lastForm[labels[i]] = (*values)[i];
        return apply ? 1 : 0;
    }
    std::map<std::string, std::string> lastForm;
};
ScriptedPopups popups;

// A port whose far end is a function: each write's bytes go to it, and what it returns
// arrives after the write, so the flush that follows the write keeps it.
struct AnsweredLine : platform::Line {
    std::function<std::string(const std::string&)> answer;
    std::string pending;   // arrived before the latest write
    std::string incoming;  // the answer to the latest write
    void write(const std::string& bytes) override {
        pending += incoming;
        incoming = answer(bytes);
    }
    void flushIn() override { pending.clear(); }
    int read(char* buffer, int maxCount, int terminator, bool* complete) override {
        pending += incoming;
        incoming.clear();
        int n = 0;
        *complete = platform::take(pending, buffer, maxCount, terminator, n);
        return n;
    }
};
std::map<int, std::unique_ptr<AnsweredLine>> lines;

}  // namespace

namespace seam {

void Init(int& argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    RuntimeInit(argc, argv);
    platform::usePopups(&popups);
}

void SetProjectDir(const std::string& dir) { setProjectDirOverride(QString::fromStdString(dir)); }
void DiscardPanels() { discardPanels(); }

int TryLoadPanel(int parent, const std::string& file, int resource, std::string* error) {
    QString problem;
    int h = tryLoadPanel(parent, file.c_str(), resource, &problem);
    if (error) *error = problem.toStdString();
    return h;
}

}  // namespace seam

namespace seam {

void UseVirtualTime(bool on) { platform::useClock(on ? &virtualClock : nullptr); }
void SetTime(double seconds) { virtualClock.t = seconds; }

void AnswerPort(int port, std::function<std::string(const std::string& command)> answer) {
    if (!answer) {
        platform::useLine(port, nullptr);
        lines.erase(port);
        return;
    }
    auto line = std::make_unique<AnsweredLine>();
    line->answer = std::move(answer);
    platform::useLine(port, line.get());
    lines[port] = std::move(line);
}

void QuitAfter(double seconds) {
    QTimer::singleShot(static_cast<int>(seconds * 1000), qApp, [] { QCoreApplication::exit(0); });
}

void AnswerConfirm(int answer) { popups.confirms.push_back(answer); }
void AnswerFileSelect(int result, const std::string& path) { popups.files.emplace_back(result, path); }

std::vector<Popup> TakePopups() {
    std::vector<Popup> out;
    for (auto& r : popups.shown) out.push_back({r.kind, r.title, r.text});
    popups.shown.clear();
    return out;
}

void ResetPopups() {
    popups.confirms.clear();
    popups.files.clear();
    popups.pictures.clear();
    popups.shown.clear();
}

void QuietPopups(bool quiet) { popups.quiet = quiet; }

FileDialogLook LastFileDialog() {
    auto d = platform::fileDialog(popups.lastFile);
    auto* box = d->findChild<QDialogButtonBox*>();
    QPushButton* accept = box ? box->button(QDialogButtonBox::Open) : nullptr;
    if (!accept && box) accept = box->button(QDialogButtonBox::Save);
    auto* folder = d->findChild<QToolButton*>(QStringLiteral("newFolderButton"));
    bool newFolder = folder && !folder->isHidden() && folder->isEnabled();
    return {d->windowTitle().toStdString(), accept ? accept->text().toStdString() : std::string(), newFolder};
}

void Commit(int panel, int ctrl) { deliverControl(panel, ctrl, EVENT_COMMIT); }
void Close(int panel) { deliverPanel(panel, EVENT_CLOSE); }
void Tick(int panel, int ctrl) { deliverControl(panel, ctrl, EVENT_TIMER_TICK); }
void ChooseMenuItem(int mb, int item) { deliverMenu(mb, item); }

void Type(int panel, int ctrl, const std::string& text) {
    auto* e = qobject_cast<QLineEdit*>(need(panel, ctrl).body);
    if (!e || e->isReadOnly()) {
        std::fprintf(stderr, "seam: control %d on panel %d takes no typing\n", ctrl, panel);
        std::abort();
    }
    e->setText(QString::fromStdString(text));
    e->setModified(true);
    emit e->returnPressed();
    emit e->editingFinished();
}

bool PanelVisible(int p) {
    Panel* pp = panel(p);
    return pp && pp->widget->isVisible();
}

std::string PanelTitle(int p) {
    Panel* pp = panel(p);
    return pp ? pp->widget->windowTitle().toStdString() : std::string();
}

std::string Text(int p, int ctrl) {
    Control& c = need(p, ctrl);
    if (auto* e = qobject_cast<QLineEdit*>(c.body)) return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(c.body)) return l->text().toStdString();
    if (auto* s = qobject_cast<QCheckBox*>(c.body)) return s->isChecked() ? "1" : "0";
    return std::to_string(c.ival);
}

std::string TextBoxLine(int p, int ctrl, int line) {
    Control& c = need(p, ctrl);
    return line < c.lines.size() ? c.lines[line].toStdString() : std::string();
}

bool Dimmed(int p, int ctrl) { return need(p, ctrl).dimmed; }
bool Visible(int p, int ctrl) { return need(p, ctrl).visible; }
int Top(int p, int ctrl) { return need(p, ctrl).body->y(); }
std::string Label(int p, int ctrl) { return need(p, ctrl).labelText.toStdString(); }
int Format(int p, int ctrl) { return need(p, ctrl).format; }
int Precision(int p, int ctrl) { return need(p, ctrl).precision; }
int Color(int p, int ctrl) { return need(p, ctrl).color; }
double TimerInterval(int p, int ctrl) { return need(p, ctrl).timer->interval() / 1000.0; }
bool TimerRunning(int p, int ctrl) { return need(p, ctrl).timer->isActive(); }
double TimerRemaining(int p, int ctrl) { return need(p, ctrl).timer->remainingTime() / 1000.0; }
std::string AccessibleName(int p, int ctrl) { return need(p, ctrl).body->accessibleName().toStdString(); }

std::vector<PlotInfo> Plots(int p, int graph) {
    Control& c = need(p, graph);
    std::vector<PlotInfo> out;
    if (!c.graph) return out;
    for (const Plot& pl : c.graph->plots) {
        PlotInfo info{{}, {}, pl.color, pl.refers};
        plotPoints(pl, info.x, info.y);
        out.push_back(std::move(info));
    }
    return out;
}

static AxisInfo axisInfo(const Axis& a, QCPAxis* ax) {
    return {a.autoscale, ax->range().lower, ax->range().upper, ax->scaleType() == QCPAxis::stLogarithmic};
}

AxisInfo XAxis(int p, int graph) {
    Control& c = need(p, graph);
    return axisInfo(c.graph->x, c.graph->plot->xAxis);
}

AxisInfo YAxis(int p, int graph) {
    Control& c = need(p, graph);
    return axisInfo(c.graph->y, c.graph->plot->yAxis);
}

std::vector<BandInfo> Bands(int p, int graph) {
    std::vector<BandInfo> out;
    for (const Band& b : need(p, graph).graph->bands) out.push_back({b.x, b.lo, b.hi, b.color});
    return out;
}

static QCustomPlot* chart(int p, int graph) {
    Control& c = need(p, graph);
    if (!c.graph) {
        std::fprintf(stderr, "seam: control %d on panel %d is no graph\n", graph, p);
        std::abort();
    }
    c.graph->plot->replot(QCustomPlot::rpImmediateRefresh);  // pixels as drawn now
    return c.graph->plot;
}

std::pair<int, int> GraphPixel(int p, int graph, double x, double y) {
    QCustomPlot* qp = chart(p, graph);
    return {static_cast<int>(std::lround(qp->xAxis->coordToPixel(x))),
            static_cast<int>(std::lround(qp->yAxis->coordToPixel(y)))};
}

static void mouse(QCustomPlot* qp, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
                  Qt::KeyboardModifiers mods) {
    QMouseEvent e(type, QPointF(at), qp->mapToGlobal(QPointF(at)), button, held, mods);
    QApplication::sendEvent(qp, &e);
}

void Wheel(int p, int graph, int px, int py, int notches, bool shift) {
    QCustomPlot* qp = chart(p, graph);
    QPointF at(px, py);
    QWheelEvent e(at, qp->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                  shift ? Qt::ShiftModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(qp, &e);
    settleChart(qp);
}

void Drag(int p, int graph, int fromX, int fromY, int toX, int toY, bool ctrl) {
    QCustomPlot* qp = chart(p, graph);
    Qt::KeyboardModifiers mods = ctrl ? Qt::ControlModifier : Qt::NoModifier;
    mouse(qp, QEvent::MouseButtonPress, {fromX, fromY}, Qt::LeftButton, Qt::LeftButton, mods);
    mouse(qp, QEvent::MouseMove, {(fromX + toX) / 2, (fromY + toY) / 2}, Qt::NoButton, Qt::LeftButton, mods);
    mouse(qp, QEvent::MouseMove, {toX, toY}, Qt::NoButton, Qt::LeftButton, mods);
    mouse(qp, QEvent::MouseButtonRelease, {toX, toY}, Qt::LeftButton, Qt::NoButton, mods);
}

void ZoomGraph(int p, int graph, double x0, double x1) { zoomChart(chart(p, graph), x0, x1); }

void RepaintGraph(int p, int graph) {
    QCustomPlot* qp = need(p, graph).graph->plot;
    qp->replot(QCustomPlot::rpImmediateRefresh);
    qp->repaint();
}

void DoubleClick(int p, int graph, int px, int py) {
    mouse(chart(p, graph), QEvent::MouseButtonDblClick, {px, py}, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
}

void Hover(int p, int graph, int px, int py) {
    mouse(chart(p, graph), QEvent::MouseMove, {px, py}, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
}

void LeaveGraph(int p, int graph) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(chart(p, graph), &e);
}

void Key(int p, int graph, const std::string& key) {
    static const std::map<std::string, int> kKeys = {
        {"Home", Qt::Key_Home}, {"Left", Qt::Key_Left}, {"Right", Qt::Key_Right}, {"Up", Qt::Key_Up},
        {"Down", Qt::Key_Down}, {"+", Qt::Key_Plus},    {"-", Qt::Key_Minus}};
    QCustomPlot* qp = chart(p, graph);
    QKeyEvent e(QEvent::KeyPress, kKeys.at(key), Qt::NoModifier);
    QApplication::sendEvent(qp, &e);
    settleChart(qp);
}

std::vector<std::string> GraphMenu(int p, int graph) {
    QMenu* m = chartMenu(chart(p, graph));
    std::vector<std::string> out;
    for (QAction* a : m->actions())
        if (!a->isSeparator()) out.push_back(a->text().toStdString());
    delete m;
    return out;
}

void ChooseGraphMenu(int p, int graph, const std::string& entry) {
    QMenu* m = chartMenu(chart(p, graph));
    QAction* chosen = nullptr;
    for (QAction* a : m->actions())
        if (a->text().toStdString() == entry) chosen = a;
    if (!chosen) {
        std::fprintf(stderr, "seam: the graph's menu has no \"%s\"\n", entry.c_str());
        std::abort();
    }
    chosen->trigger();
    delete m;
}

bool SaveGraphMenuImage(int p, int graph, const std::string& path) {
    QMenu* m = chartMenu(chart(p, graph));
    m->adjustSize();
    bool saved = m->grab().save(QString::fromStdString(path), "PNG");
    delete m;
    return saved;
}

void AnswerPictureSave(const std::string& path, int width) { popups.pictures.emplace_back(path, width); }

void SaveNextFormImage(const std::string& path) { platform::pictureOfNextForm(path); }

void ForgetPorts() { platform::forgetPorts(); }

void AnswerForm(const std::map<std::string, std::string>& values, bool apply) { popups.forms.emplace_back(apply, values); }

std::map<std::string, std::string> LastForm() { return popups.lastForm; }

std::vector<LevelInfo> GraphLevels(int p, int graph) {
    std::vector<LevelInfo> out;
    Control* c = control(p, graph);
    if (c && c->graph)
        for (const Level& l : c->graph->levels)
            out.push_back({l.y, l.text.toStdString(), l.color, static_cast<QCPAbstractItem*>(l.line)->visible()});
    return out;
}

std::string GraphNote(int p, int graph) {
    Control* c = control(p, graph);
    if (!c || !c->graph || !c->graph->note) return "";
    auto* note = static_cast<QCPItemText*>(c->graph->note);
    return note->visible() ? note->text().toStdString() : "";
}

std::string GraphXLabel(int p, int graph) {
    Control* c = control(p, graph);
    return c && c->graph ? c->graph->plot->xAxis->label().toStdString() : "";
}

std::vector<std::string> GraphXTicks(int p, int graph) {
    std::vector<std::string> out;
    Control* c = control(p, graph);
    if (!c || !c->graph) return out;
    c->graph->plot->replot(QCustomPlot::rpImmediateRefresh);
    for (const QString& t : c->graph->plot->xAxis->tickVectorLabels()) out.push_back(t.toStdString());
    return out;
}

void ProgressScript(double cancelAt, double showAfter) { platform::progressScript(cancelAt, showAfter); }
bool ProgressShown() { return platform::progressShown(); }

static QWidget* logWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->findChild<QTreeWidget*>() && w->findChild<QLabel*>(QStringLiteral("status"))) return w;
    return nullptr;
}

std::vector<std::string> LogWindowRows(const std::string& kind, const std::string& search, std::string* status) {
    std::vector<std::string> out;
    QWidget* w = logWindow();
    if (!w) return out;
    auto* kinds = w->findChild<QComboBox*>();
    int k = kind.empty() ? 0 : kinds->findText(QString::fromStdString(kind));
    kinds->setCurrentIndex(k < 0 ? 0 : k);
    w->findChild<QLineEdit*>()->setText(QString::fromStdString(search));
    auto* list = w->findChild<QTreeWidget*>();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (item->isHidden()) continue;
        QStringList cols;
        for (int c = 0; c < list->columnCount(); ++c) cols << item->text(c);
        out.push_back(cols.join(QLatin1Char('\t')).toStdString());
    }
    if (status) *status = w->findChild<QLabel*>(QStringLiteral("status"))->text().toStdString();
    return out;
}

std::string LogWindowCopy(int first, int last) {
    QWidget* w = logWindow();
    if (!w) return "";
    auto* list = w->findChild<QTreeWidget*>();
    list->clearSelection();
    for (int i = 0, shown = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (item->isHidden()) continue;
        if (shown >= first && shown <= last) item->setSelected(true);
        ++shown;
    }
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("&Copy")) b->click();
    return QApplication::clipboard()->text().toStdString();
}

bool SaveLogWindowImage(const std::string& path) {
    QWidget* w = logWindow();
    if (!w) return false;
    QApplication::processEvents();
    return w->grab().save(QString::fromStdString(path), "PNG");
}

void RefreshLogWindow() { platform::refreshLogWindow(); }

void CloseLogWindow() {
    if (QWidget* w = logWindow()) {
        w->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

int PanelHeight(int p) {
    Panel* pp = panel(p);
    return pp ? pp->widget->height() : -1;
}

std::pair<int, int> ClipboardImage() {
    QImage i = QApplication::clipboard()->image();
    return {i.width(), i.height()};
}

bool SavePanelImage(int p, const std::string& path) {
    Panel* pp = panel(p);
    if (!pp) return false;
    QApplication::processEvents();
    return pp->widget->grab().save(QString::fromStdString(path), "PNG");
}

std::vector<std::pair<int, std::string>> Controls(int p) {
    std::vector<std::pair<int, std::string>> out;
    if (Panel* pp = panel(p))
        for (auto& [id, c] : pp->controls) out.emplace_back(id, c.name.toStdString());
    return out;
}

// ----- the disk under the syncing thread ------------------------------------------------------

namespace {

struct ScriptedDisk : platform::Disk {
    std::mutex m;
    std::condition_variable cv;
    bool held = false, waiting = false;
    std::map<std::string, int> syncs;
    int datasync(int fd) override {
        char link[64], path[4096];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = ::readlink(link, path, sizeof path - 1);
        path[n > 0 ? n : 0] = '\0';
        std::unique_lock<std::mutex> lock(m);
        waiting = held;
        cv.wait(lock, [this] { return !held; });
        waiting = false;
        ++syncs[path];
        return 0;
    }
};
ScriptedDisk scriptedDisk;

}  // namespace

void ScriptDisk(bool on) {
    {
        std::lock_guard<std::mutex> lock(scriptedDisk.m);
        scriptedDisk.syncs.clear();
        scriptedDisk.held = false;
    }
    scriptedDisk.cv.notify_all();
    platform::useDisk(on ? &scriptedDisk : nullptr);
}

void HoldDisk(bool held) {
    {
        std::lock_guard<std::mutex> lock(scriptedDisk.m);
        scriptedDisk.held = held;
    }
    scriptedDisk.cv.notify_all();
}

int DiskSyncs(const std::string& path) {
    std::lock_guard<std::mutex> lock(scriptedDisk.m);
    auto it = scriptedDisk.syncs.find(path);
    return it == scriptedDisk.syncs.end() ? 0 : it->second;
}

bool DiskWaiting() {
    std::lock_guard<std::mutex> lock(scriptedDisk.m);
    return scriptedDisk.waiting;
}

}  // namespace seam
