#include "main/SpinEdit.h"

#include <QLineEdit>
#include <algorithm>

namespace {

// The whole number a text holds (digits with an optional sign, blanks around), as a wide
// number so that a long run of digits still compares as large.
bool wholeNumber(const QString &text, qint64 *value)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    if (i == t.size())
        return false;
    for (qsizetype j = i; j < t.size(); ++j)
        if (!t[j].isDigit() || t[j].unicode() > 0x7f)
            return false;
    bool ok = false;
    qint64 v = t.toLongLong(&ok);
    if (!ok) // more digits than fit: as far out as can be
        v = t.startsWith(QLatin1Char('-')) ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    *value = v;
    return true;
}

} // namespace

SpinEdit::SpinEdit(QWidget *parent)
    : QSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    // The box sets its field with the field's signals off when it steps or is set, and
    // reports typing only once the text is a value in range: both ways are followed.
    connect(lineEdit(), &QLineEdit::textChanged, this, &SpinEdit::typed);
    connect(this, &QSpinBox::textChanged, this, &SpinEdit::typed);
}

int SpinEdit::valueOf(const QSpinBox *box)
{
    qint64 v = 0;
    if (!wholeNumber(box->cleanText(), &v))
        return box->minimum();
    return int(std::clamp<qint64>(v, box->minimum(), box->maximum()));
}

QValidator::State SpinEdit::validate(QString &input, int &pos) const
{
    const QValidator::State state = QSpinBox::validate(input, pos);
    if (state != QValidator::Invalid)
        return state;
    // A whole number beyond the range is kept while typing; leaving the box clamps it.
    QString inner = input;
    if (inner.startsWith(prefix()))
        inner.remove(0, prefix().size());
    if (!suffix().isEmpty() && inner.endsWith(suffix()))
        inner.chop(suffix().size());
    qint64 v = 0;
    return wholeNumber(inner, &v) ? QValidator::Intermediate : QValidator::Invalid;
}

void SpinEdit::fixup(QString &input) const
{
    QString inner = input;
    if (inner.startsWith(prefix()))
        inner.remove(0, prefix().size());
    if (!suffix().isEmpty() && inner.endsWith(suffix()))
        inner.chop(suffix().size());
    qint64 v = 0;
    if (wholeNumber(inner, &v)) {
        input = prefix() + QString::number(std::clamp<qint64>(v, minimum(), maximum())) + suffix();
        return;
    }
    QSpinBox::fixup(input);
}
