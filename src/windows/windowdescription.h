#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A window as its designer laid it out: what it looks like and holds the
// moment it is created, before any handler runs. Positions and sizes are in
// twips from the top-left corner of the client area (15 twips = 1 pixel).

struct Colour
{
    enum class Source { Rgb, ButtonFace, WindowBackground };
    Source source = Source::Rgb;
    int red = 0;
    int green = 0;
    int blue = 0;

    static constexpr Colour rgb(int r, int g, int b) { return {Source::Rgb, r, g, b}; }
    static constexpr Colour buttonFace() { return {Source::ButtonFace, 0, 0, 0}; }
};

struct FontDescription
{
    QString face = QStringLiteral("MS Sans Serif");
    double points = 8.25;
    bool bold = false;

    static FontDescription boldSansSerif(double points = 8.25)
    {
        return {QStringLiteral("MS Sans Serif"), points, true};
    }
};

enum class ControlKind {
    Label,
    TextBox,
    MultiLineTextBox, // vertical scroll bar, wraps at the box's width
    ComboBox,         // editable text field with a drop-down list
    PushButton,
    OptionButton,
    ProgressBar,
    WebBrowser,
    Picture,
    Timer,
};

struct ControlDescription
{
    std::optional<int> tab;       // place in the tab order; none for pictures and timers
    QString name;
    std::optional<int> index;     // element of a control array
    ControlKind kind = ControlKind::Label;
    QString text;                 // text, caption, or the picture's resource path
    QString tooltip;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    FontDescription font;
    std::optional<Colour> background;
    std::optional<Colour> foreground;
    QStringList items;            // combo box list, in order
    int interval = 0;             // timer, milliseconds
    bool opensStartPage = false;  // browser created on the window's start page

    // "serverOpt(3)" for an element of a control array, else the name.
    QString objectName() const;
};

enum class WindowFrame {
    FixedSingle,      // minimize and close boxes, no maximize; in the taskbar
    FixedToolWindow,  // narrow title bar, close box only; no taskbar button
};

enum class StartPosition { CenterScreen, PlacedOnLoad };

struct WindowDescription
{
    QString name;
    QString caption;
    int clientWidth = 0;
    int clientHeight = 0;
    WindowFrame frame = WindowFrame::FixedSingle;
    StartPosition startPosition = StartPosition::CenterScreen;
    Colour backColour;
    QList<ControlDescription> controls;

    const ControlDescription *control(const QString &objectName) const;
};

// Every window shows this picture at its own size from the client area's
// top-left corner, and carries this icon.
inline constexpr char WindowPicture[] = ":/assets/window.jpg";
inline constexpr char WindowIcon[] = ":/assets/skirvane.ico";

namespace DesignColours {
inline constexpr Colour LabelText = Colour::rgb(192, 0, 0);
inline constexpr Colour Backdrop = Colour::rgb(25, 24, 23);
inline constexpr Colour BrightRed = Colour::rgb(255, 0, 0);
}

WindowDescription frmmainDescription();
WindowDescription form2Description();
WindowDescription form3Description();
WindowDescription frmAboutDescription(const QString &helpText);
