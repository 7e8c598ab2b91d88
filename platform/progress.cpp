// SPDX-License-Identifier: GPL-3.0-or-later
// Long work with a progress window and its Cancel. While it lasts every callback is held back,
// as if the work blocked the event loop: a timer that came due ticks once afterwards.
#include "io.h"
#include "seams.h"
#include "ui.h"
#include "ui_model.h"

#include <QApplication>
#include <QProgressDialog>

#include <algorithm>
#include <vector>
#include <utility>

namespace {

constexpr double kShowAfter = 0.5;   // [s] shorter work shows no window
constexpr double kLookEvery = 0.05;  // [s] between looks at the window

struct Progress {
    bool on = false, cancelled = false;
    double began = 0.0, looked = 0.0;
    QString title, text;
    QProgressDialog* dialog = nullptr;
};
Progress progress;
std::vector<std::pair<int, int>> dueTicks;  // timers that came due while held, once each
double showAfter = kShowAfter;
double cancelAt = 2.0;  // a test's Cancel at this fraction
bool lastShown = false;  // the last progress showed its window

}  // namespace

bool platform::callbacksHeld() { return progress.on; }

void platform::holdTick(int panel, int control) {
    if (std::find(dueTicks.begin(), dueTicks.end(), std::pair{panel, control}) == dueTicks.end())
        dueTicks.emplace_back(panel, control);
}

void platform::progressScript(double fraction, double showAfterSeconds) {
    cancelAt = fraction;
    showAfter = showAfterSeconds < 0.0 ? kShowAfter : showAfterSeconds;
}

void ProgressBegin(const char* title, const char* text) {
    progress = Progress{};
    progress.on = true;
    lastShown = false;
    progress.began = progress.looked = Timer();
    progress.title = QString::fromUtf8(title ? title : "");
    progress.text = QString::fromUtf8(text ? text : "");
}

bool ProgressStep(double fraction) {
    if (!progress.on) return true;
    if (progress.cancelled) return false;
    double now = Timer();
    if (now - progress.looked < kLookEvery && !(fraction >= cancelAt)) return true;
    progress.looked = now;
    if (!progress.dialog && now - progress.began >= showAfter) {
        progress.dialog = new QProgressDialog(progress.text, QStringLiteral("Cancel"), 0, 1000);
        progress.dialog->setWindowTitle(progress.title);
        progress.dialog->setWindowModality(Qt::ApplicationModal);
        progress.dialog->setMinimumDuration(0);
        progress.dialog->setAutoReset(false);
        progress.dialog->setAutoClose(false);
        progress.dialog->show();
        lastShown = true;
    }
    if (progress.dialog) {
        progress.dialog->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000.0));
        if (fraction >= cancelAt) progress.dialog->cancel();
        // Only the window answers: callbacks are held (callbacksHeld), input goes to the modal window.
        QApplication::processEvents();
        if (progress.dialog->wasCanceled()) progress.cancelled = true;
    }
    return !progress.cancelled;
}

bool platform::progressShown() { return lastShown; }

void ProgressEnd() {
    delete progress.dialog;
    progress.dialog = nullptr;
    progress.on = false;
    cancelAt = 2.0;
    showAfter = kShowAfter;
    std::vector<std::pair<int, int>> due = std::move(dueTicks);
    dueTicks.clear();
    for (const auto& [panel, control] : due) platform::deliverControl(panel, control, EVENT_TIMER_TICK);
}
