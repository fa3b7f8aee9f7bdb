#pragma once

class QWidget;

// "Info": shows a new about box over owner and returns once it is closed.
void mnuInfo_Click(QWidget* owner);
