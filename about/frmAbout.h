#pragma once

#include <QByteArray>
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The "Info" box: a fixed dialog with an empty title, the program's name with
// a yellow shadow, its icon, a credit line, "Info DirectX" and "Ok".
// Controls carry their names as objectName.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    void cmdOk_Click();
    void Command1_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Picture1;
    QLabel* Label3;
    QPushButton* Command1;
    QPushButton* cmdOk;
};

// Looks a bare program name up in the absolute folders of a PATH value only:
// an empty or relative entry would make the result depend on the current
// folder. Returns the full path of the first executable file, or "".
QString findOnPath(const QString& name, const QByteArray& pathEnv);
