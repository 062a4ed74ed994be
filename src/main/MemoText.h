#pragma once

#include <QString>

class QPlainTextEdit;

// The text of a memo of an item page, with LF line breaks, shown and read back whole.
//
// A text view lays out a paragraph as one piece, which for a line of megabytes (an
// auto-reply body pasted without breaks) takes seconds on every showing. A line longer
// than `LongLine` characters is therefore shown in pieces of about `Piece` characters, each
// a paragraph of its own marked as the continuation of the one before; reading the memo
// joins the pieces again, so the text and the bytes stored from it stay exactly as they
// were. A break the user types inside a piece is a real one: the part after it carries no
// mark.
namespace MemoText {

constexpr qsizetype LongLine = 8192;
constexpr qsizetype Piece = 2048;

void show(QPlainTextEdit *memo, const QString &text);
// The memo's text, pieces joined, paragraphs (and line separators) as LF.
QString text(const QPlainTextEdit *memo);

} // namespace MemoText
