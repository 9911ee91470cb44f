// Speed and memory figures of the reply handling, the message pane and log, and live polling.
//   zrbench [google benchmark flags]      reply handling and appendMessage costs
//   zrbench --polling SECONDS PORT [PNG]  CPU time of live polling against a transmitter on PORT;
//                                         with PNG, the trend shown meanwhile and saved there
//   zrbench --unplugged SECONDS           CPU time after the linked transmitter goes away, idle
#include "core/device/register_map.h"
#include "core/modbus/modbus_frame.h"
#include "gui/trend_window.h"
#include "sim/pty_transmitter.h"
#include "tests/support/fake_line.h"
#include "tests/support/harness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QTextBrowser>

#include <benchmark/benchmark.h>
#include <qwt_plot.h>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QByteArray reply(quint8 function, const QByteArray &data) {
    QByteArray frame;
    frame.append(char(1));
    frame.append(char(function));
    frame.append(char(data.size()));
    frame.append(data);
    appendCrc(frame);
    return frame;
}

QByteArray liveReply() {
    return reply(0x03, QByteArray::fromHex("08fc119405320000"));
}
QByteArray infoReply() {
    return reply(0x03, QByteArray::fromHex("0001000400690001261208041533fe7003200000"));
}
QByteArray calibrationReply() {
    return reply(0x03, QByteArray(90, '\x11'));
}

long residentKb() {
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status) {
        return -1;
    }
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kb = std::atol(line + 6);
        }
    }
    std::fclose(status);
    return kb;
}

// The port of the window's line in the reply benchmarks: the benchmark is its other end.
FakePort *fakePort = nullptr;

// Puts the benchmark's port under the windows made from here on.
struct FakePortTiming {
    FakePortTiming() {
        LineTiming::current().makePort = [](const QString &, QString *) {
            fakePort = new FakePort;
            return fakePort;
        };
    }
    ~FakePortTiming() { LineTiming::current().makePort = nullptr; }
};

// One window for the whole run, in a scratch working directory, its dialog closed at start-up.
struct Bench {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    FakePortTiming port;
    Widget window;
};
Bench *bench = nullptr;

// Handling one reply: the bytes arriving on the line's device, found as a reply, RX log line and
// pane paragraph; with state.range(0) == 1 it answers a request sent first (not counted), so it is
// also matched and decoded into the values shown. Unanswered is what the earlier figures measured.
// The port does no system call, so the figure is the program's own work.
void handleReply(benchmark::State &state, const QByteArray &frame, quint16 start) {
    const bool answered = state.range(0) == 1;
    Widget &w = bench->window;
    const auto count = static_cast<quint16>(static_cast<quint8>(frame.at(2)) / 2);
    qint64 replyNs = 0;
    QElapsedTimer elapsed;
    for (auto _ : state) {
        state.PauseTiming();
        if (answered) {
            WidgetTestAccess::readRegisters(w, start, count);
            fakePort->fake.writes.clear();
        }
        state.ResumeTiming();
        elapsed.start();
        fakePort->fake.push(frame);
        for (int turn = 0; turn < 100 && !WidgetTestAccess::line(w)->idle(); ++turn) {
            QCoreApplication::processEvents();
        }
        replyNs += elapsed.nsecsElapsed();
        if (!WidgetTestAccess::line(w)->idle()) {
            state.SkipWithError("the reply did not answer its request");
            break;
        }
    }
    const double perReply = static_cast<double>(replyNs) / 1e9 / double(state.iterations());
    const double wireSeconds = frame.size() * 10.0 / 115200.0; // 10 bits a byte at 115200 baud
    state.counters["wire_us"] = wireSeconds * 1e6;
    state.counters["ratio_to_wire"] = perReply / wireSeconds;
}

void BM_ReplyLiveBlock(benchmark::State &state) {
    handleReply(state, liveReply(), Reg::LiveHundredths);
}
void BM_ReplyDeviceInfo(benchmark::State &state) {
    handleReply(state, infoReply(), Reg::SlaveAddress);
}
void BM_ReplyCalibration(benchmark::State &state) {
    handleReply(state, calibrationReply(), Reg::Calibration);
}

// Cost of one appendMessage, wall time per line, by the number of lines the pane held first.
QMap<long, double> appendMicros;

