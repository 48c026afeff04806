#pragma once

#include <QString>

struct Deployment;

// The about window's help text. The stored text is a template in which
// "@SITE_HOST@" and "@FAVORITES_QUERY_HOST@" stand for the hosts fixed at
// build time; everything else, line ends (CR LF) included, is kept as stored.
namespace HelpText {

inline constexpr char TemplateResource[] = ":/assets/helptext.txt";

QString fill(const QString &helpTemplate, const Deployment &deployment);

}
