// SPDX-License-Identifier: GPL-3.0-or-later
// The graph control on QCustomPlot. Plots are drawn as curves in the order of their points,
// as the caller gave them. A plot refers to the caller's arrays (attribute 1143 = 0) or keeps
// a copy (1143 = 1). A logarithmic y axis leaves out values of zero and below. Bands are filled
// polygons on a layer below the plots; autoscaling takes them in, so nothing drawn is cut off.
#include "ui_model.h"

#include <qcustomplot.h>

#include <QDateTime>

#include <cmath>
#include <limits>

namespace platform {

namespace {

// A curve whose thick line is drawn as five one-pixel passes in a plus shape: the raster
// engine strokes a wide pen hundreds of times slower, and a recorder redraws on every sample.
class ThickCurve : public QCPCurve {
public:
    ThickCurve(QCPAxis* key, QCPAxis* value, int width) : QCPCurve(key, value), width_(width) {}

protected:
    void drawCurveLine(QCPPainter* painter, const QVector<QPointF>& lines) const override {
        if (width_ <= 1) return QCPCurve::drawCurveLine(painter, lines);
        QPen pen = painter->pen();
        pen.setWidth(1);
        painter->setPen(pen);
        painter->setAntialiasing(false);
        static const QPointF offsets[] = {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (const QPointF& o : offsets) {
            painter->translate(o);
            painter->drawPolyline(lines.constData(), static_cast<int>(lines.size()));
            painter->translate(-o);
        }
    }

private:
    int width_;
};

QColor rgb(int c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

double valueAt(const void* a, int type, int i) {
    return type == VAL_INTEGER ? static_cast<const int*>(a)[i] : static_cast<const double*>(a)[i];
}

void applyAxis(QCPAxis* ax, const Axis& a, bool log) {
    if (a.autoscale) {
        bool found = false;
        QCPRange r;
        for (int i = 0; i < ax->parentPlot()->plottableCount(); ++i) {
            QCPAbstractPlottable* pl = ax->parentPlot()->plottable(i);
            if (!pl->visible()) continue;
            bool ok = false;
            QCP::SignDomain dom = log ? QCP::sdPositive : QCP::sdBoth;
            QCPRange pr = ax->orientation() == Qt::Horizontal ? pl->getKeyRange(ok, dom) : pl->getValueRange(ok, dom);
            if (!ok) continue;
            if (!found)
                r = pr;
            else
                r.expand(pr);
            found = true;
        }
        if (!found) return;
        if (r.size() == 0.0) r = log ? QCPRange(r.lower / 2, r.upper * 2) : QCPRange(r.lower - 1, r.upper + 1);
        ax->setRange(log ? r.sanitizedForLogScale() : r);
        return;
    }
    QCPRange r(a.min, a.max);
    r.normalize();
    if (r.size() == 0.0) r.upper = r.lower + 1.0;
    ax->setRange(log ? r.sanitizedForLogScale() : r);
}

}  // namespace

void graphCreate(Control& c, QWidget* parent) {
    c.graph = std::make_unique<GraphState>();
    QCustomPlot* qp = makeChart(*c.graph, parent);
    c.graph->plot = qp;
    c.body = qp;
    c.graph->x = Axis{false, 0.0, 100.0};
    c.graph->y = Axis{true, 0.0, 10.0};
    qp->xAxis->setLabel(QStringLiteral("Time [s]"));
    qp->setBackground(QBrush(Qt::white));
    qp->axisRect()->setupFullAxesBox();
    QPen grid(QColor(0xDD, 0xE2, 0xE8), 1, Qt::DotLine);
    qp->xAxis->grid()->setPen(grid);
    qp->yAxis->grid()->setPen(grid);
    qp->addLayer(QStringLiteral("band"), qp->layer(QStringLiteral("main")), QCustomPlot::limBelow);
    applyAxis(qp->xAxis, c.graph->x, false);
}

// The band as one closed polygon of steps: each group's least and greatest value span the
// time from the point before it to its own, where its lines lie.
static void bandRedraw(const Band& b, bool logY) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::size_t n = b.x.size();
    const auto m = static_cast<qsizetype>(4 * n);
    QVector<double> t(m), k(m), v(m);
    auto shown = [&](double y) { return logY && !(y > 0.0) ? nan : y; };
    auto finite = [&](double x) { return std::isfinite(x) ? x : nan; };
    for (std::size_t i = 0; i < n; ++i) {
        double from = finite(b.x[i == 0 ? 0 : i - 1]), to = finite(b.x[i]);
        auto up = static_cast<qsizetype>(2 * i), down = m - 1 - up;  // the step's two corners
        k[up] = k[down] = from;
        k[up + 1] = k[down - 1] = to;
        v[up] = v[up + 1] = shown(b.hi[i]);
        v[down] = v[down - 1] = shown(b.lo[i]);
    }
    for (qsizetype i = 0; i < m; ++i) t[i] = static_cast<double>(i);
    static_cast<QCPCurve*>(b.curve)->setData(t, k, v, true);
}

void plotPoints(const Plot& p, std::vector<double>& x, std::vector<double>& y) {
    x.resize(static_cast<std::size_t>(p.count));
    y.resize(static_cast<std::size_t>(p.count));
    for (int i = 0; i < p.count; ++i) {
        std::size_t u = static_cast<std::size_t>(i);
        x[u] = p.refers ? valueAt(p.x, p.xType, i) : p.xs[u];
        y[u] = p.refers ? valueAt(p.y, p.yType, i) : p.ys[u];
    }
}

// Plots that refer to the same arrays in the same style are prefixes of one another, so the
// longest of them covers all the others: only it is drawn. Between two scrolls the recorder
// stacks one such plot per sample, and this keeps a redraw to one curve.
static bool sameSource(const Plot& a, const Plot& b) {
    return a.x == b.x && a.y == b.y && a.xType == b.xType && a.yType == b.yType && a.color == b.color &&
           a.width == b.width;
}

// For each plot, whether it is drawn: every copied plot, and of each group of referring
// plots with one source the longest (the latest of equals).
static std::vector<bool> drawn(const std::vector<Plot>& plots) {
    std::vector<bool> out(plots.size(), true);
    std::vector<std::size_t> best;  // per group, the index of its longest plot
    std::vector<std::size_t> group(plots.size());
    for (std::size_t i = 0; i < plots.size(); ++i) {
        if (!plots[i].refers) continue;
        std::size_t gi = 0;
        while (gi < best.size() && !sameSource(plots[best[gi]], plots[i])) ++gi;
        if (gi == best.size())
            best.push_back(i);
        else if (plots[i].count >= plots[best[gi]].count)
            best[gi] = i;
        group[i] = gi;
    }
    for (std::size_t i = 0; i < plots.size(); ++i)
        if (plots[i].refers) out[i] = best[group[i]] == i;
    return out;
}

void graphRedraw(Control& c) {
    GraphState& g = *c.graph;
    QCustomPlot* qp = g.plot;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> xs, ys;
    std::vector<bool> show = drawn(g.plots);
    for (std::size_t i = 0; i < g.plots.size(); ++i) {
        Plot& p = g.plots[i];
        auto* curve = static_cast<QCPCurve*>(p.curve);
        curve->setVisible(show[i]);
        if (!show[i]) continue;
        plotPoints(p, xs, ys);
        QVector<double> t(p.count), k(p.count), v(p.count);
        for (int n = 0; n < p.count; ++n) {
            std::size_t u = static_cast<std::size_t>(n);
            t[n] = n;
            k[n] = std::isfinite(xs[u]) ? xs[u] : nan;
            v[n] = g.logY && !(ys[u] > 0.0) ? nan : ys[u];
        }
        curve->setData(t, k, v, true);
    }
    for (const Band& b : g.bands) bandRedraw(b, g.logY);
    for (const Level& l : g.levels) {
        bool shown = !(g.logY && !(l.y > 0.0));  // a log axis has no place for zero and below
        static_cast<QCPItemStraightLine*>(l.line)->setVisible(shown);
        static_cast<QCPItemText*>(l.label)->setVisible(shown);
    }
    bool wasLog = qp->yAxis->scaleType() == QCPAxis::stLogarithmic;
    if (g.logY != wasLog) {
        qp->yAxis->setScaleType(g.logY ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
        if (g.logY) {
            qp->yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
            qp->yAxis->setNumberFormat(QStringLiteral("eb"));
            qp->yAxis->setNumberPrecision(0);
        } else {
            qp->yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
            qp->yAxis->setNumberFormat(QStringLiteral("gb"));
            qp->yAxis->setNumberPrecision(6);
        }
    }
    if (g.following) {
        applyAxis(qp->xAxis, g.x, false);
        applyAxis(qp->yAxis, g.y, g.logY);
    }
    qp->replot(qp->isVisible() ? QCustomPlot::rpImmediateRefresh : QCustomPlot::rpQueuedReplot);
}

}  // namespace platform

using namespace platform;

namespace {
Control* graphControl(int p, int ctrl) {
    Control* c = control(p, ctrl);
    return c && c->graph ? c : nullptr;
}
}  // namespace

int PlotXY(int p, int ctrl, const void* x, const void* y, int count, int xType, int yType, int plotStyle,
           int /*pointStyle*/, int /*lineStyle*/, int /*pointFrequency*/, int color) {
    Control* c = graphControl(p, ctrl);
    if (!c) return -1;
    GraphState& g = *c->graph;
    Plot pl;
    pl.count = x && y && count > 0 ? count : 0;
    pl.x = x;
    pl.y = y;
    pl.xType = xType;
    pl.yType = yType;
    pl.refers = !g.copyData;
    if (!pl.refers) {
        pl.xs.resize(static_cast<std::size_t>(pl.count));
        pl.ys.resize(static_cast<std::size_t>(pl.count));
        for (int i = 0; i < pl.count; ++i) {
            pl.xs[static_cast<std::size_t>(i)] = valueAt(x, xType, i);
            pl.ys[static_cast<std::size_t>(i)] = valueAt(y, yType, i);
        }
    }
    pl.color = color & 0xFFFFFF;
    pl.width = plotStyle == 5 ? 3 : 1;  // style 5: thick line
    auto* curve = new ThickCurve(g.plot->xAxis, g.plot->yAxis, pl.width);
    curve->setPen(QPen(rgb(pl.color), 1));
    pl.curve = curve;
    g.plots.push_back(std::move(pl));
    graphRedraw(*c);
    return static_cast<int>(g.plots.size());
}

int DeleteGraphPlot(int p, int ctrl, int plotHandle, int refresh) {
    Control* c = graphControl(p, ctrl);
    if (!c || plotHandle != -1) return -1;
    c->graph->plot->clearPlottables();
    c->graph->plots.clear();
    c->graph->bands.clear();
    if (refresh) graphRedraw(*c);
    return 0;
}

int SetAxisScalingMode(int p, int ctrl, int axis, int mode, double min, double max) {
    Control* c = graphControl(p, ctrl);
    if (!c || (axis != 0 && axis != 1)) return -1;
    Axis& a = axis == 0 ? c->graph->x : c->graph->y;
    a.autoscale = mode != 0;
    if (!a.autoscale) {
        a.min = min;
        a.max = max;
    }
    graphRedraw(*c);
    return 0;
}

int PlotBand(int p, int ctrl, const double* x, const double* lo, const double* hi, int count, int color) {
    Control* c = graphControl(p, ctrl);
    if (!c || !x || !lo || !hi || count < 0) return -1;
    GraphState& g = *c->graph;
    Band b;
    auto n = static_cast<std::size_t>(count);
    b.x.assign(x, x + n);
    b.lo.assign(lo, lo + n);
    b.hi.assign(hi, hi + n);
    b.color = color & 0xFFFFFF;
    auto* curve = new QCPCurve(g.plot->xAxis, g.plot->yAxis);
    curve->setLayer(QStringLiteral("band"));
    curve->setPen(QPen(rgb(b.color), 1));
    curve->setBrush(QBrush(rgb(b.color)));
    b.curve = curve;
    g.bands.push_back(std::move(b));
    graphRedraw(*c);
    return static_cast<int>(g.bands.size());
}

int SetGraphLevels(int p, int ctrl, const double* y, const char* const* texts, int count, int color) {
    Control* c = graphControl(p, ctrl);
    if (!c) return -1;
    GraphState& g = *c->graph;
    for (Level& l : g.levels) {
        g.plot->removeItem(static_cast<QCPItemStraightLine*>(l.line));
        g.plot->removeItem(static_cast<QCPItemText*>(l.label));
    }
    g.levels.clear();
    QPen pen(rgb(color & 0xFFFFFF), 1.5, Qt::DashLine);
    for (int i = 0; y && i < count; ++i) {
        if (!std::isfinite(y[i])) continue;
        Level l;
        l.y = y[i];
        l.text = QString::fromUtf8(texts && texts[i] ? texts[i] : "");
        l.color = color & 0xFFFFFF;
        auto* line = new QCPItemStraightLine(g.plot);
        line->setPen(pen);
        line->point1->setCoords(0.0, l.y);
        line->point2->setCoords(1.0, l.y);
        auto* label = new QCPItemText(g.plot);
        label->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
        label->position->setTypeY(QCPItemPosition::ptPlotCoords);
        label->position->setCoords(0.995, l.y);
        label->setPositionAlignment(Qt::AlignRight | Qt::AlignBottom);
        label->setColor(pen.color());
        label->setText(l.text);
        label->setClipToAxisRect(true);
        l.line = line;
        l.label = label;
        g.levels.push_back(l);
    }
    graphRedraw(*c);
    return 0;
}

namespace {

// Ticks of clock time for an x axis of seconds after `origin`: at whole seconds, minutes or
// hours of the local clock, labelled with the time of day (and the date when they span days).
class ClockTicker : public QCPAxisTicker {
public:
    explicit ClockTicker(long long originMs) : originMs_(originMs) {
        offset_ = QDateTime::fromMSecsSinceEpoch(originMs).offsetFromUtc();
    }

protected:
    double getTickStep(const QCPRange& range) override {
        static const double steps[] = {0.1,   0.2,   0.5,   1,     2,     5,     10,     15,     30,    60,
                                       120,   300,   600,   900,   1800,  3600,  7200,   10800,  21600, 43200,
                                       86400, 172800, 604800};
        span_ = range.size();
        double ideal = span_ / std::max(1, tickCount());
        step_ = std::ceil(ideal / 86400.0) * 86400.0;
        for (double s : steps)
            if (s >= ideal) {
                step_ = s;
                break;
            }
        return step_;
    }
    QVector<double> createTickVector(double step, const QCPRange& range) override {
        QVector<double> ticks;
        // In local clock seconds, so that minutes and hours fall where the clock has them.
        double local0 = static_cast<double>(originMs_) / 1000.0 + offset_;
        double first = std::ceil((local0 + range.lower) / step) * step - local0;
        for (double t = first; t <= range.upper && ticks.size() < 1000; t += step) ticks.append(t);
        return ticks;
    }
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        QDateTime at = QDateTime::fromMSecsSinceEpoch(originMs_ + std::llround(tick * 1000.0));
        if (span_ > 86400.0) return at.toString(QStringLiteral("yyyy-MM-dd\nHH:mm"));
        return at.toString(step_ < 1.0 ? QStringLiteral("HH:mm:ss.z") : QStringLiteral("HH:mm:ss"));
    }

private:
    long long originMs_;
    int offset_ = 0;  // [s] the local clock's offset from UTC at the origin
    double step_ = 1.0, span_ = 0.0;
};

}  // namespace

int SetGraphClock(int p, int ctrl, long long originUnixMs) {
    Control* c = graphControl(p, ctrl);
    if (!c) return -1;
    GraphState& g = *c->graph;
    g.clockOrigin = originUnixMs < 0 ? -1 : originUnixMs;
    if (g.clockOrigin < 0) {
        g.plot->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
        g.plot->xAxis->setLabel(QStringLiteral("Time [s]"));
    } else {
        g.plot->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new ClockTicker(g.clockOrigin)));
        g.plot->xAxis->setLabel(QStringLiteral("Clock time"));
    }
    graphRedraw(*c);
    return 0;
}

