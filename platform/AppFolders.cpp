#include "platform/AppFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryFile>

namespace tv {

const QString AppFolders::kMarkerName = QStringLiteral("tolvane.installed");
const QString AppFolders::kDefaultSupplied = QStringLiteral("../share/tolvane");
const QString AppFolders::kDataFolderName = QStringLiteral("tolvane");

namespace {

const QString kConfigFile = QStringLiteral("db.mdb");

QString withSlash(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

QString readMarker(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readLine(4096)).trimmed();
}

// Copies source to target through a temporary file beside the target, so that a target never
// exists half-written, and never replaces a target that appeared meanwhile.
QString copyWhole(const QString& source, const QString& target, QFile::Permissions mode) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("The supplied file \"%1\" cannot be read: %2")
            .arg(source, in.errorString());
    // A temporary file is created with mode 0600, so the contents are never readable by others.
    QTemporaryFile out(target + QStringLiteral(".XXXXXX"));
    if (!out.open())
        return QStringLiteral("\"%1\" cannot be written: %2").arg(target, out.errorString());
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 16);
        if (chunk.isEmpty() && in.error() != QFile::NoError)
            return QStringLiteral("The supplied file \"%1\" cannot be read: %2")
                .arg(source, in.errorString());
        if (out.write(chunk) != chunk.size())
            return QStringLiteral("\"%1\" cannot be written: %2").arg(target, out.errorString());
    }
    if (!out.flush() || !out.setPermissions(mode))
        return QStringLiteral("\"%1\" cannot be written: %2").arg(target, out.errorString());
    if (!out.rename(target)) {
        if (QFileInfo::exists(target))
            return {}; // another copy of the program was quicker
        return QStringLiteral("\"%1\" cannot be written: %2").arg(target, out.errorString());
    }
    out.setAutoRemove(false);
    return {};
}

AppFolders& currentFolders() {
    static AppFolders folders;
    return folders;
}

bool& currentSet() {
    static bool set = false;
    return set;
}

} // namespace

const QStringList& AppFolders::suppliedFiles() {
    static const QStringList files{kConfigFile, QStringLiteral("Welcome.wav"),
                                   QStringLiteral("True.wav"), QStringLiteral("False.wav")};
    return files;
}

AppFolders AppFolders::locate(const QString& executableFolder, const QString& userDataRoot) {
    AppFolders f;
    f.m_executableFolder = withSlash(executableFolder);
    const QString marker = f.m_executableFolder + kMarkerName;
    if (!QFileInfo(marker).isFile()) {
        f.m_dataFolder = f.m_executableFolder;
        return f;
    }
    f.m_layout = Layout::Installed;
    QString supplied = readMarker(marker);
    if (supplied.isEmpty())
        supplied = kDefaultSupplied;
    if (QDir::isRelativePath(supplied))
        supplied = f.m_executableFolder + supplied;
    f.m_suppliedFolder = withSlash(QDir::cleanPath(supplied));
    // No data root leaves the data folder empty; prepare() then says so.
    if (!userDataRoot.isEmpty())
        f.m_dataFolder = withSlash(QDir::cleanPath(userDataRoot + u'/' + kDataFolderName));
    return f;
}

AppFolders AppFolders::locateForProcess() {
    // Not AppDataLocation: that folder is named after the application name, which is the
    // program's title; the data folder keeps the program's plain name.
    return locate(QCoreApplication::applicationDirPath(),
                  QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

QString AppFolders::prepare() const {
    if (!isInstalled())
        return {};
    if (m_dataFolder.isEmpty())
        return QStringLiteral("The user's data folder is not known (HOME is not set).");
    const QString folder = QDir::cleanPath(m_dataFolder);
    if (!QFileInfo(folder).isDir()) {
        const QFileInfo info(folder);
        QDir parent = info.dir();
        if (!parent.mkpath(QStringLiteral(".")) ||
            !parent.mkdir(info.fileName(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return QStringLiteral("The data folder \"%1\" cannot be created.").arg(folder);
    }
    QStringList problems;
    const QDir data(folder);
    if (!QFileInfo(devicesFolder()).isDir() && !data.mkdir(QStringLiteral("dosdevices")))
        problems << QStringLiteral("The folder \"%1\" cannot be created.").arg(devicesFolder());
    for (const QString& name : suppliedFiles()) {
        const QString target = m_dataFolder + name;
        const QFileInfo existing(target);
        if (existing.exists() || existing.isSymLink())
            continue;
        const QFile::Permissions mode =
            name == kConfigFile
                ? QFile::ReadOwner | QFile::WriteOwner
                : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
        const QString problem = copyWhole(m_suppliedFolder + name, target, mode);
        if (!problem.isEmpty())
            problems << problem;
    }
    return problems.join(u'\n');
}

QString AppFolders::enter() const {
    QString problem = prepare();
    if (isInstalled() && !m_dataFolder.isEmpty() && !QDir::setCurrent(m_dataFolder)) {
        if (!problem.isEmpty())
            problem += u'\n';
        problem += QStringLiteral("The data folder \"%1\" cannot be entered.").arg(m_dataFolder);
    }
    return problem;
}

const AppFolders& AppFolders::current() {
    if (!currentSet()) {
        currentFolders() = locateForProcess();
        currentSet() = true;
    }
    return currentFolders();
}

void AppFolders::setCurrent(const AppFolders& folders) {
    currentFolders() = folders;
    currentSet() = true;
}

} // namespace tv
