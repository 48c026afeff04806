#pragma once

#include "windows/placement.h"
#include "windows/windowdescription.h"

#include <QPixmap>
#include <QWidget>

// A top-level window made from its description: frame, caption, icon, client
// size, window picture, and one child per control, each named after its
// control. Subclasses hold typed pointers to the controls they use.
class FormWindow : public QWidget
{
    Q_OBJECT
public:
    // startPage: the address a browser marked opensStartPage is created on.
    explicit FormWindow(const WindowDescription &description, const QString &startPage = QString());

    const WindowDescription &description() const { return m_description; }

    // Position of the window's outer top-left corner and size of its client
    // area, in twips, as other windows read them to place themselves.
    float twipsLeft() const;
    float twipsTop() const;
    float scaleWidth() const;
    float scaleHeight() const;
    Placement::Frame placementFrame() const { return {twipsLeft(), twipsTop(), scaleWidth(), scaleHeight()}; }
    void moveToTwips(float left, float top);

    // The control named so ("serverOpt(3)" for an element of an array);
    // Precondition: the description has it, with a matching kind.
    template<class T>
    T *control(const QString &objectName) const
    {
        T *c = findChild<T *>(objectName, Qt::FindDirectChildrenOnly);
        Q_ASSERT_X(c, "FormWindow::control", qPrintable(objectName));
        return c;
    }

    // The focusable controls in their tab order.
    QList<QWidget *> tabChain() const { return m_tabChain; }

protected:
    void paintEvent(QPaintEvent *event) override;
    // A closed window's sequences end with it: no tick may reach it between
    // closing and its deletion.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls(const QString &startPage);
    QObject *createControl(const ControlDescription &c, const QString &startPage);

    WindowDescription m_description;
    QPixmap m_picture;
    QList<QWidget *> m_tabChain;
};
