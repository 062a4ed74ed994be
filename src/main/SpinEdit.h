#pragma once

#include <QSpinBox>

// A whole-number box of the pages. A typed number outside the range is taken as typed and
// clamped to the nearest bound when it is read or the box is left, as a loaded value is
// (the plain spin box drops the key that would leave the range, so 70000 became 7000).
// `typed` follows every change of the text, an emptied box included, at once (a change
// may be told twice).
class SpinEdit : public QSpinBox
{
    Q_OBJECT

public:
    explicit SpinEdit(QWidget *parent = nullptr);

    // The value the text stands for: a whole number clamped to the range; text that is not
    // one (an empty box) gives the minimum.
    static int valueOf(const QSpinBox *box);

    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;

signals:
    void typed();
};
