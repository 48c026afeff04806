#include <QByteArray>

#include "fakeserver.h"
#include "queryd/httpserver.h"
#include "queryd/playerhistory.h"
#include "queryd/service.h"
#include "support/testenvironment.h"
#include "ut3/client.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <atomic>
#include <cmath>
#include <thread>

// The status page with a day of history, recorded from a fake server over
// UDP while a simulated clock runs through the day in 5-minute steps, shown
// in a browser view as the main window's; the picture is left in
// <build>/screenshots for a reviewer to look at.
class TestHistoryPage final : public QObject
{
    Q_OBJECT
private slots:
    void dayOfHistoryOnTheStatusPage();
};

namespace {

// 2026-12-01 22:00 UTC, the end of the recorded day.
constexpr long long dayEnd = 1796162400;

// Quiet mornings, a lunch bump, busy evenings; bots fill an empty server.
fakeut3::Script scriptAt(long long t)
{
    const double hour = double(t % 86400) / 3600;
    const double evening = std::exp(-std::pow((hour - 21) / 2.2, 2));
    const double lunch = std::exp(-std::pow((hour - 13) / 1.2, 2));
    const int players = int(std::lround(16 * evening + 5 * lunch + (hour < 2 ? 6 : 0)));
    fakeut3::Script script = fakeut3::sampleScript("Zyr's Evening Deathmatch", "DM-Deck", players);
    for (auto &[key, value] : script.keys)
        if (key == "p268435703")
            value = std::to_string(players < 4 ? 4 - players : 0);
    // The server was down for a restart early in the morning.
    if (hour >= 5.5 && hour < 6.25)
        script.shape = fakeut3::Shape::silent;
    return script;
}

}

void TestHistoryPage::dayOfHistoryOnTheStatusPage()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    boost::asio::io_context io;
    fakeut3::FakeServer fake(io, scriptAt(dayEnd));
    std::atomic<long long> clock{dayEnd - 86400};
    auto history = std::make_shared<queryd::PlayerHistory>(
        queryd::PlayerHistory::Setup{.database = folder.filePath("history.sqlite3").toStdString(),
                                     .now = [&] { return history::Seconds(std::chrono::seconds(clock.load())); },
                                     .utcOffset = [] { return std::chrono::seconds(0); }},
        nullptr);

    // A day of polls, each a real query of the fake server.
    ut3::Client client(io, {.timeout = std::chrono::milliseconds(150)});
    const ut3::QueryTarget target{"127.0.0.1", fake.port()};
    int answered = 0;
    for (long long t = dayEnd - 86400 + 20; t < dayEnd; t += 300) {
        clock = t;
        fake.setScript(scriptAt(t));
        bool done = false;
        client.query(target, [&](ut3::QueryResult result) {
            answered += result.state == ut3::QueryState::online;
            history->record(result);
            done = true;
        });
        while (!done)
            io.run_one();
    }
    QVERIFY2(answered > 270 && answered < 288, qPrintable(QString::number(answered)));
    history->lookedUp(target, target, 0);
    history->flush();
    clock = dayEnd + 30;
    fake.setScript(scriptAt(dayEnd));

    queryd::ServiceOptions options;
    options.listen = {{boost::asio::ip::make_address("127.0.0.1"), 0}};
    options.refresh = std::chrono::seconds(0);
    io.restart();
    auto service = queryd::Service::create(io, options, history);
    auto started = queryd::HttpServer::start(io, options, service);
    QVERIFY2(started.ok(), started ? "" : started.fault().message.c_str());
    auto server = std::move(*started);
    const auto port = server->endpoints().at(0).port();
    std::thread thread([&] { io.run(); });
    const auto stop = qScopeGuard([&] {
        boost::asio::post(io, [&] { server->stop(); });
        io.stop();
        thread.join();
    });

    // The main window's browser is about 570 px wide; tall enough here to
    // show the whole page in one picture.
    QWebEngineView view;
    view.resize(570, 1000);
    view.show();
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    view.load(QUrl(QStringLiteral("http://127.0.0.1:%1/Zyr/Skirvane/skirvane.php?serverip=127.0.0.1&serverqport=%2&serverwport=0")
                       .arg(port)
                       .arg(fake.port())));
    QVERIFY(loaded.wait(30000));
    QVERIFY(loaded.first().first().toBool());

    QString text;
    view.page()->toPlainText([&](const QString &plain) { text = plain; });
    QTRY_VERIFY_WITH_TIMEOUT(!text.isEmpty(), 10000);
    QVERIFY2(text.contains(QStringLiteral("Last 24 hours")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("usually busiest 20:00\u201322:00 (last 7 days")), qPrintable(text));

    // The players' line is drawn, once the view has painted: enough pixels of its colour.
    QImage picture;
    int lineColour = 0;
    const auto drawn = [&] {
        picture = view.grab().toImage();
        lineColour = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QColor pixel = picture.pixelColor(x, y);
                lineColour += std::abs(pixel.red() - 0x8f) < 16 && std::abs(pixel.green() - 0xd0) < 16 && std::abs(pixel.blue() - 0xff) < 16;
            }
        return lineColour > 300;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(drawn(), qPrintable(QString::number(lineColour)), 10000);
    const QString screenshots = QStringLiteral(SKIRVANE_SCREENSHOT_DIR);
    QVERIFY(QDir().mkpath(screenshots));
    QVERIFY(picture.save(screenshots + QStringLiteral("/status-page-history.png")));
}

SKIRVANE_WINDOW_TEST_MAIN(TestHistoryPage)
#include "tst_historypage.moc"
