// Prints the time of a check-all run of 100 accounts against the local stand-in mail service
// beside curl fetching the same 100 login addresses in one run, the store's share of the run
// with the cost of one save and one load, then the resident memory of the running program with
// those accounts and its time from start to the window shown.
// "--accounts N" checks N accounts; "--run-only" does nothing but the runs (for a profiler);
// "--shown" runs them in a shown window.
#include "app/Endpoints.h"
#include "app/LoginAddress.h"
#include "app/frmMain.h"
#include "platform/desktop/Application.h"
#include "settings/Store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

int g_accounts = 100; // set by --accounts
constexpr int kRounds = 5;

// The machine is shared: the best of several rounds shows each side's own cost.
double Best(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string User(int i)
{
    return "user" + std::to_string(i);
}

// The service's "listening 127.0.0.1 PORT" line.
int StartService(QProcess& service, const QString& accounts)
{
    service.start(QUORVEL_MAILSERVICE, { "--port", "0", "--accounts", accounts });
    if (!service.waitForStarted(5000) || !service.waitForReadyRead(5000))
        return 0;
    const QStringList words = QString::fromUtf8(service.readLine()).trimmed().split(' ');
    return words.size() == 3 ? words[2].toInt() : 0;
}

long ResidentKiB(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Starts `program` on `display` and returns the milliseconds until a visible window named
// `title` exists (-1 on failure); the process is left running in `process`.
double TimeToWindow(QProcess& process, const QString& program, const QStringList& arguments, const QString& title,
    const QProcessEnvironment& environment)
{
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return -1;
    while (clock.elapsed() < 20000) {
        QProcess search;
        search.setProcessEnvironment(environment);
        search.start("xdotool", { "search", "--onlyvisible", "--name", "^" + title + "$" });
        search.waitForFinished(5000);
        if (search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty())
            return static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
    return -1;
}

void Stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(5000);
}

std::string AccountName(int i)
{
    char name[32];
    std::snprintf(name, sizeof name, "account %04d", i);
    return name;
}

// Milliseconds one store operation takes, as the best of rounds over every account.
double PerOperationMs(const std::function<void(int)>& operation)
{
    std::vector<double> rounds;
    for (int r = 0; r < kRounds; ++r) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < g_accounts; ++i)
            operation(i);
        rounds.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6 / g_accounts);
    }
    return Best(rounds);
}

} // namespace

