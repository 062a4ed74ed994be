#pragma once

#include "config/ConfigCheck.h"
#include "config/ServerSettings.h"
#include "config/TextCodec.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>
#include <thread>
#include <vector>

class NavNode;
class NavTree;

// Keeps the consistency check's findings on the navigation tree: an item or page with an
// error gets an error mark on its icon, one with a warning a warning mark, its tooltip
// lists its findings in the check's words, and the roots of the items show how many of
// their items have findings.
//
// The check runs once the edits pause (DelayMs after the last one), on a copy of the
// configuration in a thread of its own, so the window never waits for it; only the copy
// and the marking of the nodes whose findings changed happen on the window's thread. A
// result that an edit overtook is dropped, and the check runs again.
class FindingsMarker : public QObject
{
    Q_OBJECT

public:
    static constexpr int DelayMs = 300;
    // Data roles of the tree's nodes: 0 none, 1 warning, 2 error (the worst finding); on a
    // root, the number of its items with findings.
    static constexpr int LevelRole = Qt::UserRole + 2;
    static constexpr int CountRole = Qt::UserRole + 3;

    struct Nodes
    {
        NavTree *tree = nullptr;
        NavNode *general = nullptr, *advanced = nullptr;
        NavNode *incoming = nullptr, *users = nullptr, *groups = nullptr;
    };
    // What the check needs besides the items: the server's settings as the pages hold them
    // and whether the file is still in the old format.
    struct ServerState
    {
        ServerSettings server;
        bool oldFormat = false;
    };

    FindingsMarker(const Nodes &nodes, std::function<ServerState()> serverState, const TextCodec &codec,
                   QObject *parent = nullptr);
    ~FindingsMarker() override;

    // Something changed: the check runs once the edits pause.
    void schedule();
    // Runs the check now (in its thread); the marks follow when it is done.
    void runNow();
    bool isRunning() const { return m_running; }

    const QList<CheckFinding> &findings() const { return m_findings; }
    int errorCount() const { return m_errors; }
    int warningCount() const { return m_warnings; }
    bool hasResult() const { return m_haveResult; }
    // "2 errors, 5 warnings"
    QString summary() const;

    // The last run's cost: the copy and the marking on the window's thread, the check in
    // its own.
    struct Timings
    {
        double copyMs = 0, checkMs = 0, markMs = 0;
    };
    Timings lastTimings() const { return m_timings; }

signals:
    // New findings are on the tree.
    void marked();

private:
    struct Mark
    {
        int level = 0;
        QString tip;
        bool operator==(const Mark &) const = default;
    };

    void timeout();
    void finished(quint64 generation, QList<CheckFinding> findings, double checkMs);
    void mark(const QList<CheckFinding> &findings);
    void setMark(NavNode *node, const Mark &mark);
    NavNode *nodeOf(const CheckFinding &finding) const;

    Nodes m_nodes;
    std::function<ServerState()> m_serverState;
    TextCodec m_codec;
    QTimer m_timer;
    QElapsedTimer m_sinceEdit;
    quint64 m_generation = 0;
    bool m_running = false;
    bool m_runAgain = false;
    std::thread m_worker;
    // The item nodes as the running check sees them, by kind and position.
    std::vector<NavNode *> m_popNodes, m_userNodes, m_groupNodes;

    QHash<NavNode *, Mark> m_marks; // nodes that carry a mark
    QList<CheckFinding> m_findings;
    int m_errors = 0, m_warnings = 0;
    bool m_haveResult = false;
    Timings m_timings;
};
