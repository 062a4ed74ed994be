#pragma once

// The hourglass shown while a long operation blocks the window. The core asks for it
// through this seam so that it never includes a widget header; the editor hands in the
// real one, tests one that counts, the command line none.
class BusyCursor
{
public:
    virtual ~BusyCursor() = default;
    virtual void show() = 0;    // the hourglass
    virtual void restore() = 0; // the default cursor again
};

// Shows the hourglass for the life of the scope, so every way out restores it.
// A null cursor does nothing.
class BusyCursorScope
{
public:
    explicit BusyCursorScope(BusyCursor *cursor) : m_cursor(cursor)
    {
        if (m_cursor)
            m_cursor->show();
    }
    ~BusyCursorScope() { release(); }
    BusyCursorScope(const BusyCursorScope &) = delete;
    BusyCursorScope &operator=(const BusyCursorScope &) = delete;

    // Restores the cursor early (before a message box, say); the destructor then does nothing.
    void release()
    {
        if (m_cursor)
            m_cursor->restore();
        m_cursor = nullptr;
    }

private:
    BusyCursor *m_cursor;
};
