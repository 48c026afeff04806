#include "windows/formwindow.h"

#include "platform/browser.h"
#include "platform/progressbar.h"
#include "platform/timer.h"
#include "windows/linklabel.h"
#include "windows/optionbutton.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

QColor toQColor(const Colour &c)
{
    switch (c.source) {
    case Colour::Source::Rgb:
        return QColor(c.red, c.green, c.blue);
    case Colour::Source::ButtonFace:
        return QApplication::palette().color(QPalette::Button);
    case Colour::Source::WindowBackground:
        return QApplication::palette().color(QPalette::Base);
    }
    Q_UNREACHABLE();
}

// The design's faces are Windows fonts; elsewhere they fall back to a
// sans-serif face of similar metrics. Point sizes are taken at 96 dots per
// inch, as designed, whatever the screen reports.
QFont toQFont(const FontDescription &f)
{
    static const bool substituted = [] {
        const QStringList fallbacks = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                       QStringLiteral("DejaVu Sans")};
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), fallbacks);
        QFont::insertSubstitutions(QStringLiteral("Microsoft Sans Serif"), fallbacks);
        return true;
    }();
    Q_UNUSED(substituted);

    QFont font(f.face);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(static_cast<int>(std::lround(f.points * 96.0 / 72.0)));
    font.setBold(f.bold);
    return font;
}

bool takesFocus(ControlKind kind)
{
    switch (kind) {
    case ControlKind::TextBox:
    case ControlKind::MultiLineTextBox:
    case ControlKind::ComboBox:
    case ControlKind::PushButton:
    case ControlKind::OptionButton:
    case ControlKind::WebBrowser:
        return true;
    case ControlKind::Label:
    case ControlKind::ProgressBar:
    case ControlKind::Picture:
    case ControlKind::Timer:
        return false;
    }
    Q_UNREACHABLE();
}

// Return in a combo box's edit field would pick the item whose text was
// typed; a pick comes only from the list, so the key is swallowed there.
class TypedTextStaysText final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

void setRole(QWidget *w, QPalette::ColorRole role, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

}

FormWindow::FormWindow(const WindowDescription &description, const QString &startPage)
    : QWidget(nullptr)
    , m_description(description)
    , m_picture(QString::fromLatin1(WindowPicture))
{
    setObjectName(m_description.name);
    setWindowTitle(m_description.caption);
    setWindowIcon(QIcon(QString::fromLatin1(WindowIcon)));

    Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (m_description.frame == WindowFrame::FixedSingle)
        flags |= Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint;
    else
        flags |= Qt::Tool;
    setWindowFlags(flags);
    // Tool windows lose this attribute; the program ends only when its last
    // window of any kind has closed.
    setAttribute(Qt::WA_QuitOnClose, true);
    setAttribute(Qt::WA_DeleteOnClose, true);

    setFixedSize(Placement::twipsToPixels(m_description.clientWidth), Placement::twipsToPixels(m_description.clientHeight));
    setAutoFillBackground(true);
    setRole(this, QPalette::Window, toQColor(m_description.backColour));
    setRole(this, QPalette::WindowText, toQColor(DesignColours::LabelText));

    buildControls(startPage);

    if (m_description.startPosition == StartPosition::CenterScreen) {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        move(screen.center() - rect().center());
    }
}

void FormWindow::buildControls(const QString &startPage)
{
    QList<const ControlDescription *> ordered;
    for (const ControlDescription &c : m_description.controls) {
        QObject *object = createControl(c, startPage);
        object->setObjectName(c.objectName());
        if (auto *w = qobject_cast<QWidget *>(object)) {
            w->setGeometry(Placement::twipsToPixels(c.left), Placement::twipsToPixels(c.top), Placement::twipsToPixels(c.width),
                           Placement::twipsToPixels(c.height));
            if (c.kind == ControlKind::Picture)
                w->lower();
            if (takesFocus(c.kind) && c.tab)
                ordered += &c;
        }
    }

    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const ControlDescription *a, const ControlDescription *b) { return *a->tab < *b->tab; });
    for (const ControlDescription *c : ordered)
        m_tabChain += findChild<QWidget *>(c->objectName(), Qt::FindDirectChildrenOnly);
    for (qsizetype i = 1; i < m_tabChain.size(); ++i)
        QWidget::setTabOrder(m_tabChain[i - 1], m_tabChain[i]);
    if (!m_tabChain.isEmpty())
        m_tabChain.first()->setFocus(Qt::OtherFocusReason);
}

QObject *FormWindow::createControl(const ControlDescription &c, const QString &startPage)
{
    QWidget *w = nullptr;
    switch (c.kind) {
    case ControlKind::Timer:
        return new Timer(c.interval, this);
    case ControlKind::Label: {
        auto *label = new LinkLabel(c.text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        w = label;
        break;
    }
    case ControlKind::TextBox: {
        auto *edit = new QLineEdit(c.text, this);
        edit->setCursorPosition(0);
        w = edit;
        break;
    }
    case ControlKind::MultiLineTextBox: {
        auto *edit = new QPlainTextEdit(this);
        edit->setPlainText(QString(c.text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setTabChangesFocus(true);
        w = edit;
        break;
    }
    case ControlKind::ComboBox: {
        auto *combo = new QComboBox(this);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        combo->lineEdit()->installEventFilter(new TypedTextStaysText(combo));
        combo->addItems(c.items);
        combo->setCurrentIndex(-1);
        combo->setEditText(c.text);
        w = combo;
        break;
    }
    case ControlKind::PushButton:
        w = new QPushButton(c.text, this);
        break;
    case ControlKind::OptionButton: {
        auto *option = new OptionButton(this);
        option->setAutoFillBackground(true);
        w = option;
        break;
    }
    case ControlKind::ProgressBar:
        w = new ProgressBar(this);
        break;
    case ControlKind::WebBrowser: {
        auto *browser = new Browser(this);
        if (c.opensStartPage && !startPage.isEmpty())
            browser->Navigate(startPage);
        w = browser;
        break;
    }
    case ControlKind::Picture: {
        auto *picture = new QLabel(this);
        picture->setPixmap(QPixmap(c.text));
        w = picture;
        break;
    }
    }

    w->setFont(toQFont(c.font));
    if (!c.tooltip.isEmpty())
        w->setToolTip(c.tooltip);
    if (!takesFocus(c.kind))
        w->setFocusPolicy(Qt::NoFocus);
    if (c.background) {
        const QColor colour = toQColor(*c.background);
        setRole(w, QPalette::Window, colour);
        setRole(w, QPalette::Button, colour);
        // An option button's round indicator keeps its own fill.
        if (c.kind != ControlKind::OptionButton)
            setRole(w, QPalette::Base, colour);
    }
    if (c.foreground)
        setRole(w, QPalette::WindowText, toQColor(*c.foreground));
    return w;
}

float FormWindow::twipsLeft() const
{
    return Placement::pixelsToTwips(frameGeometry().x());
}

float FormWindow::twipsTop() const
{
    return Placement::pixelsToTwips(frameGeometry().y());
}

float FormWindow::scaleWidth() const
{
    return Placement::pixelsToTwips(width());
}

float FormWindow::scaleHeight() const
{
    return Placement::pixelsToTwips(height());
}

void FormWindow::moveToTwips(float left, float top)
{
    move(Placement::twipsToPixels(Placement::Position{left, top}));
}

void FormWindow::closeEvent(QCloseEvent *event)
{
    for (Timer *timer : findChildren<Timer *>(Qt::FindDirectChildrenOnly))
        timer->setEnabled(false);
    QWidget::closeEvent(event);
}

void FormWindow::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}
