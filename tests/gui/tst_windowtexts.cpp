// The texts of the small windows are shown whole: every label, check box and drop-down
// entry fits its control in the control's own type; the support dialog's labels carry no
// accelerator; message boxes and prompts are wide enough for their title, and each box
// has its sign.
#include "config/AppIdentity.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/gui/MessageBoxPrompts.h"
#include "services/TAboutForm.h"
#include "services/TKDTipDay.h"
#include "services/TSupportForm.h"
#include "services/TTipForm.h"
#include "support/ScriptedPrompts.h"
#include "support/gui/GuiTestUtil.h"
#include "widgets/RadioGroup.h"

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

namespace {

// Why `w` does not show all of `text` (empty when it does).
QString clipped(QWidget *w, const QString &text)
{
    const QFontMetrics fm = w->fontMetrics();
    const int advance = fm.horizontalAdvance(text);
    if (auto *label = qobject_cast<QLabel *>(w)) {
        const int room = label->contentsRect().width() - 2 * label->margin();
        if (label->wordWrap()) {
            if (label->heightForWidth(label->width()) > label->height())
                return QStringLiteral("wrapped text %1 high in %2").arg(label->heightForWidth(label->width())).arg(label->height());
        } else if (advance > room) {
            return QStringLiteral("%1 wide in %2").arg(advance).arg(room);
        }
        if (fm.height() > label->contentsRect().height())
            return QStringLiteral("%1 high in %2").arg(fm.height()).arg(label->contentsRect().height());
        return {};
    }
    if (auto *box = qobject_cast<QCheckBox *>(w)) {
        const int room = box->width() - box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box)
                         - box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
        return advance > room ? QStringLiteral("%1 wide in %2").arg(advance).arg(room) : QString();
    }
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        combo->setCurrentIndex(combo->findText(text));
        if (combo->currentText() != text)
            return QStringLiteral("no entry ") + text;
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        opt.editable = combo->isEditable();
        opt.currentText = text;
        opt.frame = combo->hasFrame();
        const int room = combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo).width();
        return advance > room ? QStringLiteral("%1 wide in %2").arg(advance).arg(room) : QString();
    }
    return QStringLiteral("no text control");
}

// A label by its text, for the labels that have no name of their own.
QLabel *labelShowing(QWidget *window, const QString &text)
{
    for (QLabel *l : window->findChildren<QLabel *>())
        if (l->text() == text)
            return l;
    return nullptr;
}

} // namespace

class TestWindowTexts : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ScriptedPrompts m_prompts;
    FixedSystemInfo m_system;

