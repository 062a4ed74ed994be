// The reply reader on arbitrary server output: replies one after another until the input
// ends, never crashing, never looping, never holding more than its bounds.
#include "remote/ReplyReader.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ReplyReader reader(buffer, 0);
    Reply reply;
    while (reader.readReply(&reply)) {
        if (reply.lines.isEmpty() || reply.lines.first().isEmpty())
            __builtin_trap(); // a reply always has a non-empty first line
        (void)reply.message();
    }
    return 0;
}
