// The review window (what a save would change, as `diff` words it), File, Revert to Saved
// and File, Restore Backup.
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"
#include "config/ConfigDiff.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/TextCodec.h"
#include "main/NavTree.h"
#include "main/ReviewChangesDialog.h"
#include "main/TMainForm.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include <optional>

using GuiTestUtil::child;

namespace {

const QByteArray Pass1 = "00112233445566778899AABBCCDDEEFF";
const QByteArray Pass2 = "FFEEDDCCBBAA99887766554433221100";

const QByteArray kBase = "[SERVER]\r\nPort=119\r\nName=Office\r\nVersion=1.05\r\n"
                         "[USER1]\r\nName=ann\r\nPass=" + Pass1 + "\r\n"
                         "[USER2]\r\nName=bob\r\n"
                         "[GROUP1]\r\nName=sales\r\nUsers=ann\r\n"
                         "[GROUP2]\r\nName=support\r\nDescription=Help\r\n";

ConfigDocument document(const QByteArray &bytes)
{
    ConfigDocument doc;
    QString error;
    doc.loadFromStore(ConfigStore::fromBytes(bytes), TextCodec(), &error);
    return doc;
}

QStringList diffLines(const ConfigDocument &a, const ConfigDocument &b)
{
    const TextCodec codec;
    QStringList lines = QString::fromUtf8(ConfigDiff::text(ConfigDiff::compare(a, b, codec), codec))
                            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines;
}

void doubleClickRow(QListWidget *list, int row)
{
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

struct LocalEditor
{
    explicit LocalEditor(const QByteArray &file, const QByteArray &backup = {})
    {
        written = TestFiles::write(path(), file) &&
                  (backup.isNull() || TestFiles::write(path() + QStringLiteral(".bak"), backup));
        ctx.prompts = &prompts;
        ctx.programFolder = dir.path();
        ctx.localAddresses = [] { return QStringList(); };
        form = std::make_unique<TMainForm>(ctx);
    }
    QString path() const { return dir.filePath(QStringLiteral("quilmora.ini")); }

    QTemporaryDir dir;
    bool written = false;
    ScriptedPrompts prompts;
    MainFormContext ctx;
    std::unique_ptr<TMainForm> form;
};

struct FileState
{
    QByteArray bytes;
    QDateTime time;
    static FileState of(const QString &path) { return {TestFiles::read(path), QFileInfo(path).lastModified()}; }
    bool operator==(const FileState &) const = default;
};

// What the review dialog showed, after answering it with OK (or Cancel).
struct ReviewAnswer
{
    explicit ReviewAnswer(bool ok)
    {
        GuiTestUtil::onNextModal([this, ok](QWidget *w) {
            auto *dialog = qobject_cast<ReviewChangesDialog *>(w);
            if (!dialog)
                return;
            shown = dialog->lines();
            QTest::mouseClick(dialog->buttonBox->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel),
                              Qt::LeftButton);
        });
    }
    QStringList shown;
};

} // namespace

class TestReviewChanges : public QObject
{
    Q_OBJECT
private slots:
    void listsWhatDiffLists_data();
    void listsWhatDiffLists();
    void doubleClickChoosesTheItem();
    void reviewOfTheWindow();
    void reviewSelectsEachKindOfItem_data();
    void reviewSelectsEachKindOfItem();
    void revertWritesNothing();
    void restoreBackup_data();
    void restoreBackup();
    void restoreDisabledWithoutBackup();
    void restoreReviewsWhatTheWindowHolds();
    void restoreWhatItCannotSee_data();
    void restoreWhatItCannotSee();
};

