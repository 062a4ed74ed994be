// The editor's connection tests: File, Test Connections... and the Test buttons test what
// the window holds (saved or not), one row an account; double-clicking a row selects its
// account; Cancel in the progress dialog ends a run; Send Test Message; no password in
// anything the window shows.
#include "config/ValueForms.h"
#include "main/ConnectionTestDialog.h"
#include "services/ConnectionTest.h"
#include "support/LoopbackMailServer.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/MainFormFixture.h"
#include "widgets/TransferProgressDialog.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

const QByteArray Password = "Gui-unique-Pw?5309";

quint16 closedPort()
{
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

QByteArray configuration(int smtpPort, int port1, int port2)
{
    const QByteArray pw = ValueForms::encodeBinary(Password);
    return "[SERVER]\r\nName=Office\r\nVersion=1.05\r\nSMTPHost=127.0.0.1\r\nSMTPPort=" + QByteArray::number(smtpPort)
           + "\r\nSMTPUserID=mailer\r\nSMTPUserPass=" + pw + "\r\nAdminEmail=admin@site.example\r\n"
           + "[POP1]\r\nHost=127.0.0.1\r\nPort=" + QByteArray::number(port1) + "\r\nUserID=ann\r\nPassword=" + pw
           + "\r\n[POP2]\r\nHost=127.0.0.1\r\nPort=" + QByteArray::number(port2) + "\r\nUserID=bob\r\nPassword=" + pw
           + "\r\n";
}

// Every text the results window shows, the steps of every row included.
QString everythingShown(ConnectionTestDialog *d)
{
    QString text = d->lablSummary->text();
    for (int i = 0; i < d->tvResults->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = d->tvResults->topLevelItem(i);
        for (int c = 0; c < d->tvResults->columnCount(); ++c)
            text += row->text(c) + row->toolTip(c);
        d->tvResults->setCurrentItem(row);
        text += d->memoSteps->toPlainText();
    }
    return text;
}

void doubleClickRow(QTreeWidget *tree, int row)
{
    const QRect rect = tree->visualItemRect(tree->topLevelItem(row));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
}

void click(QPushButton *button)
{
    QVERIFY(button->isVisible() && button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

} // namespace

class TestConnectionTests : public QObject, public MainFormFixture
{
    Q_OBJECT

private slots:
    void menuEntry()
    {
        TMainForm *f = open(configuration(1, 1, 1));
        QVERIFY(f);
        QMenu *file = f->menuBar()->findChild<QMenu *>(QStringLiteral("menuFile"));
        const QList<QAction *> entries = file->actions();
        const qsizetype at = entries.indexOf(f->actnCheck);
        QVERIFY(at >= 0);
        QCOMPARE(entries.value(at + 1), f->actnTestConnections);
        QCOMPARE(f->actnTestConnections->text(), QStringLiteral("Test Connections..."));
    }

    // Every account and the outgoing server; an unsaved edit counts.
    void testConnections()
    {
        LoopbackMailServer good(LoopbackMailServer::pop3(), 1, 5000);
        LoopbackMailServer refusing(LoopbackMailServer::pop3().on("PASS", {"-ERR no %ARG%\r\n"}), 1, 5000);
        TMainForm *f = open(configuration(closedPort(), closedPort(), refusing.port()));
        QVERIFY(f);
        f->connectionTestOptions->stepTimeoutMs = 2000;
        f->connectionTestOptions->testTimeoutMs = 3000;
        // The first account's port as typed, not saved.
        select(f->nodeIncoming->child(0));
        retype(f->sedtPopPort, QString::number(good.port()));
        QTest::keyClick(f->sedtPopPort, Qt::Key_Tab);
        QVERIFY(f->isChanged());

        QVERIFY(GuiTestUtil::trigger(f, "actnTestConnections"));
        ConnectionTestDialog *d = f->connectionTests;
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->tvResults->topLevelItemCount(), 3);
        QTRY_COMPARE(d->waiting(), 0);
        QCOMPARE(d->tvResults->topLevelItem(0)->text(0), QStringLiteral("ann/127.0.0.1"));
        QCOMPARE(d->tvResults->topLevelItem(0)->text(1), QStringLiteral("works"));
        QCOMPARE(d->tvResults->topLevelItem(1)->text(1), QStringLiteral("login refused"));
        QCOMPARE(d->tvResults->topLevelItem(1)->text(3), QStringLiteral("PASS"));
        QCOMPARE(d->tvResults->topLevelItem(2)->text(0), QStringLiteral("Outgoing mail server"));
        QCOMPARE(d->tvResults->topLevelItem(2)->text(1), QStringLiteral("unreachable"));
        QCOMPARE(d->tvResults->topLevelItem(2)->text(3), QStringLiteral("connect"));
        QCOMPARE(d->lablSummary->text(), QStringLiteral("3 of 3 tested: 1 working, 2 not working"));
        const QString shown = everythingShown(d);
        QVERIFY(shown.contains(QLatin1String("-ERR no ****")));
        QVERIFY(!shown.contains(QString::fromLatin1(Password)));
        QVERIFY(!shown.contains(QString::fromLatin1(Password.toBase64())));
        QVERIFY(f->isChanged()); // nothing was saved

        // A double click selects the row's account, or the General page for the server.
        doubleClickRow(d->tvResults, 1);
        QCOMPARE(f->tvNav->currentItem(), f->nodeIncoming->child(1));
        doubleClickRow(d->tvResults, 2);
        QCOMPARE(f->tvNav->currentItem(), static_cast<QTreeWidgetItem *>(f->nodeGeneral));
    }

    // The Test buttons test one thing each.
    void testButtons()
    {
        LoopbackMailServer pop(LoopbackMailServer::pop3(), 1, 5000);
        LoopbackMailServer smtp(LoopbackMailServer::smtp(), 1, 5000);
        TMainForm *f = open(configuration(smtp.port(), closedPort(), pop.port()));
        QVERIFY(f);
        select(f->nodeIncoming->child(1));
        click(f->butnTestPop);
        ConnectionTestDialog *d = f->connectionTests;
        QVERIFY(d);
        QTRY_COMPARE(d->waiting(), 0);
        QCOMPARE(d->tvResults->topLevelItemCount(), 1);
        QCOMPARE(d->tvResults->topLevelItem(0)->text(0), QStringLiteral("bob/127.0.0.1"));
        QCOMPARE(d->tvResults->topLevelItem(0)->text(1), QStringLiteral("works"));

        select(f->nodeGeneral);
        click(f->butnTestSMTP);
        QTRY_COMPARE(d->waiting(), 0);
        QCOMPARE(d->tvResults->topLevelItemCount(), 1);
        QCOMPARE(d->tvResults->topLevelItem(0)->text(1), QStringLiteral("works"));
        QVERIFY(d->memoSteps->toPlainText().contains(QLatin1String("AUTH LOGIN")));
        QVERIFY(!everythingShown(d).contains(QString::fromLatin1(Password)));
        QVERIFY(smtp.wait());
        QVERIFY(smtp.received(0).contains(Password.toBase64()));
    }

    // Cancel in the progress dialog ends the run; the rows say so.
    void cancel()
    {
        LoopbackMailServer::Behaviour silent = LoopbackMailServer::pop3();
        silent.silent = true;
        LoopbackMailServer pop(silent, 2, 10000);
        TMainForm *f = open(configuration(closedPort(), pop.port(), pop.port()));
        QVERIFY(f);
        f->connectionTestOptions->stepTimeoutMs = 30000;
        f->connectionTestOptions->testTimeoutMs = 30000;
        bool cancelled = false;
        // Runs inside the run's own event loop, once the progress dialog has come up.
        auto *poll = new QTimer(f);
        poll->setInterval(20);
        connect(poll, &QTimer::timeout, f, [&cancelled, poll, f] {
            for (auto *p : f->findChildren<TransferProgressDialog *>()) {
                if (p->isVisible()) {
                    poll->stop();
                    QTest::mouseClick(p->butnCancel, Qt::LeftButton, {}, p->butnCancel->rect().center());
                    cancelled = true;
                }
            }
        });
        poll->start();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(GuiTestUtil::trigger(f, "actnTestConnections"));
        QVERIFY(cancelled);
        QVERIFY(clock.elapsed() < 10000);
        ConnectionTestDialog *d = f->connectionTests;
        QTRY_COMPARE(d->waiting(), 0);
        QCOMPARE(d->tvResults->topLevelItem(0)->text(1), QStringLiteral("cancelled"));
        QCOMPARE(d->tvResults->topLevelItem(1)->text(1), QStringLiteral("cancelled"));
    }

    void sendTestMessage()
    {
        LoopbackMailServer smtp(LoopbackMailServer::smtp(), 2, 5000); // the test, then the mail
        TMainForm *f = open(configuration(smtp.port(), 1, 1));
        QVERIFY(f);
        QVERIFY(GuiTestUtil::trigger(f, "actnTestConnections"));
        ConnectionTestDialog *d = f->connectionTests;
        QTRY_COMPARE(d->waiting(), 0);
        click(d->butnSendTestMessage);
        QTRY_COMPARE(m_prompts.shown.size(), 1);
        QCOMPARE(m_prompts.shown.first(), QStringLiteral("information: A test message was sent to admin@site.example."));
        QVERIFY(smtp.wait());
        QVERIFY(smtp.received(1).contains("\r\nSubject: Quilmora test message"));
    }
};

QTEST_MAIN(TestConnectionTests)
#include "tst_connectiontests.moc"