int SetGraphNote(int p, int ctrl, const char* text) {
    Control* c = graphControl(p, ctrl);
    if (!c) return -1;
    GraphState& g = *c->graph;
    auto* note = static_cast<QCPItemText*>(g.note);
    if (!note) {
        note = new QCPItemText(g.plot);
        note->position->setType(QCPItemPosition::ptAxisRectRatio);
        note->position->setCoords(0.006, 0.012);
        note->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        note->setColor(QColor(0x44, 0x4C, 0x56));
        note->setBrush(QBrush(QColor(255, 255, 255, 220)));
        note->setPadding(QMargins(4, 2, 4, 2));
        note->setClipToAxisRect(true);
        g.note = note;
    }
    note->setText(QString::fromUtf8(text ? text : ""));
    note->setVisible(text && *text);
    graphRedraw(*c);
    return 0;
}

int ResetGraphView(int p, int ctrl) {
    Control* c = graphControl(p, ctrl);
    if (!c) return -1;
    c->graph->following = true;
    graphRedraw(*c);
    return 0;
}

int GetGraphView(int p, int ctrl, double* xmin, double* xmax, double* ymin, double* ymax) {
    Control* c = graphControl(p, ctrl);
    if (!c) return -1;
    QCustomPlot* qp = c->graph->plot;
    if (xmin) *xmin = qp->xAxis->range().lower;
    if (xmax) *xmax = qp->xAxis->range().upper;
    if (ymin) *ymin = qp->yAxis->range().lower;
    if (ymax) *ymax = qp->yAxis->range().upper;
    return c->graph->following ? 1 : 0;
}

int GetGraphCursor(int p, int ctrl, double* x, double* y) {
    Control* c = graphControl(p, ctrl);
    if (!c || !c->graph->cursorValid) return 0;
    if (x) *x = c->graph->cursorX;
    if (y) *y = c->graph->cursorY;
    return 1;
}

int SaveGraphPicture(int p, int ctrl, const char* path, int width) {
    Control* c = graphControl(p, ctrl);
    if (!c || !path) return -1;
    QString why = writePicture(c->graph->plot, QString::fromUtf8(path), width);
    if (why.isEmpty()) return 0;
    QByteArray text =
        QStringLiteral("The picture could not be saved to %1: %2").arg(QString::fromUtf8(path), why).toUtf8();
    MessagePopup("Save picture", text.constData());
    return -1;
}