void TestReviewChanges::listsWhatDiffLists_data()
{
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<QStringList>("expected"); // what the window shows

    QTest::newRow("same") << kBase << QStringList{QStringLiteral("No changes")};
    QByteArray b = kBase;
    QTest::newRow("server key") << b.replace("Port=119", "Port=120")
                                << QStringList{QStringLiteral("~ server.Port: 119 -> 120")};
    b = kBase;
    QTest::newRow("item removed and added")
        << b.replace("Name=bob", "Name=carol")
        << QStringList{QStringLiteral("- user:bob"), QStringLiteral("+ user:carol")};
    b = kBase;
    QTest::newRow("keys within an item")
        << b.replace("Description=Help", "Description=Helpdesk\r\nUsers=ann,bob")
        << QStringList{QStringLiteral("~ group:support.Description: \"Help\" -> \"Helpdesk\""),
                       QStringLiteral("~ group:support.Users: [] -> [\"ann\", \"bob\"]")};
    b = kBase;
    QTest::newRow("password") << b.replace(Pass1, Pass2) << QStringList{QStringLiteral("~ user:ann.Pass: (changed)")};
}

// The rows are the lines of `diff` for the same two files; a password shows only that it
// changed, never its bytes.
void TestReviewChanges::listsWhatDiffLists()
{
    QFETCH(QByteArray, other);
    QFETCH(QStringList, expected);
    const ConfigDocument from = document(kBase);
    const ConfigDocument to = document(other);
    ReviewChangesDialog dialog(from, to, TextCodec(), ReviewChangesDialog::Buttons::Close);
    QCOMPARE(dialog.lines(), expected);
    const QStringList diff = diffLines(from, to);
    QCOMPARE(diff.size(), expected == QStringList{QStringLiteral("No changes")} ? 0 : expected.size());
    for (qsizetype i = 0; i < diff.size(); ++i) {
        if (expected[i].endsWith(QStringLiteral("(changed)"))) {
            QVERIFY(diff[i].startsWith(expected[i].chopped(9)));
            QVERIFY(!dialog.lines()[i].contains(QString::fromLatin1(Pass2)));
        } else {
            QCOMPARE(dialog.lines()[i], diff[i]);
        }
    }
}

void TestReviewChanges::doubleClickChoosesTheItem()
{
    QByteArray other = kBase;
    other.replace("Port=119", "Port=120").replace("Description=Help", "Description=Helpdesk").replace("Name=bob", "Name=carol");
    ReviewChangesDialog dialog(document(kBase), document(other), TextCodec(), ReviewChangesDialog::Buttons::Close);
    QSignalSpy chosen(&dialog, &ReviewChangesDialog::itemChosen);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.lines(), (QStringList{QStringLiteral("~ server.Port: 119 -> 120"), QStringLiteral("- user:bob"),
                                          QStringLiteral("+ user:carol"),
                                          QStringLiteral("~ group:support.Description: \"Help\" -> \"Helpdesk\"")}));
    const QList<std::pair<ItemKeys::Kind, int>> want{
        {ItemKeys::Kind::Server, -1}, {ItemKeys::Kind::User, -1}, {ItemKeys::Kind::User, 1}, {ItemKeys::Kind::Group, 1}};
    for (int row = 0; row < want.size(); ++row) {
        doubleClickRow(dialog.lstChanges, row);
        QCOMPARE(chosen.size(), row + 1);
        QCOMPARE(chosen.last().at(0).value<ItemKeys::Kind>(), want[row].first);
        QCOMPARE(chosen.last().at(1).toInt(), want[row].second);
    }
}

