#pragma once

class QWidget;

// Moves a window so that it stands in the middle of the primary screen's
// available area.
void centreOnScreen(QWidget *window);
