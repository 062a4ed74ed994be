// An incoming account whose auto-reply body is one long line: showing the account's page
// and storing it after an edit, against setting the same text into a bare text view of the
// same size in the same run.
#include "BenchEditor.h"
#include "BenchUtil.h"

#include "config/ConfigStore.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QByteArray oneLine(qsizetype bytes)
{
    QByteArray line;
    line.reserve(bytes);
    const QByteArray words = "Thank you for your message, a member of the sales team will answer soon. ";
    while (line.size() < bytes)
        line += words;
    line.resize(bytes);
    return line;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    std::printf("%-58s %9s      %s\n", "auto-reply body of one line", "time", "ratio");
    for (const qsizetype size : {qsizetype(256) << 10, qsizetype(1) << 20, qsizetype(4) << 20}) {
        const QByteArray body = oneLine(size);
        QTemporaryDir dir;
        ConfigWriter w;
        w.beginSection("SERVER");
        w.writeString("Version", "1.05");
        w.beginSection("POP1");
        w.writeString("Host", "pop.example");
        w.writeString("UserID", "sales");
        w.writeBinary("AutoReplyBody", body);
        w.beginSection("POP2");
        w.writeString("Host", "pop.example");
        w.writeString("UserID", "other");
        QFile file(QDir(dir.path()).filePath(QStringLiteral("quilmora.ini")));
        if (!file.open(QIODevice::WriteOnly) || file.write(w.bytes()) != w.bytes().size())
            return 1;
        file.close();

        BenchEditorContext editor(dir.path());
        TMainForm form(editor.context);
        if (form.start(false) != TMainForm::StartResult::Run)
            return 1;
        form.show();
        QCoreApplication::processEvents();

        QPlainTextEdit bare;
        bare.resize(form.memoPopAutoReplyBody->size());
        bare.show();
        const QString text = QString::fromLatin1(body);

        auto *account = static_cast<NavNode *>(form.nodeIncoming->child(0));
        auto *other = form.nodeIncoming->child(1);
        const auto [baseMs, workMs] = BenchUtil::pairedMs(
            3,
            [&]() {
                bare.clear();
                QCoreApplication::processEvents();
                bare.setPlainText(text);
                QCoreApplication::processEvents();
            },
            [&]() {
                form.tvNav->setCurrentItem(other);
                QCoreApplication::processEvents();
                // Show the account, then an edit on its page stores the whole page.
                form.tvNav->setCurrentItem(account);
                QCoreApplication::processEvents();
                form.editPopHost->insert(QStringLiteral("x"));
                form.editPopHost->backspace();
                QCoreApplication::processEvents();
            });
        if (account->pop()->AutoReplyBody != body)
            std::printf("the body changed on storing\n");
        char what[80];
        std::snprintf(what, sizeof what, "%4lld KB: setPlainText into a bare view (baseline)", (long long)(size >> 10));
        BenchUtil::row(what, baseMs, baseMs);
        std::snprintf(what, sizeof what, "%4lld KB: show the account and store an edit", (long long)(size >> 10));
        BenchUtil::row(what, workMs, baseMs);
    }
    return 0;
}
