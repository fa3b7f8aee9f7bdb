#include "player/ControlBar.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The position changes with every frame, while the handle moves a pixel far
// less often: only a move, or any other change, repaints the tracker. The
// pointer over it shows the time it points at.
class Tracker : public QSlider {
public:
    Tracker(QWidget* parent) : QSlider(Qt::Horizontal, parent) { setMouseTracking(true); }

protected:
    void mouseMoveEvent(QMouseEvent* event) override
    {
        QSlider::mouseMoveEvent(event);
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const int half = handle().width() / 2;
        const int at = QStyle::sliderValueFromPosition(minimum(), maximum(), event->position().toPoint().x() - groove.x() - half,
                                                       groove.width() - 2 * half);
        if (maximum() > 0)
            QToolTip::showText(event->globalPosition().toPoint(), ControlBar::timeText(at / 10.0, qQNaN()), this);
    }
    void sliderChange(SliderChange change) override
    {
        if (change != SliderValueChange || handle() != painted_)
            QSlider::sliderChange(change);
    }
    void paintEvent(QPaintEvent* event) override
    {
        painted_ = handle();
        QSlider::paintEvent(event);
    }

private:
    QRect handle() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    }

    QRect painted_;
};

}  // namespace

ControlBar::ControlBar(const PlayerSettings& settings, QWidget* parent) : QWidget(parent), settings_(settings)
{
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(1);

    tracker_ = new Tracker(this);
    tracker_->setObjectName(QStringLiteral("tracker"));
    tracker_->setRange(0, 0);
    tracker_->setFocusPolicy(Qt::NoFocus);
    connect(tracker_, &QSlider::sliderMoved, this, [this](int value) { emit seek(value / 10.0); });
    rows->addWidget(tracker_);

    buttons_ = new QWidget(this);
    auto* row = new QHBoxLayout(buttons_);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(1);
    auto addButton = [&](const char* name, QStyle::StandardPixmap icon, const QString& tip, void (ControlBar::*signal)()) {
        auto* button = new QToolButton(buttons_);
        button->setObjectName(QLatin1String(name));
        button->setIcon(style()->standardIcon(icon));
        button->setToolTip(tip);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        if (signal)
            connect(button, &QToolButton::clicked, this, signal);
        row->addWidget(button);
        return button;
    };
    addButton("playButton", QStyle::SP_MediaPlay, QStringLiteral("Riproduci"), &ControlBar::play);
    addButton("pauseButton", QStyle::SP_MediaPause, QStringLiteral("Pausa"), &ControlBar::pause);
    addButton("stopButton", QStyle::SP_MediaStop, QStringLiteral("Stop"), &ControlBar::stop);
    if (settings_.ShowPositionControls) {
        addButton("previousButton", QStyle::SP_MediaSkipBackward, QStringLiteral("Traccia precedente"), &ControlBar::previous);
        addButton("nextButton", QStyle::SP_MediaSkipForward, QStringLiteral("Traccia successiva"), &ControlBar::next);
    }
    row->addStretch(1);
    if (settings_.ShowAudioControls) {
        QToolButton* muteButton = addButton("muteButton", QStyle::SP_MediaVolume, QStringLiteral("Disattiva audio"), nullptr);
        muteButton->setCheckable(true);
        muteButton->setChecked(settings_.Mute);
        connect(muteButton, &QToolButton::toggled, this, [this, muteButton](bool on) {
            muteButton->setIcon(style()->standardIcon(on ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
            emit mute(on);
        });
        auto* slider = new QSlider(Qt::Horizontal, buttons_);
        slider->setObjectName(QStringLiteral("volume"));
        slider->setToolTip(QStringLiteral("Volume"));
        slider->setFocusPolicy(Qt::NoFocus);
        slider->setRange(0, 100);
        slider->setValue(qRound(engineVolume(settings_.Volume)));
        slider->setFixedWidth(60);
        connect(slider, &QSlider::valueChanged, this, [this](int value) { emit volume(value); });
        row->addWidget(slider);
    }
    rows->addWidget(buttons_);
    showFor(false);
}

int ControlBar::tenths(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    return qRound(qMin(seconds, 1e8) * 10);
}

QString ControlBar::timeText(double position, double duration)
{
    const auto seconds = [](double t) { return qint64(tenths(t) / 10); };
    const bool known = std::isfinite(duration) && duration > 0;
    const bool hours = seconds(position) >= 3600 || (known && seconds(duration) >= 3600);
    const auto text = [hours](qint64 s) {
        const QString ms = QStringLiteral("%1:%2").arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
        return hours ? QStringLiteral("%1:%2").arg(s / 3600).arg(ms) : ms;
    };
    return known ? text(seconds(position)) + QStringLiteral(" / ") + text(seconds(duration)) : text(seconds(position));
}

void ControlBar::setDuration(double seconds)
{
    tracker_->setRange(0, tenths(seconds));
}

void ControlBar::setPosition(double seconds)
{
    if (tracker_->isSliderDown())
        return;
    const QSignalBlocker quiet(tracker_);
    tracker_->setValue(tenths(seconds));
}

void ControlBar::showFor(bool fullScreen)
{
    const bool controls = settings_.ShowControls && (!fullScreen || settings_.EnableFullScreenControls);
    tracker_->setVisible(controls && settings_.ShowTracker);
    buttons_->setVisible(controls);
    setVisible(controls);
}
