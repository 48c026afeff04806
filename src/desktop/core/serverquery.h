#pragma once

#include "core/progresssequence.h"
#include "core/queryaddress.h"

#include <functional>

// The main window's query: a pick in the preset chooser fills the three
// boxes, and Begin Query runs the query sequence, whose end sends the boxes
// as they read then (an edit during the sequence is what gets sent).
class ServerQuery final
{
    Q_DISABLE_COPY_MOVE(ServerQuery)
public:
    // Index 0 of the chooser's list is the built-in server, index 1 "Custom"
    // (an empty address for the user to fill in).
    enum class Preset { None, BuiltIn, Custom };

    struct View
    {
        std::function<ServerValues()> boxes;
        std::function<void(const ServerValues &)> showBoxes;
        std::function<void(float)> showProgress;
        std::function<void(const QString &address)> navigate;
    };

    ServerQuery(const QString &queryBase, const QString &presetServerIp, Ticker &clock, View view);

    Preset preset() const { return m_preset; }
    const ProgressSequence &sequence() const { return m_sequence; }

    // Any index other than the list's two, such as -1 while nothing is
    // picked, changes nothing.
    void pick(int listIndex);
    // Begin Query clicked.
    void begin() { m_sequence.start(); }
    // As if the user had typed the values and clicked.
    void begin(const ServerValues &server);
    void tick() { m_sequence.tick(); }

private:
    const QString m_queryBase;
    const QString m_presetServerIp;
    const View m_view;
    Preset m_preset = Preset::None;
    ProgressSequence m_sequence;
};
