#include "app/program.h"
#include "files.h"
#include "showwindow.h"
#include "support/localdeployment.h"
#include "support/localhttpserver.h"
#include "support/testenvironment.h"
#include "windows/aboutwindow.h"
#include "windows/linklabel.h"
#include "windows/mainwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The four windows as built from their descriptions: sizes, frames, tab
// order, focus, pictures and labels. Each test also leaves a screenshot in
// <build>/screenshots for a reviewer to look at.
class TestWindowLook final : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void mainWindow();
    void favouritesWindow();
    void confirmationWindow();
    void aboutWindow();
    void aboutPlacement();
    void everyControlHasAnAccessibleName_data();
    void everyControlHasAnAccessibleName();
    void controlsLandOnTheirTwips_data();
    void controlsLandOnTheirTwips();

private:
    void checkLabelsShowThePicture(Form *window);
    QStringList focusOrder(Form *window);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<Program> m_registry;
};

void TestWindowLook::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_server->start());
    m_registry = std::make_unique<Program>(deploymentServedBy(*m_server), m_folder->path(), m_folder->path());
}

void TestWindowLook::cleanup()
{
    m_registry.reset();
    m_server.reset();
}

// Labels have no fill of their own: away from the letters, the window
// picture shows through exactly as it is painted on the bare window.
void TestWindowLook::checkLabelsShowThePicture(Form *window)
{
    const QImage withLabels = window->grab().toImage();
    QList<LinkLabel *> labels = window->findChildren<LinkLabel *>(Qt::FindDirectChildrenOnly);
    QVERIFY(!labels.isEmpty());
    for (LinkLabel *label : labels)
        label->hide();
    const QImage bare = window->grab().toImage();
    for (LinkLabel *label : labels)
        label->show();

    const QImage picture(QString::fromLatin1(WindowPicture));
    QVERIFY(!picture.isNull());
    for (LinkLabel *label : labels) {
        if (!window->rect().contains(label->geometry()))
            continue; // beyond the client area, never seen
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(192, 0, 0));
        QVERIFY(!label->autoFillBackground());
        const QPoint corner = label->geometry().bottomRight() - QPoint(1, 1); // past the text
        QCOMPARE(withLabels.pixelColor(corner), bare.pixelColor(corner));
        QCOMPARE(withLabels.pixelColor(corner).rgb(), picture.pixelColor(corner).rgb());
        // And somewhere inside the label the text itself is drawn.
        bool drawn = false;
        const QRect r = label->geometry() & window->rect();
        for (int y = r.top(); y <= r.bottom() && !drawn; ++y)
            for (int x = r.left(); x <= r.right() && !drawn; ++x)
                drawn = withLabels.pixel(x, y) != bare.pixel(x, y);
        QVERIFY2(drawn, qPrintable(label->objectName()));
    }
}

QStringList TestWindowLook::focusOrder(Form *window)
{
    // Tab from the control holding the focus, around the whole chain.
    QStringList names;
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        return {QStringLiteral("<window not active>")};
    auto owner = [window](QWidget *w) {
        while (w && w->parentWidget() != window)
            w = w->parentWidget();
        return w ? w->objectName() : QStringLiteral("<none>");
    };
    names += owner(QApplication::focusWidget());
    for (int i = 1; i < window->tabChain().size(); ++i) {
        const QString before = owner(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        // A focus that stays put shows in the order the caller compares.
        static_cast<void>(QTest::qWaitFor([&] { return owner(QApplication::focusWidget()) != before; }, 2000));
        names += owner(QApplication::focusWidget());
    }
    return names;
}

void TestWindowLook::mainWindow()
{
    MainWindow *w = m_registry->showMain();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(m_server->waitForRequests(QStringLiteral("/Zyr/04query.html"), 1, 20000));
    QCOMPARE(w->size(), QSize(586, 645));
    QVERIFY(w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!w->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!w->windowFlags().testFlag(Qt::Tool));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!w->windowIcon().isNull());

    // The banner lies beneath every control that takes the focus.
    QWidget *banner = control<QLabel>(w, "Image1");
    QCOMPARE(banner->size(), QSize(600, 170));
    QVERIFY(w->childAt(control(w, "Combo2")->geometry().center()) != banner);

    QTest::qWait(300); // the start page paints
    QVERIFY(saveScreenshot(w->grab(), QStringLiteral("frmmain")));
    QCOMPARE(focusOrder(w), (QStringList{"Combo2", "Text2", "Command1", "Text3", "Command2", "Text5", "WebBrowser1",
                                         "Text1"}));
    checkLabelsShowThePicture(w);
    // And round again.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_VERIFY(control(w, "Combo2")->hasFocus());
}

void TestWindowLook::favouritesWindow()
{
    Form *w = showWindow(*m_registry, QStringLiteral("Form2"));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), QStringLiteral("Favorite Servers"));
    QCOMPARE(w->size(), QSize(586, 645));
    QVERIFY(w->windowFlags().testFlag(Qt::Tool));
    QVERIFY(!w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QCOMPARE(control<QLineEdit>(w, "ServerIP3")->toolTip(),
             QStringLiteral("You can edit any of these feilds. Click \"Save Chenges\" to Save."));
    QVERIFY(control<QLineEdit>(w, "Serverwport3")->toolTip().isEmpty());
    QCOMPARE(control<QRadioButton>(w, "serverOpt(4)")->toolTip(),
             QStringLiteral("Selects the server to be Queried or Launched."));
    QVERIFY(control<QRadioButton>(w, "serverOpt(5)")->toolTip().isEmpty());

    // The six option buttons are one group and one stop in the chain, as
    // a group of option buttons always is.
    const QStringList expected = {
        "ServerName", "ServerIP", "ServerPort", "Command1", "ServerName2", "ServerIP2", "ServerPort2", "ServerName3",
        "ServerIP3", "ServerPort3", "ServerName4", "ServerIP4", "ServerPort4", "ServerName5", "ServerIP5", "ServerPort5",
        "Command2", "serverOpt(0)", "ServerName6", "ServerIP6", "ServerPort6", "WebBrowser1", "Serverwport",
        "Serverwport2", "Serverwport3", "Serverwport4", "Serverwport5", "Serverwport6", "ServerName"}; // and round again
    QCOMPARE(focusOrder(w).mid(0, expected.size()), expected);
    checkLabelsShowThePicture(w);
    QVERIFY(saveScreenshot(w->grab(), QStringLiteral("Form2")));
}

