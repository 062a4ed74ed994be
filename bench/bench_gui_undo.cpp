// Undo and redo in the main window with large configurations: a membership change on a
// group admitting 10,000 users, and Delete of one of 20,000 users, each undone and redone
// up to the repainted window; and the memory that 10,000 steps of field edits hold. The
// baselines are what the undo cannot do without: showing the same item's page by selecting
// it (the group's check list filled with its 10,000 users; the user's page), and a
// keystroke in a field (an edit stored into its item).
#include "BenchEditor.h"
#include "BenchUtil.h"

#include "config/ConfigStore.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUndoStack>
#include <cstdio>
#include <malloc.h>

namespace {

QByteArray userName(int i)
{
    return "user" + QByteArray::number((i * 7919) % 100000); // names not in sorted order
}

// `users` users, `groups` groups, the first group admitting every user.
QByteArray makeConfig(int users, int groups)
{
    ConfigWriter w;
    w.beginSection("SERVER");
    w.writeString("Version", "1.05");
    QByteArrayList names;
    for (int i = 0; i < users; ++i)
        names << userName(i);
    for (int i = 0; i < users; ++i) {
        w.beginSection("USER" + QByteArray::number(i + 1));
        w.writeString("Name", names.at(i));
        w.writeString("Description", "Desk " + QByteArray::number(i));
        w.writeBinary("Pass", QByteArray(16, char(i | 1)));
    }
    for (int i = 0; i < groups; ++i) {
        w.beginSection("GROUP" + QByteArray::number(i + 1));
        w.writeString("Name", "grp." + QByteArray::number(i));
        w.writeList("Users", i == 0 ? names : QByteArrayList{names.at(i % users)});
    }
    return w.bytes();
}

// Prompts that agree to everything (the Delete's "Are you sure?").
class YesPrompts : public SilentPrompts
{
public:
    bool yesNo(const QString &, const QString &) override { return true; }
};

struct Editor
{
    QTemporaryDir dir;
    std::unique_ptr<BenchEditorContext> context;
    YesPrompts prompts;
    std::unique_ptr<TMainForm> form;

