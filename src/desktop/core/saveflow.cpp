#include "core/saveflow.h"

#include <utility>

SaveFlow::SaveFlow(Ticker &clock, View view)
    : m_view(std::move(view))
    , m_sequence(clock, [this] { sequenceEnded(); }, m_view.showProgress)
{
}

SaveFlow::State SaveFlow::state() const
{
    if (m_asking == State::Editing && m_sequence.state() == ProgressSequence::State::Running)
        return State::Counting;
    return m_asking;
}

bool SaveFlow::asks() const
{
    return !m_readProblem.isEmpty() && m_view.replacesAFile();
}

void SaveFlow::sequenceEnded()
{
    if (!asks()) {
        m_view.write(false);
        return;
    }
    m_asking = State::Asking;
    m_view.ask(m_readProblem);
}

bool SaveFlow::mayClose()
{
    if (m_sequence.state() != ProgressSequence::State::Running)
        return true;
    m_sequence.stop();
    if (!asks()) {
        m_view.write(true);
        return true;
    }
    m_asking = State::AskingBeforeClose;
    m_view.ask(m_readProblem);
    return false;
}

void SaveFlow::answered(bool replace)
{
    const bool closing = std::exchange(m_asking, State::Editing) == State::AskingBeforeClose;
    if (replace) {
        m_readProblem.clear();
        m_view.write(closing);
    }
    if (closing)
        m_view.close();
}
