#pragma once

#include <QByteArray>

// The 16-byte MD5 digest of a password's bytes, as stored for the administrator and users.
QByteArray PasswordDigest(QByteArrayView password);