// appendMessage once the pane already holds state.range(0) lines, with the window shown and the
// event loop turned after every line as during polling, so the pane lays out what it holds. The
// pane is filled while the window is hidden (no layout then). 10,000 lines from 80,000 stay
// below the cap; 10,000 from 100,000 go once through a whole trim and regrowth to the cap.
void BM_AppendMessage(benchmark::State &state) {
    Widget &w = bench->window;
    QTextBrowser *pane = WidgetTestAccess::ui(w)->textBrowser;
    w.hide();
    pane->clear();
    const QString text = QStringLiteral("01030100000ac431");
    for (long i = 0; i < state.range(0); ++i) {
        WidgetTestAccess::appendMessage(w, text, int(i % 2));
    }
    w.show();
    QCoreApplication::processEvents();
    QElapsedTimer elapsed;
    elapsed.start();
    for (auto _ : state) {
        WidgetTestAccess::appendMessage(w, text, 0);
        QCoreApplication::processEvents();
    }
    const double micros = elapsed.nsecsElapsed() / 1e3 / double(state.iterations());
    appendMicros[state.range(0)] = micros;
    state.counters["us_per_line"] = micros;
    state.counters["pane_lines"] = pane->document()->blockCount();
    state.counters["rss_MB"] = residentKb() / 1024.0;
}

// The figure the pane's cap is held to: the cost per line at the cap against just below it.
void printCapRatio() {
    if (appendMicros.contains(80000) && appendMicros.contains(100000)) {
        std::printf("appendMessage at the 100,000-line cap: %.1f us a line, below it (80,000): %.1f us, "
                    "ratio %.2f\n",
                    appendMicros[100000], appendMicros[80000], appendMicros[100000] / appendMicros[80000]);
    }
}

struct Run {
    double wallSeconds = 0;
    double cpuSeconds = 0;
};

