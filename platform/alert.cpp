// SPDX-License-Identifier: GPL-3.0-or-later
// Getting the operator's attention: an alarm tone through the desktop's sound, a desktop
// notification over the session bus, the window's urgency hint, and a ticker for watches
// that must run whether or not the module is polled.
#include "io.h"
#include "platform_internal.h"
#include "ui.h"
#include "ui_model.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <QVariantMap>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>

namespace {

// ----- the tone ---------------------------------------------------------------------------

constexpr int kRate = 22050;       // [Hz] samples a second
constexpr double kPitch = 880.0;   // [Hz]
constexpr double kBeep = 0.20;     // [s] each of two beeps
constexpr double kGap = 0.15;      // [s] between them
constexpr double kPeriod = 1.45;   // [s] the pattern repeats
constexpr double kLoudness = 0.5;  // of full scale

// Two beeps and a pause, again and again, as 16-bit mono samples.
class ToneSource : public QIODevice {
public:
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 4096 + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxlen) override {
        qint64 n = maxlen / 2;
        auto* out = reinterpret_cast<qint16*>(data);
        for (qint64 i = 0; i < n; ++i, ++sample_) {
            double t = std::fmod(static_cast<double>(sample_) / kRate, kPeriod);
            bool on = t < kBeep || (t >= kBeep + kGap && t < 2 * kBeep + kGap);
            double v = on ? kLoudness * std::sin(2.0 * std::numbers::pi * kPitch * static_cast<double>(sample_) / kRate) : 0.0;
            out[i] = static_cast<qint16>(std::lround(v * 32767.0));
        }
        return n * 2;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 sample_ = 0;
};

std::unique_ptr<QAudioSink> sink;
std::unique_ptr<ToneSource> source;
bool toneFailed = false;  // the device refused: no more tries

}  // namespace

int SoundAvailable() {
    if (toneFailed) return 0;
    return QMediaDevices::defaultAudioOutput().isNull() ? 0 : 1;
}

int AlarmTone(int on) {
    if (!on) {
        if (sink) sink->stop();
        sink.reset();
        source.reset();
        return 0;
    }
    if (sink) return 1;
    QAudioDevice dev = QMediaDevices::defaultAudioOutput();
    if (dev.isNull() || toneFailed) return -1;
    QAudioFormat f;
    f.setSampleRate(kRate);
    f.setChannelCount(1);
    f.setSampleFormat(QAudioFormat::Int16);
    if (!dev.isFormatSupported(f)) f = dev.preferredFormat();
    if (f.sampleFormat() != QAudioFormat::Int16 || f.channelCount() != 1 || f.sampleRate() != kRate) {
        toneFailed = true;
        return -1;
    }
    source = std::make_unique<ToneSource>();
    source->open(QIODevice::ReadOnly);
    sink = std::make_unique<QAudioSink>(dev, f);
    sink->start(source.get());
    if (sink->error() != QAudio::NoError) {
        sink.reset();
        source.reset();
        toneFailed = true;
        return -1;
    }
    return 1;
}

// ----- the notification -------------------------------------------------------------------

namespace {

// A session bus to talk to: its address is given or its socket is where the desktop puts it.
// Never one started on demand, which would leave a bus daemon behind.
bool sessionBusThere() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime && QFileInfo::exists(QString::fromUtf8(runtime) + QStringLiteral("/bus"));
}

}  // namespace

int DesktopNotify(const char* summary, const char* body, int urgent) {
    if (!sessionBusThere()) return -1;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return -1;
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                    QStringLiteral("/org/freedesktop/Notifications"),
                                                    QStringLiteral("org.freedesktop.Notifications"),
                                                    QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(urgent ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("pavro"));
    // An instance's notifications say which pavro of the machine speaks.
    QString app = QStringLiteral("pavro");
    if (*InstanceName()) app += QStringLiteral(" (") + QString::fromUtf8(InstanceName()) + QLatin1Char(')');
    m << app << 0u << QStringLiteral("pavro") << QString::fromUtf8(summary ? summary : "")
      << QString::fromUtf8(body ? body : "") << QStringList() << hints << -1;
    // Sent without waiting for the answer: the bus never holds the program back.
    return bus.send(m) ? 0 : -1;
}

// ----- the window and the ticker ----------------------------------------------------------

int AlertPanel(int panel) {
    platform::Panel* p = platform::panel(panel);
    if (!p) return -1;
    QApplication::alert(p->widget, 0);
    return 0;
}

int StartTicker(double seconds, void (*tick)()) {
    if (!tick || !(seconds > 0.0)) return -1;
    auto* t = new QTimer(qApp);
    t->setInterval(static_cast<int>(std::lround(std::fmin(seconds, 86400.0) * 1000.0)));
    QObject::connect(t, &QTimer::timeout, t, [tick] {
        if (!platform::callbacksHeld()) tick();
    });
    t->start();
    return 0;
}
