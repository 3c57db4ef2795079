#include "main_window/form1.h"
#include "main_window/height_layout.h"
#include "settings/settings_store.h"
#include "widgets/twips.h"
#include "widgets/window_geometry.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class tst_Form1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void heightLayoutRule_data();
    void heightLayoutRule();
    void firstStartWithEmptyStore();
    void heightsOnScreen_data();
    void heightsOnScreen();
    void closingAndRestartingRestoresTheValues_data();
    void closingAndRestartingRestoresTheValues();
    void storedNotesSurviveAStartAndClose_data();
    void storedNotesSurviveAStartAndClose();
    void folderLineShowsTheFirstStoredFolder_data();
    void folderLineShowsTheFirstStoredFolder();
    void doubleClickOnFolderLineTogglesLastFolders();
};

namespace {

// Twips do not always fall on whole pixels: a length matches when it is the nearest pixel.
void compareInPixels(int pixels, int twips)
{
    QCOMPARE(pixels, twipsToPixels(twips));
}

} // namespace

void tst_Form1::heightLayoutRule_data()
{
    QTest::addColumn<double>("d");
    QTest::addColumn<int>("list2Height");
    QTest::addColumn<int>("frame1Top");
    QTest::addColumn<int>("form1Height");
    QTest::addColumn<int>("picture1Top");
    QTest::addRow("slider 0") << extraHeightForSlider(0) << 2400 << 4500 << 6450 << 2280;
    QTest::addRow("slider 50") << extraHeightForSlider(50) << 6400 << 8500 << 10450 << 4280;
    QTest::addRow("slider 100") << extraHeightForSlider(100) << 10400 << 12500 << 14450 << 6280;
    QTest::addRow("dragged to 9000")
        << extraHeightForOuterHeight(9000) << 4950 << 7050 << 9000 << 3555;
}

void tst_Form1::heightLayoutRule()
{
    QFETCH(double, d);
    const HeightLayout layout = heightLayoutFor(d);
    QTEST(layout.list2Height, "list2Height");
    QTEST(layout.frame1Top, "frame1Top");
    QTEST(layout.form1Height, "form1Height");
    QTEST(layout.picture1Top, "picture1Top");
}

void tst_Form1::firstStartWithEmptyStore()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QCOMPARE(window_geometry::outerWidth(&form), 9735);
    QCOMPARE(window_geometry::outerHeight(&form), 6450);
    const QPoint offCentre = form.frameGeometry().center() - form.screen()->geometry().center();
    QVERIFY(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1);
    QCOMPARE(control<QComboBox>(&form, "com_krit")->currentText(), u"*"_s);
    for (const char *hidden : {"List2", "Frame1", "img_stop"})
        QVERIFY2(!isShown(&form, hidden), hidden);
    QVERIFY(isShown(&form, "Picture1"));
    // the search box, not the notes pad that comes first in the tab order but lies beyond the
    // narrow width
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(&form, "txt_textfind"));
    QVERIFY(control<QWidget>(&form, "txt_note")->x() >= form.width());
}

void tst_Form1::heightsOnScreen_data()
{
    QTest::addColumn<QString>("storedSlider"); // null: none stored
    QTest::addColumn<QSize>("dragged");        // the outer size the user drags to; empty: none
    QTest::addColumn<int>("slider");
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<int>("list2Height");
    QTest::addColumn<int>("frame1Top");
    QTest::addColumn<int>("picture1Top");
    const QSize smallest(9735, 6450);
    QTest::addRow("stored 50") << u"50"_s << QSize() << 50 << QSize(9735, 10450) << 6400 << 8500
                               << 4280;
    QTest::addRow("stored 100") << u"100"_s << QSize() << 100 << QSize(9735, 14450) << 10400
                                << 12500 << 6280;
    QTest::addRow("stored: not a number")
        << u"abc"_s << QSize() << 0 << smallest << 2400 << 4500 << 2280;
    QTest::addRow("stored: above range")
        << u"250"_s << QSize() << 0 << smallest << 2400 << 4500 << 2280;
    // Timer1 keeps the smallest size and lays the controls out for the height dragged to.
    QTest::addRow("dragged too low")
        << QString() << QSize(9735, 5000) << 0 << smallest << 2400 << 4500 << 2280;
    QTest::addRow("dragged too narrow")
        << QString() << QSize(6000, 6450) << 0 << smallest << 2400 << 4500 << 2280;
    QTest::addRow("dragged higher")
        << QString() << QSize(9735, 9000) << 0 << QSize(9735, 9000) << 4950 << 7050 << 3555;
    QTest::addRow("dragged wider")
        << QString() << QSize(12000, 9000) << 0 << QSize(12000, 9000) << 4950 << 7050 << 3555;
}

