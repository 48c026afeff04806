#include "windows/windowdescription.h"

WindowDescription frmmainDescription()
{
    using K = ControlKind;
    const FontDescription bold = FontDescription::boldSansSerif();
    const Colour buttonFace = Colour::buttonFace();

    WindowDescription d;
    d.name = QStringLiteral("frmmain");
    d.caption = QStringLiteral("Skirvane v{Zyr}1.1 by: Orlen");
    d.clientWidth = 8790;
    d.clientHeight = 9675;
    d.frame = WindowFrame::FixedSingle;
    d.startPosition = StartPosition::CenterScreen;
    d.backColour = DesignColours::Backdrop;
    d.controls = {
        {.tab = 0, .name = "pg", .kind = K::ProgressBar,
         .left = 120, .top = 9120, .width = 8535, .height = 135},
        {.tab = 1, .name = "Combo2", .kind = K::ComboBox, .text = "Server IP",
         .tooltip = "Select custom to enter in a server ip",
         .left = 120, .top = 2040, .width = 1695, .height = 315, .font = bold, .background = buttonFace,
         .items = {"{Zyr}", "Custom"}},
        {.tab = 3, .name = "Text2", .kind = K::TextBox,
         .left = 1800, .top = 2040, .width = 1920, .height = 310, .font = bold, .background = buttonFace},
        {.tab = 4, .name = "Label6", .kind = K::Label, .text = "About / Help",
         .left = 7560, .top = 9360, .width = 1215, .height = 255, .font = bold},
        {.tab = 5, .name = "Command1", .kind = K::PushButton, .text = "Begin Query",
         .left = 7200, .top = 2040, .width = 1455, .height = 330, .font = bold},
        {.tab = 6, .name = "Text3", .kind = K::TextBox, .text = "Query Port", .tooltip = "Default 6500",
         .left = 3960, .top = 2040, .width = 1095, .height = 310, .font = bold, .background = buttonFace},
        {.tab = 9, .name = "LabelFavs", .kind = K::Label, .text = "Favorite Servers",
         .left = 120, .top = 9360, .width = 1695, .height = 255, .font = bold},
        {.tab = 10, .name = "WebBrowser1", .kind = K::WebBrowser,
         .left = 120, .top = 2520, .width = 8535, .height = 6495, .opensStartPage = true},
        {.tab = 11, .name = "Text1", .kind = K::TextBox, .text = "Server Web Port",
         .tooltip = "Set to 0 if you don't have Tallyboard installed.",
         .left = 5280, .top = 2040, .width = 1695, .height = 310, .font = bold},
        {.tab = 12, .name = "lblZyrAdmin", .kind = K::Label, .text = "{Zyr}Admin",
         .left = 3940, .top = 9360, .width = 990, .height = 195, .font = bold},
        {.name = "Image1", .kind = K::Picture, .text = ":/assets/banner-main.jpg",
         .left = 0, .top = 0, .width = 9000, .height = 2550},
        {.name = "Timer1", .kind = K::Timer, .interval = 100},

        // Beyond the right edge of the client area, so never seen; Command2
        // and Text5 can still be reached with the Tab key.
        {.tab = 2, .name = "Label2", .kind = K::Label, .text = "Query  Port",
         .left = 9840, .top = 2760, .width = 1215, .height = 255,
         .font = {"Microsoft Sans Serif", 9.75, true}},
        {.tab = 7, .name = "Command2", .kind = K::PushButton, .text = "Launch Game",
         .tooltip = "This will launch the game and connect to the selected server. Set the server port "
                    "to the server port in query window  to connect.",
         .left = 10080, .top = 3240, .width = 1695, .height = 330, .font = bold},
        {.tab = 8, .name = "Text5", .kind = K::TextBox, .text = "7777",
         .left = 9960, .top = 2280, .width = 1095, .height = 310, .font = bold, .background = buttonFace},
    };
    return d;
}
