#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class Shell;

// The about box: logo, product name, version and a link to the home page, without a
// title bar; Close (or Esc) ends it.
class TAboutForm : public QDialog
{
    Q_OBJECT

public:
    TAboutForm(Shell *shell, const QString &homePage, QWidget *parent = nullptr);

    void Label30Click();
    void Button1Click();

    QFrame *Panel1;
    QLabel *Image1;
    QLabel *Label27;
    QLabel *lablVersion;
    QLabel *Label29;
    QLabel *Label30;
    QPushButton *Button1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Shell *m_shell;
    QString m_homePage;
};

// The product's logo, drawn at the given size.
QPixmap quilmoraLogo(int size);