// File, Review Changes (Ctrl+D): an edit shows up, and a double-click selects the item edited.
void TestReviewChanges::reviewOfTheWindow()
{
    LocalEditor e(kBase);
    QVERIFY(e.written);
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    e.form->show();
    auto *tree = child<NavTree>(e.form.get(), "tvNav");
    QTreeWidgetItem *support = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->text(0) == QStringLiteral("support"))
            support = *it;
    QVERIFY(support);
    tree->setCurrentItem(support);
    auto *description = child<QLineEdit>(e.form.get(), "editGroupDesc");
    description->setFocus();
    QTest::keyClick(description, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(description, QStringLiteral("Desk"));
    tree->setCurrentItem(tree->topLevelItem(0));

    QStringList shown;
    GuiTestUtil::onNextModal([&shown](QWidget *w) {
        auto *dialog = qobject_cast<ReviewChangesDialog *>(w);
        if (!dialog)
            return;
        shown = dialog->lines();
        doubleClickRow(dialog->lstChanges, 0);
        dialog->reject();
    });
    QCOMPARE(e.form->actnReview->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    QVERIFY(GuiTestUtil::trigger(e.form.get(), "actnReview"));
    QCOMPARE(shown, QStringList{QStringLiteral("~ group:support.Description: \"Help\" -> \"Desk\"")});
    QCOMPARE(tree->currentItem(), support);
}

void TestReviewChanges::reviewSelectsEachKindOfItem_data()
{
    QTest::addColumn<QString>("root");    // the tree's root of the item
    QTest::addColumn<QString>("caption"); // the item changed, not the first of its kind
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("line");
    QTest::newRow("user") << "Users" << "bob" << "editUserDesc" << "~ user:bob.Description: \"\" -> \"Desk\"";
    QTest::newRow("account") << "Incoming Accounts" << "info/b.example" << "editSafetyBox"
                             << "~ pop:info/b.example.SafetyBox: \"\" -> \"Desk\"";
}

// A double-click on a changed user or account selects that very node (not the first of its
// kind, not the root).
void TestReviewChanges::reviewSelectsEachKindOfItem()
{
    QFETCH(QString, root);
    QFETCH(QString, caption);
    QFETCH(QString, field);
    QFETCH(QString, line);
    LocalEditor e(kBase + "[POP1]\r\nHost=a.example\r\nUserID=info\r\n[POP2]\r\nHost=b.example\r\nUserID=info\r\n");
    QVERIFY(e.written);
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    e.form->show();
    auto *tree = child<NavTree>(e.form.get(), "tvNav");
    QTreeWidgetItem *item = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->text(0) == caption && (*it)->parent() && (*it)->parent()->text(0) == root)
            item = *it;
    QVERIFY(item);
    tree->setCurrentItem(item);
    auto *edit = e.form->findChild<QLineEdit *>(field);
    QVERIFY(edit);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("Desk"));
    tree->setCurrentItem(tree->topLevelItem(0));

    QStringList shown;
    GuiTestUtil::onNextModal([&shown](QWidget *w) {
        auto *dialog = qobject_cast<ReviewChangesDialog *>(w);
        if (!dialog)
            return;
        shown = dialog->lines();
        doubleClickRow(dialog->lstChanges, 0);
        dialog->reject();
    });
    QVERIFY(GuiTestUtil::trigger(e.form.get(), "actnReview"));
    QVERIFY2(shown.value(0) == line, qPrintable(shown.join('|')));
    QCOMPARE(tree->currentItem(), item);
}

void TestReviewChanges::revertWritesNothing()
{
    LocalEditor e(kBase);
    QVERIFY(e.written);
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    auto *name = child<QLineEdit>(e.form.get(), "editName");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(name, QStringLiteral("Harbour"));
    QVERIFY(e.form->isChanged());
    const FileState before = FileState::of(e.path());
    QTest::qWait(20);

    e.prompts.answers = {Prompts::Answer::No};
    QVERIFY(!e.form->actnRevertExecute());
    QCOMPARE(name->text(), QStringLiteral("Harbour"));
    QVERIFY(e.form->isChanged());

    e.prompts.answers = {Prompts::Answer::Yes};
    QVERIFY(e.form->actnRevertExecute());
    QCOMPARE(name->text(), QStringLiteral("Office"));
    QVERIFY(!e.form->isChanged());
    QCOMPARE(FileState::of(e.path()), before);
    QVERIFY(!QFileInfo::exists(e.path() + QStringLiteral(".bak")));
    // The reloaded items are there once, and a save writes the file as it was.
    QVERIFY(e.form->actnSaveExecute());
    QCOMPARE(TestFiles::read(e.path()), document(kBase).render());
}

void TestReviewChanges::restoreBackup_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

