// Undo and redo: every kind of edit is one step that undo takes back to the exact bytes a
// save wrote before it and redo brings back to the bytes after it; the changed flag and
// the title's mark follow the saved state; Delete undone puts the item back where it was;
// typing in a field is one step; a load starts the history afresh.
#include "support/gui/EditorFixture.h"
#include "support/gui/GuiTestUtil.h"

#include "main/ReviewChangesDialog.h"
#include "main/TreeFilter.h"
#include "widgets/RadioGroup.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QUndoStack>

namespace {

// The user "front desk" has a description whose bytes are not text in the window's
// character set (UTF-8): it shows as a replacement character, and only the original bytes
// are right in the file. The server's name is the same.
const QByteArray kConfig = "[SERVER]\r\nPort=119\r\nName=Caf\xE9 Office\r\nVersion=1.05\r\nLog=0\r\n"
                           "[POP1]\r\nHost=pop.example\r\nPort=110\r\nUserID=box\r\nNewsgroups=sales\r\n"
                           "DefaultGroup=sales\r\n"
                           "[USER1]\r\nName=front desk\r\nDescription=Caf\xE9 desk\r\n"
                           "Pass=B506E098CF253CE028B8BA0A5FC7D473\r\n"
                           "[USER2]\r\nName=bob\r\nDescription=Bob\r\n"
                           "[USER3]\r\nName=carol\r\n"
                           "[GROUP1]\r\nName=sales\r\nDescription=Sales \xE9\r\nUsers=front desk\r\nReadOnly=N\r\n"
                           "[GROUP2]\r\nName=support\r\n";

enum class Edit { Text, CheckBox, SpinBox, RadioGroup, Membership, DefaultGroup, Add, Delete, Password };

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestUndo : public QObject
{
    Q_OBJECT

    EditorFixture m_fx;

    TMainForm *open(const QByteArray &file = kConfig)
    {
        TMainForm *f = m_fx.open(file);
        if (f)
            m_fx.activate();
        return f;
    }
    QString iniPath() const { return m_fx.path(QStringLiteral("quilmora.ini")); }
    NavNode *user(const QString &name) { return EditorFixture::child(m_fx.form->nodeUsers, name); }
    NavNode *group(const QString &name) { return EditorFixture::child(m_fx.form->nodeGroups, name); }

    // What a save writes now (the save also moves the history's clean state).
    QByteArray saved()
    {
        if (!m_fx.form->actnSaveExecute())
            return "(not saved)";
        return TestFiles::read(iniPath());
    }

    // Clicks a node's row, after its root's so that its branch is open.
    void pick(QTreeWidgetItem *node)
    {
        if (node->parent())
            m_fx.click(node->parent());
        m_fx.click(node);
        QCOMPARE(m_fx.form->tvNav->currentItem(), node);
    }

    static void typeInto(QWidget *field, const QString &text)
    {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_End);
        QTest::keyClicks(field, text);
    }

    // Checks or clears an entry of a check list with a click on its check box.
    static void clickEntry(QListWidget *list, const QString &text)
    {
        const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        const QRect row = list->visualItemRect(found.first());
        // The check box stands at the row's left, the text to its right.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(row.left() + row.height() / 2, row.center().y()));
    }

