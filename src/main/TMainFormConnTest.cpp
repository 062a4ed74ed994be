// Connection tests: File, Test Connections... tests every incoming account and the outgoing
// mail server; the Test buttons test the account shown, or the outgoing server. They test
// what the window holds, saved or not, off the window's thread behind the transfer
// progress dialog with its Cancel; the results fill the window's rows as they come.
#include "main/CheckResultsDialog.h"
#include "main/ConnectionTestDialog.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"

#include "config/ConfigDocument.h"
#include "platform/Prompts.h"
#include "services/ConnectionTest.h"
#include "widgets/TransferProgressDialog.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>

namespace {

// Puts `button` right of `field` in the grid that holds it, taking the last column of the
// field's span (or the column after it when the field spans one).
void placeBeside(QWidget *field, QPushButton *button)
{
    auto *grid = qobject_cast<QGridLayout *>(field->parentWidget()->layout());
    if (!grid)
        return;
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(grid->indexOf(field), &row, &column, &rows, &columns);
    if (columns > 1) {
        grid->removeWidget(field);
        grid->addWidget(field, row, column, rows, columns - 1);
        grid->addWidget(button, row, column + columns - 1);
    } else {
        grid->addWidget(button, row, column + 1);
    }
    // A button stands a pixel taller than a field: the rows give that pixel back, so the
    // page keeps the height it had at the window's fixed size.
    if (grid->verticalSpacing() > 1)
        grid->setVerticalSpacing(grid->verticalSpacing() - 1);
}

// Adds `button` at the end of the row of the grid that holds `box` in a row layout of
// its own (the account page's row of check boxes, which has room to the right).
void placeAtEndOfRow(QWidget *box, QPushButton *button)
{
    auto *grid = qobject_cast<QGridLayout *>(box->parentWidget()->layout());
    if (!grid)
        return;
    for (int i = 0; i < grid->count(); ++i) {
        if (auto *row = qobject_cast<QBoxLayout *>(grid->itemAt(i)->layout()); row && row->indexOf(box) >= 0) {
            row->addWidget(button);
            return;
        }
    }
}

} // namespace

void TMainForm::setupConnectionTests()
{
    connectionTestOptions = std::make_shared<ConnectionTest::Options>();
    actnTestConnections = new QAction(QStringLiteral("Test Connections..."), this);
    actnTestConnections->setObjectName(QStringLiteral("actnTestConnections"));
    actnTestConnections->setStatusTip(
        QStringLiteral("Test the connection to every incoming account and to the outgoing mail server"));
    actnTestConnections->setToolTip(actnTestConnections->statusTip());
    connect(actnTestConnections, &QAction::triggered, this, [this] { actnTestConnectionsExecute(); });
    // In the File menu right after Check Configuration...
    if (QMenu *file = menuBar()->findChild<QMenu *>(QStringLiteral("menuFile"))) {
        const QList<QAction *> entries = file->actions();
        const qsizetype at = entries.indexOf(actnCheck);
        file->insertAction(at >= 0 && at + 1 < entries.size() ? entries[at + 1] : nullptr, actnTestConnections);
    }

    butnTestPop = new QPushButton(QStringLiteral("Test"));
    butnTestPop->setObjectName(QStringLiteral("butnTestPop"));
    setHint(butnTestPop, QStringLiteral("Test the connection to this account's mail server and its login"));
    // Under Change: the page is as wide as the window allows, and a column of its own
    // would take the room of the captions.
    butnTestPop->setMinimumWidth(butnChangeIncomingPass->sizeHint().width());
    placeAtEndOfRow(chkbOBID, butnTestPop);
    connect(butnTestPop, &QPushButton::clicked, this, [this] { butnTestPopClick(); });

    butnTestSMTP = new QPushButton(QStringLiteral("Test"));
    butnTestSMTP->setObjectName(QStringLiteral("butnTestSMTP"));
    setHint(butnTestSMTP, QStringLiteral("Test the connection to the outgoing mail server and its login"));
    placeBeside(editSMTPServer, butnTestSMTP);
    connect(butnTestSMTP, &QPushButton::clicked, this, [this] { butnTestSMTPClick(); });
}

void TMainForm::actnTestConnectionsExecute()
{
    runConnectionTests(ConnectionTest::targets(windowDocument(), m_codec));
}