int main(int argc, char** argv)
{
    bool runOnly = false;
    bool shown = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--accounts") == 0 && i + 1 < argc)
            g_accounts = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--run-only") == 0)
            runOnly = true;
        else if (std::strcmp(argv[i], "--shown") == 0)
            shown = true;
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    platform::Application::instance().SetTitle("quorvel");

    QTemporaryDir folder;
    const QString accountsFile = folder.filePath("accounts.txt");
    {
        std::ofstream out(accountsFile.toStdString());
        for (int i = 0; i < g_accounts; ++i)
            out << User(i) << "\tpw" << i << "\t" << (i % 7) << "\n";
    }
    QProcess service;
    const int port = StartService(service, accountsFile);
    if (port <= 0) {
        std::fprintf(stderr, "check_bench: the mail service did not start\n");
        return 1;
    }
    const std::string server = "127.0.0.1:" + std::to_string(port);
    setenv("QUORVEL_LOGIN_HOST", server.c_str(), 1);
    const QString store = folder.filePath("registry.sqlite3");
    setenv("QUORVEL_REGISTRY", store.toLocal8Bit().constData(), 1);
    int expected = 0;
    for (int i = 0; i < g_accounts; ++i) {
        settings::TAccount a { AccountName(i), "", "Hotmail", User(i), "pw" + std::to_string(i), "N/A", "N/A" };
        settings::SaveAccount(a);
        expected += i % 7;
    }

    // The program's own check-all run, in this process, on the offscreen platform.
    std::vector<double> runs;
    QString report;
    {
        app::TfrmQuorvel form;
        // Hidden, as in the tray, unless asked: shown, the run also paints what it changes.
        if (shown) {
            form.show();
            QApplication::processEvents();
        }
        form.btnCheckAll->click(); // warm-up: the store and the first connections
        for (int r = 0; r < kRounds; ++r) {
            QElapsedTimer clock;
            clock.start();
            form.btnCheckAll->click();
            runs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
        report = form.StatusBar->SimpleText();
    }
    const QString wanted = QString::number(expected) + " total number of new message(s), all accounts";
    if (report != wanted) {
        std::fprintf(stderr, "check_bench: the run reported \"%s\", not \"%s\"\n", report.toUtf8().constData(),
            wanted.toUtf8().constData());
        return 1;
    }

    if (runOnly) {
        std::printf(
            "check-all run, %d accounts, local mail service: %8.1f ms (best of %d)\n", g_accounts, Best(runs), kRounds);
        Stop(service);
        return 0;
    }

    // curl fetching the same addresses, one after the other, in one process.
    const QString curl = QStandardPaths::findExecutable("curl");
    std::vector<double> curls;
    if (!curl.isEmpty()) {
        QStringList arguments { "--silent", "--show-error", "--http1.0" };
        for (int i = 0; i < g_accounts; ++i)
            arguments << "--output"
                      << "/dev/null"
                      << QString::fromStdString(app::LoginAddress(server, User(i), "pw" + std::to_string(i)));
        for (int r = 0; r < kRounds + 1; ++r) {
            QProcess process;
            QElapsedTimer clock;
            clock.start();
            process.start(curl, arguments);
            process.waitForFinished(60000);
            if (r > 0) // the first round warms the caches, as for the program
                curls.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
    }

    // What the store costs: a run loads and saves each account once, and the current one
    // once more each.
    const double saveMs = PerOperationMs([](int i) {
        settings::TAccount a { AccountName(i), "", "Hotmail", User(i), "pw" + std::to_string(i), "x", "y" };
        settings::SaveAccount(a);
    });
    const double loadMs = PerOperationMs([](int i) { (void)settings::LoadAccount(AccountName(i)); });
    const double storeMs = (g_accounts + 1) * (saveMs + loadMs);

    const double ours = Best(runs);
    std::printf("check-all run, %d accounts, local mail service: %8.1f ms (best of %d)\n", g_accounts, ours, kRounds);
    if (!curls.empty()) {
        const double theirs = Best(curls);
        std::printf(
            "curl, the same %d login addresses in one run:   %8.1f ms (best of %d)\n", g_accounts, theirs, kRounds);
        std::printf("ratio program / curl: %.2f (target: at most 1.50, goal 1.20)\n", ours / theirs);
        std::printf("without the store, program / curl: %.2f\n", (ours - storeMs) / theirs);
    } else {
        std::printf("curl not found: no reference\n");
    }
    std::printf(
        "the store's share of the run: %.1f ms, %.1f %% (target: below 15 %%)\n", storeMs, 100.0 * storeMs / ours);
    std::printf("one save: %.3f ms (target: below 0.3 ms); one load: %.3f ms\n", saveMs, loadMs);

    // The real program with those 100 accounts, on a display of its own when Xvfb is there.
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty()) {
        std::printf("Xvfb or xdotool not found: no start-up figures\n");
        Stop(service);
        return 0;
    }
    QProcess display;
    display.start(xvfb, { "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp" });
    display.waitForReadyRead(10000);
    const QString number = QString::fromUtf8(display.readLine()).trimmed();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", ":" + number);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("QUORVEL_REGISTRY", store);

    std::vector<double> starts;
    std::vector<double> references;
    long resident = -1;
    for (int r = 0; r < 3; ++r) {
        QProcess program;
        starts.push_back(TimeToWindow(program, QUORVEL_BINARY, {}, "Quorvel", environment));
        QThread::msleep(500);
        resident = ResidentKiB(program.processId());
        Stop(program);
        QProcess reference;
        references.push_back(TimeToWindow(
            reference, "xmessage", { "-name", "reference", "-title", "reference", "x" }, "reference", environment));
        Stop(reference);
    }
    std::printf("time from start to the window shown, %d accounts:  %8.1f ms (median of 3; xmessage: %.1f ms)\n",
        g_accounts, Median(starts), Median(references));
    std::printf("resident memory of the running program, %d accounts: %ld KiB\n", g_accounts, resident);
    Stop(display);
    Stop(service);
    return 0;
}
