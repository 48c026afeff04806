#pragma once

#include <QString>

class QWidget;
class ShellLaunch;

// Hands explorer.exe with the quoted address to the shell launch, with window
// style 2, and returns at once. When the page cannot be opened, a warning
// naming the page and the reason opens over parent without blocking (the
// program keeps running); its objectName is "launchFailure".
void OpenInExplorer(QWidget *parent, const QString &address, ShellLaunch &launch);
