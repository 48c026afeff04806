#include "windows/windowregistry.h"

#include "windows/frmmain.h"

WindowRegistry::WindowRegistry(Deployment deployment)
    : m_deployment(std::move(deployment))
{
}

WindowRegistry::~WindowRegistry()
{
    delete m_main;
}

frmmain *WindowRegistry::showMain()
{
    if (!m_main)
        m_main = new frmmain(*this);
    m_main->show();
    return m_main;
}

frmmain *WindowRegistry::mainWindow() const
{
    return m_main;
}
