#include "windows/windowdescription.h"

namespace {

struct SlotRow
{
    int textTop;
    int optionTop;
    int nameTab, addressTab, queryPortTab, webPortTab, optionTab;
};

// Slots 1 to 6, top to bottom.
constexpr SlotRow Slots[6] = {
    {360, 360, 0, 3, 4, 35, 22},
    {600, 610, 6, 7, 8, 36, 23},
    {840, 850, 9, 10, 11, 37, 24},
    {1080, 1090, 12, 13, 14, 38, 25},
    {1320, 1340, 15, 16, 17, 39, 26},
    {1560, 1590, 30, 31, 32, 40, 33},
};

const char EditTip[] = "You can edit any of these feilds. Click \"Save Chenges\" to Save.";

}

WindowDescription form2Description()
{
    using K = ControlKind;
    const FontDescription bold = FontDescription::boldSansSerif();

    WindowDescription d;
    d.name = QStringLiteral("Form2");
    d.caption = QStringLiteral("Favorite Servers");
    d.clientWidth = 8790;
    d.clientHeight = 9675;
    d.frame = WindowFrame::FixedToolWindow;
    d.startPosition = StartPosition::PlacedOnLoad;
    d.backColour = DesignColours::Backdrop;

    for (int i = 0; i < 6; ++i) {
        const SlotRow &s = Slots[i];
        // Slot 1's fields carry no digit: ServerName, ServerName2 ... ServerName6.
        const QString suffix = i == 0 ? QString() : QString::number(i + 1);
        d.controls += {
            {.tab = s.nameTab, .name = "ServerName" + suffix, .kind = K::TextBox, .tooltip = EditTip,
             .left = 120, .top = s.textTop, .width = 1335, .height = 285},
            {.tab = s.addressTab, .name = "ServerIP" + suffix, .kind = K::TextBox, .tooltip = EditTip,
             .left = 1560, .top = s.textTop, .width = 1335, .height = 285},
            {.tab = s.queryPortTab, .name = "ServerPort" + suffix, .kind = K::TextBox, .tooltip = EditTip,
             .left = 3000, .top = s.textTop, .width = 1215, .height = 285},
            {.tab = s.webPortTab, .name = "Serverwport" + suffix, .kind = K::TextBox,
             .left = 4320, .top = s.textTop, .width = 1215, .height = 285},
            {.tab = s.optionTab, .name = "serverOpt", .index = i, .kind = K::OptionButton,
             .tooltip = i < 5 ? QStringLiteral("Selects the server to be Queried or Launched.") : QString(),
             .left = 5760, .top = s.optionTop, .width = 495, .height = i < 5 ? 255 : 260,
             .background = DesignColours::Backdrop},
        };
    }

    d.controls += {
        {.tab = 27, .name = "Label6", .kind = K::Label, .text = "Server Name",
         .left = 120, .top = 120, .width = 975, .height = 255},
        {.tab = 28, .name = "Label7", .kind = K::Label, .text = "Server IP",
         .left = 1560, .top = 120, .width = 735, .height = 255},
        {.tab = 29, .name = "Label8", .kind = K::Label, .text = "Server Q  Port", .tooltip = "Default 6500",
         .left = 3000, .top = 120, .width = 1215, .height = 255},
        {.tab = 41, .name = "Label3", .kind = K::Label, .text = "Server W Port",
         .tooltip = "Set to 0 if you don't have Tallyboard installed.",
         .left = 4320, .top = 120, .width = 1335, .height = 255},
        {.tab = 18, .name = "Command2", .kind = K::PushButton, .text = "Begin Query",
         .left = 6840, .top = 360, .width = 1815, .height = 330, .font = bold},
        {.tab = 5, .name = "Command1", .kind = K::PushButton, .text = "Save Changes",
         .left = 6840, .top = 1440, .width = 1815, .height = 330, .font = bold},
        {.tab = 1, .name = "pg2", .kind = K::ProgressBar,
         .left = 6840, .top = 1760, .width = 1800, .height = 105},
        {.tab = 34, .name = "WebBrowser1", .kind = K::WebBrowser,
         .left = 120, .top = 2040, .width = 8535, .height = 6975},
        {.tab = 2, .name = "pg", .kind = K::ProgressBar,
         .left = 120, .top = 9120, .width = 8535, .height = 135},
        {.tab = 21, .name = "Label4", .kind = K::Label, .text = "About / Help",
         .left = 7560, .top = 9360, .width = 1215, .height = 255, .font = bold},
        {.name = "Timer1", .kind = K::Timer, .interval = 100},
        {.name = "Timer2", .kind = K::Timer, .interval = 100},

        // Beyond the right edge of the client area, never seen.
        {.tab = 19, .name = "Label1", .index = 0, .kind = K::Label, .text = "X",
         .left = 9480, .top = 0, .width = 375, .height = 375,
         .font = FontDescription::boldSansSerif(9.75), .foreground = DesignColours::BrightRed},
        {.tab = 20, .name = "Label2", .kind = K::Label, .text = "-",
         .left = 9120, .top = -210, .width = 255, .height = 495,
         .font = FontDescription::boldSansSerif(24), .foreground = DesignColours::BrightRed},
    };
    return d;
}
