#include "remote/TConnectForm.h"

#include "platform/Prompts.h"
#include "platform/Registry.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>
#include <utility>

namespace {

QLabel *fieldLabel(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

// The port box. A text that is no number, an emptied box above all, stands for port 0
// when the box takes it in (leaving the box, Enter), instead of springing back to the
// previous value: an emptied port gives port 0, whose failure the transfer then shows,
// never a silent connection to the port the box held before.
class PortSpinBox : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;

    void fixup(QString &input) const override
    {
        QSpinBox::fixup(input);
        bool number = false;
        input.trimmed().toInt(&number, 10);
        if (!number)
            input = QStringLiteral("0");
    }
};

} // namespace

TConnectForm::TConnectForm(const ConnectSettings &initial, Prompts &prompts, QWidget *parent)
    : QDialog(parent), m_prompts(prompts)
{
    setObjectName(QStringLiteral("ConnectForm"));
    setWindowTitle(QStringLiteral("Connection Details"));
    // A fixed dialog frame with the close box alone.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // The buttons' pictures come first. The style looks them up in the icon theme, which
    // takes a while the first time; the first widget with a text starts the accessibility
    // bridge, which waits for the session bus. At start-up the bus is being connected on
    // another thread meanwhile, so the lookup goes first and the bridge seldom waits.
    const QIcon okIcon = style()->standardIcon(QStyle::SP_DialogOkButton);
    const QIcon cancelIcon = style()->standardIcon(QStyle::SP_DialogCancelButton);

    rgrpServer = new QGroupBox(QStringLiteral(" Server "));
    rgrpServer->setObjectName(QStringLiteral("rgrpServer"));
    m_serverChoice = new QButtonGroup(this);
    auto *local = new QRadioButton(QStringLiteral("Local"));
    auto *remote = new QRadioButton(QStringLiteral("Remote"));
    m_serverChoice->addButton(local, 0);
    m_serverChoice->addButton(remote, 1);
    auto *choiceLayout = new QHBoxLayout(rgrpServer);
    choiceLayout->addWidget(local);
    choiceLayout->addWidget(remote);
    choiceLayout->addStretch();

    gboxServer = new QGroupBox(QStringLiteral(" Connection Settings "));
    gboxServer->setObjectName(QStringLiteral("gboxServer"));
    editCnxServer = new QLineEdit;
    editCnxServer->setObjectName(QStringLiteral("editCnxServer"));
    sedtCnxPort = new PortSpinBox;
    sedtCnxPort->setObjectName(QStringLiteral("sedtCnxPort"));
    // No bounds of its own: any 32-bit value may be typed (the transfer refuses what is no port).
    sedtCnxPort->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    // Reached with the mouse only; Tab goes past it.
    sedtCnxPort->setFocusPolicy(Qt::ClickFocus);
    editCnxUser = new QLineEdit;
    editCnxUser->setObjectName(QStringLiteral("editCnxUser"));
    editCnxPass = new QLineEdit;
    editCnxPass->setObjectName(QStringLiteral("editCnxPass"));
    editCnxPass->setEchoMode(QLineEdit::Password);
    editCnxPass->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    auto *fields = new QGridLayout(gboxServer);
    fields->addWidget(fieldLabel(QStringLiteral("IP (Hostname)"), editCnxServer), 0, 0);
    fields->addWidget(editCnxServer, 0, 1, 1, 2);
    fields->addWidget(fieldLabel(QStringLiteral("Port"), sedtCnxPort), 1, 0);
    fields->addWidget(sedtCnxPort, 1, 1);
    fields->addWidget(fieldLabel(QStringLiteral("Username"), editCnxUser), 2, 0);
    fields->addWidget(editCnxUser, 2, 1, 1, 2);
    fields->addWidget(fieldLabel(QStringLiteral("Password"), editCnxPass), 3, 0);
    fields->addWidget(editCnxPass, 3, 1, 1, 2);
    fields->setColumnStretch(2, 1);
    editCnxServer->setMinimumWidth(170);

    BitBtn1 = new QPushButton(okIcon, QStringLiteral("OK"));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(cancelIcon, QStringLiteral("Cancel"));
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(rgrpServer);
    layout->addWidget(gboxServer);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(local, remote);
    setTabOrder(remote, editCnxServer);
    setTabOrder(editCnxServer, editCnxUser);
    setTabOrder(editCnxUser, editCnxPass);
    setTabOrder(editCnxPass, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(m_serverChoice, &QButtonGroup::idClicked, this, &TConnectForm::rgrpServerClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TConnectForm::BitBtn1Click);
    // Cancel, like Esc and the close box, ends with the Cancel result.
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    m_serverChoice->button(initial.remote() ? 1 : 0)->setChecked(true);
    editCnxServer->setText(initial.server);
    sedtCnxPort->setValue(initial.portValue());
    editCnxUser->setText(initial.user);
    editCnxPass->setText(initial.password);
    rgrpServerClick();
}

ConnectSettings TConnectForm::settings() const
{
    ConnectSettings s;
    s.connection = m_serverChoice->checkedId() == 1 ? 1 : 0;
    s.server = editCnxServer->text();
    s.portText = sedtCnxPort->text();
    s.user = editCnxUser->text();
    s.password = editCnxPass->text();
    return s;
}

void TConnectForm::rgrpServerClick()
{
    const bool remote = m_serverChoice->checkedId() == 1;
    // Local greys the fields with the button face, as a read-only panel; Remote gives them
    // the ordinary edit colour back.
    for (QWidget *field : {static_cast<QWidget *>(editCnxServer), static_cast<QWidget *>(editCnxUser),
                           static_cast<QWidget *>(editCnxPass), static_cast<QWidget *>(sedtCnxPort)}) {
        QPalette palette = field->palette();
        const QPalette standard = QApplication::palette(field);
        const QColor base = remote ? standard.color(QPalette::Active, QPalette::Base)
                                   : standard.color(QPalette::Active, QPalette::Button);
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, QPalette::Base, base);
        field->setPalette(palette);
    }
    gboxServer->setEnabled(remote);
}

void TConnectForm::BitBtn1Click()
{
    if (settings().usesDefaultLogin())
        m_prompts.warning(QStringLiteral("You are using the default login values. For security reasons it is "
                                         "recommended that you change it once you login"));
    accept();
}

void TConnectForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Start-up shows the dialog before the editor window, so it is centred on the screen.
    if (QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    if (editCnxPass->isEnabled())
        editCnxPass->setFocus(Qt::OtherFocusReason);
    else
        m_serverChoice->checkedButton()->setFocus(Qt::OtherFocusReason);
}

bool TConnectForm::event(QEvent *event)
{
    // The work waiting for the first paint starts once the paint is on the screen: the
    // timer fires after the event loop has sent the painted window out.
    if (event->type() == QEvent::Paint && m_afterFirstPaint)
        QTimer::singleShot(0, this, std::exchange(m_afterFirstPaint, {}));
    return QDialog::event(event);
}

std::optional<ConnectSettings> TConnectForm::run(Registry &registry, Prompts &prompts, QWidget *parent,
                                                 std::function<void()> whileWaiting)
{
    TConnectForm form(ConnectSettings::load(registry), prompts, parent);
    form.m_afterFirstPaint = std::move(whileWaiting);
    if (form.exec() != QDialog::Accepted)
        return std::nullopt;
    const ConnectSettings chosen = form.settings();
    // A registry that cannot be written keeps nothing, silently.
    chosen.store(registry);
    return chosen;
}
