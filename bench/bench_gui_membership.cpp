// The main window with large configurations: filling the membership check lists when an
// item is selected, against building the same widgets directly, and start-up (load and
// tree) for growing numbers of items, which must stay linear.
#include "BenchEditor.h"
#include "BenchUtil.h"

#include "config/ConfigStore.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QByteArray userName(int i)
{
    return "user" + QByteArray::number((i * 7919) % 100000); // names not in sorted order
}

QByteArray groupName(int i)
{
    return "grp." + QByteArray::number((i * 104729) % 1000000);
}

// N users, N groups, the first group admitting every user, one account filing into every group.
QByteArray makeConfig(int n)
{
    ConfigWriter w;
    w.beginSection("SERVER");
    w.writeString("Version", "1.05");
    QByteArrayList users, groups;
    for (int i = 0; i < n; ++i) {
        users << userName(i);
        groups << groupName(i);
    }
    w.beginSection("POP1");
    w.writeString("Host", "pop.example");
    w.writeString("UserID", "all");
    w.writeList("Newsgroups", groups);
    w.writeString("DefaultGroup", groups.last());
    for (int i = 0; i < n; ++i) {
        w.beginSection("USER" + QByteArray::number(i + 1));
        w.writeString("Name", users.at(i));
        w.writeBinary("Pass", QByteArray(16, char(i)));
    }
    for (int i = 0; i < n; ++i) {
        w.beginSection("GROUP" + QByteArray::number(i + 1));
        w.writeString("Name", groups.at(i));
        w.writeList("Users", i == 0 ? users : QByteArrayList{});
    }
    return w.bytes();
}

struct Editor
{
    QTemporaryDir dir;
    std::unique_ptr<BenchEditorContext> context;
    std::unique_ptr<TMainForm> form;

    explicit Editor(const QByteArray &config)
    {
        QFile f(dir.filePath(QStringLiteral("quilmora.ini")));
        f.open(QIODevice::WriteOnly);
        f.write(config);
        f.close();
        context = std::make_unique<BenchEditorContext>(dir.path());
    }
    bool start()
    {
        form = std::make_unique<TMainForm>(context->context);
        return form->start(false) == TMainForm::StartResult::Run;
    }
};

// The baseline: the same check list (and drop-down list) built straight from the names.
void buildDirectly(QListWidget *list, QComboBox *combo, const QStringList &sortedNames, const QStringList &treeNames)
{
    list->clear();
    for (const QString &name : sortedNames) {
        auto *entry = new QListWidgetItem(name);
        entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        entry->setCheckState(Qt::Checked);
        list->addItem(entry);
    }
    if (combo) {
        combo->clear();
        combo->addItems(treeNames);
        combo->setCurrentIndex(treeNames.size() - 1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = 10000;
    const int runs = qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 11;

    Editor editor(makeConfig(n));
    if (!editor.start())
        return 1;
    TMainForm &f = *editor.form;
    f.show();
    auto *group = f.nodeGroups->child(0);
    auto *account = f.nodeIncoming->child(0);

    QStringList userNames, groupNames;
    for (int i = 0; i < n; ++i) {
        userNames << QString::fromLatin1(userName(i));
        groupNames << QString::fromLatin1(groupName(i));
    }
    QStringList sortedUsers = userNames, sortedGroups = groupNames;
    sortedUsers.sort(Qt::CaseInsensitive);
    sortedGroups.sort(Qt::CaseInsensitive);

    QListWidget baseList;
    QComboBox baseCombo;
    baseList.setUniformItemSizes(true);
    baseList.show();
    baseCombo.show();

    std::printf("membership lists, %d users and %d groups, median of %d runs\n", n, n, runs);
    // Each selection is measured from the item's root (whose branch stays open), so the
    // page is filled afresh and the tree's own layout is not part of the figure.
    const auto [baseUsers, selectGroup] = BenchUtil::pairedMs(
        runs,
        [&] {
            buildDirectly(&baseList, nullptr, sortedUsers, {});
            app.processEvents();
        },
        [&] {
            f.tvNav->setCurrentItem(f.nodeGroups);
            f.tvNav->setCurrentItem(group);
            app.processEvents();
        });
    const auto [baseGroups, selectAccount] = BenchUtil::pairedMs(
        runs,
        [&] {
            buildDirectly(&baseList, &baseCombo, sortedGroups, groupNames);
            app.processEvents();
        },
        [&] {
            f.tvNav->setCurrentItem(f.nodeIncoming);
            f.tvNav->setCurrentItem(account);
            app.processEvents();
        });
    // The same after a user was renamed, so the list's names and order are worked out
    // afresh (the first showing after any rename, addition or removal).
    TUser *renamed = static_cast<NavNode *>(f.nodeUsers->child(n / 2))->user();
    const QByteArray originalName = renamed->Name;
    const auto [baseUsers2, selectGroupRenamed] = BenchUtil::pairedMs(
        runs,
        [&] {
            buildDirectly(&baseList, nullptr, sortedUsers, {});
            app.processEvents();
        },
        [&] {
            renamed->Name = renamed->Name == originalName ? originalName + 'x' : originalName;
            f.tvNav->setCurrentItem(f.nodeGroups);
            f.tvNav->setCurrentItem(group);
            app.processEvents();
        });
    renamed->Name = originalName;
    f.tvNav->setCurrentItem(f.nodeGroups);
    f.tvNav->setCurrentItem(group);
    int checkedUsers = 0;
    for (int i = 0; i < f.chlstUsers->count(); ++i)
        checkedUsers += f.chlstUsers->item(i)->checkState() == Qt::Checked;
    if (f.chlstUsers->count() != n || f.chlstGroups->count() != n || checkedUsers != n)
        return 1;
    BenchUtil::row("baseline: check list of the users built directly", baseUsers, baseUsers);
    BenchUtil::row("select the group admitting every user", selectGroup, baseUsers);
    BenchUtil::row("the same, a user renamed just before", selectGroupRenamed, baseUsers2);
    BenchUtil::row("baseline: group check list + default list built directly", baseGroups, baseGroups);
    BenchUtil::row("select the account filing into every group", selectAccount, baseGroups);

    if (qEnvironmentVariableIsSet("BENCH_LISTS_ONLY"))
        return 0;
    std::printf("\nstart-up (load, tree, pages) by size, median of 3 runs\n");
    double firstPerItem = 0;
    for (int size : {2500, 5000, 10000, 20000}) {
        const QByteArray config = makeConfig(size);
        const double ms = BenchUtil::medianMs(3, [&] {
            Editor e(config);
            e.start();
        });
        const double perItem = ms / (2.0 * size);
        if (firstPerItem == 0)
            firstPerItem = perItem;
        std::printf("%6d users + %6d groups: %9.2f ms   %7.4f ms per item   %5.2fx the smallest per item\n", size,
                    size, ms, perItem, perItem / firstPerItem);
    }
    return 0;
}
