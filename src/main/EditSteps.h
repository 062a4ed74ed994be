#pragma once

// The steps of the editor's undo history. A step keeps the exact state of what one edit
// changed, before and after it: a copy of the item (every field's bytes as the save writes
// them) or of the server's settings as the pages hold them. Undo puts the copy back, so a
// save after an undo writes byte for byte what it would have written before the edit.

#include "config/ServerSettings.h"
#include "config/TGroup.h"
#include "config/TPop.h"
#include "config/TUser.h"

#include <QString>
#include <QUndoCommand>
#include <variant>

class NavNode;

// The server's settings as the General, Advanced and Log Settings pages hold them, with the
// log file choice, which the settings keep only as a size (a size of 0 is either choice).
struct ServerState
{
    ServerSettings settings;
    int logFileIndex = 0;
};

// What one field step changes: the server's pages, or one item.
using EditState = std::variant<ServerState, TPop, TUser, TGroup>;

namespace EditStates {

// The node's item as it stands.
EditState ofNode(const NavNode *node);
// Puts a copy of an item's state into the node's item.
void putIntoNode(NavNode *node, const EditState &state);
// The state as the save writes it: the one section (the server's, or the item's as the
// first of its kind), so two states that write the same bytes compare equal.
QByteArray bytes(const EditState &state);
// "user", "group", "account"; empty for the server's pages.
QString kindWord(const EditState &state);

} // namespace EditStates

// What the steps ask of the window when they are undone and redone.
class EditStepHost
{
public:
    virtual ~EditStepHost() = default;
    // Puts the state in place, selects `node` (the item's node, or the page's node for the
    // server's settings) so its page shows it, and brings the tab of `control` into view.
    virtual void showState(NavNode *node, const EditState &state, const QString &control) = 0;
    // Puts a node taken out of the tree back under `root` at `index`, and selects it.
    virtual void insertItemNode(NavNode *root, int index, NavNode *node) = 0;
    // Takes the node out of the tree. The selection goes to `root` when `selectRoot`, else
    // as a Delete leaves it: to the node below, else the one above, else the root.
    virtual void takeItemNode(NavNode *root, NavNode *node, bool selectRoot) = 0;
};

// One edit of one control: typing in a field (merged with the next keystrokes in the same
// field until the focus leaves it), a check box, a list entry, a password's Change.
class EditStep : public QUndoCommand
{
public:
    static constexpr int MergeId = 1;

    struct Where
    {
        NavNode *node = nullptr; // the item's node, or the node of the server's page
        QString control;         // the control's object name
        bool mergeable = false;  // typing: later keystrokes in the same field join the step
        quint64 session = 0;     // the stretch of focus the edit was made in
    };

    // The edit has been made already: the first redo (the push's) does nothing.
    EditStep(EditStepHost *host, const Where &where, EditState before, EditState after, const QString &text);

    // Typing joins the step of the same field while the focus stays in it. A notification
    // that changed nothing (a click on a list entry's text after its check box) joins the
    // step of the same control before it.
    int id() const override { return MergeId; }
    bool mergeWith(const QUndoCommand *other) override;
    void undo() override;
    void redo() override;

    const Where &where() const { return m_where; }

private:
    EditStepHost *m_host;
    Where m_where;
    EditState m_before, m_after;
    bool m_done = true;
};

// Add or Delete of an item. The node itself is kept: while the step leaves it out of the
// tree the step owns it, so the other steps' references to it stay good and undo puts the
// very node back in its place.
class NodeStep : public QUndoCommand
{
public:
    enum class Kind { Add, Delete };

    // Add: the node is in the tree already (the first redo does nothing). Delete: the first
    // redo takes it out.
    NodeStep(EditStepHost *host, Kind kind, NavNode *root, NavNode *node, int index, const QString &text);
    ~NodeStep() override;

    void undo() override;
    void redo() override;

private:
    void putBack();
    void takeOut(bool selectRoot);

    EditStepHost *m_host;
    Kind m_kind;
    NavNode *m_root;
    NavNode *m_node;
    int m_index;
    bool m_out = false;   // the node is out of the tree: the step owns it
    bool m_pushed = false;
};

// The text of a step: the plain text, and after a line break the text for the Edit menu,
// where "&" would mark a shortcut letter.
QString stepText(const QString &plain);
