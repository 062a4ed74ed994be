#pragma once

#include <QString>
#include <QStringList>

// The desktop's "open": hands a web address or a document to the program the user has
// chosen for it (the browser, the PDF viewer). Handed to the windows that need it, so
// tests record what was asked instead of starting programs.
class Shell
{
public:
    virtual ~Shell() = default;

    // Opens a web address ("https://...") or a local file's full path with its default
    // program. False when nothing could be started; callers that do not care ignore it.
    virtual bool open(const QString &target) = 0;

    // Whether a program is there to show documents of this MIME type ("application/pdf").
    virtual bool canOpen(const QString &mimeType) = 0;
};

// For tests: records every target asked for and answers canOpen() from a flag.
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
