#include "windows/windowdescription.h"

WindowDescription form3Description()
{
    using K = ControlKind;
    const FontDescription bold = FontDescription::boldSansSerif();

    WindowDescription d;
    d.name = QStringLiteral("Form3");
    d.caption = QStringLiteral("Skirvane");
    d.clientWidth = 3780;
    d.clientHeight = 1350;
    d.frame = WindowFrame::FixedToolWindow;
    d.startPosition = StartPosition::PlacedOnLoad;
    d.backColour = Colour::buttonFace();
    d.controls = {
        {.tab = 0, .name = "Command1", .kind = K::PushButton, .text = "OK",
         .left = 1320, .top = 720, .width = 1215, .height = 375, .font = bold},
        {.tab = 1, .name = "Label1", .kind = K::Label, .text = "Changes Successfully Saved!",
         .left = 600, .top = 240, .width = 2655, .height = 375, .font = bold},
    };
    return d;
}
