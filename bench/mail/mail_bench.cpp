// Mail and upload speed against the tools a user would otherwise pick, on
// the same loopback servers in the same run:
//   200 mails of 4 KB: TSMTP over one session vs msmtp and curl (a process
//   per mail); one 20 MB body: TSMTP vs curl; a 200 MB upload: TFTP vs
//   curl -T, with the lateness of a 10 ms timer on the uploading thread.
// The ratios are printed after the benchmarks.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <algorithm>
#include <map>
#include <vector>
#include <memory>
#include <string>

#include "mail/ftp.h"
#include "mail/mailmessage.h"
#include "mail/smtp.h"

namespace {

using namespace vandrex;

// Total seconds and runs per measurement, for the mean in the ratios, and
// each run's seconds for the medians.
std::map<std::string, double> gSeconds;
std::map<std::string, int> gRuns;
std::map<std::string, std::vector<double>> gTimes;

// A loopback server script of the mail tests; stops when destroyed. With
// inMemory its files lie in /dev/shm: the disc's write-back of one upload
// otherwise slows whichever upload follows, by more than the clients differ.
class Server {
public:
    Server(const QString& script, const QStringList& args, bool inMemory = false)
        : dir_(inMemory && QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                   ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/vandrex-bench-XXXXXX"))
                   : std::make_unique<QTemporaryDir>()) {
        p_.start("/usr/bin/python3", QStringList{QStringLiteral(VANDREX_MAIL_TEST_DIR) + "/" + script, dir_->path()} + args);
        p_.waitForStarted(10000);
        QByteArray out;
        QDeadlineTimer deadline(30000);
        while (!out.contains('\n') && !deadline.hasExpired() && p_.state() == QProcess::Running) {
            p_.waitForReadyRead(200);
            out += p_.readAllStandardOutput();
        }
        port_ = out.startsWith("PORT ") ? out.mid(5).trimmed().toInt() : 0;
    }
    ~Server() {
        p_.closeWriteChannel();
        if (!p_.waitForFinished(5000)) p_.kill();
        p_.waitForFinished(2000);
    }
    int port() const { return port_; }
    QString dir() const { return dir_->path(); }
private:
    std::unique_ptr<QTemporaryDir> dir_;
    QProcess p_;
    int port_ = 0;
};

// Runs a real event loop (blocking in the kernel between events, as the
// window's does) until pred holds; a spinning loop would steal the server's CPU.
template <class Pred>
bool Wait(Pred pred, int ms = 600000) {
    QDeadlineTimer deadline(ms);
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (pred() || deadline.hasExpired()) loop.quit();
    });
    check.start(1);
    if (!pred()) loop.exec();
    return pred();
}

THeaderList Headers() {
    TMailFields f;
    f.recipient = "joe@example.org";
    f.sender = "vandrex_1@vandrex.invalid";
    f.subject = "bench";
    f.text = "x";
    return BuildHeaders(f);
}

QString Text(qsizetype bytes) {
    QString line = QString(70, QChar('m'));
    QString text;
    while (text.size() < bytes) text += line + "\r\n";
    text.truncate(bytes);
    return text;
}

// Sends count mails of the body over one session; false on any error.
bool SendOverOneSession(int port, const QString& body, int count) {
    TSMTP smtp;
    smtp.RemoteHost = QString("127.0.0.1:%1").arg(port);
    int ended = 0;
    bool failed = false;
    const THeaderList headers = Headers();
    QObject::connect(&smtp, &TSMTP::Error, [&](int, const QString&, bool*) { failed = true; });
    QObject::connect(&smtp, &TSMTP::StateChanged, [&](int s) {
        if (s == 4) smtp.SendDoc(headers, body);
    });
    QObject::connect(&smtp, &TSMTP::DocInputChanged, [&](TDocInput* d) {
        if (d->State != TDocInput::StateEnd) return;
        if (++ended < count && !failed)
            QMetaObject::invokeMethod(&smtp, [&] { smtp.SendDoc(headers, body); }, Qt::QueuedConnection);
    });
    smtp.Connect();
    Wait([&] { return ended >= count || failed || smtp.State() == 6; });
    smtp.Quit();
    Wait([&] { return smtp.State() == 6; }, 5000);
    return !failed && ended == count;
}

QString WriteMailFile(const QString& dir, const QString& body) {
    const QString path = dir + "/mail.eml";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(RenderMessage(Headers(), body, QDateTime::currentDateTime()));
    return path;
}

