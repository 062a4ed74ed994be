#pragma once

// What the benchmarks that drive the main window share: prompts that answer nothing, and a
// registry of their own with the tip of the day switched off (the tip window is modal and
// would wait for a click when the window is first shown).
#include "config/AppIdentity.h"
#include "main/TMainForm.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"

#include <QDir>
#include <QStringList>
#include <cstdio>

class SilentPrompts : public Prompts
{
public:
    void error(const QString &text, const QString &) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void information(const QString &, const QString &) override {}
    void warning(const QString &, const QString &) override {}
    bool yesNo(const QString &, const QString &) override { return false; }
    Answer yesNoCancel(const QString &, const QString &) override { return Answer::No; }
    bool okCancel(const QString &, const QString &) override { return false; }
    std::optional<QString> text(const QString &, const QString &, const QString &, bool) override { return {}; }
};

// The context of a benchmark's main window on `folder`, its registry inside that folder.
class BenchEditorContext
{
public:
    explicit BenchEditorContext(const QString &folder)
        : m_registry(QDir(folder).filePath(QStringLiteral("registry")))
    {
        Registry::Root root;
        QString path;
        Registry::splitKeyName(QString::fromLatin1(AppIdentity::RegistryKey), &root, &path);
        if (auto key = m_registry.openKey(root, path, Registry::Access::Full, true))
            key->writeString(QStringLiteral("TipsEnabled"), QStringLiteral("0"));
        context.prompts = &m_prompts;
        context.registry = &m_registry;
        context.programFolder = folder;
        context.localAddresses = [] { return QStringList(); };
    }

    MainFormContext context;

private:
    SilentPrompts m_prompts;
    IniFileRegistry m_registry;
};
