#include "services/TAboutForm.h"

#include "platform/Shell.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

QPixmap quilmoraLogo(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);
    // An envelope (the mail) under a feather quill (the editing).
    QLinearGradient paper(0, 30, 0, 90);
    paper.setColorAt(0, QColor(250, 250, 245));
    paper.setColorAt(1, QColor(214, 222, 236));
    p.setPen(QPen(QColor(40, 70, 130), 3));
    p.setBrush(paper);
    p.drawRoundedRect(QRectF(8, 40, 76, 50), 6, 6);
    p.drawPolyline(QPolygonF({QPointF(10, 43), QPointF(46, 70), QPointF(82, 43)}));
    QPainterPath quill;
    quill.moveTo(40, 78);
    quill.cubicTo(52, 52, 70, 22, 94, 6);
    quill.cubicTo(88, 26, 74, 50, 48, 70);
    quill.closeSubpath();
    QLinearGradient feather(40, 78, 94, 6);
    feather.setColorAt(0, QColor(20, 100, 170));
    feather.setColorAt(1, QColor(90, 180, 230));
    p.setPen(QPen(QColor(10, 50, 100), 2));
    p.setBrush(feather);
    p.drawPath(quill);
    p.setPen(QPen(QColor(10, 50, 100), 2.5));
    p.drawLine(QPointF(36, 86), QPointF(62, 44));
    return pm;
}

TAboutForm::TAboutForm(Shell *shell, const QString &homePage, QWidget *parent)
    : QDialog(parent)
    , m_shell(shell)
    , m_homePage(homePage)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(336, 208);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(0, 0, 336, 208);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(quilmoraLogo(104));
    Image1->setGeometry(13, 9, 104, 104);

    Label27 = new QLabel(QStringLiteral("Quilmora"), Panel1);
    Label27->setObjectName(QStringLiteral("Label27"));
    QFont big(QStringLiteral("Arial"));
    big.setPixelSize(24);
    big.setBold(true);
    Label27->setFont(big);
    Label27->move(132, 8);
    Label27->adjustSize();

    lablVersion = new QLabel(Panel1);
    lablVersion->setObjectName(QStringLiteral("lablVersion"));
    lablVersion->setGeometry(236, 20, 84, 16); // after the name, on its baseline
    // The name's last letter reaches to about 237 in this type: the text starts a little
    // in, so the two do not touch.
    lablVersion->setIndent(4);

    QFont normal(QStringLiteral("Arial"));
    normal.setPixelSize(13);
    Label29 = new QLabel(QStringLiteral("Ordering and more information:"), Panel1);
    Label29->setObjectName(QStringLiteral("Label29"));
    Label29->setFont(normal);
    Label29->move(132, 72);
    Label29->adjustSize();

    Label30 = new QLabel(homePage, Panel1);
    Label30->setObjectName(QStringLiteral("Label30"));
    QFont link = normal;
    link.setUnderline(true);
    Label30->setFont(link);
    Label30->setTextFormat(Qt::PlainText);
    QPalette blue = Label30->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label30->setPalette(blue);
    Label30->setCursor(Qt::PointingHandCursor);
    Label30->move(132, 92);
    Label30->adjustSize();
    Label30->setMaximumWidth(336 - 132 - 6);
    Label30->installEventFilter(this);

    Button1 = new QPushButton(QStringLiteral("Close"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(240, 172, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TAboutForm::Button1Click);

    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TAboutForm::Label30Click()
{
    if (m_shell)
        m_shell->open(m_homePage);
}

void TAboutForm::Button1Click()
{
    accept();
}

bool TAboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label30 && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Label30Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
