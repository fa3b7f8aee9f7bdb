#pragma once

#include "app/MenuItems.h"
#include "player/Player.h"

#include <QSet>
#include <QStringList>

// A player that only writes down what it was asked, in order, into a log it
// may share with a RecordingMenu. Operations named in `failing` fail.
class FakePlayer : public Player {
public:
    explicit FakePlayer(QStringList& log) : log_(log) {}
    QSet<QString> failing;

    bool setFileName(const QString& path) override { return did("FileName " + path); }
    bool setCurrentPosition(double s) override { return did("CurrentPosition " + QString::number(s, 'f', 1)); }
    bool setDisplaySize(int size) override { return did("DisplaySize " + QString::number(size)); }
    bool Play() override { return did("Play"); }
    bool Pause() override { return did("Pause"); }
    bool Stop() override { return did("Stop"); }
    bool Previous() override { return did("Previous"); }
    bool Next() override { return did("Next"); }

private:
    bool did(const QString& call) { log_ << call; return !failing.contains(call.section(' ', 0, 0)); }
    QStringList& log_;
};

// Writes each menu operation into the shared log, then passes it on.
class RecordingMenu : public MenuItems {
public:
    RecordingMenu(QStringList& log, MenuItems& real) : log_(log), real_(real) {}
    void setChecked(const QString& name, bool on) override { log_ << (on ? "check " : "uncheck ") + name; real_.setChecked(name, on); }
    void setEnabled(const QString& name, bool on) override { log_ << (on ? "enable " : "disable ") + name; real_.setEnabled(name, on); }

private:
    QStringList& log_;
    MenuItems& real_;
};
