// The four Change buttons of the password fields: the two prompts, the mismatch message,
// digests for the administrator and users, plain text for the SMTP and mailbox logins.
#include "config/PasswordDigest.h"
#include "widgets/MaskedBytesEdit.h"
#include "platform/gui/MessageBoxPrompts.h"
#include "support/gui/EditorFixture.h"
#include "support/gui/GuiTestUtil.h"

#include <QCryptographicHash>
#include <QDialog>
#include <QPainter>
#include <QPushButton>
#include <QTest>

namespace {

const QByteArray Config = "[SERVER]\r\n"
                          "SMTPUserPass=6F6C64\r\n"
                          "AdminPass=00112233445566778899AABBCCDDEEFF\r\n"
                          "[POP1]\r\nHost=pop.example\r\nUserID=info\r\nPassword=6F6C64\r\n"
                          "[USER1]\r\nName=maria\r\nPass=000102030405060708090A0B0C0D0E0F\r\n";

// A password whose digest holds a zero byte.
QString passwordWithZeroInDigest()
{
    for (int i = 0;; ++i) {
        const QString candidate = QStringLiteral("pw%1").arg(i);
        if (PasswordDigest(candidate.toLatin1()).contains('\0'))
            return candidate;
    }
}

} // namespace

class TestPasswords : public QObject
{
    Q_OBJECT

private:
    EditorFixture m_fx;

    // Selects the node whose page holds the button and gives the button and its field.
    void pageOf(const QString &button, QPushButton **butn, MaskedBytesEdit **field)
    {
        TMainForm *f = m_fx.form.get();
        if (button == QLatin1String("butnChangeAdminPass")) {
            m_fx.select(f->nodeGeneral);
            *butn = f->butnChangeAdminPass;
            *field = f->editAdminPass;
        } else if (button == QLatin1String("butnChangeSMTPPass")) {
            m_fx.select(f->nodeAdvanced);
            *butn = f->butnChangeSMTPPass;
            *field = f->editSMTPUserPass;
        } else if (button == QLatin1String("butnChangeIncomingPass")) {
            m_fx.select(f->nodeIncoming->child(0));
            *butn = f->butnChangeIncomingPass;
            *field = f->editPopPass;
        } else {
            m_fx.select(f->nodeUsers->child(0));
            *butn = f->butnChangeUserPass;
            *field = f->editUserPass;
        }
    }

private slots:
    void cleanup() { m_fx.form.reset(); }

    void change_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QList<std::optional<QString>>>("typed"); // the answers to the prompts
        QTest::addColumn<QByteArray>("expected");                 // empty: unchanged
        QTest::addColumn<QStringList>("shown");

        const QString enter = QStringLiteral("text: Enter Password / Password");
        const QString confirm = QStringLiteral("text: Confirm Password / Password");
        const QString mismatch = QStringLiteral("error: Passwords do not match! New password not set");
        using Typed = QList<std::optional<QString>>;
        const QByteArray digest = PasswordDigest("n3w Secret");

