#pragma once

#include <QString>
#include <QStringList>

// Asks the desktop to open a web address or a document with its default handler (the
// browser, the PDF viewer). Handed to the windows that need it, so tests record what was
// asked instead of starting programs.
class Shell
{
public:
    virtual ~Shell() = default;
    // False when the desktop has no handler for it; callers that do not care ignore it.
    virtual bool open(const QString &target) = 0;
    // Whether a program is there to show documents of this MIME type ("application/pdf").
    virtual bool canOpen(const QString &mimeType) = 0;
};

// A shell that opens nothing and records what it was asked to open, for tests; canOpen()
// answers from a flag.
class RecordingShell : public Shell
{
public:
    QStringList opened;
    bool hasViewer = true;

    bool open(const QString &target) override
    {
        opened.append(target);
        return true;
    }
    bool canOpen(const QString &) override { return hasViewer; }
};
