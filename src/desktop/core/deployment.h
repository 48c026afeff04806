#pragma once

#include <QString>

// The addresses fixed at build time. Windows take them as a value so that
// tests can point them at a local server without rebuilding.
struct Deployment
{
    QString mainQueryHost;
    QString favoritesQueryHost;
    QString presetServerIp;
    QString adminHost;
    QString siteHost;

    // The values chosen when the program was configured.
    static Deployment built();
};
