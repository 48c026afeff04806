// What the program is measured against: a plain QWebEngineView of the size
// of the main window's browser, on the same start page. It links none of the
// program's windows or platform layer, so it loads only the libraries a bare
// browser program needs. See startupprobe.h for what it prints.

#include "startupprobe.h"

#include "core/placement.h"
#include "core/queryaddress.h"

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
    probe.markApplication();

    // The size of the main window's browser, 8535 x 6495 twips.
    QWebEngineView view;
    view.resize(Placement::twipsToPixels(8535.0f), Placement::twipsToPixels(6495.0f));
    view.load(QUrl(QueryAddress::mainStartPage(probe.pageHost())));
    view.show();
    probe.markBuilt();
    return probe.run(app, view.windowHandle(), &view);
}
