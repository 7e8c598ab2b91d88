// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing.h"

#include "platform_internal.h"
#include "popup_script.h"
#include "ui_model.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <qcustomplot.h>

#include <cstdio>
#include <cstdlib>

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

}  // namespace

namespace seam {

void Init(int& argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    RuntimeInit(argc, argv);
    popupScript().active = true;
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

namespace platform {
extern bool virtualTime;
extern double virtualNow;
}  // namespace platform

namespace seam {

void UseVirtualTime(bool on) { platform::virtualTime = on; }
void SetTime(double seconds) { platform::virtualNow = seconds; }

void AnswerPort(int port, std::function<std::string(const std::string& command)> answer) {
    setPortAnswer(port, std::move(answer));
}

void QuitAfter(double seconds) {
    QTimer::singleShot(static_cast<int>(seconds * 1000), qApp, [] { QCoreApplication::exit(0); });
}

void AnswerConfirm(int answer) { popupScript().confirms.push_back(answer); }
void AnswerFileSelect(int result, const std::string& path) { popupScript().files.emplace_back(result, path); }

std::vector<Popup> TakePopups() {
    std::vector<Popup> out;
    for (auto& r : popupScript().shown) out.push_back({r.kind, r.title, r.text});
    popupScript().shown.clear();
    return out;
}

void ResetPopups() {
    popupScript().confirms.clear();
    popupScript().files.clear();
    popupScript().shown.clear();
}

void QuietPopups(bool quiet) { popupScript().quiet = quiet; }

FileDialogLook LastFileDialog() {
    auto d = platform::fileDialog(popupScript().lastFile);
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

}  // namespace seam
