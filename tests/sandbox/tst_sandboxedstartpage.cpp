#include "windows/frmmain.h"
#include "windows/windowregistry.h"
#include "support/testenvironment.h"

#include <QApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <unistd.h>

// The main window loads its start page from the real query service while the
// browser engine keeps its sandbox on, as it does for every ordinary user.
class TestSandboxedStartPage final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void startPageRendersInASandboxedRenderer();

private:
    QByteArray fetch(const QString &path);

    QProcess m_service;
    QString m_host;
};

void TestSandboxedStartPage::initTestCase()
{
    QVERIFY2(::geteuid() != 0, "the browser engine's sandbox cannot be on for root: run this as an ordinary user");
    QVERIFY2(!qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"), "QTWEBENGINE_DISABLE_SANDBOX is set");
    QVERIFY(!qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QStringLiteral("no-sandbox")));

    // Any free port; the service names the one it got.
    m_service.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/skirvane-queryd"));
    m_service.setArguments({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    m_service.start();
    QVERIFY2(m_service.waitForStarted(), qPrintable(m_service.program() + QStringLiteral(": ") + m_service.errorString()));
    const QRegularExpression listening(QStringLiteral("listening on (127\\.0\\.0\\.1:\\d+)"));
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += m_service.readAllStandardError(), listening.match(QString::fromUtf8(said)).hasMatch()),
                             10000);
    m_host = listening.match(QString::fromUtf8(said)).captured(1);
}

void TestSandboxedStartPage::cleanupTestCase()
{
    m_service.terminate();
    m_service.waitForFinished(5000);
}

QByteArray TestSandboxedStartPage::fetch(const QString &path)
{
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(QUrl(QStringLiteral("http://") + m_host + path))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(10000) || reply->error() != QNetworkReply::NoError)
        return {};
    return reply->readAll();
}

void TestSandboxedStartPage::startPageRendersInASandboxedRenderer()
{
    Deployment deployment = Deployment::built();
    deployment.mainQueryHost = m_host;
    WindowRegistry registry(deployment, QCoreApplication::applicationDirPath());
    frmmain *window = registry.showMain();
    auto *view = window->findChild<QWebEngineView *>();
    QVERIFY(view);
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 30000);
    QCOMPARE(loaded.first().first().toBool(), true);
    QCOMPARE(view->url().path(), QStringLiteral("/Zyr/04query.html"));

    // The title comes from the renderer parsing the page: the one the service wrote.
    const QRegularExpression titleElement(QStringLiteral("<title>([^<]+)</title>"));
    const QRegularExpressionMatch served = titleElement.match(QString::fromUtf8(fetch(view->url().path())));
    QVERIFY(served.hasMatch());
    QTRY_COMPARE_WITH_TIMEOUT(view->title(), served.captured(1), 10000);

    // The renderer runs under the sandbox's system call filter.
    const qint64 renderer = view->page()->renderProcessPid();
    QVERIFY(renderer > 0);
    QVERIFY(renderer != QCoreApplication::applicationPid());
    QFile status(QStringLiteral("/proc/%1/status").arg(renderer));
    QVERIFY2(status.open(QIODevice::ReadOnly), qPrintable(status.fileName() + QStringLiteral(": ") + status.errorString()));
    const QByteArray fields = status.readAll();
    QVERIFY2(fields.contains("\nSeccomp:\t2\n"), fields.constData());
}

SKIRVANE_WINDOW_TEST_MAIN(TestSandboxedStartPage)
#include "tst_sandboxedstartpage.moc"
