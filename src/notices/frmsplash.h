#pragma once

#include "widgets/form.h"

class QLabel;
class QTimer;

// Tells the user that a search found nothing; closes itself after four seconds, on a click or on
// a key that yields a character.
class frmSplash : public Form
{
    Q_OBJECT

public:
    static constexpr int closeAfterMs = 4000;

    frmSplash();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void Form_Load();
    void CloseNotice();

    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QTimer *Timer1;
};
