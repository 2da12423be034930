// The stroke drawn live: the share of the UI thread that drawing the stroke under way takes while the
// press streams a stroke at the serial link's full rate (115200 baud, about 580 sample lines a second).
// The main window runs on a port that plays the emulated press's recordings at that rate; each stroke is
// measured from its first recorded point to its last on a chart that already holds 0, 10 or 50 traces.
// The live drawing's share is the time the UI thread spends in the line's frames and in repainting the
// chart (every event delivered to the chart's view, viewport and scene, and the line's frame timer) over
// the stroke's duration; the same stroke without the line shows what the chart costs by itself then.
// Prints medians and exits with 1 when the share reaches the goal of 10 %; see docs/performance.md.
#include "app/ZelPress.h"
#include "bench/AnsweringBoxes.h"
#include "chart/GraphChart.h"
#include "chart/GraphView.h"
#include "chart/LiveStroke.h"
#include "core/IMessageBoxes.h"
#include "data/GraphContainer.h"
#include "link/AutoConnection.h"
#include "link/Crc16.h"
#include "link/EmulatedPort.h"
#include "link/IPort.h"
#include "session/Session.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Bytes a second on a 115200 baud line with 8 data bits, no parity and one stop bit.
constexpr int kLineBytesPerSecond = 11520;
constexpr int kTickMs = 10;

// The emulated press's recordings, delivered as fast as the serial line carries them.
class FullRatePort : public IPort {
public:
    explicit FullRatePort(QObject* parent)
        : IPort(parent) {
        connect(&m_timer, &QTimer::timeout, this, &FullRatePort::tick);
        m_timer.start(kTickMs);
    }
    qint64 write(const QByteArray& data) override {
        if (data.startsWith("$V"))
            m_script += "$VER,2.24\n";
        if (data.startsWith("$G,100,")) {
            m_script += EmulatedPort::playback(QStringLiteral(":/ZelPress/go_emulation.txt"));
            m_script += checksummedLine("$D,0");
            for (int i = 1; i < EmulatedPort::kStatusLinesAfterStroke; ++i)
                m_script += "$D*BA7\n";
        }
        return data.size();
    }
    QByteArray read() override {
        QByteArray bytes;
        bytes.swap(m_output);
        return bytes;
    }
    bool isOpen() const override { return m_open; }
    void close() override {
        m_timer.stop();
        m_open = false;
        emit closed();
    }

private:
    void tick() {
        const qsizetype chunk = kLineBytesPerSecond * kTickMs / 1000;
        if (m_script.size() < chunk)
            m_script += EmulatedPort::playback(QStringLiteral(":/ZelPress/idle_emulation.txt"));
        m_output += m_script.left(chunk);
        m_script.remove(0, chunk);
        emit readyRead();
    }

    QTimer m_timer;
    QByteArray m_script;
    QByteArray m_output;
    bool m_open = true;
};

// Times the events that drawing the chart and the live line consists of.
class TimingApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        // Only the outermost: a repaint runs inside the scene's own queued update.
        if (!counting || m_depth > 0 || !isDrawing(receiver))
            return QApplication::notify(receiver, event);
        ++m_depth;
        const int pictures = live ? live->pictureCount() : 0;
        QElapsedTimer timer;
        timer.start();
        const bool result = QApplication::notify(receiver, event);
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        drawingMs += ms;
        if (live && live->pictureCount() != pictures)
            pictureMs += ms;
        --m_depth;
        return result;
    }

    bool counting = false;
    double drawingMs = 0.0;
    double pictureMs = 0.0; // of which frames that took a new picture of the chart
    QList<const QObject*> chartObjects;
    const LiveStroke* live = nullptr;

private:
    int m_depth = 0;

    bool isDrawing(const QObject* receiver) const {
        return chartObjects.contains(receiver) || (live && receiver->parent() == live);
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// A stroke as this session records it from the emulated press (its recording with fresh noise), for the
// traces already on the chart.
QList<QPointF> recordedStroke(const Session& session) {
    QList<QPointF> points;
    const QList<QByteArray> lines =
        EmulatedPort::playback(QStringLiteral(":/ZelPress/go_emulation.txt")).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.left(line.indexOf('*')).split(',');
        if (fields.size() < 3)
            continue;
        const int position = fields.at(1).toInt();
        if (position >= session.xZeroPosition())
            continue;
        points.append(QPointF((double(session.xZeroPosition()) - position) * Session::kPositionFactor,
                              (fields.at(2).toDouble() - session.zeroWeightAdc()) * Session::kForceFactor));
    }
    return points;
}