void TestWindowLook::confirmationWindow()
{
    Form *w = showWindow(*m_registry, QStringLiteral("Form3"));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), QStringLiteral("Skirvane"));
    QCOMPARE(w->size(), QSize(252, 90));
    QVERIFY(w->windowFlags().testFlag(Qt::Tool));
    QCOMPARE(focusOrder(w).first(), QStringLiteral("Command1"));
    QCOMPARE(control<QLabel>(w, "Label1")->text(), QStringLiteral("Changes Successfully Saved!"));
    QVERIFY(saveScreenshot(w->grab(), QStringLiteral("Form3")));
}

void TestWindowLook::aboutWindow()
{
    AboutWindow *w = m_registry->showAbout();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), QStringLiteral("About/Help "));
    QCOMPARE(w->size(), QSize(499, 359));
    QCOMPARE(control<QLabel>(w, "Image1")->size(), QSize(450, 128));
    QCOMPARE(focusOrder(w), QStringList{"Text1"});
    // Wraps at the box's width and scrolls only vertically.
    auto *help = control<QPlainTextEdit>(w, "Text1");
    QCOMPARE(help->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QVERIFY(help->verticalScrollBar()->maximum() > 0);
    QCOMPARE(help->horizontalScrollBar()->maximum(), 0);
    QVERIFY(help->toPlainText().startsWith(QStringLiteral("Troubleshooting:\n\nIf this program is not working")));
    checkLabelsShowThePicture(w);
    QVERIFY(saveScreenshot(w->grab(), QStringLiteral("frmAbout")));
}

void TestWindowLook::aboutPlacement()
{
    MainWindow *main = m_registry->showMain();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    main->move(40, 60);
    QTRY_COMPARE(main->frameGeometry().topLeft(), QPoint(40, 60));
    AboutWindow *about = m_registry->showAbout();
    const Placement::Position expected = Placement::aboutByMain({600, 900, 8790, 9675});
    QCOMPARE(about->pos(), Placement::twipsToPixels(expected));

    // Open again while open: not moved, typed text stays.
    control<QPlainTextEdit>(about, "Text1")->setPlainText(QStringLiteral("typed"));
    main->move(100, 100);
    QTRY_COMPARE(main->frameGeometry().topLeft(), QPoint(100, 100));
    QCOMPARE(m_registry->showAbout(), about);
    QCOMPARE(about->pos(), Placement::twipsToPixels(expected));
    QCOMPARE(control<QPlainTextEdit>(about, "Text1")->toPlainText(), QStringLiteral("typed"));

    // Closed and opened again: placed by where the main window is now, with
    // the stored help text back.
    about->close();
    QTRY_VERIFY(!m_registry->aboutWindow());
    about = m_registry->showAbout();
    QCOMPARE(about->pos(), Placement::twipsToPixels(Placement::aboutByMain({1500, 1500, 8790, 9675})));
    QVERIFY(control<QPlainTextEdit>(about, "Text1")->toPlainText().startsWith(QStringLiteral("Troubleshooting:")));
}

void TestWindowLook::everyControlHasAnAccessibleName_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("spoken");

    QTest::newRow("main") << "frmmain" << "Text3" << "Query Port";
    QTest::newRow("favourites") << "Form2" << "ServerIP3" << "Server IP 3";
    QTest::newRow("confirmation") << "Form3" << "Command1" << "OK";
    QTest::newRow("about") << "frmAbout" << "Text1" << "Help";
}

void TestWindowLook::everyControlHasAnAccessibleName()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, spoken);

    const auto spokenName = [](QWidget *w) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(w);
        return accessible ? accessible->text(QAccessible::Name) : QString();
    };
    Form *w = showWindow(*m_registry, window);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // What a screen reader says for each control: its own text or its name.
    for (QWidget *c : w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QVERIFY2(!spokenName(c).trimmed().isEmpty(), qPrintable(c->objectName()));
    QCOMPARE(spokenName(w->findChild<QWidget *>(control)), spoken);
}

void TestWindowLook::controlsLandOnTheirTwips_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("pixels");
    // twips / 15, rounded to the nearest pixel
    QTest::newRow("Combo2 120,2040 1695x315") << "Combo2" << QRect(8, 136, 113, 21);
    QTest::newRow("lblZyrAdmin 3940,9360 990x195") << "lblZyrAdmin" << QRect(263, 624, 66, 13);
    QTest::newRow("pg 120,9120 8535x135") << "pg" << QRect(8, 608, 569, 9);
    QTest::newRow("Command2 beyond the edge") << "Command2" << QRect(672, 216, 113, 22);
}

void TestWindowLook::controlsLandOnTheirTwips()
{
    QFETCH(QString, control);
    QFETCH(QRect, pixels);
    MainWindow *w = m_registry->showMain();
    QCOMPARE(w->findChild<QWidget *>(control)->geometry(), pixels);
}

SKIRVANE_WINDOW_TEST_MAIN(TestWindowLook)
#include "tst_windowlook.moc"
