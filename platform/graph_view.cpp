// SPDX-License-Identifier: GPL-3.0-or-later
// What the operator does with a graph: the wheel zooms about the pointer (with Shift the y axis
// alone), a drag pans, a drag with Ctrl zooms to a box, arrows pan and +/- zoom when the graph
// has the focus; a double click or Home returns to the full view. The nearest drawn point to
// the pointer is marked and offered to the program; a context menu saves or copies a picture.
#include "platform_internal.h"
#include "seams.h"
#include "ui_model.h"

#include <qcustomplot.h>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPdfWriter>
#include <QRubberBand>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#include <limits>

namespace platform {

namespace {

constexpr double kWheelStep = 0.85;  // range factor per wheel notch towards the pointer
constexpr double kKeyZoom = 0.8;     // range factor of one + key
constexpr double kKeyPan = 0.1;      // share of the range one arrow key moves
constexpr int kSettleMs = 150;       // quiet time after a wheel or key zoom before telling
constexpr double kLogLimit = 300.0;  // decades a logarithmic range may reach either way
constexpr int kDragThreshold = 3;    // pixels before a press becomes a drag

// Scales the axis range by `factor` about the coordinate at pixel `at`. A logarithmic axis is
// scaled in decades and kept within finite positive values.
void zoomAxis(QCPAxis* ax, double factor, double at) {
    QCPRange r = ax->range();
    if (ax->scaleType() == QCPAxis::stLogarithmic) {
        double lo = std::log10(r.lower), hi = std::log10(r.upper), c = std::log10(ax->pixelToCoord(at));
        if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(c)) return;
        lo = std::clamp(c + (lo - c) * factor, -kLogLimit, kLogLimit);
        hi = std::clamp(c + (hi - c) * factor, -kLogLimit, kLogLimit);
        if (hi - lo > 1e-9) ax->setRange(std::pow(10.0, lo), std::pow(10.0, hi));
        return;
    }
    double c = ax->pixelToCoord(at);
    double lo = c + (r.lower - c) * factor, hi = c + (r.upper - c) * factor;
    if (QCPRange::validRange(lo, hi)) ax->setRange(lo, hi);
}

// Moves the axis from `start` so the coordinate under pixel `from` comes to pixel `to`.
void panAxis(QCPAxis* ax, const QCPRange& start, double from, double to) {
    ax->setRange(start);
    double a = ax->pixelToCoord(from), b = ax->pixelToCoord(to);
    if (ax->scaleType() == QCPAxis::stLogarithmic) {
        double ratio = a / b;
        if (std::isfinite(ratio) && ratio > 0.0 && start.upper * ratio < std::pow(10.0, kLogLimit) &&
            start.lower * ratio > std::pow(10.0, -kLogLimit))
            ax->setRange(start.lower * ratio, start.upper * ratio);
        return;
    }
    if (QCPRange::validRange(start.lower + a - b, start.upper + a - b))
        ax->setRange(start.lower + a - b, start.upper + a - b);
}

class Chart : public QCustomPlot {
public:
    Chart(GraphState& g, QWidget* parent) : QCustomPlot(parent), g_(g) {
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true);
        settle_.setSingleShot(true);
        settle_.setInterval(kSettleMs);
        QObject::connect(&settle_, &QTimer::timeout, [this] { tell(EVENT_GRAPH_VIEW, 0); });
        marker_ = new QCPItemTracer(this);
        marker_->setLayer(QStringLiteral("overlay"));
        marker_->setStyle(QCPItemTracer::tsCircle);
        marker_->setSize(9);
        marker_->setPen(QPen(QColor(0xC0, 0x30, 0x00), 2));
        marker_->setVisible(false);
    }

    // Delivers a pending view change at once (tests, and before the program reads the view).
    void settle() {
        if (!settle_.isActive()) return;
        settle_.stop();
        tell(EVENT_GRAPH_VIEW, 0);
    }

    void reset() {
        settle_.stop();
        if (Control* c = owner()) ::ResetGraphView(owner_.first, c->id);
        tell(EVENT_GRAPH_VIEW, 1);
    }

    // Shows times x0 to x1 as a zoom of the operator's would.
    void showRange(double x0, double x1) {
        xAxis->setRange(x0, x1);
        changed(false);
        tell(EVENT_GRAPH_VIEW, 0);
    }

