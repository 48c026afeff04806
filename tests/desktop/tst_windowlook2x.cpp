#include "app/program.h"
#include "files.h"
#include "platform/browserengine.h"
#include "showwindow.h"
#include "support/localdeployment.h"
#include "support/localhttpserver.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

// The four windows on a screen at scale factor 2: twice the pixels, the
// artwork and icon drawn from their 2× files, not blown up from 1×. Each
// test leaves a screenshot "<window>@2x.png" in <build>/screenshots.
class TestWindowLook2x final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void drawnFromTheDoubleSizeFiles_data();
    void drawnFromTheDoubleSizeFiles();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<Program> m_registry;
};

namespace {

// A square of the window, logical size 16, where only `shown` is painted
// (no control of its own in front of it), from the top-left corner on.
std::optional<QRect> squareShowing(QWidget *window, QWidget *shown, const QRect &within)
{
    const int side = 16;
    for (int y = within.top(); y + side <= within.bottom(); y += side / 2)
        for (int x = within.left(); x + side <= within.right(); x += side / 2) {
            const QRect square(x, y, side, side);
            bool clear = true;
            for (QWidget *child : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                if (child != shown && child->isVisible() && child->geometry().intersects(square))
                    clear = false;
            if (clear)
                return square;
        }
    return std::nullopt;
}

// The square of a grab at ratio 2 against the same area of the 2× source,
// pixel for pixel, and against the 1× source blown up, which it must not be.
void checkDrawnFromDoubleSize(const QImage &grab, const QRect &square, const QPoint &sourceOrigin,
                              const QString &resource)
{
    const QImage doubled(Artwork::doubleSizeName(resource));
    const QImage single(resource);
    QVERIFY(!doubled.isNull() && !single.isNull());
    const QRect inGrab(square.topLeft() * 2, square.size() * 2);
    const QRect inSource((square.topLeft() - sourceOrigin) * 2, square.size() * 2);
    const QImage shown = grab.copy(inGrab).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, doubled.copy(inSource).convertToFormat(QImage::Format_RGB32));
    for (Qt::TransformationMode mode : {Qt::FastTransformation, Qt::SmoothTransformation}) {
        const QImage blownUp = single.scaled(single.size() * 2, Qt::IgnoreAspectRatio, mode);
        QVERIFY2(shown != blownUp.copy(inSource).convertToFormat(QImage::Format_RGB32),
                 qPrintable(resource + QStringLiteral(": the 2× picture is the 1× one blown up")));
    }
}

}

void TestWindowLook2x::initTestCase()
{
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
}

void TestWindowLook2x::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_server->start());
    m_registry = std::make_unique<Program>(deploymentServedBy(*m_server), m_folder->path(), m_folder->path());
}

void TestWindowLook2x::cleanup()
{
    m_registry.reset();
    m_server.reset();
}

void TestWindowLook2x::drawnFromTheDoubleSizeFiles_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("banner"); // the banner's resource, if the window has one
    QTest::newRow("main") << "frmmain" << ":/assets/banner-main.jpg";
    QTest::newRow("favourites") << "Form2" << QString();
    QTest::newRow("confirmation") << "Form3" << QString();
    QTest::newRow("about") << "frmAbout" << ":/assets/banner-about.jpg";
}

void TestWindowLook2x::drawnFromTheDoubleSizeFiles()
{
    QFETCH(QString, window);
    QFETCH(QString, banner);

    Form *w = showWindow(*m_registry, window);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->devicePixelRatio(), 2);
    if (window == u"frmmain") {
        QVERIFY(m_server->waitForRequests(QStringLiteral("/Zyr/04query.html"), 1, 20000));
        QTest::qWait(300); // the start page paints
    }

    const QImage grab = w->grab().toImage();
    QCOMPARE(grab.size(), w->size() * 2);
    QVERIFY(saveScreenshot(grab, window + QStringLiteral("@2x")));

    // The window's picture where nothing is in front of it.
    const std::optional<QRect> bare = squareShowing(w, nullptr, w->rect());
    QVERIFY(bare);
    checkDrawnFromDoubleSize(grab, *bare, QPoint(0, 0), QString::fromLatin1(WindowPicture));

    if (!banner.isEmpty()) {
        auto *label = w->findChild<QLabel *>(QStringLiteral("Image1"));
        const std::optional<QRect> square = squareShowing(w, label, label->geometry() & w->rect());
        QVERIFY(square);
        checkDrawnFromDoubleSize(grab, *square, label->pos(), banner);
    }

    // The icon offers its 2× file for the title bar and task switcher.
    const QImage icon = w->windowIcon().pixmap(QSize(32, 32), 2.0).toImage();
    QCOMPARE(icon.size(), QSize(64, 64));
    QCOMPARE(icon.convertToFormat(QImage::Format_ARGB32),
             QImage(Artwork::doubleSizeName(QString::fromLatin1(WindowIcon))).convertToFormat(QImage::Format_ARGB32));
}

// Scale factor 2 whatever the environment says, before the window system starts.
int main(int argc, char *argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    BrowserEngine::prepareUnattended();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestWindowLook2x tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_windowlook2x.moc"
