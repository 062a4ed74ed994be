#include "platform/gui/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

void WaitCursor::show()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void WaitCursor::restore()
{
    QGuiApplication::restoreOverrideCursor();
}