void tst_Form1::heightsOnScreen()
{
    QFETCH(QString, storedSlider);
    QFETCH(QSize, dragged);
    WindowFixture fixture;
    if (!storedSlider.isNull())
        WindowFixture::storeSetting(SettingsStore::Key::SliderValue, storedSlider);
    Form1 &form = fixture.shownForm();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    if (!dragged.isEmpty()) {
        window_geometry::setOuterWidth(&form, dragged.width());
        window_geometry::setOuterHeight(&form, dragged.height());
        QSignalSpy ticks(form.findChild<QTimer *>(u"Timer1"_s), &QTimer::timeout);
        QVERIFY(ticks.wait(3000));
    }

    QTEST(control<QSlider>(&form, "Slider1")->value(), "slider");
    QFETCH(QSize, outer);
    compareInPixels(form.frameGeometry().width(), outer.width());
    compareInPixels(form.frameGeometry().height(), outer.height());
    QFETCH(int, list2Height);
    compareInPixels(control<QWidget>(&form, "List2")->height(), list2Height);
    QFETCH(int, frame1Top);
    compareInPixels(control<QWidget>(&form, "Frame1")->y(), frame1Top);
    QFETCH(int, picture1Top);
    compareInPixels(control<QWidget>(&form, "Picture1")->y(), picture1Top);
}

void tst_Form1::closingAndRestartingRestoresTheValues_data()
{
    QTest::addColumn<int>("slider");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<QString>("notes"); // as stored; the pad shows line feeds
    QTest::addRow("typed") << 37 << u"hub"_s
                           << u"erste Zeile\r\nzweite Zeile\r\n\r\nStück Nr. 4711"_s;
    // the defaults stand only for values never stored
    QTest::addRow("emptied") << 0 << QString() << QString();
}

void tst_Form1::closingAndRestartingRestoresTheValues()
{
    QFETCH(int, slider);
    QFETCH(QString, searchText);
    QFETCH(QString, notes);
    WindowFixture fixture;
    const QString shownNotes = QString(notes).replace(u"\r\n"_s, u"\n"_s);
    {
        SettingsStore store;
        Form1 form(store);
        form.show();
        control<QSlider>(&form, "Slider1")->setValue(slider);
        control<QLineEdit>(&form, "txt_textfind")->setText(searchText);
        control<QPlainTextEdit>(&form, "txt_note")->setPlainText(shownNotes);
        QVERIFY(form.close());
    }
    QCOMPARE(SettingsStore().value(SettingsStore::Key::Notes), notes);

    Form1 &form = fixture.form();
    QCOMPARE(control<QSlider>(&form, "Slider1")->value(), slider);
    QCOMPARE(textOf(&form, "txt_textfind"), searchText);
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText(), shownNotes);
}

void tst_Form1::storedNotesSurviveAStartAndClose_data()
{
    QTest::addColumn<QString>("notes");
    QTest::addRow("empty") << QString();
    QTest::addRow("line breaks") << u"Welle\r\n\r\nNabe 4711\r\n"_s;
    QTest::addRow("no-break space and tab") << u"Nr.\u00a04711\tStück"_s;
    QTest::addRow("line separator") << u"Welle\u2028Nabe"_s;
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines.append(i % 7 == 0 ? QString() : u"Zeile %1"_s.arg(i));
    QTest::addRow("many lines") << lines.join(u"\r\n"_s) + u"\r\n"_s;
    QTest::addRow("many lines and a line separator") << lines.join(u"\r\n"_s) + u"\u2028"_s;
}

void tst_Form1::storedNotesSurviveAStartAndClose()
{
    QFETCH(QString, notes);
    WindowFixture fixture;
    WindowFixture::storeSetting(SettingsStore::Key::Notes, notes);
    QVERIFY(fixture.form().close());
    QCOMPARE(SettingsStore().value(SettingsStore::Key::Notes), notes);
}

void tst_Form1::folderLineShowsTheFirstStoredFolder_data()
{
    QTest::addColumn<QString>("storedLastIndex"); // null: none stored
    QTest::addColumn<QString>("shown");
    QTest::addRow("nothing stored: the root") << QString() << u"/"_s;
    QTest::addRow("an empty list") << u"-1"_s << QString();
}

void tst_Form1::folderLineShowsTheFirstStoredFolder()
{
    QFETCH(QString, storedLastIndex);
    WindowFixture fixture;
    if (!storedLastIndex.isNull())
        WindowFixture::storeSetting(SettingsStore::Key::FolderLastIndex, storedLastIndex);
    QTEST(textOf(&fixture.form(), "lbl_aktpfad"), "shown");
    QTEST(textOf(&fixture.form(), "Label1"), "shown");
}

void tst_Form1::doubleClickOnFolderLineTogglesLastFolders()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    auto *folderLine = control<QWidget>(&form, "lbl_aktpfad");
    control<QWidget>(&form, "Frame1")->show();
    QVERIFY(!isShown(&form, "List_temp"));
    QTest::mouseDClick(folderLine, Qt::LeftButton);
    QVERIFY(isShown(&form, "List_temp"));
    QTest::mouseDClick(folderLine, Qt::LeftButton);
    QVERIFY(!isShown(&form, "List_temp"));
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
