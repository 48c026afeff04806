#pragma once

#include <QStringList>

// Plain lines as rich text that keeps each line whole, for tooltips that
// show strings from game servers: those are never taken as markup.
QString plainLinesAsRichText(const QStringList &lines);
