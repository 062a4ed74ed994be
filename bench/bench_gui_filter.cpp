// The main window with a large configuration (20,000 users, 20,000 groups, 500 accounts):
// keystrokes in the tree's filter line and in a check list's filter line, the background
// consistency check with the marking of the tree, and typing in a field while the check
// runs. The baseline is a keystroke in an item's text field of the same window (an edit
// stored into its item, the caption followed, the window repainted).
#include "BenchEditor.h"
#include "BenchPause.h"
#include "BenchUtil.h"
#include "ConfigGenerator.h"

#include "config/ConfigStore.h"
#include "config/PasswordDigest.h"
#include "main/ChecklistFilter.h"
#include "main/FindingsMarker.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QKeyEvent>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray userName(int i)
{
    return "user" + QByteArray::number((i * 7919) % 100000); // not in sorted order
}

QByteArray groupName(int i)
{
    return "grp." + QByteArray::number((i * 104729) % 1000000);
}

// `users` users and `groups` groups, the first group admitting every user; `pops` accounts
// filing into three groups each. A few findings of each kind: every 200th group admits a
// user that does not exist, every 50th account's default group is not one of its groups,
// every 1,000th user has no password.
QByteArray makeConfig(int users, int groups, int pops)
{
    ConfigWriter w;
    w.beginSection("SERVER");
    w.writeString("Version", "1.05");
    w.writeString("AdminUser", "admin");
    w.writeBinary("AdminPass", PasswordDigest("admin"));
    QByteArrayList userNames;
    for (int i = 0; i < users; ++i)
        userNames << userName(i);
    for (int i = 0; i < pops; ++i) {
        w.beginSection("POP" + QByteArray::number(i + 1));
        w.writeString("Host", "pop" + QByteArray::number(i % 10) + ".example");
        w.writeString("UserID", "box" + QByteArray::number(i));
        QByteArrayList list;
        for (int g = 0; g < 3; ++g)
            list << groupName((i * 3 + g) % groups);
        w.writeList("Newsgroups", list);
        w.writeString("DefaultGroup", i % 50 == 0 ? groupName((i * 3 + 7) % groups) : list.first());
    }
    for (int i = 0; i < users; ++i) {
        w.beginSection("USER" + QByteArray::number(i + 1));
        w.writeString("Name", userNames.at(i));
        w.writeBinary("Pass", i % 1000 == 0 ? QByteArray() : QByteArray(16, char(i | 1)));
    }
    for (int i = 0; i < groups; ++i) {
        w.beginSection("GROUP" + QByteArray::number(i + 1));
        w.writeString("Name", groupName(i));
        QByteArrayList admitted = i == 0 ? userNames : QByteArrayList{userNames.at(i % users)};
        if (i % 200 == 1)
            admitted << "ghost" + QByteArray::number(i);
        w.writeList("Users", admitted);
    }
    return w.bytes();
}

struct Editor
{
    QTemporaryDir dir;
    std::unique_ptr<BenchEditorContext> context;
    std::unique_ptr<TMainForm> form;

    explicit Editor(const QByteArray &config)
    {
        QFile f(dir.filePath(QStringLiteral("quilmora.ini")));
        f.open(QIODevice::WriteOnly);
        f.write(config);
        f.close();
        context = std::make_unique<BenchEditorContext>(dir.path());
    }
    bool start()
    {
        form = std::make_unique<TMainForm>(context->context);
        return form->start(false) == TMainForm::StartResult::Run;
    }
};

double elapsedMs(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// One keystroke into `w` and everything it sets off up to the repainted window.
double keystroke(QWidget *w, Qt::Key key, char ch = 0)
{
    QElapsedTimer t;
    t.start();
    const int code = ch ? int(QChar::fromLatin1(ch).toUpper().unicode()) : int(key);
    const QString text = ch ? QString(QChar::fromLatin1(ch)) : key == Qt::Key_Backspace ? QStringLiteral("\b") : QString();
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
    QApplication::processEvents();
    return elapsedMs(t);
}

struct Stats
{
    double median = 0, worst = 0;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.back()};
}

// Waits until the background check has marked the tree.
bool waitForMarks(FindingsMarker *marker, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (marker->isRunning() && t.elapsed() < timeoutMs)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return !marker->isRunning();
}

// A typing sequence: words typed and erased, so the filter both narrows and widens.
const char *const kTyping[] = {"user7", "\b\b\b\b\b", "grp.9", "\b\b\b\b\b"};

