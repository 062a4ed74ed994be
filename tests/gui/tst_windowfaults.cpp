// Faults of the editor window found by using it as an administrator does: a click in the
// tree while another branch closes, a click on a check list's text, numbers typed beyond a
// box's range or emptied boxes, and the dialogs' font.
#include "archive/TArchiveForm.h"
#include "support/gui/EditorFixture.h"
#include "support/gui/GuiTestUtil.h"
#include "widgets/RadioGroup.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QPlainTextEdit>

namespace {

QByteArray demoFile()
{
    return TestFiles::read(QStringLiteral(QUILMORA_SOURCE_DIR "/examples/demo/quilmora.ini"));
}

} // namespace

class TestWindowFaults : public QObject
{
    Q_OBJECT

private:
    EditorFixture m_fx;

    QTreeWidgetItem *node(const QString &path)
    {
        QTreeWidgetItem *n = m_fx.form->tvNav->findItems(path.section(QLatin1Char('/'), 0, 0), Qt::MatchExactly).value(0);
        if (n && path.contains(QLatin1Char('/')))
            n = EditorFixture::child(n, path.section(QLatin1Char('/'), 1));
        return n;
    }

    // Replaces what a box holds by typing, as a user does.
    void retype(QSpinBox *box, const QString &text)
    {
        QLineEdit *field = box->findChild<QLineEdit *>();
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
    }

private slots:
    void cleanup() { m_fx.form.reset(); }

    // A mouse click selects and shows exactly the clicked node, also when the branch that
    // closes stands above it and its rows move during the click.
    void treeClickSelectsClickedNode_data()
    {
        QTest::addColumn<QString>("open");  // selected first, so its branch stands open
        QTest::addColumn<QString>("click");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("below"); // where Down goes afterwards
        QTest::newRow("Log open, Incoming Accounts") << "Log" << "Incoming Accounts" << "tabsIncoming"
                                                    << "Incoming Accounts/sales/pop.harbour.example";
        QTest::newRow("Users open, Groups") << "Users" << "Groups" << "tabsGroups" << "Groups/sales";
        QTest::newRow("account open, a group") << "Incoming Accounts/support/pop.harbour.example" << "Groups/support"
                                               << "tabsGroupItem" << "Groups/orders";
        QTest::newRow("Log settings open, Advanced above") << "Log/Settings" << "Advanced" << "tabsAdvanced" << "Log";
    }
    void treeClickSelectsClickedNode()
    {
        QFETCH(QString, open);
        QFETCH(QString, click);
        QFETCH(QString, page);
        QFETCH(QString, below);
        TMainForm *f = m_fx.open(demoFile());
        QVERIFY(f);
        QVERIFY(m_fx.activate());
        m_fx.select(node(open));
        QTreeWidgetItem *target = node(click);
        QVERIFY(target);
        if (target->parent()) // an item is reached through its open list
            target->parent()->setExpanded(true);
        m_fx.click(target);
        QCOMPARE(f->tvNav->currentItem(), target);
        QCOMPARE(f->tvNav->selectedItems(), QList<QTreeWidgetItem *>{target});
        QCOMPARE(f->pctrlMain->currentWidget()->objectName(), page);
        QVERIFY(!f->isChanged());
        QTest::keyClick(f->tvNav, Qt::Key_Down);
        QCOMPARE(f->tvNav->currentItem(), node(below));
    }

    // A click on an entry's text, without ticking it, is an edit of the list: the item's
    // list is rebuilt from the ticks, so a name no longer in the tree goes.
    void checkListTextClickIsAnEdit()
    {
        TMainForm *f = m_fx.open(demoFile());
        QVERIFY(f);
        NavNode *account = EditorFixture::child(f->nodeIncoming, QStringLiteral("support/pop.harbour.example"));
        QVERIFY(account);
        account->pop()->Newsgroups = {"support", "gone"};
        m_fx.select(account);
        f->pctrlIncoming->setCurrentIndex(1);
        QListWidgetItem *entry = f->chlstGroups->findItems(QStringLiteral("orders"), Qt::MatchExactly).value(0);
        QVERIFY(entry);
        const QRect row = f->chlstGroups->visualItemRect(entry);
        QTest::mouseClick(f->chlstGroups->viewport(), Qt::LeftButton, {}, QPoint(row.right() - 10, row.center().y()));
        QCOMPARE(entry->checkState(), Qt::Unchecked);
        QVERIFY(f->isChanged());
        QCOMPARE(account->pop()->Newsgroups, QByteArrayList{"support"});
    }