// The backup comes into the window as unsaved changes after its review; nothing is written
// until Save.
void TestReviewChanges::restoreBackup()
{
    QFETCH(bool, ok);
    QByteArray backup = kBase;
    backup.replace("Name=bob", "Name=carol").replace("Port=119", "Port=121");
    LocalEditor e(kBase, backup);
    QVERIFY(e.written);
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    const FileState file = FileState::of(e.path());
    const FileState bak = FileState::of(e.path() + QStringLiteral(".bak"));
    QTest::qWait(20);

    QStringList shown;
    GuiTestUtil::onNextModal([&shown, ok](QWidget *w) {
        auto *dialog = qobject_cast<ReviewChangesDialog *>(w);
        if (!dialog)
            return;
        shown = dialog->lines();
        QTest::mouseClick(dialog->buttonBox->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel),
                          Qt::LeftButton);
    });
    QCOMPARE(e.form->actnRestoreBackupExecute(), ok);
    QCOMPARE(shown, (QStringList{QStringLiteral("~ server.Port: 119 -> 121"), QStringLiteral("- user:bob"),
                                 QStringLiteral("+ user:carol")}));
    QCOMPARE(e.form->isChanged(), ok);
    QCOMPARE(child<QLineEdit>(e.form.get(), "editName")->text(), QStringLiteral("Office"));
    QCOMPARE(FileState::of(e.path()), file);
    QCOMPARE(FileState::of(e.path() + QStringLiteral(".bak")), bak);
    if (ok) {
        QVERIFY(e.form->actnSaveExecute());
        QCOMPARE(TestFiles::read(e.path()), document(backup).render());
    }
}

// Whether there is a backup is looked at whenever the File menu opens.
void TestReviewChanges::restoreDisabledWithoutBackup()
{
    LocalEditor e(kBase);
    QVERIFY(e.written);
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    auto *file = child<QMenu>(e.form.get(), "menuFile");
    emit file->aboutToShow();
    QVERIFY(!e.form->actnRestoreBackup->isEnabled());
    QVERIFY(e.form->actnReview->isEnabled());
    QVERIFY(e.form->actnRevert->isEnabled());
    QVERIFY(e.form->actnSaveExecute()); // the save keeps the previous file as the backup
    emit file->aboutToShow();
    QVERIFY(e.form->actnRestoreBackup->isEnabled());
}

// The review is of what the restore does to the window: an unsaved edit that the backup
// throws away is listed with the backup's own changes.
void TestReviewChanges::restoreReviewsWhatTheWindowHolds()
{
    QByteArray backup = kBase;
    backup.replace("Port=119", "Port=121");
    LocalEditor e(kBase, backup);
    QVERIFY(e.written);
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    e.form->show();
    auto *name = child<QLineEdit>(e.form.get(), "editName");
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Branch"));
    QVERIFY(e.form->isChanged());

    ReviewAnswer answer(true);
    QVERIFY(e.form->actnRestoreBackupExecute());
    QCOMPARE(answer.shown, (QStringList{QStringLiteral("~ server.Port: 119 -> 121"),
                                        QStringLiteral("~ server.Name: \"Branch\" -> \"Office\"")}));
    QCOMPARE(name->text(), QStringLiteral("Office"));
}

void TestReviewChanges::restoreWhatItCannotSee_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QList<Prompts::Answer>>("answers");
    QTest::addColumn<bool>("restored");
    QTest::addColumn<QStringList>("prompts"); // the start of each prompt shown, in order
    QTest::addColumn<QByteArray>("saved");    // a part of the file once saved; empty: not saved

    using A = Prompts::Answer;
    QTest::newRow("old format, linked files read")
        << "old format" << QList<A>{} << true << QStringList{}
        << QByteArray("AutoReplyBody=5468616E6B730D0A\r\n");
    QTest::newRow("old format, a named file missing")
        << "old format, reply missing" << QList<A>{} << true
        << QStringList{QStringLiteral("information: The backup names files that do not exist")}
        << QByteArray("KeyList=6B310D0A\r\n");
    QTest::newRow("configuration a link") << "link" << QList<A>{} << true << QStringList{}
                                          << QByteArray("Port=121\r\n");
    QTest::newRow("empty backup, No") << "empty" << QList<A>{A::No} << false
                                      << QStringList{QStringLiteral("yesNo: The backup ")} << QByteArray();
    QTest::newRow("empty backup, Yes") << "empty" << QList<A>{A::Yes} << true
                                       << QStringList{QStringLiteral("yesNo: The backup ")} << QByteArray("[SERVER]\r\n");
}

