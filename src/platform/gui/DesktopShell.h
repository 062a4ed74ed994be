#pragma once

#include "platform/Shell.h"

// The desktop's own handlers, through QDesktopServices.
class DesktopShell : public Shell
{
public:
    bool open(const QString &target) override;
};