    void edit(Edit kind)
    {
        TMainForm *f = m_fx.form.get();
        switch (kind) {
        case Edit::Text:
            pick(user(QStringLiteral("front desk")));
            typeInto(f->editUserDesc, QStringLiteral(" and post"));
            break;
        case Edit::CheckBox:
            pick(group(QStringLiteral("sales")));
            QTest::mouseClick(f->chkbGroupRO, Qt::LeftButton);
            break;
        case Edit::SpinBox:
            m_fx.click(f->nodeGeneral);
            f->sedtPort->setFocus();
            QTest::keyClick(f->sedtPort, Qt::Key_Up);
            QTest::keyClick(f->sedtPort, Qt::Key_Up);
            break;
        case Edit::RadioGroup:
            pick(f->nodeLogSettings);
            QTest::mouseClick(f->rgrpLogSettings->button(1), Qt::LeftButton);
            break;
        case Edit::Membership:
            pick(group(QStringLiteral("sales")));
            f->pctrlGroup->setCurrentIndex(1);
            clickEntry(f->chlstUsers, QStringLiteral("bob"));
            break;
        case Edit::DefaultGroup:
            pick(f->nodeIncoming->child(0));
            f->pctrlIncoming->setCurrentIndex(1);
            f->cboxPopDefault->setFocus();
            QTest::keyClick(f->cboxPopDefault, Qt::Key_Down);
            break;
        case Edit::Add:
            m_fx.click(f->nodeUsers);
            QVERIFY(GuiTestUtil::trigger(f, "actnAdd"));
            break;
        case Edit::Delete:
            pick(user(QStringLiteral("bob")));
            m_fx.prompts.answers = {Prompts::Answer::Yes};
            QVERIFY(GuiTestUtil::trigger(f, "actnDelete"));
            break;
        case Edit::Password:
            pick(user(QStringLiteral("front desk")));
            m_fx.prompts.texts = {QStringLiteral("s3cret"), QStringLiteral("s3cret")};
            QTest::mouseClick(f->butnChangeUserPass, Qt::LeftButton);
            break;
        }
    }

private slots:
    void cleanup() { m_fx.form.reset(); }

    void eachEditUndoneAndRedone_data()
    {
        QTest::addColumn<Edit>("kind");
        QTest::addColumn<QString>("undoText");
        QTest::addColumn<QString>("page"); // the page the undo shows
        QTest::newRow("text field") << Edit::Text << "Undo Description of user front desk" << "tabsUserItem";
        QTest::newRow("check box") << Edit::CheckBox << "Undo Read-Only of group sales" << "tabsGroupItem";
        QTest::newRow("spin box") << Edit::SpinBox << "Undo Port on the General page" << "tabsGeneral";
        QTest::newRow("radio group") << Edit::RadioGroup << "Undo Logging on the Log Settings page"
                                     << "tabsLogSettings";
        QTest::newRow("membership entry") << Edit::Membership << "Undo Users of group sales" << "tabsGroupItem";
        QTest::newRow("default group") << Edit::DefaultGroup << "Undo Default group of account box/pop.example"
                                       << "tabsIncomingItem";
        QTest::newRow("add") << Edit::Add << "Undo Add of a new user" << "tabsUsers";
        QTest::newRow("delete") << Edit::Delete << "Undo Delete of user bob" << "tabsUserItem";
        QTest::newRow("password change") << Edit::Password << "Undo Password of user front desk" << "tabsUserItem";
    }

    // Each edit is one step; undo gives back the bytes of the save before it, redo those of
    // the save after it, and the page follows the step.
    void eachEditUndoneAndRedone()
    {
        QFETCH(Edit, kind);
        QFETCH(QString, undoText);
        QFETCH(QString, page);
        TMainForm *f = open();
        QVERIFY(f);
        const QByteArray before = saved();
        QVERIFY(!f->isChanged());
        QVERIFY(!f->actnUndo->isEnabled());

        edit(kind);
        QVERIFY(f->isChanged());
        QCOMPARE(f->undoStack()->count(), 1);
        QCOMPARE(f->actnUndo->text(), undoText);
        const QByteArray after = saved();
        QVERIFY(after != before);

        m_fx.click(f->nodeAdvanced); // somewhere else: the undo brings the page back
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(f->pctrlMain->currentWidget()->objectName(), page);
        QVERIFY(!f->actnUndo->isEnabled());
        QCOMPARE(f->actnRedo->text(), QString(undoText).replace(0, 4, QStringLiteral("Redo")));
        QCOMPARE(saved(), before);

        QVERIFY(GuiTestUtil::trigger(f, "actnRedo"));
        QVERIFY(!f->actnRedo->isEnabled());
        QCOMPARE(saved(), after);
        // And once more, from the pages as the redo left them.
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(saved(), before);
    }