private slots:
    void initTestCase()
    {
        QApplication::setApplicationName(QString::fromLatin1(AppIdentity::ApplicationTitle));
        QVERIFY(m_dir.isValid());
    }

    void textFitsItsControl_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control"); // object name, or "=" and the label's text
        QTest::addColumn<QString>("text");
        for (const char *label : {"Name ", "E-Mail ", "Telephone", "Title ", "Details"})
            QTest::addRow("support, label %s", label) << "support" << QStringLiteral("=") + QLatin1String(label) << label;
        QTest::newRow("support, occurrence label") << "support" << "lablOccurence" << "Occurence";
        for (const char *entry : {"Once - Can Reproduce", "Once - Cannot Reproduce", "Frequently - Can Reproduce",
                                  "Frequently - Cannot Reproduce"})
            QTest::addRow("support, occurrence %s", entry) << "support" << "cboxOccurence" << entry;
        for (const char *heading : {"Oops...", "Did You Know..!", "Joke Of The Day...", "Tip Of the Day...", "Today's message..."})
            QTest::addRow("tips, heading %s", heading) << "tips" << "lblTitle" << heading;
        QTest::newRow("tips, check box") << "tips" << "cbShowTips" << "Show Tips at Startup";
        QTest::newRow("about, name") << "about" << "Label27" << "Quilmora";
        QTest::newRow("about, version") << "about" << "lablVersion" << "1.05";
        QTest::newRow("about, ordering") << "about" << "Label29" << "Ordering and more information:";
    }
    void textFitsItsControl()
    {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QFETCH(QString, text);
        std::unique_ptr<QWidget> w;
        std::unique_ptr<TKDTipDay> tipDay;
        std::unique_ptr<IniFileRegistry> registry;
        if (window == QLatin1String("support")) {
            auto support = std::make_unique<TSupportForm>(m_prompts, m_system, m_dir.path());
            support->rgrpType->button(1)->click(); // "Bug report" shows the occurrence
            w = std::move(support);
        } else if (window == QLatin1String("tips")) {
            registry = std::make_unique<IniFileRegistry>(m_dir.filePath(QStringLiteral("registry")));
            tipDay = std::make_unique<TKDTipDay>(registry.get());
            auto tips = std::make_unique<TTipForm>(*tipDay);
            tipDay->title = text;
            tips->showCurrent();
            w = std::move(tips);
        } else {
            auto about = std::make_unique<TAboutForm>(nullptr, QStringLiteral("https://www.quilmora.example/"));
            about->lablVersion->setText(QStringLiteral("1.05"));
            w = std::move(about);
        }
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QWidget *c = control.startsWith(QLatin1Char('=')) ? labelShowing(w.get(), control.mid(1))
                                                          : w->findChild<QWidget *>(control);
        QVERIFY2(c, qPrintable(control));
        QVERIFY(c->isVisible());
        const QString why = clipped(c, text);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        // Inside its window too.
        QVERIFY(w->rect().contains(QRect(c->mapTo(w.get(), QPoint()), c->size())));
    }

    // The labels name their fields without underlined letters; the buttons keep theirs.
    void supportLabelsWithoutAccelerators()
    {
        TSupportForm support(m_prompts, m_system, m_dir.path());
        const QList<QLabel *> labels = support.findChildren<QLabel *>();
        QVERIFY(labels.size() >= 6);
        for (const QLabel *l : labels)
            QVERIFY2(!l->text().contains(QLatin1Char('&')), qPrintable(l->text()));
    }

    // The about box's version stands after the name, level with its baseline.
    void aboutVersionBesideTheName()
    {
        TAboutForm about(nullptr, QStringLiteral("https://www.quilmora.example/"));
        about.lablVersion->setText(QStringLiteral("1.05"));
        QCOMPARE(about.lablVersion->pos(), QPoint(236, 20));
        QCOMPARE(about.Label27->pos(), QPoint(132, 8));
        const QFontMetrics name = about.Label27->fontMetrics();
        const int nameEnds = about.Label27->x() + name.boundingRect(about.Label27->text()).right();
        const int versionStarts = about.lablVersion->x() + about.lablVersion->indent()
                                  + about.lablVersion->fontMetrics().leftBearing(QLatin1Char('1'));
        QVERIFY2(nameEnds + 2 < versionStarts, qPrintable(QStringLiteral("%1 %2").arg(nameEnds).arg(versionStarts)));
    }

    // The tip window's check box and heading as the window is laid out.
    void tipWindowLayout()
    {
        IniFileRegistry registry(m_dir.filePath(QStringLiteral("registry")));
        TKDTipDay tipDay(&registry);
        TTipForm tips(tipDay);
        QCOMPARE(tips.cbShowTips->pos(), QPoint(8, 160));
        QCOMPARE(tips.cbShowTips->height(), 17);
        QCOMPARE(tips.cbShowTips->width(), std::max(121, tips.cbShowTips->sizeHint().width()));
        // The heading is as wide as its text, from its place beside the bulb.
        tipDay.title = QStringLiteral("Did You Know..!");
        tips.showCurrent();
        QCOMPARE(tips.lblTitle->pos(), QPoint(60, 14));
        QCOMPARE(tips.lblTitle->width(), tips.lblTitle->sizeHint().width());
        // The window system shows the title it is given, which is blank, not the program's name.
        QVERIFY(!tips.windowTitle().isEmpty());
        QVERIFY(tips.windowTitle().trimmed().isEmpty());
    }

    // A box is as wide as its title needs, so the window system shows it whole, and it
    // carries the sign of its kind.
    void boxShowsItsTitle_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("icon"); // QMessageBox::Icon; NoIcon for a text prompt
        QTest::newRow("password prompt") << "text" << "Enter Password" << int(QMessageBox::NoIcon);
        QTest::newRow("confirmation prompt") << "text" << "Confirm Password" << int(QMessageBox::NoIcon);
        QTest::newRow("question under the program's title") << "yesNo" << "" << int(QMessageBox::Question);
        QTest::newRow("error under the program's title") << "error" << "" << int(QMessageBox::Critical);
        QTest::newRow("a new version") << "informationOkCancel" << "" << int(QMessageBox::Information);
        QTest::newRow("the same version") << "information" << "" << int(QMessageBox::Information);
    }
    void boxShowsItsTitle()
    {
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        QFETCH(int, icon);
        MessageBoxPrompts prompts;
        QString title;
        int width = 0;
        int shownIcon = -1;
        GuiTestUtil::onNextModal([&](QWidget *modal) {
            title = modal->windowTitle();
            width = modal->width();
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                shownIcon = int(box->icon());
            else if (qobject_cast<QInputDialog *>(modal))
                shownIcon = int(QMessageBox::NoIcon);
            static_cast<QDialog *>(modal)->reject();
        });
        const QString text = QStringLiteral("Are you sure?");
        if (kind == QLatin1String("text"))
            prompts.text(caption, QStringLiteral("Password"));
        else if (kind == QLatin1String("yesNo"))
            prompts.yesNo(text);
        else if (kind == QLatin1String("error"))
            prompts.error(text);
        else if (kind == QLatin1String("information"))
            prompts.information(text);
        else
            prompts.informationOkCancel(text);
        QCOMPARE(title, caption.isEmpty() ? QString::fromLatin1(AppIdentity::ApplicationTitle) : caption);
        QCOMPARE(shownIcon, icon);
        // The title in bold type, and room beside it for the bar's icon and three buttons.
        QFont bold = QApplication::font();
        bold.setBold(true);
        const int needed = QFontMetrics(bold).horizontalAdvance(title) + 4 * 28;
        QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 wide for %2").arg(width).arg(needed)));
    }

    // The windows as the README shows them.
    void screenshots()
    {
        const QString dir = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("QUILMORA_SCREENSHOT_DIR names no folder");
        TSupportForm support(m_prompts, m_system, m_dir.path());
        support.show();
        QVERIFY(QTest::qWaitForWindowExposed(&support));
        support.editName->setText(QStringLiteral("Ann Smith"));
        support.editEmail->setText(QStringLiteral("ann@harbour.example"));
        support.editTelephone->setText(QStringLiteral("+1 555 0100"));
        support.rgrpType->button(1)->click();
        support.editTitle->setText(QStringLiteral("Save fails on a full disk"));
        support.cboxOccurence->setCurrentIndex(3);
        support.memoDetails->setPlainText(QStringLiteral("File, Save says \"Unable to write to\" when the disk is full."));
        QVERIFY(support.grab().save(dir + QStringLiteral("/support.png")));

        IniFileRegistry registry(m_dir.filePath(QStringLiteral("registry")));
        TKDTipDay tipDay(&registry);
        tipDay.TipFile = QStringLiteral(QUILMORA_SOURCE_DIR "/share/tips.dat");
        tipDay.LoadTips();
        TTipForm tips(tipDay);
        tips.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tips));
        tips.showCurrent();
        QVERIFY(tips.grab().save(dir + QStringLiteral("/tips.png")));

        TAboutForm about(nullptr, QStringLiteral("https://www.quilmora.example/"));
        about.lablVersion->setText(QStringLiteral("1.05"));
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(about.grab().save(dir + QStringLiteral("/about.png")));
    }
};

QTEST_MAIN(TestWindowTexts)
#include "tst_windowtexts.moc"
