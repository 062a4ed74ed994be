#include "services/TTipForm.h"

#include "services/TKDTipDay.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>

namespace {

// The light bulb beside the heading.
QPixmap bulbPicture()
{
    QPixmap pm(40, 40);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(QPointF(17, 13), 16);
    glow.setColorAt(0, QColor(255, 255, 210));
    glow.setColorAt(1, QColor(250, 205, 40));
    p.setPen(QPen(QColor(120, 90, 0), 1.2));
    p.setBrush(glow);
    QPainterPath glass;
    glass.moveTo(14, 29);
    glass.cubicTo(14, 23, 6, 21, 6, 14);
    glass.cubicTo(6, 6, 13, 2, 20, 2);
    glass.cubicTo(27, 2, 34, 6, 34, 14);
    glass.cubicTo(34, 21, 26, 23, 26, 29);
    glass.closeSubpath();
    p.drawPath(glass);
    p.setBrush(QColor(150, 150, 150));
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.drawRect(QRectF(14, 29, 12, 3));
    p.drawRect(QRectF(14.5, 32, 11, 3));
    p.drawRoundedRect(QRectF(16, 35, 8, 3), 1.5, 1.5);
    p.setPen(QPen(QColor(200, 140, 0), 1));
    p.drawLine(QPointF(17, 28), QPointF(18, 17));
    p.drawLine(QPointF(23, 28), QPointF(22, 17));
    return pm;
}

} // namespace

TTipForm::TTipForm(TKDTipDay &tipDay, QWidget *parent)
    : QDialog(parent)
    , m_tipDay(tipDay)
{
    setObjectName(QStringLiteral("TipForm"));
    // No caption: an empty title would be filled in with the program's name by the
    // platform, so the title bar is given a blank one.
    setWindowTitle(QStringLiteral(" "));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(419, 184);

    pnlTips = new QFrame(this);
    pnlTips->setObjectName(QStringLiteral("pnlTips"));
    pnlTips->setGeometry(8, 8, 309, 149);
    pnlTips->setFrameShape(QFrame::NoFrame);
    pnlTips->setAutoFillBackground(true);
    QPalette pp = pnlTips->palette();
    pp.setColor(QPalette::Window, pp.color(QPalette::ToolTipBase));
    pnlTips->setPalette(pp);

    imgBulb = new QLabel(pnlTips);
    imgBulb->setObjectName(QStringLiteral("imgBulb"));
    imgBulb->setPixmap(bulbPicture());
    imgBulb->setAlignment(Qt::AlignCenter);
    imgBulb->setGeometry(12, 8, 40, 40);

    QPalette black = palette();
    black.setColor(QPalette::WindowText, Qt::black);
    lblTitle = new QLabel(QStringLiteral("Oops..."), pnlTips);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(15);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setPalette(black);
    lblTitle->setGeometry(60, 14, 50, 18); // then sized to each heading it shows

    lbltip = new QLabel(pnlTips);
    lbltip->setObjectName(QStringLiteral("lbltip"));
    QFont tipFont(QStringLiteral("Arial"));
    tipFont.setPixelSize(13);
    lbltip->setFont(tipFont);
    lbltip->setPalette(black);
    lbltip->setWordWrap(true);
    lbltip->setTextFormat(Qt::PlainText);
    lbltip->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbltip->setGeometry(8, 44, 289, 97);

    btnNext = new QPushButton(style()->standardIcon(QStyle::SP_ArrowRight), QStringLiteral("Next     "), this);
    btnNext->setObjectName(QStringLiteral("btnNext"));
    btnNext->setGeometry(328, 20, 81, 28);
    btnNext->setLayoutDirection(Qt::RightToLeft); // the arrow after the word

    btnPrevious = new QPushButton(style()->standardIcon(QStyle::SP_ArrowLeft), QStringLiteral("Previous "), this);
    btnPrevious->setObjectName(QStringLiteral("btnPrevious"));
    btnPrevious->setGeometry(328, 60, 81, 28);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(328, 105, 81, 4);

    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(328, 128, 81, 28);
    btnClose->setDefault(true);

    cbShowTips = new QCheckBox(QStringLiteral("Show Tips at Startup"), this);
    cbShowTips->setObjectName(QStringLiteral("cbShowTips"));
    // As wide as its caption needs in this type, never narrower than its place.
    cbShowTips->setGeometry(8, 160, std::max(121, cbShowTips->sizeHint().width()), 17);
    cbShowTips->setChecked(m_tipDay.TipsEnabled);

    setTabOrder(btnClose, pnlTips);
    setTabOrder(pnlTips, btnPrevious);
    setTabOrder(btnPrevious, btnNext);
    setTabOrder(btnNext, cbShowTips);

    connect(btnNext, &QPushButton::clicked, this, [this]() {
        m_tipDay.ShowTip(true);
        showCurrent();
    });
    connect(btnPrevious, &QPushButton::clicked, this, [this]() {
        m_tipDay.ShowTip(false);
        showCurrent();
    });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(cbShowTips, &QCheckBox::toggled, this, [this](bool on) { m_tipDay.TipsEnabled = on; });

    showCurrent();
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TTipForm::showCurrent()
{
    lblTitle->setText(m_tipDay.title);
    lblTitle->adjustSize();
    lbltip->setText(m_tipDay.text);
}

void TTipForm::showEvent(QShowEvent *event)
{
    m_tipDay.ReadSettings();
    // The box shows the setting just read, which is what closing stores unless the user
    // changes it (a box left as built could say "off" while "on" gets stored).
    {
        const QSignalBlocker quiet(cbShowTips);
        cbShowTips->setChecked(m_tipDay.TipsEnabled);
    }
    QDialog::showEvent(event);
    btnClose->setFocus();
}

void TTipForm::done(int result)
{
    m_tipDay.SaveSettings();
    QDialog::done(result);
}
