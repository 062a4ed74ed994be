#pragma once

#include "platform/Shell.h"

// The real shell: QDesktopServices for opening, xdg-mime for asking whether a program
// handles a type.
class DesktopShell : public Shell
{
public:
    bool open(const QString &target) override;
    bool canOpen(const QString &mimeType) override;
};
