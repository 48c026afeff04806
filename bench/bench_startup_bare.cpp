// What the program is measured against: a plain QWebEngineView of the size
// of the main window's browser, on the same start page. It links none of the
// program's windows or platform layer, so it loads only the libraries a bare
// browser program needs. See startupprobe.h for what it prints.

#include "startupprobe.h"

#include "query/queryaddress.h"
#include "windows/placement.h"
#include "windows/windowdescription.h"

#include <QApplication>
#include <QUrl>
#include <QWebEngineView>

int main(int argc, char *argv[])
{
    StartupProbe probe;
    if (const std::optional<int> status = probe.begin(argc, argv, QStringLiteral("bare")))
        return *status;

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    const WindowDescription main = frmmainDescription();
    const ControlDescription *browser = main.control(QStringLiteral("WebBrowser1"));
    QWebEngineView view;
    view.resize(Placement::twipsToPixels(float(browser->width)), Placement::twipsToPixels(float(browser->height)));
    view.load(QUrl(QueryAddress::mainStartPage(probe.pageHost())));
    view.show();
    return probe.run(app, view.windowHandle(), &view);
}
