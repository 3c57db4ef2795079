#include "main_window/form1.h"
#include "notices/frm_info.h"
#include "window_fixture.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

namespace {

frm_info *openInfo(Form1 &form)
{
    press(&form, "img_info");
    return loadedWindow<frm_info>();
}

int loadedInfoWindows()
{
    int count = 0;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *info = qobject_cast<frm_info *>(window); info && !info->isUnloaded())
            ++count;
    }
    return count;
}

} // namespace

class tst_frm_info : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensFromTheMainWindowOnce();
    void helpTextKeepsItsExactLines();
    void linksHandTheirAddressesToTheDesktop();
    void everyControlIsReachable();
    void closePictureAndExitCloseIt();
};

void tst_frm_info::opensFromTheMainWindowOnce()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();

    frm_info *info = openInfo(form);
    QVERIFY(info && info->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(info));
    QVERIFY(!info->isModal() && !info->parentWidget());
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(info, "Text1"));

    QCOMPARE(openInfo(form), info);
    QCOMPARE(loadedInfoWindows(), 1);
}

// Nine lines, each ended (the last one too); lines 1 to 4 and 8 end with a blank. A carriage
// return would show as a mark of its own.
void tst_frm_info::helpTextKeepsItsExactLines()
{
    WindowFixture fixture;
    const QString shown = control<QPlainTextEdit>(openInfo(fixture.form()), "Text1")->toPlainText();
    QVERIFY(!shown.contains(u'\r'));
    const QStringList lines = shown.split(u'\n');
    QCOMPARE(lines.size(), 10);
    QCOMPARE(lines.last(), QString());
    for (int line = 1; line <= 9; ++line)
        QCOMPARE(lines.at(line - 1).endsWith(u' '), line <= 4 || line == 8);
}

void tst_frm_info::linksHandTheirAddressesToTheDesktop()
{
    WindowFixture fixture;
    frm_info *info = openInfo(fixture.form());
    auto *homePage = control<QLabel>(info, "Label10");
    auto *mail = control<QLabel>(info, "Label11");
    QVERIFY(homePage->text().endsWith(u'/'));

    QTest::mouseClick(homePage, Qt::LeftButton);
    QTest::mouseClick(mail, Qt::LeftButton);
    QTest::mouseClick(control<QLabel>(info, "Label3"), Qt::LeftButton);

    QCOMPARE(fixture.opened, QList<QUrl>({QUrl(homePage->text() + QStringLiteral("index.html")),
                                          QUrl(QStringLiteral("mailto:") + mail->text())}));
    QVERIFY(fixture.boxes.texts.isEmpty());
}

void tst_frm_info::everyControlIsReachable()
{
    WindowFixture fixture;
    const frm_info *info = openInfo(fixture.form());
    for (const char *name :
         {"Label1", "Label6", "Text1", "Image4", "Label11", "Label10", "Image3", "Label3"}) {
        const auto *widget = control<QWidget>(info, name);
        QVERIFY2(widget && widget->isVisible(), name);
        // a label is read out by its text, everything else by its accessible name
        const auto *label = qobject_cast<const QLabel *>(widget);
        const bool named =
            !widget->accessibleName().isEmpty() || (label && !label->text().isEmpty());
        QVERIFY2(named, name);
    }
}

void tst_frm_info::closePictureAndExitCloseIt()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    press(openInfo(form), "Image3");
    QCOMPARE(loadedInfoWindows(), 0);

    frm_info *reopened = openInfo(form);
    QVERIFY(reopened && reopened->isVisible());
    control<QWidget>(&form, "Frame1")->show();
    press(&form, "img_exit");
    QCOMPARE(loadedInfoWindows(), 0);
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(tst_frm_info)
#include "tst_frm_info.moc"
