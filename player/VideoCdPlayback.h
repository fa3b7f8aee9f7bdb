#pragma once

#include "player/VideoCdNavigation.h"

#include <QObject>
#include <QPointF>
#include <QTimer>

#include <memory>
#include <optional>

class Engine;
class Opening;
class VideoCdDiscs;
class VideoSurface;

// A Video CD played by its own menus: the navigation's actions carried out
// with the engine, one item at a time, each keeping its last picture, and
// what the navigation waits for (an item's end, a hold or a typed number
// running out) handed back to it. It lets the engine read the discs; the
// picture's digits, Enter and Backspace come here; what the disc's readers
// have to say goes out with its status.
class VideoCdPlayback : public QObject {
    Q_OBJECT
public:
    VideoCdPlayback(Engine& engine, VideoSurface& picture, QObject* parent = nullptr);
    ~VideoCdPlayback() override;

    // A disc that `opening` finds to play by its own menus is played from
    // its start; anything opened ends the one before.
    void follow(Opening& opening);
    bool isActive() const { return navigation_.has_value(); }
    // An event from the user or the engine; false when the disc leaves it
    // to the player (or no disc plays by its menus).
    bool handle(const VideoCdEvent& event);
    // A left click at `at` on a picture of `size`: true if it chose one of
    // the areas of a disc's menu, else the click does what it always does.
    bool click(QPointF at, QSizeF size);

signals:
    // Where the disc is, or what its reader found, in plain Italian text.
    void status(const QString& text);

private:
    void begin(quint64 disc);
    void key(int key);
    void perform(const VideoCdAction& action);
    void load(const QString& url, double seconds, const QString& title);

    Engine& engine_;
    const std::shared_ptr<VideoCdDiscs> discs_;
    std::optional<VideoCdNavigation> navigation_;
    quint64 disc_ = 0;
    QTimer hold_;    // a hold of some seconds
    QTimer typing_;  // the wait for a second digit
};
