#include "config/LinkedFiles.h"

#include "config/ConfigBytes.h"
#include "config/SafeFile.h"
#include "config/TextLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

LinkedFiles::LinkedFiles(Mode mode, const QString &folder, const QString &configuration)
    : m_mode(mode), m_folder(QFileInfo(folder).canonicalFilePath()),
      m_configuration(configuration.isEmpty() ? QString() : QFileInfo(configuration).canonicalFilePath())
{
}

QByteArray LinkedFiles::read(const QByteArray &name, const QString &where)
{
    if (name.isEmpty())
        return {};
    const QString note = where + QLatin1Char('=') + QFile::decodeName(name);
    if (m_mode == Mode::None || m_folder.isEmpty()) {
        m_skipped.append(note);
        return {};
    }
    const QString given = QFile::decodeName(name);
    const QString absolute = QDir::isAbsolutePath(given) ? given : m_folder + QLatin1Char('/') + given;
    const QString inside = m_folder == QLatin1String("/") ? m_folder : m_folder + QLatin1Char('/');
    const QFileInfo info(absolute);
    const QString resolved = info.exists() ? info.canonicalFilePath() : QDir::cleanPath(absolute);
    const bool isConfigurationItself =
        !m_configuration.isEmpty() &&
        (resolved == m_configuration || resolved == m_configuration + QLatin1String(".bak"));
    if (!resolved.startsWith(inside) || isConfigurationItself) {
        m_skipped.append(note);
        return {};
    }
    QByteArray bytes;
    const SafeFile::ReadStatus status = SafeFile::readRegular(resolved, &bytes);
    if (status == SafeFile::ReadStatus::NotRegular)
        m_skipped.append(note);
    if (status == SafeFile::ReadStatus::Missing)
        m_missing.append(note);
    if (status != SafeFile::ReadStatus::Ok)
        return {};
    // A file with a section line holds a configuration (a server's local copy, a backup under
    // another name): its passwords must not become a body that a save writes out.
    if (!bytes.isEmpty() && ConfigBytes::isConfiguration(bytes)) {
        m_skipped.append(note);
        return {};
    }
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 8 + 2);
    TextLines::forEachLine(bytes, [&out](QByteArrayView line) {
        out.append(line.data(), line.size());
        out.append("\r\n", 2);
    });
    return out;
}

QString LinkedFiles::message() const
{
    if (m_skipped.isEmpty())
        return {};
    const QString list = QStringLiteral("\n  ") + m_skipped.join(QStringLiteral("\n  "));
    if (m_mode == Mode::None)
        return QStringLiteral("The configuration is not the folder's own configuration file, so the files it names "
                              "were not read:") + list +
               QStringLiteral("\nTheir auto-reply bodies and key lists are empty, and the next save writes them empty.");
    return QStringLiteral("The configuration names files outside its folder or files holding a configuration, which were not "
                              "read and count as missing:") +
           list + QStringLiteral("\nTheir auto-reply bodies and key lists are empty, and the next save writes them empty.");
}