void TMainForm::butnTestPopClick()
{
    NavNode *node = selectedNode();
    const int index = node && node->parent() == nodeIncoming ? nodeIncoming->indexOfChild(node) : -1;
    if (index < 0)
        return;
    const ConfigDocument doc = windowDocument();
    if (index < int(doc.pops.size()))
        runConnectionTests({ConnectionTest::popTarget(doc, index, m_codec)});
}

void TMainForm::butnTestSMTPClick()
{
    runConnectionTests({ConnectionTest::smtpTarget(serverSettingsFromPages(), m_codec)});
}

void TMainForm::runConnectionTests(const QList<ConnectionTest::Target> &targets)
{
    if (!connectionTests) {
        connectionTests = new ConnectionTestDialog(this);
        connect(connectionTests, &ConnectionTestDialog::targetActivated, this, [this](int kind, int index) {
            if (ConnectionTest::Kind(kind) == ConnectionTest::Kind::Smtp)
                tvNav->setCurrentItem(nodeGeneral);
            else if (index >= 0 && index < nodeIncoming->childCount()) // it may have gone since
                tvNav->setCurrentItem(nodeIncoming->child(index));
        });
        connect(connectionTests, &ConnectionTestDialog::testAgainRequested, this, [this] {
            QList<ConnectionTest::Target> again;
            const ConfigDocument doc = windowDocument();
            for (const ConnectionTest::Target &r : connectionTests->targets()) {
                if (r.kind == ConnectionTest::Kind::Smtp)
                    again.append(ConnectionTest::smtpTarget(doc.server, m_codec));
                else if (r.index >= 0 && r.index < int(doc.pops.size()))
                    again.append(ConnectionTest::popTarget(doc, r.index, m_codec));
            }
            runConnectionTests(again);
        });
        connect(connectionTests, &ConnectionTestDialog::sendTestMessageRequested, this, [this] { sendTestMessage(); });
    }
    QStringList captions;
    for (const ConnectionTest::Target &t : targets) {
        if (t.kind == ConnectionTest::Kind::Smtp)
            captions.append(QStringLiteral("Outgoing mail server"));
        else
            captions.append(t.index >= 0 && t.index < nodeIncoming->childCount() ? nodeIncoming->child(t.index)->text(0)
                                                                                 : t.item);
    }
    connectionTests->setTargets(targets, captions);
    if (!connectionTests->isVisible()) {
        // Beside the editor, on the side with the most room, as the check's window goes.
        if (const QScreen *screen = this->screen()) {
            const QRect r = CheckResultsDialog::placeBeside(connectionTests->size(), connectionTests->minimumSizeHint(),
                                                            frameGeometry(), screen->availableGeometry());
            connectionTests->resize(r.size());
            connectionTests->move(r.topLeft());
        }
    }
    connectionTests->show();
    connectionTests->raise();

    const ConnectionTest::Options options = *connectionTestOptions;
    QPointer<ConnectionTestDialog> dialog = connectionTests;
    TransferProgressDialog progress(this);
    progress.runInBackground(QStringLiteral("Testing connections"), Net::WaitLimits(),
                             [targets, options, dialog](const Net::WaitLimits &limits) {
                                 ConnectionTest::runAll(targets, options, limits.keepGoing,
                                                        [dialog](int row, const ConnectionTest::Result &r) {
                                                            // Handed to the window's thread.
                                                            QMetaObject::invokeMethod(
                                                                dialog.data(),
                                                                [dialog, row, r] {
                                                                    if (dialog)
                                                                        dialog->setResult(row, r);
                                                                },
                                                                Qt::QueuedConnection);
                                                        });
                             });
    connectionTests->activateWindow();
}

void TMainForm::sendTestMessage()
{
    const ServerSettings server = serverSettingsFromPages();
    const ConnectionTest::Options options = *connectionTestOptions;
    const TextCodec codec = m_codec;
    bool sent = false;
    QString recipient, error;
    TransferProgressDialog progress(this);
    progress.runInBackground(QStringLiteral("Sending a test message"), Net::WaitLimits(),
                             [&](const Net::WaitLimits &limits) {
                                 sent = ConnectionTest::sendTestMessage(server, codec, options, limits.keepGoing,
                                                                        &recipient, &error);
                             });
    if (sent)
        m_prompts->information(QStringLiteral("A test message was sent to %1.").arg(recipient));
    else
        m_prompts->error(error);
}