// Runs the event loop for `seconds` and measures the wall and CPU time it took.
Run runEventLoop(int seconds) {
    auto cpu = [] {
        rusage r{};
        getrusage(RUSAGE_SELF, &r);
        return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    const double before = cpu();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    qApp->exec();
    Run run;
    run.cpuSeconds = cpu() - before;
    run.wallSeconds = wall.elapsed() / 1000.0;
    return run;
}

// With `trendPicture` the trend window is shown while polling and saved there as a PNG at the end.
int pollingRun(int seconds, const QString &port, const QString &trendPicture = QString()) {
    ScopedWorkDir dir;
    dir.writeConfig(port);
    qputenv("ZRTOOL_EXTRA_PORTS", port.toLocal8Bit());
    ModalWatcher watcher;
    Widget w;
    if (!watcher.waitForCount(1, 10000) || watcher.seen.last().title != QLatin1String("Succeed")) {
        std::fprintf(stderr, "no transmitter answered on %s\n", qPrintable(port));
        return 1;
    }
    // Nothing modal comes while polling; the watcher's own look every 5 ms is not the window's.
    watcher.stop();
    WidgetTestAccess::invoke(w, "PushButtonReadSlot");
    if (!trendPicture.isEmpty()) {
        w.show();
        WidgetTestAccess::ui(w)->pushButtonTrend->click();
    }
    const Run run = runEventLoop(seconds);
    if (!trendPicture.isEmpty()) {
        QString error;
        TrendWindow *trend = WidgetTestAccess::trendWindow(w);
        if (!trend || !trend->exportPng(trendPicture, &error)) {
            std::fprintf(stderr, "the trend could not be saved: %s\n", qPrintable(error));
        }
    }
    const int replies = loggedFrames(WidgetTestAccess::logFilePath(w), 1).size();
    std::printf("polling%s: %.1f s wall, %.3f s CPU, %.3f %% of a core, %d replies, RSS %.1f MB\n",
                trendPicture.isEmpty() ? "" : " with the trend shown", run.wallSeconds, run.cpuSeconds,
                100.0 * run.cpuSeconds / run.wallSeconds, replies, residentKb() / 1024.0);
    return 0;
}

// CPU used in `seconds` after the linked transmitter (simulated in this process, on a
// pseudo-terminal) goes away while nothing polls, as when the adapter of an idle tool is pulled.
int unpluggedRun(int seconds) {
    ScopedWorkDir dir;
    PtyTransmitter sim;
    QString error;
    const QString link = dir.path() + QStringLiteral("/ttyZR");
    if (!sim.start(&error) || !sim.createSymlink(link)) {
        std::fprintf(stderr, "no simulated transmitter: %s\n", qPrintable(error));
        return 1;
    }
    qputenv("ZRTOOL_EXTRA_PORTS", link.toLocal8Bit());
    ModalWatcher watcher;
    watcher.dialogHandler = chooseInDialog(link, QStringLiteral("9600"));
    Widget w;
    QElapsedTimer linking;
    linking.start();
    while (loggedFrames(WidgetTestAccess::logFilePath(w), 1).isEmpty() && linking.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (loggedFrames(WidgetTestAccess::logFilePath(w), 1).isEmpty()) {
        std::fprintf(stderr, "the simulated transmitter did not answer\n");
        return 1;
    }
    watcher.stop();
    sim.vanish();
    const Run run = runEventLoop(seconds);
    std::printf("unplugged while idle: %.1f s wall, %.3f s CPU, %.3f %% of a core, port %s\n",
                run.wallSeconds, run.cpuSeconds, 100.0 * run.cpuSeconds / run.wallSeconds,
                WidgetTestAccess::port(w)->isOpen() ? "still open" : "closed");
    return 0;
}

} // namespace

// The trend holding a full day at one reading a second, three curves, shown 1000 px wide:
// state.range(0) 0 times one repaint of the whole day (goal under 10 ms), 1 times adding one
// reading while shown (goal under 0.2 ms), with the resident memory against an empty trend.
void BM_Trend(benchmark::State &state) {
    const long before = residentKb();
    TrendWindow trend(nullptr, Trend::TrendBuffer::DefaultPoints);
    const qint64 start = 1796800000000;
    for (int i = 0; i < Trend::TrendBuffer::DefaultPoints; ++i) {
        Trend::Reading r;
        r.set(Trend::Temperature, 20 + 5 * std::sin(i / 600.0))
            .set(Trend::Humidity, 50 + 20 * std::cos(i / 900.0))
            .set(Trend::DewPoint, 10 + 3 * std::sin(i / 300.0));
        trend.addReading(start + qint64(i) * 1000, r);
    }
    trend.resize(1000 + 120, 600);
    trend.setSpan(TrendWindow::Span::All);
    trend.show();
    QCoreApplication::processEvents();
    qint64 next = start + qint64(Trend::TrendBuffer::DefaultPoints) * 1000;
    for (auto _ : state) {
        if (state.range(0) == 0) {
            trend.plot()->replot();
            benchmark::DoNotOptimize(trend.renderImage());
        } else {
            Trend::Reading r;
            r.set(Trend::Temperature, 21).set(Trend::Humidity, 50).set(Trend::DewPoint, 10);
            trend.addReading(next, r);
            next += 1000;
        }
    }
    state.counters["rss_more_MB"] = (residentKb() - before) / 1024.0;
}
BENCHMARK(BM_Trend)->Arg(0)->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Trend)->Arg(1)->Iterations(20000)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_ReplyLiveBlock)->ArgName("answered")->Arg(0)->Arg(1);
BENCHMARK(BM_ReplyDeviceInfo)->ArgName("answered")->Arg(0)->Arg(1);
BENCHMARK(BM_ReplyCalibration)->ArgName("answered")->Arg(0)->Arg(1);
BENCHMARK(BM_AppendMessage)
    ->Arg(1000)
    ->Arg(80000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(10000)
    ->Unit(benchmark::kMicrosecond);

// The reply handling writes a CRC trace line to the debug output for every reply; the benchmark
// keeps the cost of making it but not that of a terminal printing it.
void dropDebug(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type != QtDebugMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropDebug);
    QApplication app(argc, argv);
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--polling") == 0) {
        return pollingRun(std::atoi(argv[2]), QString::fromLocal8Bit(argv[3]),
                          argc == 5 ? QString::fromLocal8Bit(argv[4]) : QString());
    }
    if (argc == 3 && std::strcmp(argv[1], "--unplugged") == 0) {
        return unpluggedRun(std::atoi(argv[2]));
    }
    benchmark::Initialize(&argc, argv);
    auto holder = std::make_unique<Bench>();
    bench = holder.get();
    if (!WidgetTestAccess::openPortAt(bench->window, QStringLiteral("fake"), 115200) || !fakePort) {
        std::fprintf(stderr, "zrbench: cannot open the window's line on the benchmark's port\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    printCapRatio();
    benchmark::Shutdown();
    return 0;
}