    QMenu* menu() {
        auto* m = new QMenu(this);
        m->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(m->addAction(QStringLiteral("Save picture...")), &QAction::triggered,
                         [this] { savePicture(); });
        QObject::connect(m->addAction(QStringLiteral("Copy picture")), &QAction::triggered,
                         [this] { QGuiApplication::clipboard()->setImage(toPixmap().toImage()); });
        m->addSeparator();
        QObject::connect(m->addAction(QStringLiteral("Reset view")), &QAction::triggered, [this] { reset(); });
        return m;
    }

protected:
    void wheelEvent(QWheelEvent* e) override {
        QPoint d = e->angleDelta();
        double notches = (d.y() != 0 ? d.y() : d.x()) / 120.0;
        if (notches == 0.0) return;
        double f = std::pow(kWheelStep, notches);
        QPointF at = e->position();
        if (!(e->modifiers() & Qt::ShiftModifier)) zoomAxis(xAxis, f, at.x());
        zoomAxis(yAxis, f, at.y());
        changed(true);
        e->accept();
    }

    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return QCustomPlot::mousePressEvent(e);
        press_ = e->position().toPoint();
        startX_ = xAxis->range();
        startY_ = yAxis->range();
        dragging_ = false;
        boxing_ = (e->modifiers() & Qt::ControlModifier) != 0;
        pressed_ = true;
    }

    void mouseMoveEvent(QMouseEvent* e) override {
        QPoint at = e->position().toPoint();
        if (!pressed_) return pointAt(at);
        if (!dragging_ && (at - press_).manhattanLength() < kDragThreshold) return;
        dragging_ = true;
        if (boxing_) {
            if (!band_) band_ = new QRubberBand(QRubberBand::Rectangle, this);
            band_->setGeometry(QRect(press_, at).normalized());
            band_->show();
            return;
        }
        panAxis(xAxis, startX_, press_.x(), at.x());
        panAxis(yAxis, startY_, press_.y(), at.y());
        changed(false);
    }

    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton || !pressed_) return QCustomPlot::mouseReleaseEvent(e);
        pressed_ = false;
        if (band_) band_->hide();
        if (!dragging_) return;
        dragging_ = false;
        QRect box = QRect(press_, e->position().toPoint()).normalized();
        if (boxing_ && box.width() >= kDragThreshold && box.height() >= kDragThreshold) {
            xAxis->setRange(xAxis->pixelToCoord(box.left()), xAxis->pixelToCoord(box.right()));
            yAxis->setRange(yAxis->pixelToCoord(box.bottom()), yAxis->pixelToCoord(box.top()));
        } else if (boxing_) {
            return;
        }
        changed(false);
        tell(EVENT_GRAPH_VIEW, 0);
    }

    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) reset();
    }

    void keyPressEvent(QKeyEvent* e) override {
        QRect r = axisRect()->rect();
        QPoint mid = r.center();
        switch (e->key()) {
        case Qt::Key_Home:
            return reset();
        case Qt::Key_Plus:
        case Qt::Key_Equal:
        case Qt::Key_Minus: {
            double f = e->key() == Qt::Key_Minus ? 1.0 / kKeyZoom : kKeyZoom;
            zoomAxis(xAxis, f, mid.x());
            zoomAxis(yAxis, f, mid.y());
            return changed(true);
        }
        case Qt::Key_Left:
        case Qt::Key_Right: {
            double step = kKeyPan * r.width() * (e->key() == Qt::Key_Left ? -1 : 1);
            panAxis(xAxis, xAxis->range(), mid.x() + step, mid.x());
            return changed(true);
        }
        case Qt::Key_Up:
        case Qt::Key_Down: {
            double step = kKeyPan * r.height() * (e->key() == Qt::Key_Up ? -1 : 1);
            panAxis(yAxis, yAxis->range(), mid.y() + step, mid.y());
            return changed(true);
        }
        default:
            QCustomPlot::keyPressEvent(e);
        }
    }

    void leaveEvent(QEvent* e) override {
        QCustomPlot::leaveEvent(e);
        if (!g_.cursorValid) return;
        g_.cursorValid = false;
        marker_->setVisible(false);
        marker_->layer()->replot();
        tell(EVENT_GRAPH_CURSOR, 0);
    }

    void contextMenuEvent(QContextMenuEvent* e) override { menu()->popup(e->globalPos()); }

