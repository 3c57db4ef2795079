#include "notices/frmsplash.h"
#include "widgets/window_slot.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class tst_frmSplash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void looksLikeOneYellowPanelInABorder();
    void closesByItselfFourSecondsAfterItFirstShows();
    void closesOnAClickAnywhereOrAKeyThatYieldsACharacter_data();
    void closesOnAClickAnywhereOrAKeyThatYieldsACharacter();

private:
    frmSplash *showNotice();
    WindowSlot<frmSplash> m_notice;
};

frmSplash *tst_frmSplash::showNotice()
{
    frmSplash *notice = m_notice.load();
    notice->show();
    notice->activateWindow();
    return notice;
}

// It has no title bar, so it draws a border of its own around the yellow.
void tst_frmSplash::looksLikeOneYellowPanelInABorder()
{
    const QColor yellow(255, 255, 128);
    frmSplash *notice = showNotice();
    const QImage look = notice->grab().toImage();
    QCOMPARE(look.pixelColor(notice->width() / 2, 5), yellow);
    for (const QPoint edge : {QPoint(0, 0), QPoint(notice->width() / 2, notice->height() - 1),
                              QPoint(notice->width() - 1, notice->height() / 2)})
        QVERIFY(look.pixelColor(edge) != yellow);
    notice->unload();
}

// Shown again while it is open, it keeps its period; shown after it closed, it starts a new one.
void tst_frmSplash::closesByItselfFourSecondsAfterItFirstShows()
{
    QElapsedTimer sinceShown;
    sinceShown.start();
    frmSplash *notice = showNotice();
    const QPointer<frmSplash> watched(notice);
    auto *timer = notice->findChild<QTimer *>(u"Timer1"_s);
    QTRY_VERIFY(timer->remainingTime() < 3500);
    QCOMPARE(showNotice(), notice);
    QVERIFY(timer->remainingTime() < 3500);

    QTRY_VERIFY_WITH_TIMEOUT(!m_notice.isLoaded(), 6000);
    QVERIFY2(sinceShown.elapsed() >= 4000, qPrintable(QString::number(sinceShown.elapsed())));
    QTRY_VERIFY(watched.isNull());
    QVERIFY(showNotice()->findChild<QTimer *>(u"Timer1"_s)->remainingTime() > 3500);
    m_notice.unload();
}

void tst_frmSplash::closesOnAClickAnywhereOrAKeyThatYieldsACharacter_data()
{
    QTest::addColumn<QString>("clicked"); // a control, or the notice's own background
    QTest::addColumn<int>("key");         // pressed when nothing is clicked
    QTest::addColumn<QString>("text");    // what the key yields
    QTest::addColumn<bool>("closes");
    QTest::addRow("click on the background") << u"frmSplash"_s << 0 << QString() << true;
    QTest::addRow("click on the first text") << u"Label1"_s << 0 << QString() << true;
    QTest::addRow("click on the second text") << u"Label2"_s << 0 << QString() << true;
    QTest::addRow("click on the third text") << u"Label3"_s << 0 << QString() << true;
    QTest::addRow("letter") << QString() << int(Qt::Key_A) << u"a"_s << true;
    QTest::addRow("Enter") << QString() << int(Qt::Key_Return) << u"\r"_s << true;
    QTest::addRow("Escape") << QString() << int(Qt::Key_Escape) << u"\x1b"_s << true;
    QTest::addRow("Shift alone") << QString() << int(Qt::Key_Shift) << QString() << false;
    QTest::addRow("arrow") << QString() << int(Qt::Key_Left) << QString() << false;
}

void tst_frmSplash::closesOnAClickAnywhereOrAKeyThatYieldsACharacter()
{
    QFETCH(QString, clicked);
    QFETCH(int, key);
    QFETCH(QString, text);
    frmSplash *notice = showNotice();
    if (clicked == notice->objectName()) {
        QTest::mouseClick(notice, Qt::LeftButton, {}, QPoint(5, 5));
    } else if (!clicked.isEmpty()) {
        QTest::mouseClick(notice->findChild<QWidget *>(clicked), Qt::LeftButton);
    } else {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(notice, &press);
    }
    QTEST(!m_notice.isLoaded(), "closes");
    m_notice.unload();
}

QTEST_MAIN(tst_frmSplash)
#include "tst_frmsplash.moc"
