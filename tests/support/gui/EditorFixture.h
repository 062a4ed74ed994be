#pragma once

#include "main/NavTree.h"
#include "main/RunMode.h"
#include "main/TMainForm.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// An editor window on a fresh program folder, for the GUI tests of the window's commands.
class EditorFixture
{
public:
    std::unique_ptr<QTemporaryDir> dir;
    ScriptedPrompts prompts;
    std::unique_ptr<TMainForm> form;

    // The server's folder the window works in.
    QString folder() const { return dir->path(); }
    QString path(const QString &name) const { return QDir(dir->path()).filePath(name); }

    // Writes `file` (unless null) as quilmora.ini into a fresh folder and starts the editor
    // on it in local mode, or in remote mode through `chooser`.
    TMainForm *open(const QByteArray &file, RunModeChooser *chooser = nullptr, BusyCursor *cursor = nullptr)
    {
        form.reset();
        dir = std::make_unique<QTemporaryDir>();
        if (!file.isNull() && !TestFiles::write(path(QStringLiteral("quilmora.ini")), file))
            return nullptr;
        prompts = ScriptedPrompts();
        MainFormContext ctx;
        ctx.prompts = &prompts;
        ctx.programFolder = dir->path();
        ctx.runModeChooser = chooser;
        ctx.busyCursor = cursor;
        ctx.localAddresses = [] { return QStringList{QStringLiteral("192.0.2.10")}; };
        form = std::make_unique<TMainForm>(ctx);
        if (form->start(false) != TMainForm::StartResult::Run)
            return nullptr;
        form->show();
        return form.get();
    }

    // Shows the window and makes it the active one, so focus moves like a user's.
    bool activate()
    {
        QApplication::setActiveWindow(form.get());
        return QTest::qWaitForWindowActive(form.get());
    }

    // The child of `root` with `caption`, or none.
    static NavNode *child(QTreeWidgetItem *root, const QString &caption)
    {
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(0) == caption)
                return static_cast<NavNode *>(root->child(i));
        return nullptr;
    }

    void select(QTreeWidgetItem *node) { form->tvNav->setCurrentItem(node); }

    // A click of the left button on the node's row, as a user selects it.
    void click(QTreeWidgetItem *node)
    {
        const QRect r = form->tvNav->visualItemRect(node);
        QTest::mouseClick(form->tvNav->viewport(), Qt::LeftButton, {}, r.center());
    }
};