struct Stroke {
    double wallMs = 0.0;
    double drawingMs = 0.0;
    double pictureMs = 0.0; // a frame that took a picture of the chart
    int points = 0;
    int frames = 0;
    int pictures = 0;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TimingApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    ZelPress window(ZelPress::Seams{std::make_shared<AnsweringBoxes>(QMessageBox::Ok), nullptr, nullptr});
    window.autoConnection()->setPortLister([] {
        return QList<PortCandidate>{{"FullRate", "Press at the link's full rate", "FTDI"}};
    });
    window.autoConnection()->setPortFactory(
        [](const QString&, QObject* parent) -> IPort* { return new FullRatePort(parent); });
    window.resize(1280, 760);
    window.show();
    QAction* go = window.findChild<QAction*>(QStringLiteral("goAction"));
    QAction* findXZero = window.findChild<QAction*>(QStringLiteral("findXZeroAction"));
    const auto waitFor = [](const std::function<bool()>& done) {
        QElapsedTimer limit;
        limit.start();
        while (!done()) {
            if (limit.hasExpired(60000))
                return false;
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return true;
    };
    if (!waitFor([&] { return findXZero->isEnabled(); }))
        return 1;
    findXZero->trigger();
    if (!waitFor([&] { return go->isEnabled(); }))
        return 1;

    Session* session = window.session();
    LiveStroke* live = window.liveStroke();
    GraphContainer* active = window.activeContainer();
    GraphView* view = window.graphView();
    app.chartObjects = {view, view->viewport(), view->scene()};
    app.chartObjects.append(view->chart());
    app.live = live;
    app.chartObjects.append(live->layer());
    const auto runStroke = [&](bool drawLive) {
        Stroke stroke;
        if (!drawLive)
            QObject::disconnect(session, &Session::strokePointRecorded, live, &LiveStroke::addPoint);
        double firstWall = -1.0;
        double firstDrawing = 0.0;
        double lastWall = 0.0;
        double lastDrawing = 0.0;
        QElapsedTimer clock;
        clock.start();
        app.drawingMs = 0.0;
        app.pictureMs = 0.0;
        app.counting = true;
        const int framesBefore = live->frameCount();
        const int picturesBefore = live->pictureCount();
        const auto probe = QObject::connect(session, &Session::strokePointRecorded, &window, [&] {
            const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            if (firstWall < 0.0) {
                firstWall = wall;
                firstDrawing = app.drawingMs;
            }
            lastWall = wall;
            lastDrawing = app.drawingMs;
            ++stroke.points;
        });
        const qsizetype before = active->graphs().size();
        go->trigger();
        const bool done = waitFor([&] { return active->graphs().size() > before; }) &&
                          waitFor([&] { return go->isEnabled(); });
        QObject::disconnect(probe);
        app.counting = false;
        if (!drawLive)
            QObject::connect(session, &Session::strokePointRecorded, live, &LiveStroke::addPoint);
        stroke.frames = live->frameCount() - framesBefore;
        stroke.pictures = live->pictureCount() - picturesBefore;
        stroke.pictureMs = app.pictureMs / std::max(1, stroke.pictures);
        stroke.wallMs = lastWall - firstWall;
        stroke.drawingMs = lastDrawing - firstDrawing;
        // The chart keeps the same number of traces from one stroke to the next.
        active->removeLastGraph();
        QApplication::processEvents();
        return done ? stroke : Stroke{};
    };

    constexpr int kRuns = 5;
    constexpr double kGoalShare = 0.10;
    bool met = true;
    for (int traces : {0, 10, 50}) {
        while (active->graphs().size() < traces)
            active->addGraphFromPress(recordedStroke(*session), true);
        std::vector<double> shares;
        std::vector<double> plainShares;
        std::vector<double> wall;
        std::vector<double> frames;
        std::vector<double> pictures;
        std::vector<double> pictureMs;
        std::vector<double> frameMs;
        int points = 0;
        for (int run = 0; run < kRuns; ++run) {
            const Stroke with = runStroke(true);
            const Stroke without = runStroke(false);
            if (with.points == 0 || without.points == 0 || with.wallMs <= 0.0)
                return 1;
            shares.push_back(with.drawingMs / with.wallMs);
            plainShares.push_back(without.drawingMs / without.wallMs);
            wall.push_back(with.wallMs);
            frames.push_back(with.frames);
            pictures.push_back(with.pictures);
            pictureMs.push_back(with.pictureMs);
            frameMs.push_back((with.drawingMs - with.pictures * with.pictureMs) /
                              std::max(1, with.frames - with.pictures));
            points = with.points;
        }
        std::printf("%2d traces: stroke of %d points in %.0f ms; %.0f frames of %.2f ms, %.0f picture(s) of "
                    "the chart "
                    "at %.1f ms; drawing takes %.1f %% of the UI thread (%.1f %% without the line)\n",
                    traces, points, median(wall), median(frames), median(frameMs), median(pictures),
                    median(pictureMs), 100.0 * median(shares), 100.0 * median(plainShares));
        met = met && median(shares) < kGoalShare;
    }
    return met ? 0 : 1;
}
