// Start-up to the first painted main window, with an empty main.db (tables without rows):
// the console probe is started in a fresh install directory each round, and the time from
// starting the process to its "painted" report is taken.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool MakeEmptyDatabase(const QString& dir) {
    QProcess sqlite;
    sqlite.setStandardInputFile(QStringLiteral(TORVO_SOURCE_DIR "/Common/schema/main.sql"));
    sqlite.start("sqlite3", {dir + "/main.db"});
    return sqlite.waitForFinished(10000) && sqlite.exitCode() == 0;
}

// Milliseconds from process start to the first paint; negative on failure.
double OneRound(const QString& probe) {
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/run");  // a runtime folder must be the user's alone
    QFile::setPermissions(dir.path() + "/run",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString exe = dir.path() + "/MainUI";
    if (!QFile::copy(probe, exe) || !MakeEmptyDatabase(dir.path())) return -1;

    QProcess console;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains("QT_QPA_PLATFORM")) env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", dir.path() + "/run");
    env.insert("TORVO_SERVICE_BACKEND", "local");
    console.setProcessEnvironment(env);
    console.setWorkingDirectory(dir.path());

    QElapsedTimer clock;
    clock.start();
    console.start(exe, {});
    QByteArray out;
    double painted = -1;
    while (painted < 0 && clock.elapsed() < 20000 && console.waitForReadyRead(20000)) {
        out += console.readAllStandardOutput();
        if (out.contains("painted")) painted = clock.nsecsElapsed() / 1e6;
    }
    console.waitForFinished(10000);
    return painted;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    std::vector<double> ms;
    OneRound(QStringLiteral(TORVO_PROBE_PATH));  // warms the file cache
    for (int i = 0; i < rounds; ++i) {
        const double t = OneRound(QStringLiteral(TORVO_PROBE_PATH));
        if (t < 0) {
            std::fprintf(stderr, "round %d: the console did not paint\n", i);
            return 1;
        }
        ms.push_back(t);
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "start-up to first paint, empty main.db, %d rounds (%s): min %.1f ms, "
        "median %.1f ms, max %.1f ms\n",
        rounds, qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen")), ms.front(),
        ms[ms.size() / 2], ms.back());
    return 0;
}
