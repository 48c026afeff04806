#include "core/deployment.h"

#include "deploymentvalues.h"

Deployment Deployment::built()
{
    return {
        QString::fromUtf8(DeploymentValues::MainQueryHost),
        QString::fromUtf8(DeploymentValues::FavoritesQueryHost),
        QString::fromUtf8(DeploymentValues::PresetServerIp),
        QString::fromUtf8(DeploymentValues::AdminHost),
        QString::fromUtf8(DeploymentValues::SiteHost),
    };
}