std::vector<double> typeSequence(QLineEdit *edit)
{
    std::vector<double> times;
    for (const char *word : kTyping) {
        for (const char *c = word; *c; ++c)
            times.push_back(*c == '\b' ? keystroke(edit, Qt::Key_Backspace) : keystroke(edit, Qt::Key_unknown, *c));
    }
    return times;
}

// The window's thread's longest pause while the background check runs, from `trigger`
// to the marks on the tree and whatever they set off in the next turns of the loop: a
// timer ticking every millisecond on the window's thread notes the longest time between
// two of its ticks. The copy for the check's thread, the marking and anything else the
// window's thread does for the check shows in it.
struct Pause
{
    double longestMs = 0;
    FindingsMarker::Timings parts;
};

// `edit` changes the items as an edit would, before the probe starts; the pause counted is
// from the check's scheduling, as an edit schedules it, to its marks.
template <typename Edit>
Pause pauseOf(FindingsMarker *marker, Edit edit)
{
    Pause out;
    edit();
    bool done = false;
    const QMetaObject::Connection c = QObject::connect(marker, &FindingsMarker::marked, [&]() { done = true; });
    LongestPause probe;
    QTimer::singleShot(2, marker, [marker]() { marker->schedule(); });
    QElapsedTimer limit;
    limit.start();
    while ((!done || marker->isRunning()) && limit.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for (QElapsedTimer after; !after.isValid() || after.elapsed() < 100;) {
        if (!after.isValid())
            after.start();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    out.longestMs = probe.ms();
    QObject::disconnect(c);
    out.parts = marker->lastTimings();
    return out;
}

// The pause on a file of `accounts` incoming accounts and its findings: the first check
// after the load, a check after one edit, one after an edit that puts a finding on every
// account, and one after the edit that takes them away again.
std::vector<double> accountsPause(int accounts, double baselineMs)
{
    std::vector<double> pauses;
    Editor editor(ConfigGenerator::manyAccounts(accounts));
    QElapsedTimer startTimer;
    startTimer.start();
    if (!editor.start())
        return pauses;
    TMainForm &f = *editor.form;
    f.show();
    QApplication::processEvents();
    std::printf("\n%d accounts, 200 users, 100 groups: start-up %.0f ms; the window's thread's longest pause "
                "during the background check (target: under 50 ms)\n",
                accounts, double(startTimer.nsecsElapsed()) / 1e6);
    FindingsMarker *marker = f.findingsMarker();
    auto report = [&](const char *what, const Pause &p) {
        pauses.push_back(p.longestMs);
        const FindingsMarker::Timings &t = p.parts;
        char ratio[64] = "";
        if (baselineMs > 0)
            std::snprintf(ratio, sizeof ratio, "; %.1fx the baseline keystroke", p.longestMs / baselineMs);
        std::printf("  %-30s longest pause %6.1f ms (%s 50 ms%s); %s\n"
                    "  %-30s copy %.1f ms in %d slices (longest %.1f), check %.0f ms and marks %.0f ms (its "
                    "thread), marking %.1f ms in %d slices (longest %.1f, layout %.1f)\n",
                    what, p.longestMs, p.longestMs < 50 ? "under" : "OVER", ratio, qPrintable(marker->summary()), "",
                    t.copyMs, t.copySlices, t.copySliceMs, t.checkMs, t.marksMs, t.markMs, t.markSlices,
                    t.markSliceMs, t.layoutMs);
    };
    // The check the load scheduled, when its timer fires (scheduled again: no change).
    report("first check after the load", pauseOf(marker, []() {}));
    const int n = f.nodeIncoming->childCount();
    auto pop = [&f](int i) { return static_cast<NavNode *>(f.nodeIncoming->child(i))->pop(); };
    // One account's default group set again to what it was: the check runs, no mark changes.
    report("after a single edit", pauseOf(marker, [&]() {
               pop(n / 2)->DefaultGroup = QByteArray(pop(n / 2)->DefaultGroup);
           }));
    // Every account's default group names no group: a finding and a mark on each.
    report("a finding on every account", pauseOf(marker, [&]() {
               for (int i = 0; i < n; ++i)
                   pop(i)->DefaultGroup = "nowhere";
           }));
    report("those findings gone again", pauseOf(marker, [&]() {
               for (int i = 0; i < n; ++i)
                   pop(i)->DefaultGroup = pop(i)->Newsgroups.isEmpty() ? QByteArray() : pop(i)->Newsgroups.at(0);
           }));
    // The same with the accounts' branch open: the root's count, when its width changes,
    // lays out every row shown.
    f.nodeIncoming->setExpanded(true);
    QApplication::processEvents();
    report("on all, the branch open", pauseOf(marker, [&]() {
               for (int i = 0; i < n; ++i)
                   pop(i)->DefaultGroup = "nowhere";
           }));
    report("gone again, the branch open", pauseOf(marker, [&]() {
               for (int i = 0; i < n; ++i)
                   pop(i)->DefaultGroup = pop(i)->Newsgroups.isEmpty() ? QByteArray() : pop(i)->Newsgroups.at(0);
           }));
    return pauses;
}

// The pause at `accounts` and at half as many: it should not grow with the size.
void accountsPauses(int accounts, double baselineMs)
{
    const std::vector<double> half = accountsPause(accounts / 2, baselineMs);
    const std::vector<double> full = accountsPause(accounts, baselineMs);
    if (half.size() != full.size() || half.empty())
        return;
    std::printf("  longest pause, %d against %d accounts:", accounts, accounts / 2);
    for (size_t i = 0; i < full.size(); ++i)
        std::printf(" %.2fx", full[i] / std::max(half[i], 0.001));
    std::printf(" (first check, single edit, findings on all, gone; on all, gone with the branch open)\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // --accounts N: the background check's pause on N and N/2 accounts alone (100,000 by
    // default, after the rest).
    const qsizetype accountsAt = app.arguments().indexOf(QStringLiteral("--accounts"));
    const int manyAccounts = accountsAt > 0 && accountsAt + 1 < app.arguments().size()
                                 ? app.arguments().at(accountsAt + 1).toInt()
                                 : 100000;
    if (accountsAt > 0) {
        accountsPauses(manyAccounts, 0);
        return 0;
    }
    const int runs = qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 3;
    const int users = 20000, groups = 20000, pops = 500;

    const QByteArray config = makeConfig(users, groups, pops);
    Editor editor(config);
    QElapsedTimer startTimer;
    startTimer.start();
    if (!editor.start())
        return 1;
    const double startMs = elapsedMs(startTimer);
    TMainForm &f = *editor.form;
    f.show();
    QApplication::processEvents();
    FindingsMarker *marker = f.findingsMarker();

    std::printf("%d users, %d groups, %d accounts; start-up %.1f ms\n\n", users, groups, pops, startMs);

    // The baseline: a keystroke in a group's description, the Users branch open.
    auto *group = static_cast<NavNode *>(f.nodeGroups->child(5));
    f.tvNav->setCurrentItem(group);
    QApplication::processEvents();
    f.editGroupDesc->setFocus();
    std::vector<double> base;
    for (int i = 0; i < 20; ++i)
        base.push_back(keystroke(f.editGroupDesc, Qt::Key_unknown, char('a' + i % 26)));
    const Stats baseline = stats(base);
    waitForMarks(marker);
    for (QElapsedTimer pause; !pause.isValid() || pause.elapsed() < FindingsMarker::DelayMs + 50;) {
        if (!pause.isValid())
            pause.start();
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    waitForMarks(marker);
    BenchUtil::row("baseline: keystroke in a group's description (median)", baseline.median, baseline.median);

    // The tree's filter: 20 keystrokes a run.
    f.editTreeFilter->setFocus();
    std::vector<double> all;
    double worstOfRun = 0, bestWorst = 1e9;
    for (int r = 0; r < runs; ++r) {
        const std::vector<double> t = typeSequence(f.editTreeFilter);
        all.insert(all.end(), t.begin(), t.end());
        const double worst = *std::max_element(t.begin(), t.end());
        worstOfRun = std::max(worstOfRun, worst);
        bestWorst = std::min(bestWorst, worst);
    }
    const Stats tree = stats(all);
    char line[160];
    std::snprintf(line, sizeof line, "tree filter keystroke, median of %d runs of 20", runs);
    BenchUtil::row(line, tree.median, baseline.median);
    BenchUtil::row("tree filter keystroke, worst of 20 (best run)", bestWorst, baseline.median);
    BenchUtil::row("tree filter keystroke, worst of 20 (worst run)", worstOfRun, baseline.median);
    // The first keystroke hides 20,500 nodes; typing "user7" then hides most users.
    f.editTreeFilter->clear();
    QApplication::processEvents();

    // The background check and the marks. First, marks on a tree that has none.
    {
        Editor fresh(config);
        fresh.start();
        fresh.form->show();
        QApplication::processEvents();
        FindingsMarker *m = fresh.form->findingsMarker();
        QElapsedTimer t;
        t.start();
        m->runNow();
        waitForMarks(m);
        const double total = elapsedMs(t);
        const FindingsMarker::Timings tm = m->lastTimings();
        std::printf("\nbackground check, %d findings (%s)\n", int(m->findings().size()),
                    qPrintable(m->summary()));
        BenchUtil::row("  first marking: copy (window's thread)", tm.copyMs, baseline.median);
        BenchUtil::row("  first marking: check (its own thread)", tm.checkMs, baseline.median);
        BenchUtil::row("  first marking: marking (window's thread)", tm.markMs, baseline.median);
        BenchUtil::row("  first marking: from start to marks on the tree", total, baseline.median);
        t.restart();
        m->runNow();
        waitForMarks(m);
        const FindingsMarker::Timings again = m->lastTimings();
        BenchUtil::row("  nothing changed: copy (window's thread)", again.copyMs, baseline.median);
        BenchUtil::row("  nothing changed: from start to marks on the tree", elapsedMs(t), baseline.median);
    }
    std::vector<double> totals, copies, checks, marks;
    for (int r = 0; r < 5; ++r) {
        // A finding that comes and goes: a user renamed away from the groups that admit it.
        TUser *u = static_cast<NavNode *>(f.nodeUsers->child(r))->user();
        u->Name += 'x';
        QElapsedTimer t;
        t.start();
        marker->runNow();
        waitForMarks(marker);
        totals.push_back(elapsedMs(t));
        const FindingsMarker::Timings tm = marker->lastTimings();
        copies.push_back(tm.copyMs);
        checks.push_back(tm.checkMs);
        marks.push_back(tm.markMs);
        u->Name.chop(1);
    }
    BenchUtil::row("  after an edit: copy (window's thread)", stats(copies).median, baseline.median);
    BenchUtil::row("  after an edit: check (its own thread)", stats(checks).median, baseline.median);
    BenchUtil::row("  after an edit: marking (window's thread)", stats(marks).median, baseline.median);
    BenchUtil::row("  after an edit: from start to marks on the tree", stats(totals).median, baseline.median);

    // Typing in a field while the check runs in its thread.
    f.tvNav->setCurrentItem(group);
    QApplication::processEvents();
    f.editGroupDesc->setFocus();
    std::vector<double> during;
    int overlapped = 0;
    for (int r = 0; r < 10; ++r) {
        waitForMarks(marker);
        marker->runNow();
        for (int k = 0; k < 3 && marker->isRunning(); ++k) {
            ++overlapped;
            during.push_back(keystroke(f.editGroupDesc, Qt::Key_unknown, char('a' + k)));
        }
    }
    waitForMarks(marker);
    if (!during.empty()) {
        const Stats d = stats(during);
        std::snprintf(line, sizeof line, "  keystroke while the check runs (median of %d)", overlapped);
        BenchUtil::row(line, d.median, baseline.median);
        BenchUtil::row("  keystroke while the check runs (worst)", d.worst, baseline.median);
    }

    // A check list of 10,000 entries: the users of a group admitting them all.
    {
        Editor small(makeConfig(10000, 100, 1));
        small.start();
        TMainForm &s = *small.form;
        s.show();
        s.tvNav->setCurrentItem(s.nodeGroups->child(0));
        s.pctrlGroup->setCurrentIndex(1);
        QApplication::processEvents();
        QLineEdit *edit = s.filterUsers->editFilter;
        edit->setFocus();
        std::vector<double> list;
        for (int r = 0; r < runs; ++r) {
            const std::vector<double> t = typeSequence(edit);
            list.insert(list.end(), t.begin(), t.end());
        }
        const Stats l = stats(list);
        std::printf("\ncheck list of %d entries\n", s.chlstUsers->count());
        BenchUtil::row("  filter keystroke (median)", l.median, baseline.median);
        BenchUtil::row("  filter keystroke (worst)", l.worst, baseline.median);
        QElapsedTimer t;
        t.start();
        s.filterUsers->chkbCheckedOnly->click();
        QApplication::processEvents();
        BenchUtil::row("  \"Show checked only\" on, all entries checked", elapsedMs(t), baseline.median);
    }

    std::printf("\nstart-up, %d users + %d groups + %d accounts, median of 3\n", users, groups, pops);
    const double up = BenchUtil::medianMs(3, [&] {
        Editor e(config);
        e.start();
    });
    BenchUtil::row("  start-up (load, tree, pages)", up, baseline.median);

    accountsPauses(manyAccounts, baseline.median);
    return 0;
}
