#include "archive/TArchiveForm.h"

#include "config/GroupDataFolder.h"
#include "platform/Clock.h"
#include "platform/Prompts.h"
#include "platform/gui/WaitCursor.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace {

// The Delete button's picture: a waste bin with a red cross over it.
QIcon deletePicture()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // the bin
    p.setPen(QPen(QColor(70, 70, 80), 1));
    p.setBrush(QColor(190, 195, 205));
    QPainterPath body;
    body.moveTo(3.5, 4.5);
    body.lineTo(12.5, 4.5);
    body.lineTo(11.5, 15.5);
    body.lineTo(4.5, 15.5);
    body.closeSubpath();
    p.drawPath(body);
    p.drawRect(QRectF(2.5, 2.5, 11, 2));
    p.drawLine(QPointF(6.5, 1.5), QPointF(9.5, 1.5));
    p.setPen(QPen(QColor(120, 120, 130), 1));
    p.drawLine(QPointF(6.5, 6.5), QPointF(6.5, 13.5));
    p.drawLine(QPointF(9.5, 6.5), QPointF(9.5, 13.5));
    // the cross
    p.setPen(QPen(QColor(200, 20, 20), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8.5, 8.5), QPointF(14.5, 14.5));
    p.drawLine(QPointF(14.5, 8.5), QPointF(8.5, 14.5));
    p.end();
    return QIcon(pixmap);
}

// The locale's short date form, always with a four-digit year: a two-digit year field
// could not tell 1999 from 2099.
QString shortDateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

} // namespace

TArchiveForm::TArchiveForm(const QString &groupFolder, Clock &clock, Prompts &prompts, QWidget *parent)
    : QDialog(parent)
    , m_groupFolder(groupFolder)
    , m_clock(clock)
    , m_prompts(prompts)
{
    setObjectName(QStringLiteral("ArchiveForm"));
    setWindowTitle(QStringLiteral("Message Archive"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(339, 144);

    rgrpFilter = new QGroupBox(QStringLiteral(" Filter Messages "), this);
    rgrpFilter->setObjectName(QStringLiteral("rgrpFilter"));
    m_olderThan = new QRadioButton(QStringLiteral("Older than "), rgrpFilter);
    m_olderThan->setObjectName(QStringLiteral("rgrpFilterOlderThan"));
    m_beforeDate = new QRadioButton(QStringLiteral("Before date "), rgrpFilter);
    m_beforeDate->setObjectName(QStringLiteral("rgrpFilterBeforeDate"));
    m_filterButtons = new QButtonGroup(this);
    m_filterButtons->addButton(m_olderThan, 0);
    m_filterButtons->addButton(m_beforeDate, 1);
    m_olderThan->setChecked(true);

    SpinEdit1 = new QSpinBox(rgrpFilter);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    SpinEdit1->setValue(0);
    // Text that is not a whole number counts as 0, in the box as in the purge.
    SpinEdit1->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    SpinEdit1->setFixedWidth(80);

    StaticText1 = new QLabel(QStringLiteral("days"), rgrpFilter);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));

    DateTimePicker1 = new QDateEdit(rgrpFilter);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker1->setDisplayFormat(shortDateFormat());
    DateTimePicker1->setDate(m_clock.today());
    DateTimePicker1->setFixedWidth(120);

    auto *grid = new QGridLayout(rgrpFilter);
    grid->setContentsMargins(10, 6, 10, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(8);
    grid->addWidget(m_olderThan, 0, 0);
    grid->addWidget(SpinEdit1, 0, 1);
    grid->addWidget(StaticText1, 0, 2);
    grid->addWidget(m_beforeDate, 1, 0);
    grid->addWidget(DateTimePicker1, 1, 1, 1, 2);
    grid->setColumnStretch(3, 1);

    butnDelete = new QPushButton(deletePicture(), QStringLiteral("Delete"), this);
    butnDelete->setObjectName(QStringLiteral("butnDelete"));
    butnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    butnCancel->setObjectName(QStringLiteral("butnCancel"));
    // Enter must never purge by surprise: neither button is the default one.
    for (QPushButton *b : {butnDelete, butnCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setFixedSize(82, 25);
    }

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    buttons->addWidget(butnDelete);
    buttons->addWidget(butnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->setSpacing(8);
    layout->addWidget(rgrpFilter, 1);
    layout->addLayout(buttons);

    setTabOrder(m_olderThan, m_beforeDate);
    setTabOrder(m_beforeDate, SpinEdit1);
    setTabOrder(SpinEdit1, DateTimePicker1);
    setTabOrder(DateTimePicker1, butnDelete);
    setTabOrder(butnDelete, butnCancel);

    connect(butnDelete, &QPushButton::clicked, this, &TArchiveForm::butnDeleteClick);
    // Esc closes the dialog too (QDialog's reject).
    connect(butnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TArchiveForm::execForGroup(const QString &programFolder, const QString &groupName, Clock &clock,
                                Prompts &prompts, QWidget *parent)
{
    QString error;
    const QString folder = GroupDataFolder::path(programFolder, groupName, &error);
    if (folder.isEmpty()) {
        prompts.error(error);
        return;
    }
    TArchiveForm form(folder, clock, prompts, parent);
    form.exec();
}

int TArchiveForm::filterIndex() const
{
    return m_filterButtons->checkedId();
}

void TArchiveForm::setFilterIndex(int index)
{
    if (QAbstractButton *b = m_filterButtons->button(index))
        b->setChecked(true);
}

MsgArchive::DateTime TArchiveForm::cutOff() const
{
    if (filterIndex() == 1)
        return MsgArchive::cutOffBefore(DateTimePicker1->date());
    // Text that is not a whole number counts as 0 days.
    bool ok = false;
    const int days = QLocale().toInt(SpinEdit1->cleanText(), &ok);
    return MsgArchive::cutOffOlderThan(m_clock.today(), ok ? days : 0);
}

void TArchiveForm::butnDeleteClick()
{
    // The number as the box shows it is the one used: an emptied or unreadable box reads 0
    // and shows 0, rather than springing back to an older number once the focus leaves it.
    SpinEdit1->interpretText();
    const MsgArchive::DateTime cut = cutOff();
    WaitCursor waitCursor;
    BusyCursor *cursor = m_cursor ? m_cursor : &waitCursor;

    // A cut-off of today or later takes every message up to now: the count is shown first.
    if (cut >= MsgArchive::toDateTime(m_clock.today())) {
        MsgArchive::PurgeResult counted;
        {
            BusyCursorScope wait(cursor);
            MsgArchive::PurgeOptions dryRun;
            dryRun.dryRun = true;
            counted = MsgArchive::PurgeGroup(m_groupFolder, cut, dryRun);
        }
        if (!counted.ok) {
            m_prompts.error(counted.error);
            return;
        }
        const QString day = QLocale().toString(MsgArchive::dateOf(cut), shortDateFormat());
        if (!m_prompts.yesNo(QStringLiteral("Every message dated before %1 will be deleted: %2 entries. Are you sure?")
                                 .arg(day, QString::number(counted.removedXover))))
            return;
    }

    MsgArchive::PurgeResult result;
    {
        BusyCursorScope wait(cursor); // restored on every way out
        result = MsgArchive::PurgeGroup(m_groupFolder, cut);
    }
    if (!result.ok)
        m_prompts.error(result.error);
}

void TArchiveForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    // Centred on the screen, whatever the owner window.
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
}
