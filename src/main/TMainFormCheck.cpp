// File, Check Configuration...: the consistency check over what the window holds now,
// saved or not, with its findings in a window of their own.
#include "main/CheckResultsDialog.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"

#include "config/AppIdentity.h"
#include "config/ConfigCheck.h"

QList<CheckFinding> TMainForm::checkConfiguration() const
{
    QList<const TPop *> pops;
    QList<const TUser *> users;
    QList<const TGroup *> groups;
    for (int i = 0; i < nodeIncoming->childCount(); ++i)
        pops.append(static_cast<NavNode *>(nodeIncoming->child(i))->pop());
    for (int i = 0; i < nodeUsers->childCount(); ++i)
        users.append(static_cast<NavNode *>(nodeUsers->child(i))->user());
    for (int i = 0; i < nodeGroups->childCount(); ++i)
        groups.append(static_cast<NavNode *>(nodeGroups->child(i))->group());
    ServerSettings server = serverSettingsFromPages();
    // The format is the file's until a save has written the current one.
    server.Version = m_server.Version;
    const bool oldFormat = OldFormat && m_server.Version != QByteArray(AppIdentity::AppVersion);
    return ConfigCheck::run(server, oldFormat, pops, users, groups, m_codec);
}

namespace {

// The tree's caption of each finding's item, so a row names it as the administrator sees it.
QStringList captionsOf(const TMainForm &form, const QList<CheckFinding> &findings)
{
    QStringList captions;
    for (const CheckFinding &f : findings) {
        const NavNode *root = f.kind == CheckFinding::Kind::Pop    ? form.nodeIncoming
                              : f.kind == CheckFinding::Kind::User ? form.nodeUsers
                              : f.kind == CheckFinding::Kind::Group ? form.nodeGroups
                                                                   : nullptr;
        captions.append(root && f.index >= 0 && f.index < root->childCount() ? root->child(f.index)->text(0)
                                                                             : QString());
    }
    return captions;
}

} // namespace

void TMainForm::actnCheckExecute()
{
    if (!checkResults) {
        checkResults = new CheckResultsDialog(this);
        connect(checkResults, &CheckResultsDialog::findingActivated, this, &TMainForm::selectFinding);
        connect(checkResults, &CheckResultsDialog::checkAgainRequested, this,
                [this]() {
                    const QList<CheckFinding> findings = checkConfiguration();
                    checkResults->setFindings(findings, captionsOf(*this, findings));
                });
    }
    const QList<CheckFinding> findings = checkConfiguration();
    checkResults->setFindings(findings, captionsOf(*this, findings));
    if (!checkResults->isVisible())
        checkResults->moveBeside(this);
    checkResults->show();
    checkResults->raise();
    checkResults->activateWindow();
}

void TMainForm::selectFinding(const CheckFinding &finding)
{
    NavNode *root = nullptr;
    switch (finding.kind) {
    case CheckFinding::Kind::Server:
        // The ports: Port is on General, ConfigPort on Advanced; the logins on General.
        tvNav->setCurrentItem(finding.code == QLatin1String("port-conflict") ? nodeAdvanced : nodeGeneral);
        return;
    case CheckFinding::Kind::Pop: root = nodeIncoming; break;
    case CheckFinding::Kind::User: root = nodeUsers; break;
    case CheckFinding::Kind::Group: root = nodeGroups; break;
    }
    // The item may have gone since the check ran.
    if (root && finding.index >= 0 && finding.index < root->childCount())
        tvNav->setCurrentItem(root->child(finding.index));
}