bool RunProcess(const QString& program, const QStringList& args, const QString& input = {}) {
    QProcess p;
    if (!input.isEmpty()) p.setStandardInputFile(input);
    p.start(program, args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void Record(benchmark::State& state, const char* name, QElapsedTimer& t, int items) {
    const double s = t.nsecsElapsed() / 1e9;
    state.SetIterationTime(s);
    gSeconds[name] += s;
    gRuns[name] += 1;
    gTimes[name].push_back(s);
    state.counters["per_second"] = items / s;
}

void BM_Smtp200Mails_Vandrex(benchmark::State& state) {
    Server server("smtp_server.py", {});
    const QString body = Text(4096);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        if (!SendOverOneSession(server.port(), body, 200)) state.SkipWithError("send failed");
        Record(state, "smtp200_vandrex", t, 200);
    }
}

void BM_Smtp200Mails_Msmtp(benchmark::State& state) {
    Server server("smtp_server.py", {});
    QTemporaryDir dir;
    const QString mail = WriteMailFile(dir.path(), Text(4096));
    const QStringList args{"--file=/dev/null", "--host=127.0.0.1", QString("--port=%1").arg(server.port()),
                           "--from=vandrex_1@vandrex.invalid", "joe@example.org"};
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 200; ++i)
            if (!RunProcess("msmtp", args, mail)) { state.SkipWithError("msmtp failed"); break; }
        Record(state, "smtp200_msmtp", t, 200);
    }
}

void BM_Smtp200Mails_Curl(benchmark::State& state) {
    Server server("smtp_server.py", {});
    QTemporaryDir dir;
    const QString mail = WriteMailFile(dir.path(), Text(4096));
    const QStringList args{"-s", QString("smtp://127.0.0.1:%1").arg(server.port()), "--mail-from",
                           "vandrex_1@vandrex.invalid", "--mail-rcpt", "joe@example.org", "-T", mail};
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 200; ++i)
            if (!RunProcess("curl", args)) { state.SkipWithError("curl failed"); break; }
        Record(state, "smtp200_curl", t, 200);
    }
}

void BM_Smtp20MB_Vandrex(benchmark::State& state) {
    Server server("smtp_server.py", {});
    const QString body = Text(20 * 1024 * 1024);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        if (!SendOverOneSession(server.port(), body, 1)) state.SkipWithError("send failed");
        Record(state, "smtp20mb_vandrex", t, 1);
    }
}

void BM_Smtp20MB_Curl(benchmark::State& state) {
    Server server("smtp_server.py", {});
    QTemporaryDir dir;
    const QString mail = WriteMailFile(dir.path(), Text(20 * 1024 * 1024));
    const QStringList args{"-s", QString("smtp://127.0.0.1:%1").arg(server.port()), "--mail-from",
                           "vandrex_1@vandrex.invalid", "--mail-rcpt", "joe@example.org", "-T", mail};
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        if (!RunProcess("curl", args)) state.SkipWithError("curl failed");
        Record(state, "smtp20mb_curl", t, 1);
    }
}

QString BigFile(const QString& dir) {
    const QString path = dir + "/Video.rm";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i) block[i] = char(i * 2654435761u >> 24);
    for (int i = 0; i < 200; ++i) f.write(block);
    return path;
}

