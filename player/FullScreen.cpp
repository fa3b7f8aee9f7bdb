#include "player/FullScreen.h"

#include <QApplication>
#include <QKeyEvent>
#include <QVBoxLayout>

FullScreen::FullScreen(QWidget* stage, QWidget* home) : QWidget(home, Qt::Window), stage_(stage), home_(home)
{
    setWindowTitle(QStringLiteral("Tembrio"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The host window comes to the front when a box over it closes; the
    // picture must stay in front of it.
    if (home_->window() != home_)
        home_->window()->installEventFilter(this);
}

void FullScreen::enter()
{
    if (stage_->parentWidget() != this) {
        layout()->addWidget(stage_);
        emit moved(true);
        stage_->show();
    }
    showFullScreen();
    raise();
    activateWindow();
}

void FullScreen::leave()
{
    if (stage_->parentWidget() != this)
        return;
    home_->layout()->addWidget(stage_);
    emit moved(false);
    stage_->show();
    hide();
    home_->window()->activateWindow();
}

bool FullScreen::isActive() const
{
    return stage_->parentWidget() == this && isVisible();
}

void FullScreen::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        leave();
    else
        QWidget::keyPressEvent(event);
}

void FullScreen::closeEvent(QCloseEvent* event)
{
    event->ignore();
    leave();
}

bool FullScreen::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && isActive() && !QApplication::activeModalWidget()) {
        raise();
        activateWindow();
    }
    return QWidget::eventFilter(watched, event);
}
