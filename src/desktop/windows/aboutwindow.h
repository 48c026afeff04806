#pragma once

#include "core/deployment.h"
#include "windows/form.h"

// The about and help window: banner, version line, the help text (editable,
// but nothing keeps what is typed) and the link to the makers' web site.
class AboutWindow final : public Form
{
    Q_OBJECT
public:
    AboutWindow(const Deployment &deployment, UrlOpener &opener);
};
