#include "core/deployment.h"
#include "files.h"
#include "platform/urlopener.h"
#include "windows/aboutwindow.h"
#include "windows/linklabel.h"

#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString AdminPage = QStringLiteral("http://127.0.0.1:5080/ServerAdmin/settings/general");

}

class tst_UrlOpener final : public QObject
{
    Q_OBJECT

private slots:
    void openerReceivesTheAddressAsItsOneArgument();
    void missingOpenerIsReportedAndAWindowGoesOn();
};

void tst_UrlOpener::openerReceivesTheAddressAsItsOneArgument()
{
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    const QString record = bin.filePath(QStringLiteral("calls.txt"));
    // One line per start, written at once: the argument count, then each argument after "|".
    QFile opener(bin.filePath(QStringLiteral("xdg-open")));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\n"
                 "line=\"$#\"\n"
                 "for a in \"$@\"; do line=\"$line|$a\"; done\n"
                 "printf '%s\\n' \"$line\" >> '" + record.toLocal8Bit() + "'\n");
    opener.close();
    QVERIFY(opener.setPermissions(opener.permissions() | QFile::ExeOwner));

    const QByteArray path = qgetenv("PATH");
    const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);

    UrlOpener open;
    const QString withBlanks = QStringLiteral("http://h/a b?c=\"d\"");
    QVERIFY(open.open(AdminPage).ok());
    QVERIFY(open.open(withBlanks).ok());

    QTRY_COMPARE(QString::fromUtf8(contentOf(record)).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 QStringList({QStringLiteral("1|") + AdminPage, QStringLiteral("1|") + withBlanks}));
}

void tst_UrlOpener::missingOpenerIsReportedAndAWindowGoesOn()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    const QByteArray path = qgetenv("PATH");
    const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
    qputenv("PATH", QFile::encodeName(empty.path()));

    UrlOpener opener;
    const common::Expected<common::Done> opened = opener.open(AdminPage);
    QVERIFY(!opened.ok());
    const QString message = QString::fromStdString(opened.fault().message);
    QVERIFY2(message.contains(AdminPage), qPrintable(message));
    QVERIFY2(message.contains(QLatin1String("xdg-open was not found on PATH")), qPrintable(message));

    // A window shows the failure and goes on.
    Deployment deployment = Deployment::built();
    deployment.siteHost = QStringLiteral("localhost:8650");
    auto *window = new AboutWindow(deployment, opener);
    const QPointer<AboutWindow> alive(window);
    window->show();
    QTest::mouseClick(window->findChild<LinkLabel *>(QStringLiteral("Label8")), Qt::LeftButton);

    QPointer<QMessageBox> box = window->findChild<QMessageBox *>(QStringLiteral("launchFailure"));
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QVERIFY2(box->text().contains(QLatin1String("http://localhost:8650")), qPrintable(box->text()));
    QVERIFY2(box->informativeText().contains(QLatin1String("xdg-open was not found on PATH")),
             qPrintable(box->informativeText()));

    box->close();
    QTRY_VERIFY(!box);
    QVERIFY(window->isVisible());
    window->close();
    QTRY_VERIFY(!alive);
}

QTEST_MAIN(tst_UrlOpener)
#include "tst_urlopener.moc"
