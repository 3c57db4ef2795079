#include "main_window/form1.h"
#include "main_window/height_layout.h"
#include "platform/windows/twips.h"
#include "platform/windows/window_geometry.h"
#include "settings/settings_store.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_Form1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void heightLayoutRule_data();
    void heightLayoutRule();
    void firstStartWithEmptyStore();
    void storedSliderValueSetsTheHeights_data();
    void storedSliderValueSetsTheHeights();
    void timerKeepsMinimumSizeAndDraggedHeight_data();
    void timerKeepsMinimumSizeAndDraggedHeight();
    void closingAndRestartingRestoresTheValues();
    void storedNotesSurviveAStartAndClose_data();
    void storedNotesSurviveAStartAndClose();
    void doubleClickOnFolderLineTogglesLastFolders();
    void emptyStoredFolderListLeavesFolderLineEmpty();
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
    Form1 &form = fixture.form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QCOMPARE(form.windowTitle(), QStringLiteral("spurwerk !"));
    QCOMPARE(window_geometry::outerWidth(&form), 9735);
    QCOMPARE(window_geometry::outerHeight(&form), 6450);
    const QRect screen = form.screen()->geometry();
    QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 1);

    QCOMPARE(control<QLineEdit>(&form, "txt_textfind")->text(), QStringLiteral("Suchtext"));
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText(), QStringLiteral("Notizen"));
    const auto *criterion = control<QComboBox>(&form, "com_krit");
    QCOMPARE(criterion->currentText(), QStringLiteral("*"));
    QStringList entries;
    for (int i = 0; i < criterion->count(); ++i)
        entries.append(criterion->itemText(i));
    QCOMPARE(entries, QStringList({QStringLiteral("asm"), QStringLiteral("drw"),
                                   QStringLiteral("prt"), QStringLiteral("*")}));
    QVERIFY(control<QCheckBox>(&form, "chk_under")->isChecked());
    QCOMPARE(control<QLabel>(&form, "lbl_aktpfad")->text(), QStringLiteral("/"));
    QCOMPARE(control<QLabel>(&form, "Label1")->text(), QStringLiteral("/"));
    QCOMPARE(control<QSlider>(&form, "Slider1")->value(), 0);

    QVERIFY(!control<QListView>(&form, "List2")->isVisible());
    QVERIFY(!control<QGroupBox>(&form, "Frame1")->isVisible());
    QVERIFY(control<QLabel>(&form, "Picture1")->isVisible());
    QVERIFY(!control<QWidget>(&form, "img_stop")->isVisible());
    // the search box, not the notes pad that lies out of view
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(&form, "txt_textfind"));
    // the notes pad lies beyond the narrow width
    QVERIFY(control<QWidget>(&form, "txt_note")->x() >= form.width());
}

void tst_Form1::storedSliderValueSetsTheHeights_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("form1Height");
    QTest::addColumn<int>("list2Height");
    QTest::addColumn<int>("frame1Top");
    QTest::addColumn<int>("picture1Top");
    QTest::addRow("50") << QStringLiteral("50") << 50 << 10450 << 6400 << 8500 << 4280;
    QTest::addRow("100") << QStringLiteral("100") << 100 << 14450 << 10400 << 12500 << 6280;
    QTest::addRow("not a number") << QStringLiteral("abc") << 0 << 6450 << 2400 << 4500 << 2280;
    QTest::addRow("above range") << QStringLiteral("250") << 0 << 6450 << 2400 << 4500 << 2280;
}

void tst_Form1::storedSliderValueSetsTheHeights()
{
    WindowFixture fixture;
    QFETCH(QString, stored);
    {
        SettingsStore store;
        store.setValue(SettingsStore::Key::SliderValue, stored);
        store.sync();
    }
    Form1 &form = fixture.form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QTEST(control<QSlider>(&form, "Slider1")->value(), "value");
    QFETCH(int, form1Height);
    compareInPixels(form.frameGeometry().height(), form1Height);
    QFETCH(int, list2Height);
    compareInPixels(control<QWidget>(&form, "List2")->height(), list2Height);
    QFETCH(int, frame1Top);
    compareInPixels(control<QWidget>(&form, "Frame1")->y(), frame1Top);
    QFETCH(int, picture1Top);
    compareInPixels(control<QWidget>(&form, "Picture1")->y(), picture1Top);
}

void tst_Form1::timerKeepsMinimumSizeAndDraggedHeight_data()
{
    QTest::addColumn<int>("draggedWidth");
    QTest::addColumn<int>("draggedHeight");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("list2Height");
    QTest::addColumn<int>("frame1Top");
    QTest::addRow("too low") << 9735 << 5000 << 9735 << 6450 << 2400 << 4500;
    QTest::addRow("too narrow") << 6000 << 6450 << 9735 << 6450 << 2400 << 4500;
    QTest::addRow("dragged higher") << 9735 << 9000 << 9735 << 9000 << 4950 << 7050;
    QTest::addRow("dragged wider") << 12000 << 9000 << 12000 << 9000 << 4950 << 7050;
}

