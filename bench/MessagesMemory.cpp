// Memory of the whole program with a full phone: 10,000 contacts and 100,000 SMS, every tab visited
// (the message page with each of its three views drawn), then the resident sizes of this process and
// of its children (the web renderer) are summed from /proc, the highest sum of each stage over a few
// seconds. Offscreen; prints one line per stage.
// Built beside vexa-assistant so that it finds the skin and the pages the same way.
#include "ProgramSetup.h"
#include "app/CMainFrame.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "device/DeviceNameAdapter.h"
#include "libs/prefs/Prefs.h"
#include "messages/CMessagePage.h"
#include "messages/CMsgContentView.h"
#include "platform/AppPaths.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QWebEnginePage>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <utility>
#include <vector>

namespace {

void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        // Without a running event loop nothing handed to deleteLater would ever go; the program's
        // loop frees it on its next turn.
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(10);
    }
}

long PssKb(int pid) {
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& s : rollup.readAll().split('\n')) {
        if (s.startsWith("Pss:")) {
            return s.mid(4).trimmed().split(' ').value(0).toLong();
        }
    }
    return 0;
}

// One look at the program's processes: resident kilobytes summed over this process and every
// process below it, their proportional share (pages shared between them counted once), and a line
// per process.
struct TreeSample {
    long rssKb = 0;
    long pssKb = 0;
    int processes = 0;
    QString perProcess;
};

TreeSample SampleTree(int root) {
    std::map<int, int> parent;
    std::map<int, long> rss;
    std::map<int, long> anon;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (!ok) {
            continue;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        parent[pid] = fields.value(1).toInt();
        for (const QByteArray& s : status.readAll().split('\n')) {
            if (s.startsWith("VmRSS:")) {
                rss[pid] = s.mid(6).trimmed().split(' ').value(0).toLong();
            } else if (s.startsWith("RssAnon:")) {
                anon[pid] = s.mid(8).trimmed().split(' ').value(0).toLong();
            }
        }
    }
    TreeSample sample;
    QStringList parts;
    for (const auto& [pid, kb] : rss) {
        for (int p = pid; p > 1; p = parent.count(p) ? parent[p] : 0) {
            if (p == root) {
                sample.rssKb += kb;
                sample.pssKb += PssKb(pid);
                ++sample.processes;
                // Anonymous memory is the process's own data; the rest is mostly shared library code.
                parts << QStringLiteral("%1 (anonymous %2)").arg(kb / 1024).arg(anon[pid] / 1024);
                break;
            }
        }
    }
    sample.perProcess = parts.join(QStringLiteral(", "));
    return sample;
}

// This process's resident kilobytes by kind ("RssAnon", "RssFile", "RssShmem").
long OwnRssKb(const char* kind) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& s : status.readAll().split('\n')) {
        if (s.startsWith(kind)) {
            return s.mid(static_cast<int>(qstrlen(kind)) + 1).trimmed().split(' ').value(0).toLong();
        }
    }
    return 0;
}

void Report(const char* stage) {
    // The web renderer keeps growing for a second or two after a page says it is drawn and gives
    // memory back seconds later, so each stage is watched for a while and its highest sum reported.
    // VEXA_MEMORY_WINDOW=ms sets how long (3000 by default).
    const int window = qEnvironmentVariableIsSet("VEXA_MEMORY_WINDOW") ? qEnvironmentVariableIntValue("VEXA_MEMORY_WINDOW") : 3000;
    TreeSample peak = SampleTree(static_cast<int>(getpid()));
    QElapsedTimer watched;
    watched.start();
    while (watched.elapsed() < window) {
        Spin(100);
        TreeSample now = SampleTree(static_cast<int>(getpid()));
        if (now.rssKb > peak.rssKb) {
            peak = std::move(now);
        }
    }
    std::printf("    (MB per process at the highest: %s)\n", qPrintable(peak.perProcess));
    // The heap in use shows how much of this process's resident size is the program's own data
    // rather than libraries, fonts and freed memory the allocator kept.
    const struct mallinfo2 heap = mallinfo2();
    std::printf("%-32s RSS sum %6.1f MB, PSS sum %6.1f MB, %d processes, heap in use here %6.1f MB\n", stage,
                peak.rssKb / 1024.0, peak.pssKb / 1024.0, peak.processes,
                static_cast<double>(heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0));
    std::printf("    (here: anonymous %.1f MB, files %.1f MB, shared memory %.1f MB; widgets %lld)\n",
                OwnRssKb("RssAnon:") / 1024.0, OwnRssKb("RssFile:") / 1024.0, OwnRssKb("RssShmem:") / 1024.0,
                static_cast<long long>(QApplication::allWidgets().size()));
    std::fflush(stdout);
}

