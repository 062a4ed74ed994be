// quilmora-manual: renders the user manual (Markdown with pictures) into a PDF file.
//   quilmora-manual docs/manual.md build/src/quilmora.pdf
// Pictures are named relative to the Markdown file and scaled down to the text width.
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <cstdio>

namespace {

// Every picture loaded from its file (named relative to `folder`) into the document, at
// most `maxWidth` wide with its height scaled with it. False when a picture is missing.
bool fitPictures(QTextDocument &doc, const QString &folder, qreal maxWidth)
{
    struct Found
    {
        int position;
        int length;
        QTextImageFormat format;
    };
    QList<Found> found;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() && fragment.charFormat().isImageFormat())
                found.append({fragment.position(), fragment.length(), fragment.charFormat().toImageFormat()});
        }
    }
    bool ok = true;
    for (Found &f : found) {
        const QString name = f.format.name();
        const QString path = QFileInfo(name).isAbsolute() ? name : folder + QLatin1Char('/') + name;
        const QImage picture(path);
        if (picture.isNull()) {
            std::fprintf(stderr, "quilmora-manual: cannot read picture %s\n", qPrintable(path));
            ok = false;
            continue;
        }
        doc.addResource(QTextDocument::ImageResource, QUrl(name), picture);
        const qreal width = qMin<qreal>(picture.width(), maxWidth);
        f.format.setWidth(width);
        f.format.setHeight(picture.height() * width / picture.width());
        QTextCursor cursor(&doc);
        cursor.setPosition(f.position);
        cursor.setPosition(f.position + f.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(f.format);
    }
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: quilmora-manual MANUAL.md OUTPUT.pdf\n", stderr);
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "quilmora-manual: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString folder = QFileInfo(input).absolutePath();

    QTextDocument doc;
    doc.setBaseUrl(QUrl::fromLocalFile(folder + QLatin1Char('/')));
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(10);
    doc.setDefaultFont(font);
    doc.setMarkdown(QString::fromUtf8(file.readAll()));
    if (!fitPictures(doc, folder, 480))
        return 1;

    QPdfWriter writer(output);
    writer.setTitle(QStringLiteral("Quilmora Configuration Editor: User Manual"));
    writer.setCreator(QStringLiteral("quilmora-manual"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(18, 18, 18, 18),
                                     QPageLayout::Millimeter));
    doc.print(&writer);
    if (!QFileInfo(output).isFile() || QFileInfo(output).size() == 0) {
        std::fprintf(stderr, "quilmora-manual: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