    // The changed flag and the title's mark are clear exactly at the saved state.
    void undoToSavedStateClearsTheMark()
    {
        TMainForm *f = open();
        QVERIFY(f);
        QVERIFY(f->windowTitle().contains(QStringLiteral("[*]")));
        edit(Edit::Text);
        edit(Edit::CheckBox);
        QVERIFY(f->isChanged());
        QVERIFY(f->isWindowModified());
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QVERIFY(f->isChanged());
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QVERIFY(!f->isChanged());
        QVERIFY(!f->isWindowModified());
        // Nothing to save: closing asks nothing.
        QVERIFY(f->close());
        QVERIFY(m_fx.prompts.shown.isEmpty());
        QCOMPARE(TestFiles::read(iniPath()), kConfig);

        // Save moves the clean state: undoing past it is a change again.
        f = open();
        QVERIFY(f);
        edit(Edit::Text);
        QVERIFY(f->actnSaveExecute());
        QVERIFY(!f->isWindowModified());
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QVERIFY(f->isChanged());
        QVERIFY(f->isWindowModified());
        QVERIFY(GuiTestUtil::trigger(f, "actnRedo"));
        QVERIFY(!f->isChanged());
        QVERIFY(!f->isWindowModified());
    }

    // Undo of Delete puts the very item back in its place and selects it; with the tree
    // filtered, the counts follow.
    void deleteUndoneRestoresPositionAndSelection()
    {
        TMainForm *f = open();
        QVERIFY(f);
        NavNode *bob = user(QStringLiteral("bob"));
        QCOMPARE(f->nodeUsers->indexOfChild(bob), 1);
        pick(bob);
        m_fx.prompts.answers = {Prompts::Answer::Yes};
        QVERIFY(GuiTestUtil::trigger(f, "actnDelete"));
        QCOMPARE(f->nodeUsers->childCount(), 2);
        QCOMPARE(f->tvNav->currentItem()->text(0), QStringLiteral("carol")); // the node below

        m_fx.click(f->nodeGroups);
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(f->nodeUsers->childCount(), 3);
        QCOMPARE(f->nodeUsers->child(1)->text(0), QStringLiteral("bob"));
        QCOMPARE(f->tvNav->currentItem(), f->nodeUsers->child(1));
        QCOMPARE(f->pctrlMain->currentWidget(), f->tabsUserItem);
        QCOMPARE(f->editUserName->text(), QStringLiteral("bob"));
        QCOMPARE(f->editUserDesc->text(), QStringLiteral("Bob"));
        QVERIFY(!f->isChanged());

        // Filtered to "ob": the user's leaving and return are counted (the node that takes
        // the selection is shown, matching or not).
        f->editTreeFilter->setText(QStringLiteral("ob"));
        QTRY_COMPARE(f->treeFilter()->summary(), QStringLiteral("0 of 1 account, 1 of 3 users, 0 of 2 groups"));
        QVERIFY(GuiTestUtil::trigger(f, "actnRedo"));
        QCOMPARE(f->tvNav->currentItem()->text(0), QStringLiteral("carol"));
        QTRY_COMPARE(f->treeFilter()->summary(), QStringLiteral("0 of 1 account, 1 of 2 users, 0 of 2 groups"));
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QTRY_COMPARE(f->treeFilter()->summary(), QStringLiteral("0 of 1 account, 2 of 3 users, 0 of 2 groups"));
        QVERIFY(!f->nodeUsers->child(1)->isHidden());
        QCOMPARE(f->tvNav->currentItem(), f->nodeUsers->child(1));
    }

