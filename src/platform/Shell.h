#pragma once

#include <QString>
#include <QStringList>

// Asks the desktop to open a web address or a document with its default handler.
class Shell
{
public:
    virtual ~Shell() = default;
    // False when the desktop has no handler for it.
    virtual bool open(const QString &target) = 0;
};

// A shell that opens nothing and records what it was asked to open, for tests.
class RecordingShell : public Shell
{
public:
    QStringList opened;
    bool open(const QString &target) override
    {
        opened.append(target);
        return true;
    }
};
