#pragma once

#include "app/program.h"
#include "windows/aboutwindow.h"
#include "windows/favouriteswindow.h"
#include "windows/mainwindow.h"
#include "windows/saveconfirmation.h"

#include <QString>

// The window's control of this objectName.
template<class T = QWidget>
T *control(QWidget *window, const QString &objectName)
{
    return window->findChild<T *>(objectName);
}

// Shows the window of this objectName ("frmmain", "Form2", "Form3",
// "frmAbout"), the main window first, as the user opens the others from it.
inline Form *showWindow(Program &program, const QString &name)
{
    program.showMain();
    return name == u"frmmain" ? static_cast<Form *>(program.showMain())
        : name == u"Form2"    ? static_cast<Form *>(program.showFavourites())
        : name == u"Form3"    ? static_cast<Form *>(program.showConfirmation())
                              : static_cast<Form *>(program.showAbout());
}