    // Edits of an item that is added, or later deleted, go back and forth with it: the
    // steps keep the item itself, not a copy that a later step would not know.
    void stepsAroundAddAndDelete()
    {
        TMainForm *f = open();
        QVERIFY(f);
        const QByteArray start = saved();
        edit(Edit::Add);
        typeInto(f->editUserName, QStringLiteral("dave"));
        const QByteArray withDave = saved();
        QVERIFY(withDave.contains("Name=dave\r\n"));
        pick(user(QStringLiteral("dave")));
        m_fx.prompts.answers = {Prompts::Answer::Yes};
        QVERIFY(GuiTestUtil::trigger(f, "actnDelete"));
        QCOMPARE(f->undoStack()->count(), 3);

        for (int i = 0; i < 3; ++i)
            QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(f->nodeUsers->childCount(), 3);
        QCOMPARE(saved(), start);
        QVERIFY(GuiTestUtil::trigger(f, "actnRedo"));
        QVERIFY(GuiTestUtil::trigger(f, "actnRedo"));
        QCOMPARE(f->tvNav->currentItem()->text(0), QStringLiteral("dave"));
        QCOMPARE(f->editUserName->text(), QStringLiteral("dave"));
        QCOMPARE(saved(), withDave);
        QVERIFY(GuiTestUtil::trigger(f, "actnRedo"));
        QVERIFY(!user(QStringLiteral("dave")));
        // A new edit after undoing drops the steps that were undone, with the node they kept.
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        edit(Edit::CheckBox);
        QVERIFY(!f->actnRedo->isEnabled());
        QCOMPARE(f->undoStack()->count(), 1);
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(saved(), start);
    }

    // A field is one step until the focus leaves it; typing back to what it held is none.
    void typingIsOneStepPerField()
    {
        TMainForm *f = open();
        QVERIFY(f);
        pick(user(QStringLiteral("bob")));
        typeInto(f->editUserDesc, QStringLiteral(" Smith"));
        QCOMPARE(f->undoStack()->count(), 1);
        typeInto(f->editUserName, QStringLiteral("by")); // another field: another step
        QCOMPARE(f->undoStack()->count(), 2);
        QCOMPARE(f->tvNav->currentItem()->text(0), QStringLiteral("bobby"));
        typeInto(f->editUserDesc, QStringLiteral("!")); // back in the first: a new step
        QCOMPARE(f->undoStack()->count(), 3);

        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(f->editUserDesc->text(), QStringLiteral("Bob Smith"));
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(f->tvNav->currentItem()->text(0), QStringLiteral("bob"));
        QCOMPARE(f->editUserName->text(), QStringLiteral("bob"));
        // Ctrl+Z in the field is the window's Undo: the whole step, not the last keystroke.
        f->editUserDesc->setFocus();
        QTest::keyClick(f->editUserDesc, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f->editUserDesc->text(), QStringLiteral("Bob"));
        QVERIFY(!f->isChanged());
        // With nothing left to undo the field does not undo on its own either.
        QTest::keyClick(f->editUserDesc, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f->editUserDesc->text(), QStringLiteral("Bob"));
        QTest::keyClick(f->editUserDesc, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(f->editUserDesc->text(), QStringLiteral("Bob Smith"));
        QTest::keyClick(f->editUserDesc, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f->editUserName->text(), QStringLiteral("bobby"));

        // Typing and erasing it again leaves nothing to undo.
        f = open();
        QVERIFY(f);
        pick(user(QStringLiteral("bob")));
        typeInto(f->editUserDesc, QStringLiteral("xy"));
        QVERIFY(f->isChanged());
        QTest::keyClick(f->editUserDesc, Qt::Key_Backspace);
        QTest::keyClick(f->editUserDesc, Qt::Key_Backspace);
        QCOMPARE(f->undoStack()->count(), 0);
        QVERIFY(!f->isChanged());
    }

    // Typing, the focus leaving the field without an edit elsewhere, and typing there again:
    // two steps, and Undo takes back only the second typing.
    void focusAwayAndBackIsANewStep_data()
    {
        QTest::addColumn<QString>("away"); // the object name of what takes the focus meanwhile
        QTest::newRow("another field") << "editUserName";
        QTest::newRow("the tree") << "tvNav";
    }
    void focusAwayAndBackIsANewStep()
    {
        QFETCH(QString, away);
        TMainForm *f = open();
        QVERIFY(f);
        pick(user(QStringLiteral("bob")));
        typeInto(f->editUserDesc, QStringLiteral(" one"));
        auto *other = f->findChild<QWidget *>(away);
        QVERIFY(other);
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        f->editUserDesc->setFocus();
        QTRY_VERIFY(f->editUserDesc->hasFocus());
        QTest::keyClick(f->editUserDesc, Qt::Key_End);
        QTest::keyClicks(f->editUserDesc, QStringLiteral(" two"));
        QCOMPARE(f->undoStack()->count(), 2);
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(f->editUserDesc->text(), QStringLiteral("Bob one"));
        QVERIFY(f->isChanged());
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(f->editUserDesc->text(), QStringLiteral("Bob"));
        QVERIFY(!f->isChanged());
    }

    // Start, Revert to Saved and Restore Backup each start the history afresh; a restored
    // backup stays a change to save.
    void loadingEmptiesTheHistory()
    {
        TMainForm *f = open();
        QVERIFY(f);
        QCOMPARE(f->undoStack()->count(), 0);
        edit(Edit::Text);
        edit(Edit::Delete);
        QCOMPARE(f->undoStack()->count(), 2);
        m_fx.prompts.answers = {Prompts::Answer::Yes};
        QVERIFY(GuiTestUtil::trigger(f, "actnRevert"));
        QCOMPARE(f->undoStack()->count(), 0);
        QVERIFY(!f->actnUndo->isEnabled());
        QVERIFY(!f->isChanged());
        QCOMPARE(f->nodeUsers->childCount(), 3);

        edit(Edit::Delete);
        QVERIFY(f->actnSaveExecute()); // keeps the file before it as the backup
        edit(Edit::CheckBox);
        GuiTestUtil::onNextModal([](QWidget *w) {
            if (auto *dialog = qobject_cast<ReviewChangesDialog *>(w))
                dialog->accept();
        });
        QVERIFY(f->actnRestoreBackupExecute());
        QCOMPARE(f->undoStack()->count(), 0);
        QCOMPARE(f->nodeUsers->childCount(), 3);
        QVERIFY(f->isChanged());
        QVERIFY(f->isWindowModified());
        // An edit of the backup and its undo: still the backup, still unsaved.
        edit(Edit::Text);
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QVERIFY(f->isChanged());
    }

    void stepCaptions_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("withData");
        QTest::addColumn<QString>("undoText");
        QTest::newRow("group with data") << kConfig << true
                                         << "Undo Delete of group sales (its messages stay deleted)";
        QTest::newRow("group, data kept") << kConfig << false << "Undo Delete of group sales";
        QByteArray ampersand = kConfig;
        ampersand.replace("Name=sales", "Name=R&D");
        QTest::newRow("ampersand") << ampersand << false << "Undo Delete of group R&&D"; // no shortcut letter
    }