    // A typed number beyond the range is clamped to the nearest bound, as loading does,
    // and stored so at once; the box shows the bound once it is left.
    void typedNumberIsClamped_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("port 70000") << "sedtPort" << "70000" << 65534;
        QTest::newRow("port 65535") << "sedtPort" << "65535" << 65534;
        QTest::newRow("port 65534") << "sedtPort" << "65534" << 65534;
        QTest::newRow("SMTP port, many digits") << "sedtSMTPPort" << "99999999999999999999" << 65534;
        QTest::newRow("log size") << "sedtLogSize" << "123456789" << 99999999;
        QTest::newRow("account port 70000") << "sedtPopPort" << "70000" << 65534;
    }
    void typedNumberIsClamped()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(int, stored);
        TMainForm *f = m_fx.open(demoFile());
        QVERIFY(f);
        QVERIFY(m_fx.activate());
        auto *spin = f->findChild<QSpinBox *>(box);
        QVERIFY(spin);
        NavNode *account = static_cast<NavNode *>(f->nodeIncoming->child(0));
        if (spin == f->sedtPopPort)
            m_fx.select(account);
        else if (spin == f->sedtLogSize)
            m_fx.select(f->nodeLogSettings);
        f->rgrpLogFile->setItemIndex(1);
        f->rgrpLogFileClick(f->rgrpLogFile);
        retype(spin, typed);
        QVERIFY(f->isChanged());
        if (spin == f->sedtPopPort) {
            QCOMPARE(account->pop()->Port, stored);
        } else {
            const ServerSettings s = f->serverSettingsFromPages();
            QCOMPARE(spin == f->sedtPort ? s.Port : spin == f->sedtSMTPPort ? s.SMTPPort : s.LogSize, stored);
        }
        f->tvNav->setFocus(); // leaving the box
        QTRY_COMPARE(spin->text(), QString::number(stored));
        QCOMPARE(spin->value(), stored);
    }

    // Emptying a box is an edit at once, not only on leaving it; the account's port keeps
    // its value while its box is empty.
    void emptiedBoxIsAnEditAtOnce()
    {
        TMainForm *f = m_fx.open(demoFile());
        QVERIFY(f);
        QVERIFY(m_fx.activate());
        retype(f->sedtSMTPPort, QString());
        QCOMPARE(f->sedtSMTPPort->text(), QString());
        QVERIFY(f->isChanged());
        QCOMPARE(f->serverSettingsFromPages().SMTPPort, 0);

        NavNode *account = static_cast<NavNode *>(f->nodeIncoming->child(2));
        m_fx.select(account);
        QCOMPARE(account->pop()->Port, 995);
        const QByteArray host = account->pop()->Host;
        retype(f->sedtPopPort, QString());
        QCOMPARE(account->pop()->Port, 995);
        QCOMPARE(account->pop()->Host, host);
        QCOMPARE(f->sedtPopPort->maximum(), 65534);
        // Left empty, the box shows the port the account kept; the other boxes show 0.
        f->tvNav->setFocus();
        QTRY_COMPARE(f->sedtPopPort->text(), QStringLiteral("995"));
        QCOMPARE(account->pop()->Port, 995);
        m_fx.select(f->nodeAdvanced);
        QCOMPARE(f->sedtSMTPPort->text(), QStringLiteral("0"));
    }

    // An auto-reply body of one very long line is shown in pieces, so the page opens at
    // once, and stored exactly as it was; a break typed inside a piece is a real one.
    void longBodyLineIsKeptExactly()
    {
        QString line;
        for (int i = 0; line.size() < 100000; ++i)
            line += (i % 7 == 0) ? QStringLiteral("\U0001F600") : QStringLiteral("word%1 ").arg(i);
        const QByteArray body = "first line\r\n" + line.toUtf8() + "\r\nlast";
        TMainForm *f = m_fx.open(demoFile());
        QVERIFY(f);
        auto *account = static_cast<NavNode *>(f->nodeIncoming->child(1));
        account->pop()->AutoReplyBody = body;
        m_fx.select(f->nodeGeneral);
        m_fx.select(account);
        QVERIFY(f->memoPopAutoReplyBody->blockCount() > 3); // the long line in pieces

        f->editPopHost->insert(QStringLiteral("x")); // an edit elsewhere stores the page
        QCOMPARE(account->pop()->AutoReplyBody, body);
        QVERIFY(f->actnSaveExecute());
        QVERIFY(TestFiles::read(m_fx.path(QStringLiteral("quilmora.ini"))).contains("AutoReplyBody=" + body.toHex().toUpper() + "\r\n"));

        // Enter typed in the middle of a piece, then at the start of one: each adds one
        // break there and changes nothing else.
        for (const int offset : {5, 0}) {
            QPlainTextEdit *memo = f->memoPopAutoReplyBody;
            const QByteArray before = account->pop()->AutoReplyBody;
            const QTextBlock piece = memo->document()->findBlockByNumber(4);
            QTextCursor cursor(piece);
            cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, offset);
            const QString head = piece.text().left(offset);
            const QString tail = piece.text().mid(offset, 20);
            memo->setTextCursor(cursor);
            QTest::keyClick(memo, Qt::Key_Return);
            QByteArray after = account->pop()->AutoReplyBody;
            QCOMPARE(after.size(), before.size() + 2);
            qsizetype d = 0;
            while (d < before.size() && before[d] == after[d])
                ++d;
            QCOMPARE(after.mid(d, 2), QByteArray("\r\n"));
            QVERIFY(after.left(d).endsWith(head.toUtf8()));
            QVERIFY(after.mid(d + 2).startsWith(tail.toUtf8()));
            QCOMPARE(after.remove(d, 2), before);
        }
    }

    // The dialogs wear the main window's font.
    void dialogsUseTheWindowFont()
    {
        TMainForm *f = m_fx.open(demoFile());
        QVERIFY(f);
        QCOMPARE(QApplication::font(), f->font());
        QFont seen;
        GuiTestUtil::onNextModal([&seen](QWidget *modal) {
            seen = modal->font();
            modal->close();
        });
        m_fx.select(EditorFixture::child(f->nodeGroups, QStringLiteral("sales")));
        QVERIFY(GuiTestUtil::trigger(f, "actnDelMsg"));
        QCOMPARE(seen.family(), f->font().family());
        QCOMPARE(seen.pixelSize(), f->font().pixelSize());
    }
};

QTEST_MAIN(TestWindowFaults)
#include "tst_windowfaults.moc"
