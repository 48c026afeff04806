#pragma once

#include "core/deployment.h"
#include "core/progresssequence.h"
#include "core/saveflow.h"
#include "windows/form.h"

class LiveModel;
class QRadioButton;

// The favourites window: six slots of four fields loaded from the favourites
// file, saved back through the save sequence, and queried one at a time into
// the window's own browser through the query sequence.
class FavouritesWindow final : public Form
{
    Q_OBJECT
public:
    FavouritesWindow(const Deployment &deployment, const QString &iniPath);

    const QString &iniPath() const { return m_iniPath; }

    // Fills all 24 fields from the file, reading it once. A file that cannot
    // be read leaves them empty and says why, without blocking.
    void load();

    // Each slot's option button shows the slot's live state in its tooltip,
    // below the tooltip it was made with, from now on.
    void observe(const LiveModel &model);

signals:
    void aboutRequested();
    // The file was written.
    void saved();

protected:
    // A save asked for is carried out when the window closes before its time.
    void closeEvent(QCloseEvent *event) override;

private:
    // One line for each slot, empty for none.
    void setLiveStates(const QStringList &states);
    // Queries the slot whose option button is selected (empty values when
    // none is) into this window's browser.
    void queryChosenFavourite();
    // Whether to replace the file that could not be read: the user decides,
    // and the window waits for the answer.
    void ask(const QString &readProblem);
    // Writes the 24 fields to the favourites file. A failed save leaves the
    // old file as it was and the fields as they are, and says why.
    void write(bool closing);

    struct Slots
    {
        QList<QLineEdit *> fields; // in the order of the file's keys
        QList<OptionButton *> options;
    };
    Slots addSlots();

    const Deployment m_deployment;
    const QString m_iniPath;
    const Slots m_slots;
    QPushButton *const m_beginQueryButton;
    QPushButton *const m_saveButton;
    ProgressBar *const m_saveProgress;
    Browser *const m_browser;
    ProgressBar *const m_queryProgress;
    LinkLabel *const m_aboutLink;
    Timer *const m_queryTimer;
    Timer *const m_saveTimer;
    ProgressSequence m_query;
    SaveFlow m_save;
};
