// The window and `schema --json` show every key with the same caption, hint, page and box:
// both come from the core's key table, and here each key's control in the window is found
// by its object name and read back.
#include "config/ItemKeys.h"
#include "support/CliRunner.h"
#include "support/gui/MainFormFixture.h"
#include "widgets/RadioGroup.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

namespace {

// Whether `layout` holds `w`, directly or in a nested layout.
bool holds(QLayout *layout, QWidget *w)
{
    if (layout->indexOf(w) >= 0)
        return true;
    for (int i = 0; i < layout->count(); ++i)
        if (QLayout *inner = layout->itemAt(i)->layout(); inner && holds(inner, w))
            return true;
    return false;
}

QString textOf(QWidget *w)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    return {};
}

// The tab of a tab widget that holds `w`, or null.
QString tabTitle(QWidget *w)
{
    for (QWidget *p = w; p; p = p->parentWidget())
        if (auto *tabs = qobject_cast<QTabWidget *>(p->parentWidget() ? p->parentWidget()->parentWidget() : nullptr))
            if (int i = tabs->indexOf(p); i >= 0)
                return tabs->tabText(i);
    return {};
}

// The caption a user reads for the control: a check box's own text, a radio group's title,
// else what stands left of it in its grid, else the tab it is on.
QString captionOf(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text().trimmed();
    if (auto *r = qobject_cast<RadioGroup *>(w))
        return r->title().trimmed();
    for (QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        auto *grid = qobject_cast<QGridLayout *>(p->layout());
        if (!grid && qobject_cast<RadioGroup *>(p))
            grid = static_cast<RadioGroup *>(p)->grid();
        if (!grid || !holds(grid, w))
            continue;
        for (int i = 0; i < grid->count(); ++i) {
            QLayoutItem *item = grid->itemAt(i);
            if (item->widget() != w && !(item->layout() && holds(item->layout(), w)))
                continue;
            int row, column, rows, columns;
            grid->getItemPosition(i, &row, &column, &rows, &columns);
            if (column > 0)
                if (QLayoutItem *left = grid->itemAtPosition(row, column - 1); left && left->widget())
                    return textOf(left->widget()).trimmed();
        }
        break;
    }
    return tabTitle(w).trimmed();
}

QString boxOf(QWidget *w)
{
    if (auto *r = qobject_cast<RadioGroup *>(w))
        return r->title().trimmed();
    for (QWidget *p = w->parentWidget(); p; p = p->parentWidget())
        if (auto *g = qobject_cast<QGroupBox *>(p))
            return g->title().trimmed();
    return tabTitle(w).trimmed();
}

QString pageOf(QWidget *w)
{
    for (QWidget *p = w->parentWidget(); p; p = p->parentWidget())
        if (auto *heading = p->findChild<QLabel *>(p->objectName() + QStringLiteral("Title"),
                                                  Qt::FindDirectChildrenOnly))
            return heading->text();
    return {};
}

const char *kindMember(ItemKeys::Kind kind)
{
    switch (kind) {
    case ItemKeys::Kind::Server: return "server";
    case ItemKeys::Kind::Pop: return "pops";
    case ItemKeys::Kind::User: return "users";
    case ItemKeys::Kind::Group: return "groups";
    }
    return "";
}

} // namespace

class TestKeySchema : public QObject, private MainFormFixture
{
    Q_OBJECT

private slots:
    void windowShowsTheTable_data()
    {
        QTest::addColumn<int>("kind");
        for (ItemKeys::Kind kind : {ItemKeys::Kind::Server, ItemKeys::Kind::Pop, ItemKeys::Kind::User,
                                    ItemKeys::Kind::Group})
            QTest::newRow(kindMember(kind)) << int(kind);
    }
    void windowShowsTheTable()
    {
        QFETCH(int, kind);
        QVERIFY(open(MainFormFixtureFiles::demoFile()));
        for (const ItemKeys::Key &key : ItemKeys::keys(ItemKeys::Kind(kind))) {
            const QString name = QString::fromLatin1(key.name);
            if (!*key.control) {
                // Only the program's own version has no control of its own.
                QCOMPARE(name, QStringLiteral("Version"));
                continue;
            }
            auto *w = m_form->findChild<QWidget *>(QString::fromLatin1(key.control));
            QVERIFY2(w, key.control);
            QCOMPARE(name + QLatin1Char(' ') + captionOf(w), name + QLatin1Char(' ') + QString::fromUtf8(key.caption));
            QCOMPARE(name + QLatin1Char(' ') + w->toolTip(), name + QLatin1Char(' ') + QString::fromUtf8(key.hint));
            QCOMPARE(name + QLatin1Char(' ') + boxOf(w), name + QLatin1Char(' ') + QString::fromUtf8(key.box));
            QCOMPARE(name + QLatin1Char(' ') + pageOf(w), name + QLatin1Char(' ') + QString::fromUtf8(key.page));
            if (auto *r = qobject_cast<RadioGroup *>(w)) {
                QStringList items;
                for (int i = 0; r->button(i); ++i)
                    items << r->button(i)->text().trimmed();
                QCOMPARE(items.join(QLatin1Char('|')), QString::fromUtf8(key.choices));
            }
        }
    }

    // `schema --json` prints the same table, key for key, with each integer's range.
    void schemaPrintsTheTable()
    {
        const CliRun r = runCli({QStringLiteral("schema"), QStringLiteral("--json")});
        QCOMPARE(r.status, 0);
        const QJsonObject schema = QJsonDocument::fromJson(r.out).object();
        for (ItemKeys::Kind kind : {ItemKeys::Kind::Server, ItemKeys::Kind::Pop, ItemKeys::Kind::User,
                                    ItemKeys::Kind::Group}) {
            const QJsonArray entries = schema.value(QLatin1String(kindMember(kind))).toArray();
            const QList<ItemKeys::Key> &keys = ItemKeys::keys(kind);
            QCOMPARE(entries.size(), keys.size());
            for (int i = 0; i < keys.size(); ++i) {
                const QJsonObject e = entries.at(i).toObject();
                const ItemKeys::Key &k = keys.at(i);
                QCOMPARE(e.value("key").toString(), QString::fromLatin1(k.name));
                QCOMPARE(e.value("form").toString(), QString::fromLatin1(ItemKeys::formName(k.form)));
                QCOMPARE(e.value("caption").toString(), QString::fromUtf8(k.caption));
                QCOMPARE(e.value("hint").toString(), QString::fromUtf8(k.hint));
                QCOMPARE(e.value("page").toString(), QString::fromUtf8(k.page));
                QCOMPARE(e.value("box").toString(), QString::fromUtf8(k.box));
                QCOMPARE(e.value("settable").toBool(), k.settable);
                QCOMPARE(e.contains("min"), k.form == ItemKeys::Form::Integer);
                if (k.form == ItemKeys::Form::Integer) {
                    QCOMPARE(e.value("min").toInt(), k.min);
                    QCOMPARE(e.value("max").toInt(), k.max);
                }
            }
        }
        const QJsonObject port = schema.value("server").toArray().at(0).toObject();
        QCOMPARE(port.value("max").toInt(), 65534); // the editor's spin box, as the window offers it
    }
};

QTEST_MAIN(TestKeySchema)
#include "tst_keyschema.moc"
