#pragma once

#include "platform/Shell.h"

// The desktop's own handlers, through QDesktopServices; xdg-mime tells whether a type has one.
class DesktopShell : public Shell
{
public:
    bool open(const QString &target) override;
    bool canOpen(const QString &mimeType) override;
};
