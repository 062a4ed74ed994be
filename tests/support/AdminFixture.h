#pragma once

// A server folder with a small configuration for the tests of quilmora-config's
// administration commands, and the command run on it.
#include "config/PasswordDigest.h"
#include "config/ValueForms.h"
#include "support/CliRunner.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <memory>

inline const QByteArray kSmall = "[SERVER]\r\nPort=119\r\nName=Office\r\nVersion=1.05\r\nAdminUser=admin\r\n"
                          "AdminPass=" + ValueForms::encodeBinary(PasswordDigest("pw")) + "\r\n"
                          "[POP1]\r\nHost=mail.example\r\nPort=110\r\nUserID=info\r\nNewsgroups=sales\r\n"
                          "DefaultGroup=sales\r\nAutoReply=y\r\n"
                          "[USER1]\r\nName=ann\r\nPass=" + ValueForms::encodeBinary(PasswordDigest("a")) + "\r\n"
                          "[USER2]\r\nName=bob\r\nPass=" + ValueForms::encodeBinary(PasswordDigest("b")) + "\r\n"
                          "[GROUP1]\r\nName=sales\r\nUsers=ann,bob\r\nReadOnly=N\r\n"
                          "[GROUP2]\r\nName=comp.lang\r\nUsers=ann\r\n"
                          "[GROUP3]\r\nName=SALES\r\n";

class AdminFixture
{
protected:
    // A fresh folder holding kSmall as quilmora.ini.
    bool freshFolder()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        return m_dir->isValid() && TestFiles::write(ini(), kSmall);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString folder() const { return m_dir->path(); }
    QString ini() const { return m_dir->filePath(QStringLiteral("quilmora.ini")); }
    CliRun cli(const QStringList &args) { return runCli(QStringList{QStringLiteral("--folder"), folder()} + args); }
    QString writeFile(const char *name, const QByteArray &bytes)
    {
        const QString path = m_dir->filePath(QString::fromLatin1(name));
        if (!TestFiles::write(path, bytes))
            qFatal("cannot write %s", name);
        return path;
    }
};
