#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What the server sent last: the size and SHA-256 of the configuration bytes a fetch
// received (or a return sent). It is kept in a small file beside the local copy,
// "<host>.fetched", so that it travels with the copy: the editor and quilmora-config, run by
// any user on the same folder, see the same state, and a copy made anew by a fetch always
// comes with the state of that fetch.
//
// The record is written as the configuration is (a temporary file renamed into place) but
// never through a symbolic link: a link planted in its place is replaced, its target left
// alone. It is read only as a small regular file, so a FIFO, a device or a huge file there
// can neither block nor fill memory.
struct FetchedState
{
    qint64 size = -1;
    QByteArray sha256; // 32 bytes

    friend bool operator==(const FetchedState &, const FetchedState &) = default;

    static FetchedState of(QByteArrayView bytes);
    // The state of a file's content; nullopt when it cannot be read.
    static std::optional<FetchedState> ofFile(const QString &path);

    // The state file of the local copy `copyPath`.
    static QString sidecarPath(const QString &copyPath) { return copyPath + QStringLiteral(".fetched"); }

    // What the record beside a local copy says.
    struct Recollection;
    static Recollection recall(const QString &copyPath);
    // The remembered state of the local copy; nullopt when none is remembered or the
    // record is unusable.
    static std::optional<FetchedState> recalled(const QString &copyPath);
    // Remembers this state for the local copy; on failure forgets any older state, so that
    // a stale record never stands for the copy.
    bool remember(const QString &copyPath) const;
    static void forget(const QString &copyPath);

    // The largest record read; a record is one short line.
    static constexpr qint64 RecordLimit = 256;
};

// What the record beside a local copy says.
struct FetchedState::Recollection
{
    enum class Kind {
        None,       // no record: never fetched, or by an editor that kept none
        Remembered, // `state` holds the record
        Unusable,   // something stands there that is no record: `problem` says what
    };
    Kind kind = Kind::None;
    FetchedState state;
    QString problem; // e.g. "/srv/q/host.fetched is a symbolic link"
};
