#pragma once

// The main window on a fresh program folder as the window's own tests drive it: the demo
// and a hand-edited file, start-up on a file, selecting, typing and ticking as a user does.
#include "config/TextCodec.h"
#include "main/NavTree.h"
#include "main/RunMode.h"
#include "main/TMainForm.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace MainFormFixtureFiles {

inline QByteArray demoFile()
{
    return TestFiles::read(QStringLiteral(QUILMORA_SOURCE_DIR "/examples/demo/quilmora.ini"));
}

// A file as administrators leave them: sections out of order and gaps in the numbers,
// unknown keys, a lower-case flag, bare LF breaks inside a body, a digest with zero bytes,
// quoted list names and keys that only the wizard writes.
inline const QByteArray kRealistic =
    "; edited by hand\r\n"
    "[SERVER]\r\n"
    "Port=70000\r\n"
    "Name=Office\r\n"
    "Version=1.05\r\n"
    "SMTPHost=smtp.example\r\n"
    "BindIP=10.1.2.3\r\n"
    "AdminEmail=admin@example.org\r\n"
    "AdminEmailActive=1\r\n"
    "SMTPUserPass=00FF0041\r\n"
    "AdminUser=root\r\n"
    "AdminPass=00112233445566778899AABBCCDDEE00\r\n"
    "LogSize=50\r\n"
    "Log=1\r\n"
    "LastPOP=7\r\n"
    "Created=2001-01-01\r\n"
    "[GROUP2]\r\n"
    "Name=sales.eu\r\n"
    "KeyList=610A620D630D0A\r\n"
    "Users=\"front desk\",Maria\r\n"
    "ReadOnly=y\r\n"
    "Colour=blue\r\n"
    "[POP7]\r\n"
    "Host=pop.example\r\n"
    "Port=995\r\n"
    "UserID=info\r\n"
    "Password=736563726574\r\n"
    "Newsgroups=sales,\"sales.eu\",gone\r\n"
    "DefaultGroup=gone\r\n"
    "AutoReply=y\r\n"
    "AutoReplyBody=48690A7468657265\r\n"
    "[GROUP1]\r\n"
    "Name=sales\r\n"
    "Description=Sales\r\n"
    "[USER1]\r\n"
    "Name=front desk\r\n"
    "Pass=000102030405060708090A0B0C0D0E0F\r\n"
    "[USER9]\r\n"
    "Name=maria\r\n"
    "Description=Maria\r\n"
    "[Unknown]\r\n"
    "Key=value\r\n";

} // namespace MainFormFixtureFiles

class MainFormFixture
{
protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    ScriptedPrompts m_prompts;
    std::unique_ptr<TMainForm> m_form;

    QString iniPath() const { return m_dir->filePath(QStringLiteral("quilmora.ini")); }

    // Writes `file` (unless null) into a fresh folder and starts the editor on it.
    TMainForm *open(const QByteArray &file, const QByteArray &encoding = {}, RunModeChooser *chooser = nullptr)
    {
        m_form.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        if (!file.isNull() && !TestFiles::write(iniPath(), file))
            return nullptr;
        m_prompts = ScriptedPrompts();
        MainFormContext ctx;
        ctx.prompts = &m_prompts;
        ctx.programFolder = m_dir->path();
        ctx.codec = TextCodec(encoding);
        ctx.runModeChooser = chooser;
        ctx.localAddresses = [] { return QStringList{QStringLiteral("192.0.2.10")}; };
        m_form = std::make_unique<TMainForm>(ctx);
        if (m_form->start(false) != TMainForm::StartResult::Run)
            return nullptr;
        m_form->show();
        return m_form.get();
    }

    NavNode *itemNode(NavNode *root, const QString &caption)
    {
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(0) == caption)
                return static_cast<NavNode *>(root->child(i));
        return nullptr;
    }

    void select(QTreeWidgetItem *node) { m_form->tvNav->setCurrentItem(node); }

    // Replaces what a field holds by typing, as a user does.
    void retype(QWidget *field, const QString &text)
    {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(field, c.toLatin1());
            else // a key of another keyboard: the event carries the character
                QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    void toggleEntry(QListWidget *list, const QString &text)
    {
        const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        list->setFocus();
        list->setCurrentItem(found.first());
        QTest::keyClick(list, Qt::Key_Space); // the check box of a check list entry
    }
};
