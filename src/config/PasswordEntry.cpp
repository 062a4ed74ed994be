#include "config/PasswordEntry.h"

#include "config/PasswordDigest.h"
#include "config/TextCodec.h"
#include "platform/Prompts.h"

QByteArray AskNewPassword(Prompts &prompts, const QByteArray &current, bool digest,
                          const TextCodec &codec)
{
    const QString label = QStringLiteral("Password");
    const std::optional<QString> first = prompts.text(QStringLiteral("Enter Password"), label);
    if (!first || first->isEmpty())
        return current;
    const std::optional<QString> second = prompts.text(QStringLiteral("Confirm Password"), label);
    if (!second)
        return current;
    if (*first != *second) {
        prompts.error(QStringLiteral("Passwords do not match! New password not set"));
        return current;
    }
    const QByteArray bytes = codec.encode(*first);
    return digest ? PasswordDigest(bytes) : bytes;
}