        QTest::newRow("user: digest") << "butnChangeUserPass" << Typed{"n3w Secret", "n3w Secret"} << digest
                                      << QStringList{enter, confirm};
        QTest::newRow("admin: digest") << "butnChangeAdminPass" << Typed{"n3w Secret", "n3w Secret"} << digest
                                       << QStringList{enter, confirm};
        QTest::newRow("SMTP: plain text") << "butnChangeSMTPPass" << Typed{"n3w Secret", "n3w Secret"}
                                          << QByteArray("n3w Secret") << QStringList{enter, confirm};
        QTest::newRow("mailbox: plain text") << "butnChangeIncomingPass" << Typed{"n3w Secret", "n3w Secret"}
                                             << QByteArray("n3w Secret") << QStringList{enter, confirm};
        QTest::newRow("empty first entry, silently") << "butnChangeUserPass" << Typed{""} << QByteArray()
                                                     << QStringList{enter};
        QTest::newRow("case-only mismatch") << "butnChangeUserPass" << Typed{"Secret", "secret"} << QByteArray()
                                            << QStringList{enter, confirm, mismatch};
        QTest::newRow("cancel first") << "butnChangeUserPass" << Typed{std::nullopt} << QByteArray()
                                      << QStringList{enter};
        QTest::newRow("cancel second") << "butnChangeSMTPPass" << Typed{"Secret", std::nullopt} << QByteArray()
                                       << QStringList{enter, confirm};
        QTest::newRow("same password again is no edit") << "butnChangeSMTPPass" << Typed{"old", "old"} << QByteArray()
                                                        << QStringList{enter, confirm};
    }
    void change()
    {
        QFETCH(QString, button);
        QFETCH(QList<std::optional<QString>>, typed);
        QFETCH(QByteArray, expected);
        QFETCH(QStringList, shown);
        TMainForm *f = m_fx.open(Config);
        QVERIFY(f);
        QPushButton *butn = nullptr;
        MaskedBytesEdit *field = nullptr;
        pageOf(button, &butn, &field);
        const QByteArray before = field->bytes();
        m_fx.prompts.texts = typed;
        QTest::mouseClick(butn, Qt::LeftButton);

        QCOMPARE(m_fx.prompts.shown, shown);
        const QByteArray now = expected.isEmpty() ? before : expected;
        QCOMPARE(field->bytes(), now);
        QCOMPARE(field->text(), QString(now.size(), QLatin1Char('*')));
        QCOMPARE(f->isChanged(), !expected.isEmpty());
        // On an item page the content is stored into the item at once.
        const auto *node = static_cast<NavNode *>(f->tvNav->currentItem());
        if (node->user())
            QCOMPARE(node->user()->Pass, now);
        if (node->pop())
            QCOMPARE(node->pop()->Password, now);
    }

    // A digest with a zero byte keeps all 16 bytes through the field, the item and the file.
    void digestWithZeroByteSurvives()
    {
        TMainForm *f = m_fx.open(Config);
        QVERIFY(f);
        const QString password = passwordWithZeroInDigest();
        const QByteArray digest = PasswordDigest(password.toLatin1());
        QCOMPARE(digest.size(), 16);
        m_fx.select(f->nodeUsers->child(0));
        m_fx.prompts.texts = {password, password};
        QTest::mouseClick(f->butnChangeUserPass, Qt::LeftButton);
        QCOMPARE(f->editUserPass->bytes(), digest);
        QCOMPARE(static_cast<NavNode *>(f->nodeUsers->child(0))->user()->Pass, digest);
        QVERIFY(f->actnSaveExecute());
        const QByteArray file = TestFiles::read(m_fx.path(QStringLiteral("quilmora.ini")));
        QVERIFY2(file.contains("Pass=" + digest.toHex().toUpper() + "\r\n"), file.constData());

        TMainForm *again = m_fx.open(file);
        QVERIFY(again);
        m_fx.select(again->nodeUsers->child(0));
        QCOMPARE(again->editUserPass->bytes(), digest);
    }

    // The prompt as the real message boxes show it, over the user page, for the README.
    void screenshot()
    {
        const QString dir = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("QUILMORA_SCREENSHOT_DIR names no folder");
        MessageBoxPrompts real;
        TMainForm *f = m_fx.open(Config);
        QVERIFY(f);
        MainFormContext ctx;
        ctx.prompts = &real;
        ctx.programFolder = m_fx.folder();
        ctx.localAddresses = [] { return QStringList(); };
        TMainForm form(ctx);
        QCOMPARE(form.start(false), TMainForm::StartResult::Run);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.tvNav->setCurrentItem(form.nodeUsers->child(0));
        bool shot = false;
        GuiTestUtil::onNextModal([&](QWidget *modal) {
            QTest::keyClicks(modal->focusWidget(), QStringLiteral("n3w secret"));
            // The dialog centred over the window under a plain title bar with its caption, as
            // a window manager would frame it.
            const QPixmap dialog = modal->grab();
            const int bar = 22;
            QPixmap picture = form.grab();
            QPainter p(&picture);
            const QPoint at((picture.width() - dialog.width()) / 2, (picture.height() - dialog.height() - bar) / 2);
            p.fillRect(QRect(at - QPoint(1, 1), QSize(dialog.width() + 2, dialog.height() + bar + 2)), QColor(90, 90, 90));
            p.fillRect(QRect(at, QSize(dialog.width(), bar)), QColor(60, 90, 140));
            p.setPen(Qt::white);
            p.setFont(form.font());
            p.drawText(QRect(at + QPoint(8, 0), QSize(dialog.width() - 8, bar)), Qt::AlignVCenter, modal->windowTitle());
            p.drawPixmap(at + QPoint(0, bar), dialog);
            p.end();
            shot = picture.save(dir + QStringLiteral("/password-prompt.png"));
            static_cast<QDialog *>(modal)->reject();
        });
        QTest::mouseClick(form.butnChangeUserPass, Qt::LeftButton);
        QVERIFY(shot);
    }
};

QTEST_MAIN(TestPasswords)
#include "tst_passwords.moc"
