#pragma once

#include "core/placement.h"
#include "windows/artwork.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <utility>

class Browser;
class LinkLabel;
class OptionButton;
class ProgressBar;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class Timer;
class UrlOpener;

struct Colour
{
    enum class Source { Rgb, ButtonFace };
    Source source = Source::Rgb;
    int red = 0;
    int green = 0;
    int blue = 0;

    static constexpr Colour rgb(int r, int g, int b) { return {Source::Rgb, r, g, b}; }
    static constexpr Colour buttonFace() { return {Source::ButtonFace, 0, 0, 0}; }
};

namespace DesignColours {
inline constexpr Colour LabelText = Colour::rgb(192, 0, 0);
inline constexpr Colour Backdrop = Colour::rgb(25, 24, 23);
inline constexpr Colour BrightRed = Colour::rgb(255, 0, 0);
}

struct Font
{
    QString face = QStringLiteral("MS Sans Serif");
    double points = 8.25;
    bool bold = false;

    static Font boldSansSerif(double points = 8.25) { return {QStringLiteral("MS Sans Serif"), points, true}; }
};

// A control as the window's designer placed it, in twips from the top-left
// corner of the client area (15 twips = 1 pixel). The name is its objectName.
struct Control
{
    std::optional<int> tab; // place in the tab order
    QString name;
    QString text;           // text or caption
    QString tooltip;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    Font font;
    std::optional<Colour> background;
    std::optional<Colour> foreground;
    QStringList items;      // combo box list, in order
    QString accessibleName; // what a screen reader says, where no text says it
};

// A window's frame as designed.
struct FormLook
{
    enum class Frame {
        FixedSingle,     // minimize and close boxes, no maximize; in the taskbar
        FixedToolWindow, // narrow title bar, close box only; no taskbar button
    };
    QString name;
    QString caption;
    int clientWidth = 0;
    int clientHeight = 0;
    Frame frame = Frame::FixedSingle;
    bool centred = false; // else placed by whoever opens it
    Colour backColour;
};

// Every window shows this picture at its own size from the client area's
// top-left corner, and carries this icon. Both exist at 2× too: the picture
// is drawn through Artwork; QIcon adds the 2× icon by itself when any screen
// is scaled above 1 as the icon is made.
inline constexpr char WindowPicture[] = ":/assets/window.jpg";
inline constexpr char WindowIcon[] = ":/assets/skirvane.ico";

// A fixed-size top-level window laid out in twips, the base of the four
// windows. Each window builds its controls with add<T>() in its constructor,
// keeping typed pointers to those it uses, and ends with finishTabOrder().
class Form : public QWidget
{
    Q_OBJECT
public:
    explicit Form(const FormLook &look);

    // The window's outer top-left corner and its client size, in twips, as
    // other windows read them to place themselves.
    Placement::Frame placementFrame() const;
    void moveToTwips(const Placement::Position &position);

    // The focusable controls in their tab order.
    QList<QWidget *> tabChain() const { return m_tabChain; }

protected:
    template<class T>
    T *add(const Control &c)
    {
        auto *w = new T(this);
        prepare(w, c);
        place(w, c);
        return w;
    }
    Timer *addTimer(const QString &name, int intervalMs);
    QLabel *addPicture(const QString &name, const QString &resource, const Control &c);
    void finishTabOrder();

    // Opens a page in the desktop's browser; a failure shows a warning
    // naming the page and the reason, and the program goes on.
    void openPage(UrlOpener &opener, const QString &address);

    void paintEvent(QPaintEvent *event) override;
    // A closed window's sequences end with it: no tick may reach it between
    // closing and its deletion.
    void closeEvent(QCloseEvent *event) override;

private:
    void place(QWidget *w, const Control &c);
    static void prepare(LinkLabel *w, const Control &c);
    static void prepare(QLineEdit *w, const Control &c);
    static void prepare(QPlainTextEdit *w, const Control &c);
    static void prepare(QComboBox *w, const Control &c);
    static void prepare(QPushButton *w, const Control &c);
    static void prepare(OptionButton *w, const Control &c);
    static void prepare(ProgressBar *w, const Control &c);
    static void prepare(Browser *w, const Control &c);

    Artwork m_picture;
    QList<std::pair<int, QWidget *>> m_tabStops;
    QList<QWidget *> m_tabChain;
};
