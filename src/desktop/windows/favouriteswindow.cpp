#include "windows/favouriteswindow.h"

#include "core/queryaddress.h"
#include "favourites/favouritesfile.h"
#include "favourites/filesystem.h"
#include "platform/browser.h"
#include "platform/progressbar.h"
#include "platform/richtext.h"
#include "platform/timer.h"
#include "platform/warning.h"
#include "watch/livemodel.h"
#include "windows/linklabel.h"
#include "windows/optionbutton.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

struct SlotRow
{
    int textTop;
    int optionTop;
    int nameTab, addressTab, queryPortTab, webPortTab, optionTab;
};

// Slots 1 to 6, top to bottom.
constexpr SlotRow Rows[FavouritesFile::SlotCount] = {
    {360, 360, 0, 3, 4, 35, 22},      {600, 610, 6, 7, 8, 36, 23},      {840, 850, 9, 10, 11, 37, 24},
    {1080, 1090, 12, 13, 14, 38, 25}, {1320, 1340, 15, 16, 17, 39, 26}, {1560, 1590, 30, 31, 32, 40, 33},
};

// The last slot's option button has none.
QString optionTip(int slot)
{
    return slot == FavouritesFile::SlotCount - 1 ? QString()
                                                 : QStringLiteral("Selects the server to be Queried or Launched.");
}

const char EditTip[] = "You can edit any of these feilds. Click \"Save Chenges\" to Save.";
const Font Bold = Font::boldSansSerif();

}

FavouritesWindow::FavouritesWindow(const Deployment &deployment, const QString &iniPath)
    : Form({.name = "Form2", .caption = "Favorite Servers", .clientWidth = 8790, .clientHeight = 9675,
            .frame = FormLook::Frame::FixedToolWindow, .backColour = DesignColours::Backdrop})
    , m_deployment(deployment)
    , m_iniPath(iniPath)
    , m_slots(addSlots())
    , m_beginQueryButton(add<QPushButton>({.tab = 18, .name = "Command2", .text = "Begin Query", .left = 6840,
                                           .top = 360, .width = 1815, .height = 330, .font = Bold}))
    , m_saveButton(add<QPushButton>({.tab = 5, .name = "Command1", .text = "Save Changes", .left = 6840, .top = 1440,
                                     .width = 1815, .height = 330, .font = Bold}))
    , m_saveProgress(add<ProgressBar>({.tab = 1, .name = "pg2", .left = 6840, .top = 1760, .width = 1800, .height = 105,
                                       .accessibleName = "Save progress"}))
    , m_browser(add<Browser>({.tab = 34, .name = "WebBrowser1", .left = 120, .top = 2040, .width = 8535, .height = 6975,
                              .accessibleName = "Server status"}))
    , m_queryProgress(add<ProgressBar>({.tab = 2, .name = "pg", .left = 120, .top = 9120, .width = 8535, .height = 135,
                                        .accessibleName = "Query progress"}))
    , m_aboutLink(add<LinkLabel>({.tab = 21, .name = "Label4", .text = "About / Help", .left = 7560, .top = 9360,
                                  .width = 1215, .height = 255, .font = Bold}))
    , m_queryTimer(addTimer("Timer1", 100))
    , m_saveTimer(addTimer("Timer2", 100))
    , m_query(*m_queryTimer, [this] { queryChosenFavourite(); },
              [this](float value) { m_queryProgress->setValue(value); })
    , m_save(*m_saveTimer, {.showProgress = [this](float value) { m_saveProgress->setValue(value); },
                            .replacesAFile = [this] { return !FileSystem::otherThanAFile(m_iniPath); },
                            .ask = [this](const QString &readProblem) { ask(readProblem); },
                            .write = [this](bool closing) { write(closing); },
                            .close = [this] { close(); }})
{
    add<LinkLabel>({.tab = 27, .name = "Label6", .text = "Server Name", .left = 120, .top = 120, .width = 975, .height = 255});
    add<LinkLabel>({.tab = 28, .name = "Label7", .text = "Server IP", .left = 1560, .top = 120, .width = 735, .height = 255});
    add<LinkLabel>({.tab = 29, .name = "Label8", .text = "Server Q  Port", .tooltip = "Default 6500", .left = 3000,
                    .top = 120, .width = 1215, .height = 255});
    add<LinkLabel>({.tab = 41, .name = "Label3", .text = "Server W Port",
                    .tooltip = "Set to 0 if you don't have Tallyboard installed.", .left = 4320, .top = 120,
                    .width = 1335, .height = 255});
    // Beyond the right edge of the client area, never seen.
    add<LinkLabel>({.tab = 19, .name = "Label1(0)", .text = "X", .left = 9480, .top = 0, .width = 375, .height = 375,
                    .font = Font::boldSansSerif(9.75), .foreground = DesignColours::BrightRed});
    add<LinkLabel>({.tab = 20, .name = "Label2", .text = "-", .left = 9120, .top = -210, .width = 255, .height = 495,
                    .font = Font::boldSansSerif(24), .foreground = DesignColours::BrightRed});
    finishTabOrder();

    m_aboutLink->setCursor(Qt::PointingHandCursor);
    connect(m_saveButton, &QPushButton::clicked, this, [this] { m_save.save(); });
    connect(m_beginQueryButton, &QPushButton::clicked, this, [this] { m_query.start(); });
    connect(m_aboutLink, &LinkLabel::clicked, this, [this] {
        emit aboutRequested();
        close();
    });
    connect(m_queryTimer, &Timer::tick, this, [this] { m_query.tick(); });
    connect(m_saveTimer, &Timer::tick, this, [this] { m_save.tick(); });
}

