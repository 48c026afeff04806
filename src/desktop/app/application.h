#pragma once

#include <QApplication>

#include <exception>

// The program-wide treatment of unexpected errors: whatever escapes an event
// handler on the GUI thread is shown in a message box with its kind and
// text, and then the program ends; anything else that ends the program is
// logged on stderr. Errors that are expected are handled where they occur.
class Application final : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    // The program's name, version and desktop id, for any application object.
    static void nameProgram();

    bool notify(QObject *receiver, QEvent *event) override;

    // Shows the message and ends the process with exit code 1.
    [[noreturn]] static void reportUnexpectedError(std::exception_ptr error);

    // "Kind: text" for what was thrown.
    static QString describe(std::exception_ptr error);
};
