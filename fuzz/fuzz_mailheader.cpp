// Arbitrary text as a mail's subject and sender: every header line stays one line of at
// most 78 characters where it can be folded, printable ASCII only, and no text can add a
// header line of its own.
#include "services/MailMessage.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype half = text.size() / 2;
    MailMessage m;
    m.charset = (size % 2) ? MailCharset{"ISO-8859-1", 'Q'} : MailCharset{"ISO-2022-JP", 'B'};
    m.Subject = text.left(half);
    m.From = text.mid(half);
    m.Recipients = {QStringLiteral("a@b.example")};
    m.date = QDateTime(QDate(2026, 1, 1), QTime(0, 0));
    const QByteArrayList lines = m.headerLines(m.date);
    for (const QByteArray &header : lines) {
        const QByteArrayList pieces = header.split('\n');
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            QByteArray piece = pieces[i];
            if (i + 1 < pieces.size()) {
                if (!piece.endsWith('\r'))
                    std::abort();
                piece.chop(1);
            }
            if (i > 0 && !(piece.startsWith(' ') || piece.startsWith('\t')))
                std::abort(); // a continuation that would start a header of its own
            for (char c : piece) {
                if (c == '\r' || static_cast<unsigned char>(c) > 126 || (static_cast<unsigned char>(c) < 32 && c != '\t'))
                    std::abort();
            }
        }
    }
    return 0;
}