// Runs script in view's page every few milliseconds (each run scrolls; the page draws on the
// scroll events) until it returns true or a minute has passed; prints how long it took.
void ScrollUntil(CMsgContentView* view, const char* what, const QString& script) {
    QElapsedTimer timer;
    timer.start();
    bool reached = false;
    while (!reached && timer.elapsed() < 60000) {
        bool answered = false;
        view->page()->runJavaScript(script, [&](const QVariant& result) {
            reached = result.toBool();
            answered = true;
        });
        while (!answered && timer.elapsed() < 60000) {
            Spin(5);
        }
        Spin(20);
    }
    std::printf("%s %s in %lld ms\n", what, reached ? "reached" : "NOT reached", static_cast<long long>(timer.elapsed()));
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    PrepareProgramEnvironment(home);
    QString simFolder = qEnvironmentVariable("VEXA_BENCH_SIM_DIR");
    if (simFolder.isEmpty()) {
        simFolder = home.filePath("sim");
    }
    QDir().mkpath(simFolder);
    qputenv("VEXA_SIM_DIR", QFile::encodeName(simFolder));
    QApplication app(argc, argv);

    const QString serial = QStringLiteral("MEMORY-FULL");
    if (!QFile::exists(vexa::sim::PhoneFilePath(serial))) {
        vexa::sim::SeedOptions options;
        options.contacts = 10000;
        options.sms = 100000;
        options.calls = 2000;
        options.apps = 100;
        options.pictures = 200;
        if (!CreateSeededPhone(serial, options)) {
            return 1;
        }
    }
    CSkin* skin = StartLikeTheProgram();
    if (skin == nullptr) {
        return 1;
    }
    CDeviceList devices;
    devices.Refresh(ppGetBridge());
    DeviceNameAdapter names;
    names.Load(home.filePath("MapInfo.ini"));
    {
        CMainFrame frame(devices, names);
        if (!frame.Create()) {
            return 1;
        }
        frame.show();
        QElapsedTimer timer;
        timer.start();
        while (!frame.IsConnected() && timer.elapsed() < 20000) {
            Spin(50);
        }
        Report("connected (home page)");
        const std::pair<int, const char*> tabs[] = {{CMainFrame::TabContact, "contacts page shown"},
                                                    {CMainFrame::TabApp, "apps page shown"},
                                                    {CMainFrame::TabPicture, "pictures page shown"},
                                                    {CMainFrame::TabMessage, nullptr}};
        for (const auto& [tab, stage] : tabs) {
            frame.SelectTab(tab);
            Spin(3000);
            if (stage != nullptr) {
                Report(stage);
            }
        }
        auto* page = dynamic_cast<CMessagePage*>(frame.Page(CMainFrame::TabMessage));
        if (page == nullptr || !page->PrepareForPicture(QStringLiteral("message"), 60000)) {
            std::fprintf(stderr, "the message page did not draw\n");
        }
        std::printf("messages %zu, conversations %zu\n", page->Data().Messages().size(),
                    page->Data().Conversations().size());
        Report("all conversations drawn");
        // VEXA_MEMORY_SCROLL=1: also the overview scrolled through to its last conversation and
        // dragged back to the top, the conversation scrolled up to its first message and the drafts
        // down to their last.
        const bool scroll = qEnvironmentVariableIsSet("VEXA_MEMORY_SCROLL");
        if (scroll) {
            const QString last = QString::number(page->Data().Conversations().size() - 1);
            ScrollUntil(page->View(CMessagePage::ViewAll), "overview's last conversation",
                        "window.scrollTo(0, document.body.scrollHeight); !!document.getElementById('tel_" + last + "')");
            Report("overview scrolled to its end");
            ScrollUntil(page->View(CMessagePage::ViewAll), "overview's top",
                        "window.scrollTo(0, 0); !!document.getElementById('tel_0')");
            Report("overview back at the top");
        }
        page->PrepareForPicture(QStringLiteral("message_conversation"), 60000);
        Report("one conversation drawn");
        if (scroll) {
            ScrollUntil(page->View(CMessagePage::ViewConversation), "conversation's first message",
                        "window.scrollTo(0, 0); var m = document.querySelector('.msg_selector');"
                        "!!m && m.getAttribute('data-index') === '0'");
            Report("conversation scrolled to its top");
        }
        page->PrepareForPicture(QStringLiteral("message_drafts"), 60000);
        Report("drafts drawn");
        if (scroll) {
            ScrollUntil(page->View(CMessagePage::ViewDrafts), "last draft",
                        "window.scrollTo(0, document.body.scrollHeight); var d = document.querySelectorAll('.msg');"
                        "d.length > 0 && d[d.length - 1].querySelector('.msg_selector').getAttribute('data-index') == " +
                            QString::number(page->Data().Drafts().size() - 1));
            Report("drafts scrolled to their end");
        }
        frame.SelectTab(CMainFrame::TabHome);
        Spin(1000);
        Report("back on the home page");
        frame.Shutdown();
    }
    EndLikeTheProgram(skin);
    return 0;
}
