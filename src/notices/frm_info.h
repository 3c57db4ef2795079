#pragma once

#include "widgets/form.h"

class ClickableLabel;
class PictureButton;
class QLabel;
class QPlainTextEdit;

// The help and info window: the program's title and version, how it is used, the author line and
// two links, to the home page and for a mail to the author.
class frm_info : public Form
{
    Q_OBJECT

public:
    frm_info();

private:
    void Image3_Click();
    void Label10_Click();
    void Label11_Click();
    void Label3_Click();

    QLabel *Label1;
    QLabel *Label6;
    QPlainTextEdit *Text1;
    QLabel *Image4;
    ClickableLabel *Label11;
    ClickableLabel *Label10;
    PictureButton *Image3;
    ClickableLabel *Label3;
};
