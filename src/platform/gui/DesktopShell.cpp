#include "platform/gui/DesktopShell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

bool DesktopShell::open(const QString &target)
{
    // A file that exists is opened as a file; anything else as a web address.
    const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    return url.isValid() && QDesktopServices::openUrl(url);
}
