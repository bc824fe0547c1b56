// Where the program keeps its files: beside the executable as built, in the user's data folder
// when installed (a marker beside the executable), filled from the supplied files at the first
// start without ever writing beside the executable.
#include "config/ConfigDb.h"
#include "platform/AppFolders.h"
#include "platform/Database.h"
#include "scale/ComThd.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

using namespace tv;

namespace {

const char kPrintFolders[] = "--print-folders";

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every entry below folder with its size and modification time, to see that nothing changed.
QStringList snapshot(const QString& folder) {
    QStringList out;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        out << QStringLiteral("%1 %2 %3")
                   .arg(info.filePath())
                   .arg(info.size())
                   .arg(info.lastModified().toMSecsSinceEpoch());
    }
    out.sort();
    return out;
}

QFile::Permissions modeBits(const QString& path) {
    const QFile::Permissions all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                   QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                   QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    return QFileInfo(path).permissions() & all;
}

} // namespace

// An installed layout in a temporary folder: prefix/bin with the marker, prefix/share/tolvane
// with the supplied files, and a home whose data root starts out missing.
class Installed {
public:
    Installed() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(bin()));
        QVERIFY(QDir().mkpath(supplied()));
        writeFile(bin() + AppFolders::kMarkerName, QByteArray());
        test::createConfigDb(supplied());
        for (const char* cue : {"Welcome.wav", "True.wav", "False.wav"})
            writeFile(supplied() + cue, QByteArray("RIFF") + cue);
        // As a package lays it out: readable by everyone.
        QVERIFY(QFile::setPermissions(supplied() + "db.mdb", QFile::ReadOwner | QFile::WriteOwner |
                                                                 QFile::ReadGroup |
                                                                 QFile::ReadOther));
    }
    QString root() const { return m_dir.path() + '/'; }
    QString bin() const { return root() + "usr/bin/"; }
    QString supplied() const { return root() + "usr/share/tolvane/"; }
    QString dataRoot() const { return root() + "home/.local/share"; }
    QString data() const { return dataRoot() + "/tolvane/"; }
    AppFolders folders() const { return AppFolders::locate(bin(), dataRoot()); }

private:
    QTemporaryDir m_dir;
};

class TestAppFolders : public QObject {
    Q_OBJECT
private slots:
    void locate_data();
    void locate();
    void processFolders_data();
    void processFolders();
    void firstStartCopiesSuppliedFiles();
    void laterStartKeepsUsersFiles();
    void preparationFailures_data();
    void preparationFailures();
    void portableWritesNothing();
    void currentFoldersRouteDatabaseAndPorts();
};

void TestAppFolders::locate_data() {
    QTest::addColumn<QString>("marker"); // "-" for none, "/" for a folder of that name
    QTest::addColumn<bool>("slash");     // executable folder given with its trailing "/"
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("supplied"); // relative to the temporary root
    QTest::addColumn<QString>("data");

    QTest::newRow("no marker: beside the executable") << "-" << true << false << ""
                                                      << "bin/";
    QTest::newRow("no marker, folder without slash") << "-" << false << false << ""
                                                     << "bin/";
    QTest::newRow("a folder named as the marker does not count") << "/" << true << false << ""
                                                                 << "bin/";
    QTest::newRow("empty marker: ../share/tolvane") << "" << true << true << "share/tolvane/"
                                                    << "home/tolvane/";
    QTest::newRow("empty marker, folder without slash") << "" << false << true << "share/tolvane/"
                                                        << "home/tolvane/";
    QTest::newRow("marker naming a relative folder") << "../lib/tolvane-data\n"
                                                     << true << true << "lib/tolvane-data/"
                                                     << "home/tolvane/";
    QTest::newRow("marker naming an absolute folder")
        << "@/opt/supplied" << true << true << "opt/supplied/"
        << "home/tolvane/";
    QTest::newRow("marker line with blanks around it") << "  ../share/other  \nignored\n"
                                                       << true << true << "share/other/"
                                                       << "home/tolvane/";
}

void TestAppFolders::locate() {
    QFETCH(QString, marker);
    QFETCH(bool, slash);
    QFETCH(bool, installed);
    QFETCH(QString, supplied);
    QFETCH(QString, data);
    QTemporaryDir dir;
    const QString root = dir.path() + '/';
    QVERIFY(QDir().mkpath(root + "bin"));
    if (marker == "/")
        QVERIFY(QDir().mkpath(root + "bin/" + AppFolders::kMarkerName));
    else if (marker != "-")
        writeFile(root + "bin/" + AppFolders::kMarkerName,
                  marker.replace('@', dir.path()).toUtf8());

    const AppFolders f = AppFolders::locate(slash ? root + "bin/" : root + "bin", root + "home");
    QCOMPARE(f.isInstalled(), installed);
    QCOMPARE(f.layout(), installed ? AppFolders::Layout::Installed : AppFolders::Layout::Portable);
    QCOMPARE(f.executableFolder(), root + "bin/");
    QCOMPARE(f.suppliedFolder(), supplied.isEmpty() ? QString() : root + supplied);
    QCOMPARE(f.dataFolder(), root + data);
    QCOMPARE(f.devicesFolder(), root + data + "dosdevices/");
}

