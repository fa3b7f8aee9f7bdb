#include "about/frmAbout.h"

#include "about/NativeTitle.h"
#include "resources/images.h"
#include "resources/version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

// The form was laid out in twips; 15 of them make a pixel at 96 dpi.
QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

// A command button in "graphical" style: the picture centred above the
// caption rather than beside it, which would not fit the button's width.
class GraphicalButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        option.icon = QIcon();
        painter.drawControl(QStyle::CE_PushButton, option);

        QRect area = rect();
        if (isDown() || isChecked())
            area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
        const QSize picture = iconSize();
        const int textHeight = fontMetrics().height();
        const int top = area.top() + (area.height() - picture.height() - textHeight) / 2;
        const QRect pictureRect(area.left() + (area.width() - picture.width()) / 2, top,
                                picture.width(), picture.height());
        icon().paint(&painter, pictureRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        const QRect textRect(area.left(), pictureRect.bottom() + 1, area.width(), textHeight);
        painter.drawItemText(textRect, Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(), text(),
                             QPalette::ButtonText);
    }
};

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

}  // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QString());
    setFixedSize(4680 / 15, 2565 / 15);
    // The form designer's default font, which the buttons' captions were
    // sized for.
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPointSizeF(24);
    titleFont.setItalic(true);

    const QString title = QStringLiteral("Tembrio 1.0");
    Label1 = makeLabel(this, QStringLiteral("Label1"), title, twips(240, 210, 4155, 1035));
    Label1->setFont(titleFont);
    setTextColor(Label1, Qt::black);
    // Label1 is drawn over it: black letters with a yellow shadow 2 px down
    // and right.
    Label2 = makeLabel(this, QStringLiteral("Label2"), title, twips(270, 240, 4155, 1035));
    Label2->setFont(titleFont);
    setTextColor(Label2, QColor(255, 255, 0));

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twips(420, 990, 480, 480));
    Picture1->setPixmap(QIcon(applicationIconPath()).pixmap(32, 32));

    QFont creditFont(QStringLiteral("Arial"));
    creditFont.setPointSizeF(9.75);
    Label3 = makeLabel(this, QStringLiteral("Label3"), QString::fromUtf8(kCredit.data(), kCredit.size()),
                       twips(1020, 1560, 2745, 255));
    Label3->setFont(creditFont);

    Command1 = new GraphicalButton(QStringLiteral("Info DirectX"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(90, 1980, 1095, 525));
    Command1->setIcon(QIcon(dxdiagButtonImagePath()));
    Command1->setIconSize(QSize(16, 16));

    cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(twips(3210, 2130, 1245, 375));
    cmdOk->setDefault(true);

    // Windowed controls sit above the labels, whatever the labels' extent.
    Label1->raise();
    Picture1->raise();
    Command1->raise();
    cmdOk->raise();

    setTabOrder(cmdOk, Command1);
    cmdOk->setFocus();

    connect(cmdOk, &QPushButton::clicked, this, &frmAbout::cmdOk_Click);
    connect(Command1, &QPushButton::clicked, this, &frmAbout::Command1_Click);
}

void frmAbout::cmdOk_Click()
{
    close();
}

void frmAbout::Command1_Click()
{
    // Started and forgotten: the diagnostics tool runs on its own, and the
    // box stays open.
    const QString program = findOnPath(QStringLiteral("dxdiag.exe"), qgetenv("PATH"));
    if (program.isEmpty() || !QProcess::startDetached(program, {}))
        QMessageBox::warning(this, QStringLiteral("Tembrio"), QStringLiteral("Impossibile avviare dxdiag.exe."));
}

void frmAbout::keyPressEvent(QKeyEvent* event)
{
    // Esc is "Ok", not a separate cancel.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdOk->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The native window exists by now and Qt has given it a made-up title.
    clearNativeWindowTitle(this);
}

QString findOnPath(const QString& name, const QByteArray& pathEnv)
{
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\'))
        return {};
    for (const QString& folder : QFile::decodeName(pathEnv).split(QDir::listSeparator())) {
        if (!QDir::isAbsolutePath(folder))
            continue;
        const QFileInfo candidate(QDir(folder), name);
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.absoluteFilePath();
    }
    return {};
}