    void stepCaptions()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, withData);
        QFETCH(QString, undoText);
        TMainForm *f = open(file);
        QVERIFY(f);
        QCOMPARE(f->actnUndo->text(), QStringLiteral("Undo"));
        QCOMPARE(f->actnRedo->text(), QStringLiteral("Redo"));
        QVERIFY(QDir(m_fx.folder()).mkpath(QStringLiteral("data/sales")));
        QVERIFY(QDir(m_fx.folder()).mkpath(QStringLiteral("data/R&D")));
        pick(f->nodeGroups->child(0));
        m_fx.prompts.answers = {Prompts::Answer::Yes, withData ? Prompts::Answer::Yes : Prompts::Answer::No};
        QVERIFY(GuiTestUtil::trigger(f, "actnDelete"));
        QCOMPARE(f->actnUndo->text(), undoText);
        QVERIFY(GuiTestUtil::trigger(f, "actnUndo"));
        QCOMPARE(f->actnRedo->text(), QString(undoText).replace(0, 4, QStringLiteral("Redo")));
        QCOMPARE(f->actnUndo->text(), QStringLiteral("Undo"));
    }

    // The Edit menu stands between File and Help with its shortcuts.
    void editMenu()
    {
        TMainForm *f = open();
        QVERIFY(f);
        QStringList menus;
        for (QAction *a : f->menuBar()->actions())
            menus << a->menu()->objectName();
        QCOMPARE(menus, (QStringList{"menuFile", "menuEdit", "menuHelp"}));
        QCOMPARE(f->menuEdit->actions(), (QList<QAction *>{f->actnUndo, f->actnRedo}));
        QCOMPARE(f->actnUndo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
        QCOMPARE(f->actnRedo->shortcuts(),
                 (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));
    }
};

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