private:
    // The operator moved the view: the axes stop following. The program hears of it once a
    // run of wheel notches or keys pauses (later), or when a drag ends.
    void changed(bool later) {
        g_.following = false;
        replot(QCustomPlot::rpQueuedReplot);
        if (later)
            settle_.start();
        else
            settle_.stop();
    }

    // Marks the drawn point nearest the pointer; points outside the axes are not drawn.
    void pointAt(QPoint at) {
        double best = std::numeric_limits<double>::infinity();
        const QRect area = axisRect()->rect();
        for (const Plot& p : g_.plots) {
            auto* curve = static_cast<QCPCurve*>(p.curve);
            if (!curve->visible()) continue;
            for (const QCPCurveData& d : *curve->data()) {
                if (!std::isfinite(d.key) || !std::isfinite(d.value)) continue;
                double px = xAxis->coordToPixel(d.key), py = yAxis->coordToPixel(d.value);
                if (px < area.left() - 1 || px > area.right() + 1 || py < area.top() - 1 || py > area.bottom() + 1)
                    continue;
                double dx = px - at.x(), dy = py - at.y();
                double dist = dx * dx + dy * dy;
                if (dist < best) {
                    best = dist;
                    g_.cursorX = d.key;
                    g_.cursorY = d.value;
                }
            }
        }
        g_.cursorValid = std::isfinite(best);
        marker_->setVisible(g_.cursorValid);
        marker_->position->setCoords(g_.cursorX, g_.cursorY);
        marker_->layer()->replot();
        tell(EVENT_GRAPH_CURSOR, g_.cursorValid ? 1 : 0);
    }

    void savePicture() {
        std::string path;
        int pixels = 0;
        if (savePictureDialog(width(), &path, &pixels) > 0) {
            if (Control* c = owner()) SaveGraphPicture(owner_.first, c->id, path.c_str(), pixels);
        }
    }

    // The panel and control this graph belongs to, found once.
    Control* owner() {
        if (owner_.first) return control(owner_.first, owner_.second);
        for (int h : panelHandles())
            for (auto& [id, c] : panel(h)->controls)
                if (c.graph.get() == &g_) {
                    owner_ = {h, id};
                    return &c;
                }
        return nullptr;
    }

    void tell(int event, int eventData1) {
        if (Control* c = owner()) deliverControl(owner_.first, c->id, event, eventData1);
    }

    GraphState& g_;
    std::pair<int, int> owner_{0, 0};
    QTimer settle_;
    QCPItemTracer* marker_ = nullptr;
    QRubberBand* band_ = nullptr;
    QPoint press_;
    QCPRange startX_, startY_;
    bool pressed_ = false, dragging_ = false, boxing_ = false;
};

// Renders into `out` as `format` ("png", "pdf", "svg") at width x height.
bool render(QCustomPlot* plot, const QString& format, int width, int height, QBuffer* out) {
    if (format == QLatin1String("png")) return plot->toPixmap(width, height).save(out, "PNG");
    if (format == QLatin1String("pdf")) {
        QPdfWriter writer(out);
        writer.setCreator(QStringLiteral("pavro"));
        writer.setPageLayout(
            QPageLayout(QPageSize(QSizeF(width, height), QPageSize::Point, QString(), QPageSize::ExactMatch),
                        QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        QCPPainter painter(&writer);
        painter.setMode(QCPPainter::pmVectorized);
        painter.setMode(QCPPainter::pmNoCaching);
        painter.setWindow(0, 0, width, height);
        plot->toPainter(&painter, width, height);
        return painter.end();
    }
    QSvgGenerator svg;
    svg.setOutputDevice(out);
    svg.setSize(QSize(width, height));
    svg.setViewBox(QRect(0, 0, width, height));
    svg.setTitle(QStringLiteral("pavro graph"));
    QCPPainter painter(&svg);
    painter.setMode(QCPPainter::pmVectorized);
    plot->toPainter(&painter, width, height);
    return painter.end();
}

}  // namespace

QCustomPlot* makeChart(GraphState& g, QWidget* parent) { return new Chart(g, parent); }

void settleChart(QCustomPlot* plot) { static_cast<Chart*>(plot)->settle(); }
QMenu* chartMenu(QCustomPlot* plot) { return static_cast<Chart*>(plot)->menu(); }
void zoomChart(QCustomPlot* plot, double x0, double x1) { static_cast<Chart*>(plot)->showRange(x0, x1); }

QString writePicture(QCustomPlot* plot, const QString& path, int width) {
    QString format = QFileInfo(path).suffix().toLower();
    if (format != QLatin1String("png") && format != QLatin1String("pdf") && format != QLatin1String("svg"))
        return QStringLiteral("the name must end in .png, .pdf or .svg");
    int w = width > 0 ? width : plot->width();
    int h = std::max(1, static_cast<int>(std::lround(static_cast<double>(plot->height()) * w / plot->width())));
    QBuffer data;
    data.open(QIODevice::WriteOnly);
    if (!render(plot, format, w, h, &data)) return QStringLiteral("the picture could not be drawn");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data.data()) != data.size() || !file.commit())
        return file.errorString();
    return {};
}

}  // namespace platform
