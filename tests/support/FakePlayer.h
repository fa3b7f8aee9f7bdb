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

    bool setFileName(const QString& path) override { return record("FileName " + path); }
    bool setCurrentPosition(double s) override { return record("CurrentPosition " + QString::number(s, 'f', 1)); }
    bool setDisplaySize(int size) override { return record("DisplaySize " + QString::number(size)); }
    bool Play() override { return record("Play"); }
    bool Pause() override { return record("Pause"); }
    bool Stop() override { return record("Stop"); }
    bool Previous() override { return record("Previous"); }
    bool Next() override { return record("Next"); }

private:
    bool record(const QString& call)
    {
        log_ << call;
        return !failing.contains(call.section(' ', 0, 0));
    }
    QStringList& log_;
};

// Writes each menu operation into the shared log, then passes it on.
class RecordingMenu : public MenuItems {
public:
    RecordingMenu(QStringList& log, MenuItems& real) : log_(log), real_(real) {}
    void setChecked(const QString& name, bool on) override
    {
        log_ << (on ? "check " : "uncheck ") + name;
        real_.setChecked(name, on);
    }
    void setEnabled(const QString& name, bool on) override
    {
        log_ << (on ? "enable " : "disable ") + name;
        real_.setEnabled(name, on);
    }

private:
    QStringList& log_;
    MenuItems& real_;
};
