#include "about/About.h"

#include "about/frmAbout.h"

void mnuInfo_Click(QWidget* owner)
{
    // A fresh box each time, gone again when exec returns.
    frmAbout box(owner);
    box.exec();
}