// One TFTP upload and one curl upload of the same file per iteration, one
// after the other on the same server: a shared machine's load changes by the
// second, and pairs see the same load.
// One TFTP upload and one curl upload of the same file per iteration, one
// after the other on the same server (which goes first alternates): a shared
// machine's load changes by the second, and pairs see the same load.
void BM_Ftp200MB_Pairs(benchmark::State& state) {
    Server server("ftp_server.py", {"--user", "joe:pw"}, true);
    QTemporaryDir dir;
    const QString file = BigFile(dir.path());
    auto curl = [&] {
        // curl's time includes its start and login; ours starts logged in.
        QElapsedTimer c;
        c.start();
        if (!RunProcess("curl", {"-s", "-T", file, QString("ftp://joe:pw@127.0.0.1:%1/big-curl.rm").arg(server.port())}))
            state.SkipWithError("curl failed");
        const double curlSeconds = c.nsecsElapsed() / 1e9;
        gSeconds["ftp200mb_curl"] += curlSeconds;
        gRuns["ftp200mb_curl"] += 1;
        gTimes["ftp200mb_curl"].push_back(curlSeconds);
    };
    int round = 0;
    for (auto _ : state) {
        const bool curlFirst = round++ % 2 == 1;
        if (curlFirst) curl();
        TFTP ftp;
        bool failed = false, done = false;
        QEventLoop loop;
        QObject::connect(&ftp, &TFTP::Error, [&](int, const QString&) {
            failed = true;
            loop.quit();
        });
        QObject::connect(&ftp, &TFTP::ProtocolStateChanged, [&](int s) {
            if (s == 1) ftp.Authenticate("joe", "pw");
        });
        QObject::connect(&ftp, &TFTP::PutDone, [&](bool ok) {
            done = true;
            failed = failed || !ok;
            loop.quit();
        });
        ftp.Connect("127.0.0.1", server.port());
        Wait([&] { return ftp.ProtocolState() == 2 || failed; }, 20000);
        // The window's thread keeps a 10 ms timer; its worst lateness counts.
        QElapsedTimer tick;
        qint64 worst = 0;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            worst = std::max(worst, tick.restart() - 10);
        });
        QElapsedTimer t;
        t.start();
        tick.start();
        timer.start(10);
        // Only the upload's own events end the wait: no polling timer of ours
        // shares the thread.
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        if (ftp.Put(file, "big.rm") && !done && !failed) loop.exec();
        timer.stop();
        if (failed || !done) state.SkipWithError("upload failed");
        Record(state, "ftp200mb_vandrex", t, 1);
        state.counters["worst_timer_late_ms"] = double(worst);
        gSeconds["ftp_timer_worst_ms"] = std::max(gSeconds["ftp_timer_worst_ms"], double(worst));
        ftp.Quit();
        Wait([&] { return ftp.State() == 6; }, 5000);
        if (!curlFirst) curl();
    }
}

BENCHMARK(BM_Smtp200Mails_Vandrex)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Smtp200Mails_Msmtp)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Smtp200Mails_Curl)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
// The large transfers run three times each: a loaded machine varies a lot.
BENCHMARK(BM_Smtp20MB_Vandrex)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Smtp20MB_Curl)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ftp200MB_Pairs)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

void Ratio(const char* what, const char* ours, const char* theirs, bool higherIsBetter) {
    if (!gRuns.count(ours) || !gRuns.count(theirs)) return;
    const double a = gSeconds[ours] / gRuns[ours];
    const double b = gSeconds[theirs] / gRuns[theirs];
    const double r = higherIsBetter ? b / a : a / b;
    std::printf("%-44s %.3f\n", what, r);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Medians of the single runs, and the median of the pairs' ratios where the
// runs alternate.
void MedianRatio(const char* what, const char* ours, const char* theirs) {
    if (!gTimes.count(ours) || !gTimes.count(theirs)) return;
    const std::vector<double>& a = gTimes[ours];
    const std::vector<double>& b = gTimes[theirs];
    std::vector<double> pairs;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) pairs.push_back(a[i] / b[i]);
    if (qEnvironmentVariableIsSet("VANDREX_BENCH_RUNS"))
        for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) std::printf("  run %zu: %.0f / %.0f ms\n", i, a[i] * 1e3, b[i] * 1e3);
    std::printf("%-44s %.3f (medians %.0f / %.0f ms of %zu runs; median pair ratio %.3f)\n", what,
                Median(a) / Median(b), Median(a) * 1e3, Median(b) * 1e3, a.size(), Median(pairs));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qputenv("HOME", QTemporaryDir().path().toLocal8Bit());  // no ~/.netrc of the user
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nratios of mean times (same run):\n");
    Ratio("200 mails/s, vandrex / msmtp (>= 1 wanted)", "smtp200_vandrex", "smtp200_msmtp", true);
    Ratio("200 mails/s, vandrex / curl", "smtp200_vandrex", "smtp200_curl", true);
    Ratio("20 MB mail time, vandrex / curl (<= 1.2)", "smtp20mb_vandrex", "smtp20mb_curl", false);
    Ratio("200 MB upload time, vandrex / curl (<= 1.1)", "ftp200mb_vandrex", "ftp200mb_curl", false);
    MedianRatio("200 MB upload median, vandrex / curl", "ftp200mb_vandrex", "ftp200mb_curl");
    MedianRatio("20 MB mail median, vandrex / curl", "smtp20mb_vandrex", "smtp20mb_curl");
    if (gSeconds.count("ftp_timer_worst_ms"))
        std::printf("%-44s %.0f ms\n", "10 ms timer, worst lateness during upload", gSeconds["ftp_timer_worst_ms"]);
    return 0;
}
