#pragma once

#include "config/deployment.h"

#include <QPointer>

class frmmain;

// Hands out the one live instance of each window, creating it afresh from
// its description when it does not exist (never opened, or closed since).
// Windows are shown modeless and without an owner.
class WindowRegistry final
{
    Q_DISABLE_COPY_MOVE(WindowRegistry)
public:
    explicit WindowRegistry(Deployment deployment);
    ~WindowRegistry();

    const Deployment &deployment() const { return m_deployment; }

    frmmain *showMain();
    frmmain *mainWindow() const;

private:
    Deployment m_deployment;
    QPointer<frmmain> m_main;
};
