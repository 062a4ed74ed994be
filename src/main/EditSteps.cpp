#include "main/EditSteps.h"

#include "config/ConfigDocument.h"
#include "main/NavTree.h"

namespace EditStates {

EditState ofNode(const NavNode *node)
{
    if (const TPop *p = node->pop())
        return *p;
    if (const TUser *u = node->user())
        return *u;
    if (const TGroup *g = node->group())
        return *g;
    return ServerState();
}

void putIntoNode(NavNode *node, const EditState &state)
{
    if (TPop *p = node->pop(); p && std::holds_alternative<TPop>(state))
        *p = std::get<TPop>(state);
    else if (TUser *u = node->user(); u && std::holds_alternative<TUser>(state))
        *u = std::get<TUser>(state);
    else if (TGroup *g = node->group(); g && std::holds_alternative<TGroup>(state))
        *g = std::get<TGroup>(state);
}

QByteArray bytes(const EditState &state)
{
    static const ServerSettings none;
    if (const auto *s = std::get_if<ServerState>(&state))
        return ConfigDocument::render(s->settings, {}, {}, {}) + char('0' + s->logFileIndex);
    if (const auto *p = std::get_if<TPop>(&state))
        return ConfigDocument::render(none, {p}, {}, {});
    if (const auto *u = std::get_if<TUser>(&state))
        return ConfigDocument::render(none, {}, {u}, {});
    return ConfigDocument::render(none, {}, {}, {&std::get<TGroup>(state)});
}

QString kindWord(const EditState &state)
{
    switch (state.index()) {
    case 1: return QStringLiteral("account");
    case 2: return QStringLiteral("user");
    case 3: return QStringLiteral("group");
    default: return {};
    }
}

} // namespace EditStates

QString stepText(const QString &plain)
{
    QString menu = plain;
    menu.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return plain + QLatin1Char('\n') + menu;
}

// ---------------------------------------------------------------------------------------

EditStep::EditStep(EditStepHost *host, const Where &where, EditState before, EditState after, const QString &text)
    : m_host(host)
    , m_where(where)
    , m_before(std::move(before))
    , m_after(std::move(after))
{
    setText(stepText(text));
}

bool EditStep::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const EditStep *>(other); // same id: an EditStep
    const Where &w = next->m_where;
    if (w.node != m_where.node || w.control != m_where.control)
        return false;
    if (m_where.mergeable && w.mergeable && w.session == m_where.session) {
        m_after = next->m_after;
        // Typing that came back to what the field held leaves nothing to undo.
        if (EditStates::bytes(m_after) == EditStates::bytes(m_before))
            setObsolete(true);
        return true;
    }
    return EditStates::bytes(next->m_before) == EditStates::bytes(next->m_after);
}

void EditStep::undo()
{
    m_host->showState(m_where.node, m_before, m_where.control);
    m_done = false;
}

void EditStep::redo()
{
    if (!m_done)
        m_host->showState(m_where.node, m_after, m_where.control);
    m_done = true;
}

// ---------------------------------------------------------------------------------------

NodeStep::NodeStep(EditStepHost *host, Kind kind, NavNode *root, NavNode *node, int index, const QString &text)
    : m_host(host)
    , m_kind(kind)
    , m_root(root)
    , m_node(node)
    , m_index(index)
{
    setText(stepText(text));
}

NodeStep::~NodeStep()
{
    if (m_out)
        delete m_node; // the item goes with its node
}

void NodeStep::putBack()
{
    m_host->insertItemNode(m_root, m_index, m_node);
    m_out = false;
}

void NodeStep::takeOut(bool selectRoot)
{
    m_host->takeItemNode(m_root, m_node, selectRoot);
    m_out = true;
}

void NodeStep::undo()
{
    if (m_kind == Kind::Add)
        takeOut(true);
    else
        putBack();
}

void NodeStep::redo()
{
    const bool first = !m_pushed;
    m_pushed = true;
    if (m_kind == Kind::Add) {
        if (!first)
            putBack();
    } else {
        takeOut(false);
    }
}
