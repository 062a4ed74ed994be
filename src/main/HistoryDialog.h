#pragma once

#include "config/History.h"

#include <QDialog>
#include <QList>
#include <functional>

class ConfigDocument;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;
class TextCodec;

// File, History...: the saved versions of the configuration, newest first. Selecting one
// shows the review of it against what the window holds, in the Review Changes window's
// words (passwords only as "(changed)"); Restore closes the window accepted with that
// version chosen, and the caller loads it as unsaved changes.
class HistoryDialog : public QDialog
{
    Q_OBJECT

public:
    // Reads a version's configuration; false (with the reason) when it cannot.
    using VersionReader = std::function<bool(const QByteArray &revision, ConfigDocument *doc, QString *error)>;

    HistoryDialog(const QList<History::Version> &versions, VersionReader reader, const ConfigDocument &current,
                  const TextCodec &codec, QWidget *parent = nullptr);

    // The version Restore was pressed on.
    QByteArray chosenRevision() const { return m_chosen; }
    // The review lines shown for the selected version.
    QStringList changeLines() const;

    QTreeWidget *lstVersions = nullptr;
    QLabel *lablSummary = nullptr;
    QListWidget *lstChanges = nullptr;
    QPushButton *butnRestore = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

private:
    void showVersion();

    QList<History::Version> m_versions;
    VersionReader m_reader;
    const ConfigDocument &m_current;
    const TextCodec &m_codec;
    QByteArray m_chosen;
};
