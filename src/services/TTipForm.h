#pragma once

#include <QDialog>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class TKDTipDay;

// The tip of the day window: the heading and text of the current tip on a pale panel,
// Next and Previous to step through the tips, Close, and "Show Tips at Startup". It is
// built once by its tip component's owner and shown again on each request; showing it
// re-reads the stored position, closing it stores position and choice.
class TTipForm : public QDialog
{
    Q_OBJECT

public:
    explicit TTipForm(TKDTipDay &tipDay, QWidget *parent = nullptr);

    TKDTipDay &tipDay() const { return m_tipDay; }
    // Shows the component's current heading and text.
    void showCurrent();

    QFrame *pnlTips;
    QLabel *imgBulb;
    QLabel *lblTitle;
    QLabel *lbltip;
    QPushButton *btnNext;
    QPushButton *btnPrevious;
    QFrame *Bevel1;
    QPushButton *btnClose;
    QCheckBox *cbShowTips;

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    TKDTipDay &m_tipDay;
};
