#pragma once

#include "core/progresssequence.h"

#include <QString>

#include <functional>

// The favourites window's save: the save sequence, the question asked before
// a file that could not be read is replaced, and a close that comes before
// the sequence has ended (the save asked for is still carried out).
class SaveFlow final
{
    Q_DISABLE_COPY_MOVE(SaveFlow)
public:
    enum class State {
        Editing,
        Counting,          // the save sequence runs
        Asking,            // whether to replace the file that could not be read
        AskingBeforeClose, // the same, for a window that closes after the answer
    };

    struct View
    {
        std::function<void(float)> showProgress;
        // Whether the favourites path holds a file (or nothing): anything
        // else in its place is refused by the save itself, without asking.
        std::function<bool()> replacesAFile;
        std::function<void(const QString &readProblem)> ask;
        // closing: the window is closing and cannot hold a message.
        std::function<void(bool closing)> write;
        std::function<void()> close;
    };

    SaveFlow(Ticker &clock, View view);

    State state() const;
    const ProgressSequence &sequence() const { return m_sequence; }

    // Why the file could not be read when loaded; empty: it could.
    void setReadProblem(const QString &problem) { m_readProblem = problem; }
    // Save clicked.
    void save() { m_sequence.start(); }
    void tick() { m_sequence.tick(); }
    // The window is about to close. False: it stays open until the user has
    // answered, then closes.
    bool mayClose();
    // The user's answer to the question; yes replaces the file, and later
    // saves no longer ask.
    void answered(bool replace);

private:
    void sequenceEnded();
    bool asks() const;

    const View m_view;
    QString m_readProblem;
    State m_asking = State::Editing;
    ProgressSequence m_sequence;
};
