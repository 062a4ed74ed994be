#include "services/TKDTipDay.h"

#include "config/TextLines.h"
#include "platform/Registry.h"
#include "services/ComponentKey.h"

#include "services/RegularFileTail.h"

#include <QDir>

TKDTipDay::TKDTipDay(Registry *registry)
    : m_registry(registry)
{
}

QString TKDTipDay::headingOf(const QString &entry)
{
    if (entry.isEmpty())
        return {};
    switch (entry.at(0).unicode()) {
    case '*':
        return QStringLiteral("Did You Know..!");
    case '+':
        return QStringLiteral("Joke Of The Day...");
    case '-':
        return QStringLiteral("Tip Of the Day...");
    case '=':
        return QStringLiteral("Today's message...");
    default:
        return {};
    }
}

QString TKDTipDay::expandTemplate(const QString &text)
{
    constexpr int Arguments = 5;
    QString out;
    int used = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%') && i + 1 < text.size()) {
            const QChar next = text.at(i + 1);
            if (next == QLatin1Char('%')) {
                out += QLatin1Char('%');
                ++i;
                continue;
            }
            if (next == QLatin1Char('s') && used < Arguments) {
                out += QLatin1Char('\n');
                ++used;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString TKDTipDay::textOf(const QString &entry)
{
    return expandTemplate(entry.mid(1, 255));
}

void TKDTipDay::LoadTips()
{
    LoadError.clear();
    const RegularFileTail::Result read = RegularFileTail::readLimited(TipFile, MaxTipFileBytes);
    const QString shown = QDir::toNativeSeparators(TipFile);
    switch (read.status) {
    case RegularFileTail::Status::Ok:
        Tips.clear();
        for (const QByteArray &line : TextLines::split(read.bytes))
            Tips.append(QString::fromLocal8Bit(line));
        break;
    case RegularFileTail::Status::TooLarge:
        LoadError = QStringLiteral("The tips file %1 is larger than 1 MB and was not read").arg(shown);
        break;
    case RegularFileTail::Status::NotRegular:
        LoadError = QStringLiteral("The tips file %1 is not a regular file and was not read").arg(shown);
        break;
    case RegularFileTail::Status::Missing:
    case RegularFileTail::Status::Failed:
        break; // no tips: the window shows none, as without a file
    }
    ReadSettings();
    ShowTip(true);
}

void TKDTipDay::ShowTip(bool forward)
{
    if (Tips.isEmpty())
        return;
    TipIndex += forward ? 1 : -1;
    if (TipIndex < 0)
        TipIndex = int(Tips.size()) - 1;
    if (TipIndex >= Tips.size())
        TipIndex = 0;
    const QString &entry = Tips.at(TipIndex);
    title = headingOf(entry);
    text = textOf(entry);
}

void TKDTipDay::ReadSettings()
{
    if (!m_registry)
        return;
    auto key = ComponentKey::open(*m_registry, RegistryKey, false);
    if (!key)
        return;
    bool ok = false;
    const int index = key->readString(QStringLiteral("CurrentTip")).value_or(QString()).toInt(&ok);
    TipIndex = ok ? index : -1;
    const int enabled = key->readString(QStringLiteral("TipsEnabled")).value_or(QString()).toInt(&ok);
    TipsEnabled = (ok ? enabled : 1) == 1;
}

void TKDTipDay::SaveSettings()
{
    if (!m_registry)
        return;
    auto key = ComponentKey::open(*m_registry, RegistryKey, true);
    if (!key)
        return;
    key->writeString(QStringLiteral("CurrentTip"), QString::number(TipIndex));
    key->writeString(QStringLiteral("TipsEnabled"), TipsEnabled ? QStringLiteral("1") : QStringLiteral("0"));
}