void TestAppFolders::processFolders_data() {
    QTest::addColumn<bool>("marker");
    QTest::addColumn<QString>("xdgDataHome"); // relative to the temporary root; "-" unset
    QTest::addColumn<QString>("data");        // expected data folder, relative to the root
    QTest::addColumn<bool>("workingDirectoryMoves");

    QTest::newRow("installed, HOME only") << true << "-"
                                          << "home/.local/share/tolvane/" << true;
    QTest::newRow("installed, XDG_DATA_HOME set") << true << "xdg"
                                                  << "xdg/tolvane/" << true;
    QTest::newRow("portable ignores the home folder") << false << "xdg"
                                                      << "bin/" << false;
}

// A copy of this test program, started with its own HOME, reports the folders it runs with.
void TestAppFolders::processFolders() {
    QFETCH(bool, marker);
    QFETCH(QString, xdgDataHome);
    QFETCH(QString, data);
    QFETCH(bool, workingDirectoryMoves);
    QTemporaryDir dir;
    const QString root = dir.path() + '/';
    QVERIFY(QDir().mkpath(root + "bin"));
    QVERIFY(QDir().mkpath(root + "home"));
    QVERIFY(QDir().mkpath(root + "share/tolvane"));
    QVERIFY(QDir().mkpath(root + "elsewhere"));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), root + "bin/tst"));
    if (marker)
        writeFile(root + "bin/" + AppFolders::kMarkerName, QByteArray());
    test::createConfigDb(root + "share/tolvane");
    for (const char* cue : {"Welcome.wav", "True.wav", "False.wav"})
        writeFile(root + "share/tolvane/" + cue, "RIFF");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", root + "home");
    env.remove("XDG_DATA_HOME");
    if (xdgDataHome != "-")
        env.insert("XDG_DATA_HOME", root + xdgDataHome);
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(root + "elsewhere");
    p.start(root + "bin/tst", {kPrintFolders});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
    QCOMPARE(lines.value(0), root + data);
    QCOMPARE(lines.value(1), ""); // nothing went wrong
    const QString cwd = QDir(lines.value(2)).canonicalPath() + '/';
    QCOMPARE(cwd, workingDirectoryMoves ? QDir(root + data).canonicalPath() + '/'
                                        : QDir(root + "elsewhere").canonicalPath() + '/');
    QCOMPARE(QFileInfo::exists(root + data + "db.mdb"), marker);
    QVERIFY(!QFileInfo::exists(root + "bin/db.mdb"));
    QVERIFY(!QFileInfo::exists(root + "bin/dosdevices"));
}

void TestAppFolders::firstStartCopiesSuppliedFiles() {
    Installed inst;
    const QStringList beforeBin = snapshot(inst.bin());
    const QStringList beforeSupplied = snapshot(inst.supplied());
    const AppFolders f = inst.folders();

    QCOMPARE(f.prepare(), QString());

    for (const QString& name : AppFolders::suppliedFiles())
        QCOMPARE(readFile(inst.data() + name), readFile(inst.supplied() + name));
    QCOMPARE(modeBits(inst.data() + "db.mdb"), QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(modeBits(QDir::cleanPath(inst.data())),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QFileInfo(inst.data() + "dosdevices").isDir());
    // Only the supplied files and dosdevices/: no temporary copies left behind.
    QCOMPARE(QDir(inst.data())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{"False.wav", "True.wav", "Welcome.wav", "db.mdb", "dosdevices"}));
    QCOMPARE(snapshot(inst.bin()), beforeBin);
    QCOMPARE(snapshot(inst.supplied()), beforeSupplied);

    // The copy is a configuration database the program opens.
    Connection c;
    c.setConnectionString(configConnectionString(f.dataFolder()));
    QVERIFY2(c.open(), qPrintable(c.lastError()));
    QCOMPARE(ConfigDb(c).readSettings().ipAddress, "sqlite:orders.db");
}

void TestAppFolders::laterStartKeepsUsersFiles() {
    Installed inst;
    const AppFolders f = inst.folders();
    QCOMPARE(f.prepare(), QString());
    writeFile(inst.data() + "db.mdb", "the user's own rules");
    QVERIFY(QFile::remove(inst.data() + "True.wav"));
    writeFile(inst.data() + "Welcome.wav", "a cue of the user's");
    QVERIFY(QFile::remove(inst.data() + "False.wav"));
    QVERIFY(QFile::link(inst.data() + "nowhere", inst.data() + "False.wav"));
    QVERIFY(QFile::link("/dev/null", inst.data() + "dosdevices/com1"));

    QCOMPARE(f.prepare(), QString());

    QCOMPARE(readFile(inst.data() + "db.mdb"), QByteArray("the user's own rules"));
    QCOMPARE(readFile(inst.data() + "Welcome.wav"), QByteArray("a cue of the user's"));
    QVERIFY(QFileInfo(inst.data() + "False.wav").isSymLink()); // the user's link stays
    QCOMPARE(readFile(inst.data() + "True.wav"), readFile(inst.supplied() + "True.wav"));
    QVERIFY(QFileInfo(inst.data() + "dosdevices/com1").isSymLink());
}

