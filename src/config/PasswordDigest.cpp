#include "config/PasswordDigest.h"

#include <QCryptographicHash>

QByteArray PasswordDigest(QByteArrayView password)
{
    return QCryptographicHash::hash(password, QCryptographicHash::Md5);
}
