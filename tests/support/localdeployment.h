#pragma once

#include "core/deployment.h"
#include "support/localhttpserver.h"

// The built deployment with both query services on the local test server.
inline Deployment deploymentServedBy(const LocalHttpServer &server)
{
    Deployment deployment = Deployment::built();
    deployment.mainQueryHost = server.host();
    deployment.favoritesQueryHost = server.host();
    return deployment;
}
