#pragma once

#include "config/ConfigCheck.h"
#include "config/ServerSettings.h"
#include "config/TextCodec.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>
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
// configuration in a thread of its own, so the window never waits for it. The copy is taken
// on the window's thread in slices of a few milliseconds, the event loop turning between
// them; an edit during the copy abandons it, and the check runs again once the edits pause.
// The check's thread also works out every node's mark, its tooltip and the roots' counts
// from the findings, so the window's thread only sets the marks that change, again in
// slices. A result that an edit overtook before its marking began is dropped, and the check
// runs again; one whose marking has begun is marked to the end (nodes that left the tree
// meanwhile excepted), so the tree never shows half of one result and half of another, and
// the edit's own check follows.
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
    // What a run is doing: copying the items, checking them in its thread, marking the tree.
    enum class Stage { Idle, Copying, Checking, Marking };
    Stage stage() const { return m_stage; }
    // From the copy to the last mark on the tree.
    bool isRunning() const { return m_stage != Stage::Idle; }
    // At most `items` items copied, or marks set, in one slice (0: as many as SliceMs
    // allows): slices small enough to watch on a small configuration.
    void setSliceLimit(int items) { m_sliceLimit = items; }

    const QList<CheckFinding> &findings() const { return m_findings; }
    int errorCount() const { return m_errors; }
    int warningCount() const { return m_warnings; }
    bool hasResult() const { return m_haveResult; }
    // "2 errors, 5 warnings"
    QString summary() const;

    // The longest the window's thread works on the check at a time.
    static constexpr int SliceMs = 4;

    // The last run's cost: the copy and the marking on the window's thread (in all, and
    // their longest slice), the check and the working out of the marks in its own.
    struct Timings
    {
        double copyMs = 0, checkMs = 0, markMs = 0;
        double copySliceMs = 0, markSliceMs = 0;
        double marksMs = 0;  // working out the marks, in the check's thread
        double layoutMs = 0; // of the marking: the tree's layout when a root's count widens
        int copySlices = 0, markSlices = 0;
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
    struct Snapshot;
    struct Result;

    void timeout();
    void step();
    bool copySlice();
    void startCheck();
    void finished(std::shared_ptr<Result> result);
    bool markSlice();
    void finishMarking();
    void setMark(NavNode *node, const Mark &mark);
    void done();
    static void workOutMarks(const Snapshot &snapshot, const Nodes &nodes, Result &result);

    Nodes m_nodes;
    std::function<ServerState()> m_serverState;
    TextCodec m_codec;
    QTimer m_timer;
    QTimer m_slice; // the next slice of the copy or of the marking
    QElapsedTimer m_sinceEdit;
    quint64 m_generation = 0;
    Stage m_stage = Stage::Idle;
    bool m_runAgain = false;
    int m_sliceLimit = 0;
    std::thread m_worker;
    std::shared_ptr<Snapshot> m_snapshot;   // while copying
    std::shared_ptr<Result> m_result;       // while marking
    QSet<NavNode *> m_gone;                 // nodes that left the tree while marking
    std::vector<std::shared_ptr<void>> m_trash; // freed off the window's thread
    std::thread m_sweeper;                      // frees it when no check runs next

    QHash<NavNode *, Mark> m_marks; // nodes that carry a mark
    QList<CheckFinding> m_findings;
    int m_errors = 0, m_warnings = 0;
    bool m_haveResult = false;
    Timings m_timings;
};
