#include "config/GroupName.h"

namespace GroupName {

QString invalidMessage()
{
    return QStringLiteral("Name value can only contain alphanumeric characters and periods");
}

bool passes(QStringView name)
{
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        const bool ok = c == u'.' || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z')
                        || (c >= u'a' && c <= u'z');
        if (!ok)
            return false;
    }
    return true;
}

} // namespace GroupName
