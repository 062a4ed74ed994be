// quilmora-editor: the desktop editor.
#include "config/AppIdentity.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QString::fromLatin1(AppIdentity::ApplicationTitle));
    QMainWindow window;
    window.setWindowTitle(QApplication::applicationName());
    window.show();
    return app.exec();
}
