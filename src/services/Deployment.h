#pragma once

#include <QString>
#include <QtGlobal>

// Where the maker's services live: the home page, the version server, the support mail
// server and its mailbox. Defaults name hosts under the reserved ".example" domain; each
// value can be set by an environment variable (tests point them at loopback servers):
//
//   QUILMORA_HOME_PAGE            home page address
//   QUILMORA_VERSION_HOST/_PORT   version server (port 10920)
//   QUILMORA_SUPPORT_HOST/_PORT   support mail server (port 8900)
//   QUILMORA_SUPPORT_MAILBOX      support mailbox
//   QUILMORA_NOTIFY_SMTP_HOST     mail server for new-version notices (port 25)
namespace Deployment {

QString homePage();
QString versionHost();
quint16 versionPort();
QString supportHost();
quint16 supportPort();
QString supportMailbox();
QString notifySmtpHost();

} // namespace Deployment