void TestAppFolders::preparationFailures_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message"); // "@" stands for the temporary root
    QTest::addColumn<QStringList>("present");

    QTest::newRow("supplied db.mdb missing")
        << "no db.mdb"
        << "The supplied file \"@usr/share/tolvane/db.mdb\" cannot be read: No such file or "
           "directory"
        << QStringList{"False.wav", "True.wav", "Welcome.wav", "dosdevices"};
    QTest::newRow("data root is a file")
        << "root is a file"
        << "The data folder \"@home/.local/share/tolvane\" cannot be created." << QStringList{};
    QTest::newRow("dosdevices is a file")
        << "dosdevices is a file"
        << "The folder \"@home/.local/share/tolvane/dosdevices/\" cannot be created."
        << QStringList{"False.wav", "True.wav", "Welcome.wav", "db.mdb", "dosdevices"};
    QTest::newRow("no home folder")
        << "no data root"
        << "The user's data folder is not known (HOME is not set)." << QStringList{};
}

void TestAppFolders::preparationFailures() {
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(QStringList, present);
    Installed inst;
    AppFolders f = inst.folders();
    if (fault == "no db.mdb") {
        QVERIFY(QFile::remove(inst.supplied() + "db.mdb"));
    } else if (fault == "root is a file") {
        QVERIFY(QDir().mkpath(inst.root() + "home/.local"));
        writeFile(inst.dataRoot(), "not a folder");
    } else if (fault == "dosdevices is a file") {
        QVERIFY(QDir().mkpath(inst.data()));
        writeFile(inst.data() + "dosdevices", "not a folder");
    } else if (fault == "no data root") {
        f = AppFolders::locate(inst.bin(), QString());
        QVERIFY(f.isInstalled());
    }
    const QStringList beforeBin = snapshot(inst.bin());

    QCOMPARE(f.prepare(), message.replace('@', inst.root()));

    const QStringList entries =
        QDir(inst.data())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(entries, present);
    QCOMPARE(snapshot(inst.bin()), beforeBin);
    QVERIFY(!QFileInfo::exists(inst.bin() + "db.mdb"));
}

void TestAppFolders::portableWritesNothing() {
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    const AppFolders f = AppFolders::locate(dir.path(), dir.filePath("home"));
    QVERIFY(!f.isInstalled());
    QCOMPARE(f.suppliedFolder(), QString());
    QCOMPARE(f.enter(), QString());
    QCOMPARE(QDir::currentPath(), before);
    QCOMPARE(snapshot(dir.path()), QStringList{});
}

// The order database of a relative "sqlite:" path and the dosdevices links follow the folders
// the program runs with.
void TestAppFolders::currentFoldersRouteDatabaseAndPorts() {
    Installed inst;
    const AppFolders f = inst.folders();
    QCOMPARE(f.prepare(), QString());
    test::createOrderDb(f.dataFolder());
    QVERIFY(QFile::link("/dev/null", f.devicesFolder() + "com2"));

    const AppFolders saved = AppFolders::current();
    AppFolders::setCurrent(f);
    Connection orders;
    orders.setConnectionString("Provider=SQLOLEDB.1;Data Source=sqlite:orders.db");
    const bool opened = orders.open();
    const QString port2 = TComThread::portDevice(2);
    const QString port3 = TComThread::portDevice(3);
    orders.close();
    AppFolders::setCurrent(saved);

    QVERIFY2(opened, qPrintable(orders.lastError()));
    QCOMPARE(port2, f.devicesFolder() + "com2");
    QCOMPARE(port3, "/dev/ttyS2");
    // Back to the program's own folders: those of this test program, which has no marker.
    QCOMPARE(AppFolders::current().dataFolder(), QCoreApplication::applicationDirPath() + '/');
    QCOMPARE(TComThread::portDevice(2), "/dev/ttyS1");
}

int main(int argc, char** argv) {
    if (argc == 2 && qstrcmp(argv[1], kPrintFolders) == 0) {
        QCoreApplication app(argc, argv);
        const AppFolders f = AppFolders::locateForProcess();
        const QString problem = f.enter();
        std::printf("%s\n%s\n%s\n", qPrintable(f.dataFolder()), qPrintable(problem),
                    qPrintable(QDir::currentPath()));
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestAppFolders t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_appfolders.moc"
