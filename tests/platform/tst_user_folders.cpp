#include "platform/user_folders.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_UserFolders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void relativeValueIsIgnored_data();
    void relativeValueIsIgnored();
};

void tst_UserFolders::relativeValueIsIgnored_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("expected"); // "~" is the home folder

    for (const auto &[variable, underHome] :
         {std::pair{"XDG_CONFIG_HOME", "~/.config"}, std::pair{"XDG_CACHE_HOME", "~/.cache"},
          std::pair{"XDG_STATE_HOME", "~/.local/state"}}) {
        QTest::addRow("%s absolute", variable)
            << QByteArray(variable) << QByteArray("/srv/x") << u"/srv/x"_s;
        QTest::addRow("%s relative", variable)
            << QByteArray(variable) << QByteArray("cache") << QString::fromLatin1(underHome);
        QTest::addRow("%s \"./\"", variable)
            << QByteArray(variable) << QByteArray("./x") << QString::fromLatin1(underHome);
        QTest::addRow("%s empty", variable)
            << QByteArray(variable) << QByteArray() << QString::fromLatin1(underHome);
    }
}

void tst_UserFolders::relativeValueIsIgnored()
{
    QFETCH(QByteArray, variable);
    QFETCH(QByteArray, value);
    QFETCH(QString, expected);

    const QByteArray before = qgetenv(variable);
    qputenv(variable, value);
    const QString folder = variable == "XDG_CONFIG_HOME"  ? platform::configHome()
                           : variable == "XDG_CACHE_HOME" ? platform::cacheHome()
                                                          : platform::stateHome();
    qputenv(variable, before);
    QCOMPARE(folder, expected.replace(u"~"_s, QDir::homePath()));
}

QTEST_GUILESS_MAIN(tst_UserFolders)
#include "tst_user_folders.moc"
