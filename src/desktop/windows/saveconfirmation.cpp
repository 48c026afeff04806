#include "windows/saveconfirmation.h"

#include "windows/linklabel.h"

#include <QPushButton>

SaveConfirmation::SaveConfirmation()
    : Form({.name = "Form3", .caption = "Skirvane", .clientWidth = 3780, .clientHeight = 1350,
            .frame = FormLook::Frame::FixedToolWindow, .backColour = Colour::buttonFace()})
{
    auto *ok = add<QPushButton>({.tab = 0, .name = "Command1", .text = "OK", .left = 1320, .top = 720, .width = 1215,
                                 .height = 375, .font = Font::boldSansSerif()});
    add<LinkLabel>({.tab = 1, .name = "Label1", .text = "Changes Successfully Saved!", .left = 600, .top = 240,
                    .width = 2655, .height = 375, .font = Font::boldSansSerif()});
    finishTabOrder();
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
}
