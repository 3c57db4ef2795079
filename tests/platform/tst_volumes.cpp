#include "platform/volumes.h"

#include <QTest>

using platform::volumeOf;
using platform::volumesFromMounts;

class tst_Volumes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void volumesFromMounts_data();
    void volumesFromMounts();
    void theMachineHasTheRoot();
    void volumeOf_data();
    void volumeOf();
};

void tst_Volumes::volumesFromMounts_data()
{
    QTest::addColumn<QByteArray>("mounts");
    QTest::addColumn<QByteArrayList>("expected");

    QTest::addRow("nothing readable") << QByteArray() << QByteArrayList{"/"};
    QTest::addRow("a desktop machine")
        << QByteArray("sysfs /sys sysfs rw,nosuid 0 0\n"
                      "proc /proc proc rw,nosuid 0 0\n"
                      "udev /dev devtmpfs rw,nosuid 0 0\n"
                      "devpts /dev/pts devpts rw 0 0\n"
                      "tmpfs /run tmpfs rw,nosuid 0 0\n"
                      "/dev/sda2 / ext4 rw,relatime 0 0\n"
                      "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                      "/dev/sda1 /boot/efi vfat rw 0 0\n"
                      "tmpfs /dev/shm tmpfs rw 0 0\n"
                      "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                      "/dev/sdb1 /run/media/anna/STICK vfat rw 0 0\n"
                      "//cadserver/daten /mnt/cadserver cifs rw 0 0\n"
                      "tmpfs /tmp tmpfs rw 0 0\n")
        << QByteArrayList{"/", "/boot/efi", "/mnt/cadserver", "/run/media/anna/STICK", "/tmp"};
    QTest::addRow("escaped blank, tab and backslash in mount points")
        << QByteArray("/dev/sdb1 /media/Neues\\040Volume vfat rw 0 0\n"
                      "/dev/sdc1 /mnt/a\\011b\\134c ext4 rw 0 0\n")
        << QByteArrayList{"/", "/media/Neues Volume", "/mnt/a\tb\\c"};
    QTest::addRow("Latin-1 mount point kept as bytes")
        << QByteArray("server:/export /mnt/w\xe4rme nfs4 rw 0 0\n")
        << QByteArrayList{"/", "/mnt/w\xe4rme"};
    QTest::addRow("mounted twice, listed once; root never twice")
        << QByteArray("/dev/sdb1 /mnt/cad ext4 rw 0 0\n"
                      "overlay / overlay rw 0 0\n"
                      "/dev/sdb1 /mnt/cad ext4 rw 0 0\n")
        << QByteArrayList{"/", "/mnt/cad"};
    QTest::addRow("short and broken lines skipped")
        << QByteArray("garbage\n\n/dev/sdb1 /mnt/cad\nnone relative ext4 rw 0 0\n")
        << QByteArrayList{"/"};
}

void tst_Volumes::volumesFromMounts()
{
    QFETCH(QByteArray, mounts);
    QTEST(::volumesFromMounts(mounts), "expected");
}

void tst_Volumes::theMachineHasTheRoot()
{
    const QByteArrayList volumes = platform::mountedVolumes();
    QCOMPARE(volumes.value(0), QByteArray("/"));
    QCOMPARE(volumes.count("/"), 1);
}

void tst_Volumes::volumeOf_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("the root") << QByteArray("/") << QByteArray("/");
    QTest::addRow("a folder on the root") << QByteArray("/home/anna/cad") << QByteArray("/");
    QTest::addRow("a volume itself") << QByteArray("/mnt/cad") << QByteArray("/mnt/cad");
    QTest::addRow("trailing slash") << QByteArray("/mnt/cad/") << QByteArray("/mnt/cad");
    QTest::addRow("inside a volume") << QByteArray("/mnt/cad/teile/3d") << QByteArray("/mnt/cad");
    QTest::addRow("inside a volume inside a volume")
        << QByteArray("/mnt/cad/archiv/alt") << QByteArray("/mnt/cad/archiv");
    QTest::addRow("a name that only begins like a volume")
        << QByteArray("/mnt/cadserver/daten") << QByteArray("/");
    QTest::addRow("nothing") << QByteArray() << QByteArray("/");
}

void tst_Volumes::volumeOf()
{
    QFETCH(QByteArray, folder);
    const QByteArrayList volumes{"/", "/mnt/cad", "/mnt/cad/archiv", "/tmp"};
    QTEST(::volumeOf(folder, volumes), "expected");
}

QTEST_GUILESS_MAIN(tst_Volumes)
#include "tst_volumes.moc"
