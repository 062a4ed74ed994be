// The Help menu: documentation, support request, home page, tip of the day, version check
// and about box, and the tip shown when the window first becomes active.
#include "main/TMainForm.h"

#include "config/AppIdentity.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "platform/gui/DesktopShell.h"
#include "services/Deployment.h"
#include "services/TAboutForm.h"
#include "services/TKDTipDay.h"
#include "services/TKDVersion.h"
#include "services/TSupportForm.h"
#include "services/TTipForm.h"
#include "widgets/TransferProgressDialog.h"

#include <QAction>
#include <QLabel>
#include <QTimer>

void TMainForm::setupHelp()
{
    if (m_ctx.registry) {
        m_registry = m_ctx.registry;
    } else {
        m_ownRegistry = std::make_unique<IniFileRegistry>(IniFileRegistry::defaultFolder());
        m_registry = m_ownRegistry.get();
    }
    if (m_ctx.shell) {
        m_shell = m_ctx.shell;
    } else {
        m_ownShell = std::make_unique<DesktopShell>();
        m_shell = m_ownShell.get();
    }
    if (m_ctx.systemInfo) {
        m_systemInfo = m_ctx.systemInfo;
    } else {
        m_ownSystemInfo = std::make_unique<LocalSystemInfo>();
        m_systemInfo = m_ownSystemInfo.get();
    }

    KDVersion1 = new TKDVersion(this);
    KDVersion1->setObjectName(QStringLiteral("KDVersion1"));
    KDVersion1->registry = m_registry;
    KDVersion1->prompts = m_prompts;
    KDVersion1->shell = m_shell;
    KDVersion1->RegistryKey = QString::fromLatin1(AppIdentity::RegistryKey);
    KDVersion1->AppVersion = QString::fromLatin1(AppIdentity::AppVersion);
    KDVersion1->AppName = QString::fromLatin1(AppIdentity::AppName);
    KDVersion1->ServerHost = Deployment::versionHost();
    KDVersion1->ServerPort = Deployment::versionPort();
    // The server is asked on a thread of its own behind a progress dialog with Cancel.
    KDVersion1->runner = TransferProgressDialog::backgroundRunner(this, QStringLiteral("Checking for a new version"));
    KDVersion1->NotifyType = TKDVersion::ntPrompt;
    KDVersion1->setCheckInterval(0);
    KDVersion1->DialogMessage = QStringLiteral(
        "A new version of Quilmora Configuration Editor exists. Click OK to go to the URL for download");
    KDVersion1->SMTPHost = Deployment::notifySmtpHost();
    KDVersion1->SMTPPort = 25;
    KDVersion1->EmailSubject = QStringLiteral("New Version of Quilmora available");

    TipDay = std::make_unique<TKDTipDay>(m_registry);
    TipDay->RegistryKey = KDVersion1->RegistryKey;
    TipDay->TipFile = ProgramFolder::findDocument(m_ctx.programFolder, QStringLiteral("tips.dat"));
    TipDay->LoadTips();
    if (!TipDay->LoadError.isEmpty())
        m_prompts->error(TipDay->LoadError);

    connect(actnDocumentation, &QAction::triggered, this, [this]() { actnDocumentationExecute(); });
    connect(actnSupport, &QAction::triggered, this, [this]() { actnSupportExecute(); });
    connect(actnHomePage, &QAction::triggered, this, [this]() { actnHomePageExecute(); });
    connect(actnTipDay, &QAction::triggered, this, [this]() { actnTipDayExecute(); });
    connect(actnCheckVersion, &QAction::triggered, this, [this]() { actnCheckVersionExecute(); });
    connect(actnAbout, &QAction::triggered, this, [this]() { actnAboutExecute(); });
}

TTipForm *TMainForm::tipForm()
{
    if (!TipForm)
        TipForm = std::make_unique<TTipForm>(*TipDay);
    return TipForm.get();
}

void TMainForm::actnHomePageExecute()
{
    m_shell->open(Deployment::homePage());
}

void TMainForm::actnDocumentationExecute()
{
    if (m_shell->canOpen(QStringLiteral("application/pdf"))) {
        m_shell->open(ProgramFolder::findDocument(m_ctx.programFolder, QStringLiteral("quilmora.pdf")));
        return;
    }
    m_prompts->information(QStringLiteral(
        "You need Adobe Acrobat Reader to view the documentation.\n"
        "A PDF reader can be had free of charge from https://get.adobe.com/reader/ or from your "
        "system's packages (for example evince, okular or atril)."));
}

void TMainForm::actnSupportExecute()
{
    TSupportForm dialog(*m_prompts, *m_systemInfo, m_ctx.programFolder, this);
    // The report's "Application" line names the application and its "Version" line the
    // running release.
    dialog.applicationText = QString::fromLatin1(AppIdentity::ApplicationTitle);
    dialog.versionText = KDVersion1->AppVersion;
    dialog.exec();
}

void TMainForm::actnTipDayExecute()
{
    tipForm()->exec();
}

void TMainForm::actnCheckVersionExecute()
{
    KDVersion1->OnSameVersion = [this](TKDVersion *) {
        m_prompts->information(QStringLiteral("You have the latest version of Quilmora Configuration Installed!"));
    };
    KDVersion1->CheckVersion(true);
    KDVersion1->OnSameVersion = nullptr;
}

void TMainForm::actnAboutExecute()
{
    auto *about = new TAboutForm(m_shell, Deployment::homePage(), this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->lablVersion->setText(KDVersion1->AppVersion);
    about->exec();
}

void TMainForm::FormActivate()
{
    // Only the first activation counts: later ones come back from the editor's own modal
    // windows or from other programs.
    if (m_activatedOnce || !TipDay)
        return;
    m_activatedOnce = true;
    if (TipDay->TipsEnabled) {
        // Shown once the activation has been handled, not from inside it.
        QTimer::singleShot(0, this, [this]() { tipForm()->exec(); });
    }
}
