// quilmora-editor: the desktop editor.
//   quilmora-editor [/w | --wizard] [--folder DIR] [--encoding NAME]
#include "config/History.h"
#include "config/AppIdentity.h"
#include "config/TextCodec.h"
#include "main/ConfigPreload.h"
#include "main/ConnectRunModeChooser.h"
#include "main/NavIcons.h"
#include "main/TMainForm.h"
#include "main/StartupTrace.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/gui/DesktopShell.h"
#include "platform/gui/MessageBoxPrompts.h"
#include "platform/gui/StartupWarmup.h"
#include "platform/gui/WaitCursor.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void printHelp()
{
    std::fputs("usage: quilmora-editor [/w | --wizard] [--folder DIR] [--encoding NAME]\n"
               "       quilmora-editor --help\n"
               "\n"
               "Edits quilmora.ini, the configuration of a Quilmora server, in the server's folder,\n"
               "or a server's configuration over the network (remote mode, port 35000 by default).\n"
               "\n"
               "Options:\n"
               "  /w, --wizard     start with the setup wizard\n"
               "  --folder DIR     the server's folder\n"
               "  --encoding NAME  the character set of the file's text (default: the locale's)\n"
               "\n"
               "The server's folder is --folder DIR, else $QUILMORA_HOME, else the program's own\n"
               "folder when it holds a quilmora.ini, else /var/lib/quilmora when it exists, else\n"
               "the program's folder. A missing quilmora.ini opens as a new configuration.\n"
               "\n"
               "Environment:\n"
               "  QUILMORA_HOME    the server's folder when --folder is not given\n"
               "\n"
               "Exit status:\n"
               "  0  the editor was closed\n"
               "  1  the configuration could not be opened, or no display is available\n"
               "  2  usage error\n",
               stdout);
}

int usage()
{
    std::fputs("usage: quilmora-editor [/w | --wizard] [--folder DIR] [--encoding NAME]\n", stderr);
    return 2;
}

// Whether a window can be shown at all. Without a display the platform plugin of Qt
// would end the program with a message of its own that says little to an administrator.
bool haveDisplay()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    StartupTrace::begin();
    StartupTrace::mark("main");
    // Help needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printHelp();
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    if (!haveDisplay()) {
        std::fputs("quilmora-editor: no display available (DISPLAY and WAYLAND_DISPLAY are unset); "
                   "to try the editor without a screen, run it under Xvfb: xvfb-run -a quilmora-editor ...\n",
                   stderr);
        return 1;
    }
    // The fonts load while the application connects to the display.
    FontWarmup fonts;
    QApplication app(argc, argv);
    StartupTrace::mark("application");
    app.setApplicationName(QString::fromLatin1(AppIdentity::ApplicationTitle));

    QStringList args = app.arguments();
    args.removeFirst();
    bool wizard = false;
    QString folder;
    QByteArray encoding;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        // A first argument "/w" in any letter case asks for the setup wizard.
        if ((i == 0 && a.compare(QStringLiteral("/w"), Qt::CaseInsensitive) == 0) || a == QStringLiteral("--wizard")) {
            wizard = true;
        } else if (a == QStringLiteral("--folder") && i + 1 < args.size()) {
            folder = args.at(++i);
        } else if (a == QStringLiteral("--encoding") && i + 1 < args.size()) {
            encoding = args.at(++i).toLatin1();
        } else if (a.startsWith(QStringLiteral("--"))) {
            return usage();
        }
        // Any other argument is no switch of the editor's and leads to the usual start.
    }

    MessageBoxPrompts prompts;
    SystemClock clock;
    MainFormContext context;
    context.prompts = &prompts;
    context.clock = &clock;
    DesktopShell shell;
    context.shell = &shell;
    IniFileRegistry registry(IniFileRegistry::defaultFolder());
    context.registry = &registry;
    WaitCursor waitCursor;
    ConnectRunModeChooser chooser(registry, prompts, &waitCursor);
    context.runModeChooser = &chooser;
    context.programFolder = ProgramFolder::resolveEditor(folder, QCoreApplication::applicationDirPath());
    context.codec = TextCodec(encoding);
    if (!context.codec.isValid()) {
        std::fprintf(stderr, "quilmora-editor: unknown encoding %s\n", encoding.constData());
        return 2;
    }
    // The first widget made waits for the session bus: it connects meanwhile.
    SessionBusWarmup sessionBus;

    // While the connection dialog waits, the local configuration is read ahead when the
    // dialog opens on local mode.
    ConfigPreload preload;
    if (!wizard && !ConnectSettings::load(registry).remote()) {
        context.navIcons = NavIcons::imageList();
        preload.start(ProgramFolder::filePath(context.programFolder, QStringLiteral("quilmora.ini")), context.codec,
                      context.navIcons);
        context.preload = &preload;
    }

    // The history of saves names the program that saved.
    History::setProgram(wizard ? QStringLiteral("quilmora-editor wizard") : QStringLiteral("quilmora-editor"));
    std::unique_ptr<TMainForm> window;
    auto buildWindow = [&] {
        if (window)
            return;
        window = std::make_unique<TMainForm>(context);
        StartupTrace::mark("window-built");
        // A box that no window in front claims stands over the main window once it is shown.
        prompts.setOwner(window.get());
    };
    fonts.wait();
    if (!wizard) {
        // The connection dialog comes first, on its own: the main window is built while it
        // waits for the user, after its first paint.
        TMainForm::useProgramFont();
        if (!chooser.askFirst(buildWindow))
            return 0;
    }
    buildWindow();
    switch (window->start(wizard)) {
    case TMainForm::StartResult::Run:
        window->show();
        return app.exec();
    case TMainForm::StartResult::Ended:
        return 0;
    case TMainForm::StartResult::Failed:
        return 1;
    }
    return 1;
}