// Restore Backup reads an old-format backup's linked files inside the folder and names a
// missing one; finds the backup beside the target of a linked quilmora.ini; asks before an
// empty backup.
void TestReviewChanges::restoreWhatItCannotSee()
{
    QFETCH(QString, setup);
    QFETCH(QList<Prompts::Answer>, answers);
    QFETCH(bool, restored);
    QFETCH(QStringList, prompts);
    QFETCH(QByteArray, saved);
    QByteArray backup = kBase;
    backup.replace("Port=119", "Port=121");
    LocalEditor e(kBase);
    QVERIFY(e.written);
    const QString bak = e.path() + QStringLiteral(".bak");
    if (setup.startsWith(QLatin1String("old format"))) {
        QVERIFY(TestFiles::write(bak, "[SERVER]\r\nVersion=1.0\r\nName=Old\r\n"
                                      "[POP1]\r\nUserID=a\r\nAutoReplyFile=reply.txt\r\n"
                                      "[GROUP1]\r\nName=g\r\nKeyListFile=keys.txt\r\n"));
        QVERIFY(TestFiles::write(e.dir.filePath(QStringLiteral("keys.txt")), "k1\n"));
        if (setup == QLatin1String("old format"))
            QVERIFY(TestFiles::write(e.dir.filePath(QStringLiteral("reply.txt")), "Thanks\n"));
    } else if (setup == QLatin1String("link")) {
        QVERIFY(QDir(e.dir.path()).mkpath(QStringLiteral("real")));
        QVERIFY(QFile::rename(e.path(), e.dir.filePath(QStringLiteral("real/q.ini"))));
        QVERIFY(QFile::link(e.dir.filePath(QStringLiteral("real/q.ini")), e.path()));
        QVERIFY(TestFiles::write(e.dir.filePath(QStringLiteral("real/q.ini.bak")), backup));
        QVERIFY(TestFiles::write(bak, "[SERVER]\r\nName=Stale\r\n"));
    } else if (setup == QLatin1String("empty")) {
        QVERIFY(TestFiles::write(bak, ""));
    }
    QCOMPARE(e.form->start(false), TMainForm::StartResult::Run);
    e.prompts.answers = answers;
    e.prompts.shown.clear();

    // The review comes only after the question is answered Yes (a handler left waiting
    // would take the next test's window).
    std::optional<ReviewAnswer> answer;
    if (restored)
        answer.emplace(true);
    QCOMPARE(e.form->actnRestoreBackupExecute(), restored);
    QCOMPARE(e.prompts.shown.size(), prompts.size());
    for (int i = 0; i < prompts.size(); ++i)
        QVERIFY2(e.prompts.shown[i].startsWith(prompts[i]), qPrintable(e.prompts.shown[i]));
    if (setup == QLatin1String("link")) // the backup beside the target, not the stale one
        QCOMPARE(answer->shown, QStringList{QStringLiteral("~ server.Port: 119 -> 121")});
    if (restored) {
        QVERIFY(e.form->actnSaveExecute());
        QVERIFY2(TestFiles::read(e.path()).contains(saved), TestFiles::read(e.path()).constData());
        if (setup == QLatin1String("link")) {
            QVERIFY(QFileInfo(e.path()).isSymLink());
            QCOMPARE(TestFiles::read(bak), QByteArray("[SERVER]\r\nName=Stale\r\n"));
        }
    } else {
        QVERIFY(!QApplication::activeModalWidget()); // no review after No
        QVERIFY(!e.form->isChanged());
    }
}

QTEST_MAIN(TestReviewChanges)
#include "tst_reviewchanges.moc"
