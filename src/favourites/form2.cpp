#include "favourites/form2.h"

#include "favourites/favouritesfile.h"
#include "platform/browser.h"
#include "platform/filewriter.h"
#include "platform/profilefile.h"
#include "platform/progressbar.h"
#include "platform/timer.h"
#include "query/progresssequence.h"
#include "query/queryaddress.h"
#include "windows/frmmain.h"
#include "windows/linklabel.h"
#include "windows/placement.h"
#include "windows/windowregistry.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

Form2::Form2(WindowRegistry &registry)
    : FormWindow(form2Description())
    , Command1(control<QPushButton>(QStringLiteral("Command1")))
    , Command2(control<QPushButton>(QStringLiteral("Command2")))
    , Timer1(control<Timer>(QStringLiteral("Timer1")))
    , Timer2(control<Timer>(QStringLiteral("Timer2")))
    , pg(control<ProgressBar>(QStringLiteral("pg")))
    , pg2(control<ProgressBar>(QStringLiteral("pg2")))
    , WebBrowser1(control<Browser>(QStringLiteral("WebBrowser1")))
    , Label4(control<LinkLabel>(QStringLiteral("Label4")))
    , m_registry(registry)
{
    for (const QString &key : FavouritesFile::keys())
        m_fields += control<QLineEdit>(key);
    for (int i = 0; i < FavouritesFile::SlotCount; ++i)
        m_serverOpt += control<QRadioButton>(QStringLiteral("serverOpt(%1)").arg(i));

    Label4->setCursor(Qt::PointingHandCursor);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(Label4, &LinkLabel::clicked, this, &Form2::Label4_Click);
    connect(Timer1, &Timer::tick, this, &Form2::Timer1_Timer);
    connect(Timer2, &Timer::tick, this, &Form2::Timer2_Timer);
}

void Form2::Form_Load()
{
    if (const frmmain *main = m_registry.mainWindow()) {
        const Placement::Position at = Placement::favouritesByMain(main->placementFrame());
        moveToTwips(at.left, at.top);
    }
    IniPath = FavouritesFile::iniPath(m_registry.executableFolder());
    ReadIni();
}

QString Form2::GetIni(const QString &section, const QString &key) const
{
    return ProfileFile::load(IniPath, {{section, key}}).value(section, key);
}

void Form2::ReadIni()
{
    const ProfileFile file = ProfileFile::load(IniPath, FavouritesFile::profileKeys());
    const QStringList values = FavouritesFile::values(file.reader());
    for (qsizetype i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setText(values.value(i));
}

QLineEdit *Form2::field(const QString &key) const
{
    return control<QLineEdit>(key);
}

void Form2::lookup()
{
    // Every button is examined; should more than one be selected, the
    // highest wins. None selected still navigates, with empty values.
    ServerValues values;
    for (int i = 0; i < FavouritesFile::SlotCount; ++i) {
        if (!m_serverOpt[i]->isChecked())
            continue;
        const int first = i * FavouritesFile::KeysPerSlot; // the slot's name field, not used by a query
        values = {m_fields[first + 1]->text(), m_fields[first + 2]->text(), m_fields[first + 3]->text()};
    }
    const QString base = QueryAddress::favoritesQueryBase(m_registry.deployment().favoritesQueryHost);
    WebBrowser1->Navigate(QueryAddress::compose(base, values));
}

bool Form2::lookup2()
{
    QStringList values;
    for (const QLineEdit *f : std::as_const(m_fields))
        values += f->text();

    if (const std::optional<WriteFailure> failure = FileWriter::replaceFile(IniPath, FavouritesFile::saveText(values))) {
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Skirvane"),
                                    QStringLiteral("The favourite servers could not be saved."),
                                    QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("saveFailure"));
        box->setInformativeText(failure->message
                                + QStringLiteral("\n\nYour changes are still in the window; the file was left as it was."));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return false;
    }
    m_registry.showConfirmation();
    return true;
}

void Form2::Command1_Click()
{
    Timer2->setEnabled(true);
}

void Form2::Command2_Click()
{
    Timer1->setEnabled(true);
}

void Form2::Label4_Click()
{
    m_registry.showAbout();
    close();
}

void Form2::Timer1_Timer()
{
    ProgressSequence::tick(*pg, *Timer1, [this] { lookup(); });
}

void Form2::Timer2_Timer()
{
    ProgressSequence::tick(*pg2, *Timer2, [this] { lookup2(); });
}