FavouritesWindow::Slots FavouritesWindow::addSlots()
{
    Slots made;
    const QStringList &keys = FavouritesFile::keys();
    for (int i = 0; i < FavouritesFile::SlotCount; ++i) {
        const SlotRow &row = Rows[i];
        const QString slot = QString::number(i + 1);
        const auto field = [&](int column, int tab, int left, int width, const QString &tooltip, const QString &spoken) {
            made.fields += add<QLineEdit>({.tab = tab, .name = keys[i * FavouritesFile::KeysPerSlot + column],
                                           .tooltip = tooltip, .left = left, .top = row.textTop, .width = width,
                                           .height = 285, .accessibleName = spoken + slot});
        };
        field(0, row.nameTab, 120, 1335, EditTip, "Server Name ");
        field(1, row.addressTab, 1560, 1335, EditTip, "Server IP ");
        field(2, row.queryPortTab, 3000, 1215, EditTip, "Query Port ");
        field(3, row.webPortTab, 4320, 1215, {}, "Web Port ");
        const bool last = i == FavouritesFile::SlotCount - 1;
        made.options += add<OptionButton>({.tab = row.optionTab, .name = QStringLiteral("serverOpt(%1)").arg(i),
                                            .tooltip = optionTip(i),
                                            .left = 5760, .top = row.optionTop, .width = 495, .height = last ? 260 : 255,
                                            .background = DesignColours::Backdrop, .accessibleName = "Server " + slot});
    }
    return made;
}

void FavouritesWindow::load()
{
    const common::Expected<QStringList> file = FavouritesFile::load(m_iniPath);
    for (qsizetype i = 0; i < m_slots.fields.size(); ++i)
        m_slots.fields[i]->setText(file ? file->value(i) : QString());
    if (file)
        return;
    const QString problem = QString::fromStdString(file.fault().message);
    m_save.setReadProblem(problem);
    showWarning(this, QStringLiteral("readFailure"), QStringLiteral("The favourite servers could not be read."),
                problem + QStringLiteral("\n\nThe fields are empty; saving will ask before replacing the file."),
                Qt::NonModal);
}

void FavouritesWindow::observe(const LiveModel &model)
{
    connect(&model, &LiveModel::favouritesChanged, this,
            [this, &model] { setLiveStates(model.favouriteLinesBySlot()); });
    setLiveStates(model.favouriteLinesBySlot());
}

void FavouritesWindow::setLiveStates(const QStringList &states)
{
    for (int i = 0; i < FavouritesFile::SlotCount; ++i) {
        const QString own = optionTip(i);
        const QString state = states.value(i);
        if (state.isEmpty())
            m_slots.options[i]->setToolTip(own);
        else
            m_slots.options[i]->setToolTip(own.isEmpty() ? plainLinesAsRichText({state})
                                                         : plainLinesAsRichText({own, state}));
    }
}

void FavouritesWindow::queryChosenFavourite()
{
    // Every button is examined; should more than one be selected, the
    // highest wins. None selected still navigates, with empty values.
    ServerValues values;
    for (int i = 0; i < FavouritesFile::SlotCount; ++i) {
        if (!m_slots.options[i]->isChecked())
            continue;
        const int first = i * FavouritesFile::KeysPerSlot; // the slot's name field, not used by a query
        values = {m_slots.fields[first + 1]->text(), m_slots.fields[first + 2]->text(), m_slots.fields[first + 3]->text()};
    }
    const QString base = QueryAddress::favoritesQueryBase(m_deployment.favoritesQueryHost);
    m_browser->navigate(QueryAddress::compose(base, values));
}

void FavouritesWindow::ask(const QString &readProblem)
{
    auto *ask = new QMessageBox(QMessageBox::Question, QStringLiteral("Skirvane"),
                                QStringLiteral("Replace the favourites file that could not be read?"),
                                QMessageBox::Yes | QMessageBox::No, this);
    ask->setObjectName(QStringLiteral("replaceUnreadable"));
    ask->setInformativeText(readProblem
                            + QStringLiteral("\n\nSaving replaces whatever it holds with the six slots shown."));
    ask->setDefaultButton(QMessageBox::No);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    connect(ask, &QMessageBox::finished, this, [this](int answer) { m_save.answered(answer == QMessageBox::Yes); });
    ask->open();
}

void FavouritesWindow::write(bool closing)
{
    QStringList values;
    for (const QLineEdit *field : m_slots.fields)
        values += field->text();
    if (const common::Expected<common::Done> saved = FavouritesFile::save(m_iniPath, values); !saved.ok()) {
        // A window that is closing cannot hold the message.
        showWarning(closing ? nullptr : this, QStringLiteral("saveFailure"),
                    QStringLiteral("The favourite servers could not be saved."),
                    QString::fromStdString(saved.fault().message)
                        + (closing ? QStringLiteral("\n\nThe file was left as it was.")
                                   : QStringLiteral("\n\nYour changes are still in the window; the file was left as it was.")));
        return;
    }
    emit saved();
}

void FavouritesWindow::closeEvent(QCloseEvent *event)
{
    if (!m_save.mayClose()) {
        event->ignore();
        return;
    }
    Form::closeEvent(event);
}
