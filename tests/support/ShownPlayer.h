#pragma once

// The player component alone in a window of the main window's size, shown
// on the test's X server, with what the tests read back from it.

#include "player/MediaPlayer.h"
#include "support/Desktop.h"

#include <QTest>
#include <gtest/gtest.h>

struct ShownPlayer {
    QWidget window;
    MediaPlayer* player;

    explicit ShownPlayer(VideoSurface::Drawing drawing = VideoSurface::Drawing::Automatic)
        : player(new MediaPlayer(&window, {}, drawing))
    {
        player->setGeometry(2, 2, 352, 363);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    VideoSurface* video() { return player->findChild<VideoSurface*>(); }
    QString status() { return player->statusText(); }
    QImage picture() { return video()->grab().toImage(); }
    // Sampled in the picture's upper left, away from the text and the bar.
    char colour()
    {
        const QImage frame = picture();
        return clipAt(frame, QRect(frame.width() / 20, frame.height() / 20, frame.width() / 5, frame.height() / 7));
    }
};
