#include "platform/gui/DesktopShell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

bool DesktopShell::open(const QString &target)
{
    // A file that exists is opened as a file; anything else as a web address.
    const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    return url.isValid() && QDesktopServices::openUrl(url);
}

bool DesktopShell::canOpen(const QString &mimeType)
{
    // The desktop's own answer: the application registered as the type's default.
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (!xdgMime.isEmpty()) {
        QProcess query;
        query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
        if (query.waitForFinished(5000) && query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0
            && !query.readAllStandardOutput().trimmed().isEmpty())
            return true;
    }
    // Without a registered default, a common viewer on the path still serves for PDF files
    // (xdg-open falls back to it).
    if (mimeType == QLatin1String("application/pdf")) {
        for (const char *viewer : {"evince", "okular", "atril", "xreader", "qpdfview", "mupdf", "zathura", "xpdf"}) {
            if (!QStandardPaths::findExecutable(QString::fromLatin1(viewer)).isEmpty())
                return true;
        }
    }
    return false;
}