    explicit Editor(const QByteArray &config)
    {
        QFile f(dir.filePath(QStringLiteral("quilmora.ini")));
        f.open(QIODevice::WriteOnly);
        f.write(config);
        f.close();
        context = std::make_unique<BenchEditorContext>(dir.path());
        context->context.prompts = &prompts;
        form = std::make_unique<TMainForm>(context->context);
        form->start(false);
        form->show();
        QApplication::processEvents();
    }
};

// A piece of work and everything it sets off, up to the repainted window.
double timed(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    QApplication::processEvents();
    return double(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void keystroke(QWidget *w, char ch)
{
    const QString text(QChar::fromLatin1(ch));
    QKeyEvent press(QEvent::KeyPress, int(QChar::fromLatin1(ch).toUpper().unicode()), Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, press.key(), Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 15;
    char line[160];

    // A membership change on a group admitting 10,000 users.
    {
        Editor e(makeConfig(10000, 100));
        TMainForm &f = *e.form;
        auto *group = static_cast<NavNode *>(f.nodeGroups->child(0));
        auto *other = static_cast<NavNode *>(f.nodeGroups->child(1));
        f.tvNav->setCurrentItem(group);
        f.pctrlGroup->setCurrentIndex(1);
        QApplication::processEvents();
        std::vector<double> show, undo, redo;
        malloc_trim(0);
        const long rssBefore = rssKiB();
        for (int r = 0; r < runs; ++r) {
            show.push_back(timed([&] { f.tvNav->setCurrentItem(other); }));
            show.back() += timed([&] { f.tvNav->setCurrentItem(group); });
            QListWidgetItem *entry = f.chlstUsers->item(r);
            entry->setCheckState(entry->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            QApplication::processEvents();
            undo.push_back(timed([&] { f.actnUndo->trigger(); }));
            redo.push_back(timed([&] { f.actnRedo->trigger(); }));
        }
        malloc_trim(0);
        const double perStep = double(rssKiB() - rssBefore) / 1024 / f.undoStack()->count();
        // Undo from another page: the group is selected and its page filled again.
        std::vector<double> away;
        for (int r = 0; r < runs; ++r) {
            f.tvNav->setCurrentItem(other);
            QApplication::processEvents();
            away.push_back(timed([&] { f.actnUndo->trigger(); }));
            f.tvNav->setCurrentItem(other);
            QApplication::processEvents();
            away.push_back(timed([&] { f.actnRedo->trigger(); }));
        }
        const double base = median(show) / 2;
        std::printf("membership change on a group admitting %d users, median of %d\n", f.chlstUsers->count(), runs);
        BenchUtil::row("  baseline: selecting the group (its page filled)", base, base);
        BenchUtil::row("  undo", median(undo), base);
        BenchUtil::row("  redo", median(redo), base);
        BenchUtil::row("  undo or redo with another item selected", median(away), base);
        std::snprintf(line, sizeof line, "  memory a step holds (the group's list after it): %.2f MiB", perStep);
        BenchUtil::print(QString::fromLatin1(line));
    }

    // Delete of one of 20,000 users.
    {
        Editor e(makeConfig(20000, 100));
        TMainForm &f = *e.form;
        f.tvNav->setCurrentItem(f.nodeUsers);
        QApplication::processEvents();
        std::vector<double> show, del, undo, redo;
        for (int r = 0; r < runs; ++r) {
            NavNode *user = static_cast<NavNode *>(f.nodeUsers->child(10000 + r));
            show.push_back(timed([&] { f.tvNav->setCurrentItem(user); }));
            del.push_back(timed([&] { f.actnDelete->trigger(); }));
            undo.push_back(timed([&] { f.actnUndo->trigger(); }));
            redo.push_back(timed([&] { f.actnRedo->trigger(); }));
            f.actnUndo->trigger();
            QApplication::processEvents();
            if (f.nodeUsers->child(10000 + r) != user)
                std::printf("  the user did not come back to its place\n");
        }
        const double base = median(show);
        std::printf("\nDelete of one of %d users, median of %d\n", f.nodeUsers->childCount(), runs);
        BenchUtil::row("  baseline: selecting a user (its page shown)", base, base);
        BenchUtil::row("  Delete (after the question)", median(del), base);
        BenchUtil::row("  undo", median(undo), base);
        BenchUtil::row("  redo", median(redo), base);
    }

    // Memory of 10,000 steps of field edits: one keystroke in a user's description, a
    // user after another, each a step of its own.
    {
        const int steps = 10000;
        Editor e(makeConfig(steps, 10));
        TMainForm &f = *e.form;
        f.tvNav->setCurrentItem(f.nodeUsers->child(0));
        QApplication::processEvents();
        f.editUserDesc->setFocus();
        malloc_trim(0);
        const long before = rssKiB();
        std::vector<double> keys;
        for (int i = 0; i < steps; ++i) {
            f.tvNav->setCurrentItem(f.nodeUsers->child(i));
            if (i % 500 == 0)
                keys.push_back(timed([&] { keystroke(f.editUserDesc, 'x'); }));
            else
                keystroke(f.editUserDesc, 'x');
        }
        QApplication::processEvents();
        malloc_trim(0);
        const long after = rssKiB();
        const int count = f.undoStack()->count();
        f.undoStack()->clear();
        malloc_trim(0);
        const long cleared = rssKiB();
        std::printf("\n%d steps of field edits (%d users)\n", count, steps);
        std::snprintf(line, sizeof line, "  RSS growth over the edits: %.1f MiB (%.0f bytes a step)",
                      double(after - before) / 1024, double(after - before) * 1024 / count);
        BenchUtil::print(QString::fromLatin1(line));
        std::snprintf(line, sizeof line, "  freed when the history is cleared: %.1f MiB", double(after - cleared) / 1024);
        BenchUtil::print(QString::fromLatin1(line));
        BenchUtil::row("  keystroke that makes a step (median)", median(keys), median(keys));
    }
    return 0;
}
