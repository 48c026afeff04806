#include "windows/form.h"

#include "platform/browser.h"
#include "platform/progressbar.h"
#include "platform/screen.h"
#include "platform/timer.h"
#include "platform/urlopener.h"
#include "platform/warning.h"
#include "windows/artwork.h"
#include "windows/linklabel.h"
#include "windows/optionbutton.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QValidator>

#include <algorithm>
#include <cmath>

namespace {

QColor toQColor(const Colour &c)
{
    if (c.source == Colour::Source::ButtonFace)
        return QApplication::palette().color(QPalette::Button);
    return QColor(c.red, c.green, c.blue);
}

// The design's faces are Windows fonts; elsewhere they fall back to a
// sans-serif face of similar metrics. Point sizes are taken at 96 dots per
// inch, as designed, whatever the screen reports.
QFont toQFont(const Font &f)
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

void setRole(QWidget *w, QPalette::ColorRole role, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
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

// A one-line field holds no line break: one pasted in becomes a blank, so
// that a value can never turn into lines of its own in a file or address.
class NoLineBreaks final : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &) const override
    {
        input.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        return Acceptable;
    }
};

}

Form::Form(const FormLook &look)
    : QWidget(nullptr)
    , m_picture(QString::fromLatin1(WindowPicture))
{
    setObjectName(look.name);
    setWindowTitle(look.caption);
    setWindowIcon(QIcon(QString::fromLatin1(WindowIcon)));

    Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (look.frame == FormLook::Frame::FixedSingle)
        flags |= Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint;
    else
        flags |= Qt::Tool;
    setWindowFlags(flags);
    // Tool windows lose this attribute; the program ends only when its last
    // window of any kind has closed.
    setAttribute(Qt::WA_QuitOnClose, true);
    setAttribute(Qt::WA_DeleteOnClose, true);

    setFixedSize(Placement::twipsToPixels(look.clientWidth), Placement::twipsToPixels(look.clientHeight));
    setAutoFillBackground(true);
    setRole(this, QPalette::Window, toQColor(look.backColour));
    setRole(this, QPalette::WindowText, toQColor(DesignColours::LabelText));
    if (look.centred)
        centreOnScreen(this);
}

void Form::place(QWidget *w, const Control &c)
{
    w->setObjectName(c.name);
    w->setGeometry(Placement::twipsToPixels(c.left), Placement::twipsToPixels(c.top), Placement::twipsToPixels(c.width),
                   Placement::twipsToPixels(c.height));
    w->setFont(toQFont(c.font));
    if (!c.tooltip.isEmpty())
        w->setToolTip(c.tooltip);
    if (!c.accessibleName.isEmpty())
        w->setAccessibleName(c.accessibleName);
    if (c.background) {
        const QColor colour = toQColor(*c.background);
        setRole(w, QPalette::Window, colour);
        setRole(w, QPalette::Button, colour);
        // An option button's round indicator keeps its own fill.
        if (!qobject_cast<OptionButton *>(w))
            setRole(w, QPalette::Base, colour);
    }
    if (c.foreground)
        setRole(w, QPalette::WindowText, toQColor(*c.foreground));
    if (c.tab && w->focusPolicy() != Qt::NoFocus)
        m_tabStops.append({*c.tab, w});
}

void Form::prepare(LinkLabel *w, const Control &c)
{
    w->setText(c.text);
    w->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    w->setWordWrap(true);
    w->setFocusPolicy(Qt::NoFocus);
}

void Form::prepare(QLineEdit *w, const Control &c)
{
    w->setValidator(new NoLineBreaks(w));
    w->setText(c.text);
    w->setCursorPosition(0);
}

void Form::prepare(QPlainTextEdit *w, const Control &c)
{
    w->setPlainText(QString(c.text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    w->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    w->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    w->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    w->setTabChangesFocus(true);
}

void Form::prepare(QComboBox *w, const Control &c)
{
    w->setEditable(true);
    w->setInsertPolicy(QComboBox::NoInsert);
    w->setCompleter(nullptr);
    w->lineEdit()->installEventFilter(new TypedTextStaysText(w));
    w->lineEdit()->setValidator(new NoLineBreaks(w->lineEdit()));
    w->addItems(c.items);
    w->setCurrentIndex(-1);
    w->setEditText(c.text);
}

void Form::prepare(QPushButton *w, const Control &c)
{
    w->setText(c.text);
}

void Form::prepare(OptionButton *w, const Control &)
{
    w->setAutoFillBackground(true);
}

void Form::prepare(ProgressBar *w, const Control &)
{
    w->setFocusPolicy(Qt::NoFocus);
}

void Form::prepare(Browser *, const Control &)
{
}

Timer *Form::addTimer(const QString &name, int intervalMs)
{
    auto *timer = new Timer(intervalMs, this);
    timer->setObjectName(name);
    return timer;
}

QLabel *Form::addPicture(const QString &name, const QString &resource, const Control &c)
{
    auto *picture = new PictureLabel(resource, this);
    picture->setFocusPolicy(Qt::NoFocus);
    place(picture, {.name = name, .left = c.left, .top = c.top, .width = c.width, .height = c.height,
                    .accessibleName = c.accessibleName});
    picture->lower();
    return picture;
}

void Form::finishTabOrder()
{
    std::stable_sort(m_tabStops.begin(), m_tabStops.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &[tab, w] : std::as_const(m_tabStops))
        m_tabChain += w;
    for (qsizetype i = 1; i < m_tabChain.size(); ++i)
        QWidget::setTabOrder(m_tabChain[i - 1], m_tabChain[i]);
    if (!m_tabChain.isEmpty())
        m_tabChain.first()->setFocus(Qt::OtherFocusReason);
}

void Form::openPage(UrlOpener &opener, const QString &address)
{
    if (const common::Expected<common::Done> opened = opener.open(address); !opened.ok())
        showWarning(this, QStringLiteral("launchFailure"), QStringLiteral("The page %1 could not be opened.").arg(address),
                    QString::fromStdString(opened.fault().message));
}

Placement::Frame Form::placementFrame() const
{
    return {Placement::pixelsToTwips(frameGeometry().x()), Placement::pixelsToTwips(frameGeometry().y()),
            Placement::pixelsToTwips(width()), Placement::pixelsToTwips(height())};
}

void Form::moveToTwips(const Placement::Position &position)
{
    move(Placement::twipsToPixels(position));
}

void Form::closeEvent(QCloseEvent *event)
{
    for (Timer *timer : findChildren<Timer *>(Qt::FindDirectChildrenOnly))
        timer->setEnabled(false);
    QWidget::closeEvent(event);
}

void Form::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    const QPixmap &picture = m_picture.forRatio(devicePixelRatioF());
    if (picture.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture);
}
