#pragma once

#include <QWidget>

// The full-screen window. enter() moves the player's stage (picture and
// controls) into it, leave() gives it back to `home`; Esc or a close by the
// window manager leaves too, and the host is not told.
class FullScreen : public QWidget {
    Q_OBJECT
public:
    FullScreen(QWidget* stage, QWidget* home);

    void enter();
    void leave();
    bool isActive() const;

signals:
    void moved(bool fullScreen);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* stage_;
    QWidget* home_;
};
