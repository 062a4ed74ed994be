#include "services/Deployment.h"

namespace {

QString text(const char *variable, const char *fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

quint16 port(const char *variable, quint16 fallback)
{
    bool ok = false;
    const uint value = qEnvironmentVariable(variable).trimmed().toUInt(&ok);
    return ok && value > 0 && value <= 65535 ? quint16(value) : fallback;
}

} // namespace

namespace Deployment {

QString homePage()
{
    return text("QUILMORA_HOME_PAGE", "https://www.quilmora.example/");
}

QString versionHost()
{
    return text("QUILMORA_VERSION_HOST", "version.quilmora.example");
}

quint16 versionPort()
{
    return port("QUILMORA_VERSION_PORT", 10920);
}

QString supportHost()
{
    return text("QUILMORA_SUPPORT_HOST", "support.quilmora.example");
}

quint16 supportPort()
{
    return port("QUILMORA_SUPPORT_PORT", 8900);
}

QString supportMailbox()
{
    return text("QUILMORA_SUPPORT_MAILBOX", "support@quilmora.example");
}

QString notifySmtpHost()
{
    return text("QUILMORA_NOTIFY_SMTP_HOST", "mail.quilmora.example");
}

} // namespace Deployment
