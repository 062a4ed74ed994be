// The real message boxes and prompts stand over the window that asked: each is a child of
// the main window (or of the modal dialog open at the time), never a box without a parent
// that the window manager would centre on the screen and let fall behind the window.
#include "platform/gui/MessageBoxPrompts.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

namespace {

// What a box stood over, noted as it shows; the box is then answered as given.
struct Seen
{
    QWidget *parent = nullptr;
    QWindow *transientParent = nullptr;
    QString text;
};

// Notes what the next box stands over, then answers it Yes (else OK), or cancels a text
// prompt; `more` boxes after it likewise.
void answerNext(QList<Seen> *seen, int more = 0)
{
    GuiTestUtil::onNextModal([seen, more](QWidget *w) {
        Seen s;
        s.parent = w->parentWidget();
        s.transientParent = w->windowHandle() ? w->windowHandle()->transientParent() : nullptr;
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            s.text = box->text();
            seen->append(s);
            if (more > 0)
                answerNext(seen, more - 1);
            QAbstractButton *yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->button(QMessageBox::Ok))->click();
            return;
        }
        seen->append(s);
        if (more > 0)
            answerNext(seen, more - 1);
        if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->reject();
    });
}

// No window is active: as between one box closing and the window manager activating the
// window below it.
void deactivateAll()
{
    QApplication::setActiveWindow(nullptr);
}

} // namespace

class TestPromptOwner : public QObject
{
    Q_OBJECT

private slots:
    void everyKindStandsOverTheOwner_data();
    void everyKindStandsOverTheOwner();
    void modalDialogOpenTakesTheBox();
    void deleteWithDataAsksOverTheWindow();
};

void TestPromptOwner::everyKindStandsOverTheOwner_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"error", "information", "warning", "yesNo", "yesNoCancel", "okCancel",
                             "informationOkCancel", "text"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestPromptOwner::everyKindStandsOverTheOwner()
{
    QFETCH(QString, kind);
    QMainWindow owner;
    owner.resize(400, 300);
    MessageBoxPrompts prompts;
    prompts.setOwner(&owner);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    deactivateAll();
    QCOMPARE(QApplication::activeWindow(), nullptr);

    QList<Seen> seen;
    answerNext(&seen);
    const QString text = QStringLiteral("Your configuration is saved in the local copy");
    if (kind == QLatin1String("error"))
        prompts.error(text);
    else if (kind == QLatin1String("information"))
        prompts.information(text);
    else if (kind == QLatin1String("warning"))
        prompts.warning(text);
    else if (kind == QLatin1String("yesNo"))
        prompts.yesNo(text);
    else if (kind == QLatin1String("yesNoCancel"))
        prompts.yesNoCancel(text);
    else if (kind == QLatin1String("okCancel"))
        prompts.okCancel(text);
    else if (kind == QLatin1String("informationOkCancel"))
        prompts.informationOkCancel(text);
    else
        prompts.text(QStringLiteral("Password"), QStringLiteral("Password:"));
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().parent, &owner);
    QCOMPARE(seen.first().transientParent, owner.windowHandle());
}

// A box asked while a modal dialog is open stands over that dialog.
void TestPromptOwner::modalDialogOpenTakesTheBox()
{
    QMainWindow owner;
    MessageBoxPrompts prompts;
    prompts.setOwner(&owner);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QDialog dialog(&owner);
    QList<Seen> seen;
    GuiTestUtil::onNextModal([&](QWidget *w) {
        QCOMPARE(w, &dialog);
        answerNext(&seen);
        QCOMPARE(prompts.parentWindow(), &dialog);
        prompts.warning(QStringLiteral("over the dialog"));
        dialog.accept();
    });
    dialog.exec();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().parent, &dialog);
    QCOMPARE(seen.first().transientParent, dialog.windowHandle());
}

// Deleting a group with data asks twice ("Are you sure?", then about the data): both boxes
// stand over the main window, though no window is active when they are asked.
void TestPromptOwner::deleteWithDataAsksOverTheWindow()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath(QStringLiteral("quilmora.ini")),
                             "[SERVER]\r\nVersion=1.05\r\n[GROUP1]\r\nName=sales\r\n"));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("data/sales")));
    MessageBoxPrompts prompts;
    MainFormContext ctx;
    ctx.prompts = &prompts;
    ctx.programFolder = dir.path();
    ctx.localAddresses = [] { return QStringList(); };
    TMainForm form(ctx);
    prompts.setOwner(&form);
    QCOMPARE(form.start(false), TMainForm::StartResult::Run);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.tvNav->setCurrentItem(form.nodeGroups->child(0));
    deactivateAll();

    QList<Seen> seen;
    answerNext(&seen, 1);
    QVERIFY(GuiTestUtil::trigger(&form, "actnDelete"));
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.at(1).text, QStringLiteral("Do you want to delete the data associated with this group also"));
    for (const Seen &s : seen) {
        QCOMPARE(s.parent, &form);
        QCOMPARE(s.transientParent, form.windowHandle());
    }
    QCOMPARE(form.nodeGroups->childCount(), 0);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("data/sales"))));
}

QTEST_MAIN(TestPromptOwner)
#include "tst_promptowner.moc"
