#include "windows/windowdescription.h"

WindowDescription frmAboutDescription(const QString &helpText)
{
    using K = ControlKind;

    WindowDescription d;
    d.name = QStringLiteral("frmAbout");
    d.caption = QStringLiteral("About/Help ");
    d.clientWidth = 7485;
    d.clientHeight = 5385;
    d.frame = WindowFrame::FixedToolWindow;
    d.startPosition = StartPosition::PlacedOnLoad;
    d.backColour = DesignColours::Backdrop;
    d.controls = {
        {.tab = 0, .name = "Label1", .kind = K::Label, .text = "Skirvane v{Zyr}1.0 by: Orlen",
         .left = 360, .top = 2040, .width = 6750, .height = 375, .font = FontDescription::boldSansSerif(9.75)},
        {.tab = 1, .name = "Label8", .kind = K::Label, .text = "Check For Updates",
         .left = 5640, .top = 5040, .width = 1695, .height = 375, .font = FontDescription::boldSansSerif()},
        {.tab = 2, .name = "Text1", .kind = K::MultiLineTextBox, .text = helpText,
         .left = 120, .top = 2520, .width = 7215, .height = 2415},
        {.name = "Image1", .kind = K::Picture, .text = ":/assets/banner-about.jpg",
         .left = 360, .top = 0, .width = 6750, .height = 1920},
    };
    return d;
}
