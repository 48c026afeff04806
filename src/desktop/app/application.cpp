#include "app/application.h"

#include "version.h"

#include <QMessageBox>

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <system_error>
#include <typeinfo>

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    nameProgram();
    // Possibly off the GUI thread, where no window may be made: logged only.
    std::set_terminate([] {
        std::fprintf(stderr, "Skirvane: an unexpected error ended the program. %s\n",
                     qPrintable(describe(std::current_exception())));
        std::abort();
    });
}

void Application::nameProgram()
{
    setApplicationName(QStringLiteral("Skirvane"));
    setApplicationVersion(QString::fromLatin1(Version::Text));
    setDesktopFileName(QString::fromLatin1(Version::ApplicationId));
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportUnexpectedError(std::current_exception());
    }
}

namespace {

// "std::runtime_error" rather than the compiler's "St13runtime_error".
QString kindOf(const std::exception &e)
{
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status), &std::free);
    return QString::fromUtf8(status == 0 && name ? name.get() : typeid(e).name());
}

}

QString Application::describe(std::exception_ptr error)
{
    if (!error)
        return QStringLiteral("Unknown error: the program was ended without an error to report.");
    try {
        std::rethrow_exception(error);
    } catch (const std::system_error &e) {
        return QStringLiteral("Error %1 (%2): %3")
            .arg(e.code().value())
            .arg(QString::fromUtf8(e.code().category().name()), QString::fromLocal8Bit(e.what()));
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Out of memory.");
    } catch (const std::exception &e) {
        return QStringLiteral("%1: %2").arg(kindOf(e), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return QStringLiteral("Unknown error of a kind the program does not know.");
    }
}

void Application::reportUnexpectedError(std::exception_ptr error)
{
    static bool reporting = false;
    if (!reporting) {
        reporting = true;
        QMessageBox::critical(nullptr, QStringLiteral("Skirvane"),
                              QStringLiteral("An unexpected error ended Skirvane.\n\n%1").arg(describe(error)));
    }
    std::_Exit(1);
}
