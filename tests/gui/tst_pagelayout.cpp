// Every page of the main window at the window's fixed size: each label, check box and
// button on it is shown whole (a wrapped note as high as its lines need) and lies inside
// the page's visible area. With QUILMORA_SCREENSHOT_DIR set, the pages as the README shows
// them are saved there.
#include "main/NavTree.h"
#include "support/gui/EditorFixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QTabWidget>
#include <QTest>

namespace {

// Why `w` does not show all it holds (empty when it does), inside the visible `area` (in
// the window's coordinates).
QString cut(QWidget *w, const QRect &area)
{
    const QRect r(w->mapTo(w->window(), QPoint()), w->size());
    if (!area.contains(r))
        return QStringLiteral("lies at %1,%2 %3x%4, outside %5,%6 %7x%8")
            .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
            .arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (label->text().isEmpty() || !label->pixmap().isNull())
            return {};
        if (label->wordWrap()) {
            const int needed = label->heightForWidth(label->width());
            return needed > label->height() ? QStringLiteral("wrapped text %1 high in %2").arg(needed).arg(label->height())
                                            : QString();
        }
        const int advance = label->fontMetrics().horizontalAdvance(label->text());
        return advance > label->contentsRect().width()
                   ? QStringLiteral("%1 wide in %2").arg(advance).arg(label->contentsRect().width())
                   : QString();
    }
    if (qobject_cast<QAbstractButton *>(w)) {
        if (w->sizeHint().width() > w->width() || w->minimumSizeHint().height() > w->height())
            return QStringLiteral("needs %1x%2 in %3x%4")
                .arg(w->sizeHint().width()).arg(w->minimumSizeHint().height()).arg(w->width()).arg(w->height());
    }
    return {};
}

} // namespace

class TestPageLayout : public QObject
{
    Q_OBJECT

    EditorFixture m_fx;

    // The demo's items: the first account, user and group.
    QTreeWidgetItem *pageNode(const QString &page)
    {
        TMainForm *f = m_fx.form.get();
        if (page == QLatin1String("general")) return f->nodeGeneral;
        if (page == QLatin1String("advanced")) return f->nodeAdvanced;
        if (page == QLatin1String("log")) return f->nodeLog;
        if (page == QLatin1String("log-settings")) return f->nodeLogSettings;
        if (page == QLatin1String("log-view")) return f->nodeLogView;
        if (page == QLatin1String("incoming")) return f->nodeIncoming;
        if (page == QLatin1String("users")) return f->nodeUsers;
        if (page == QLatin1String("groups")) return f->nodeGroups;
        if (page.startsWith(QLatin1String("incoming-account"))) return f->nodeIncoming->child(0);
        if (page == QLatin1String("user")) return f->nodeUsers->child(0);
        if (page.startsWith(QLatin1String("group"))) return f->nodeGroups->child(0);
        return nullptr;
    }

private slots:
    void cleanup() { m_fx.form.reset(); }

    void pageShowsEverythingWhole_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("tab");
        QTest::newRow("General") << "general" << 0;
        QTest::newRow("Advanced") << "advanced" << 0;
        QTest::newRow("Log") << "log" << 0;
        QTest::newRow("Log Settings") << "log-settings" << 0;
        QTest::newRow("Log View") << "log-view" << 0;
        QTest::newRow("Incoming Accounts") << "incoming" << 0;
        QTest::newRow("Users") << "users" << 0;
        QTest::newRow("Groups") << "groups" << 0;
        QTest::newRow("an account") << "incoming-account" << 0;
        QTest::newRow("an account's groups") << "incoming-account-groups" << 1;
        QTest::newRow("a user") << "user" << 0;
        QTest::newRow("a group") << "group" << 0;
        QTest::newRow("a group's users") << "group-users" << 1;
    }
    void pageShowsEverythingWhole()
    {
        QFETCH(QString, page);
        QFETCH(int, tab);
        TMainForm *f = m_fx.open(MainFormFixtureDemo());
        QVERIFY(f);
        QVERIFY(QTest::qWaitForWindowExposed(f));
        QTreeWidgetItem *node = pageNode(page);
        QVERIFY(node);
        f->tvNav->setCurrentItem(node);
        if (page.startsWith(QLatin1String("incoming-account")))
            f->pctrlIncoming->setCurrentIndex(tab);
        else if (page.startsWith(QLatin1String("group")) && page != QLatin1String("groups"))
            f->pctrlGroup->setCurrentIndex(tab);
        QWidget *shown = f->pctrlMain->currentWidget();
        QVERIFY(shown);
        QTest::qWait(0); // the layouts settle
        QCOMPARE(f->size(), QSize(TMainForm::ClientWidth, TMainForm::ClientHeight + f->menuBar()->sizeHint().height()));
        // What of the page lies inside the window's page area, the status bar excluded.
        const QRect area(shown->mapTo(f, QPoint()), shown->size());
        QVERIFY(QRect(QPoint(), f->size()).contains(area));
        QStringList faults;
        for (QWidget *w : shown->findChildren<QWidget *>()) {
            if (!w->isVisibleTo(f) || !(qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w)))
                continue;
            // A list's own rows scroll; only what stands on the page itself counts.
            if (qobject_cast<QAbstractScrollArea *>(w->parentWidget()) || w->parentWidget()->inherits("QAbstractItemView"))
                continue;
            if (const QString why = cut(w, area); !why.isEmpty())
                faults << w->metaObject()->className() + QStringLiteral(" \"")
                              + (qobject_cast<QLabel *>(w) ? qobject_cast<QLabel *>(w)->text().left(40)
                                 : qobject_cast<QAbstractButton *>(w) ? qobject_cast<QAbstractButton *>(w)->text()
                                                                      : w->objectName())
                              + QStringLiteral("\" ") + why;
        }
        if (const QString dir = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR");
            !dir.isEmpty() && !page.startsWith(QLatin1String("log")) && page != QLatin1String("incoming")
            && page != QLatin1String("users") && page != QLatin1String("groups"))
            QVERIFY(f->grab().save(dir + QLatin1Char('/') + page + QStringLiteral(".png")));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n"))));
    }

private:
    static QByteArray MainFormFixtureDemo()
    {
        return TestFiles::read(QStringLiteral(QUILMORA_SOURCE_DIR "/examples/demo/quilmora.ini"));
    }
};

QTEST_MAIN(TestPageLayout)
#include "tst_pagelayout.moc"