void tst_Form1::timerKeepsMinimumSizeAndDraggedHeight()
{
    WindowFixture fixture;
    QFETCH(int, draggedWidth);
    QFETCH(int, draggedHeight);
    Form1 &form = fixture.form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    window_geometry::setOuterWidth(&form, draggedWidth);
    window_geometry::setOuterHeight(&form, draggedHeight);
    auto *timer = form.findChild<QTimer *>(QStringLiteral("Timer1"));
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->interval(), 1000);
    QSignalSpy ticks(timer, &QTimer::timeout);
    QVERIFY(ticks.wait(3000));

    QFETCH(int, width);
    compareInPixels(form.frameGeometry().width(), width);
    QFETCH(int, height);
    compareInPixels(form.frameGeometry().height(), height);
    QFETCH(int, list2Height);
    compareInPixels(control<QWidget>(&form, "List2")->height(), list2Height);
    QFETCH(int, frame1Top);
    compareInPixels(control<QWidget>(&form, "Frame1")->y(), frame1Top);
    QCOMPARE(control<QSlider>(&form, "Slider1")->value(), 0);
}

void tst_Form1::closingAndRestartingRestoresTheValues()
{
    WindowFixture fixture;
    const QString notes = QStringLiteral("erste Zeile\r\nzweite Zeile\r\n\r\nStück Nr. 4711");
    {
        SettingsStore store;
        Form1 form(store);
        form.show();
        control<QSlider>(&form, "Slider1")->setValue(37);
        control<QLineEdit>(&form, "txt_textfind")->setText(QStringLiteral("hub"));
        control<QPlainTextEdit>(&form, "txt_note")
            ->setPlainText(QString(notes).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QVERIFY(form.close());
    }
    {
        SettingsStore store;
        QCOMPARE(store.value(SettingsStore::Key::Notes), notes);
        Form1 form(store);
        QCOMPARE(control<QSlider>(&form, "Slider1")->value(), 37);
        QCOMPARE(control<QLineEdit>(&form, "txt_textfind")->text(), QStringLiteral("hub"));
        control<QPlainTextEdit>(&form, "txt_note")->clear();
        control<QLineEdit>(&form, "txt_textfind")->clear();
        QVERIFY(form.close());
    }
    Form1 &form = fixture.form();
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText(), QString());
    QCOMPARE(control<QLineEdit>(&form, "txt_textfind")->text(), QString());
}

void tst_Form1::storedNotesSurviveAStartAndClose_data()
{
    QTest::addColumn<QString>("notes");
    QTest::addRow("empty") << QString();
    QTest::addRow("line breaks") << QStringLiteral("Welle\r\n\r\nNabe 4711\r\n");
    QTest::addRow("no-break space and tab") << QStringLiteral("Nr.\u00a04711\tStück");
    QTest::addRow("line separator") << QStringLiteral("Welle\u2028Nabe");
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines.append(i % 7 == 0 ? QString() : QStringLiteral("Zeile %1").arg(i));
    QTest::addRow("many lines") << lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    QTest::addRow("many lines and a line separator")
        << lines.join(QStringLiteral("\r\n")) + QStringLiteral("\u2028");
}

void tst_Form1::storedNotesSurviveAStartAndClose()
{
    WindowFixture fixture;
    QFETCH(QString, notes);
    {
        SettingsStore store;
        store.setValue(SettingsStore::Key::Notes, notes);
        store.sync();
    }
    QVERIFY(fixture.form().close());
    SettingsStore reread;
    QCOMPARE(reread.value(SettingsStore::Key::Notes), notes);
}

void tst_Form1::doubleClickOnFolderLineTogglesLastFolders()
{
    WindowFixture fixture;
    Form1 &form = fixture.form();
    form.show();
    auto *folderLine = control<QWidget>(&form, "lbl_aktpfad");
    auto *lastFolders = control<QWidget>(&form, "List_temp");
    control<QWidget>(&form, "Frame1")->show();
    QVERIFY(!lastFolders->isVisible());
    QTest::mouseDClick(folderLine, Qt::LeftButton);
    QVERIFY(lastFolders->isVisible());
    QTest::mouseDClick(folderLine, Qt::LeftButton);
    QVERIFY(!lastFolders->isVisible());
}

void tst_Form1::emptyStoredFolderListLeavesFolderLineEmpty()
{
    WindowFixture fixture;
    {
        SettingsStore store;
        store.setValue(SettingsStore::Key::FolderLastIndex, QStringLiteral("-1"));
        store.sync();
    }
    Form1 &form = fixture.form();
    QCOMPARE(control<QLabel>(&form, "lbl_aktpfad")->text(), QString());
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
