#pragma once

#include <QString>

namespace tv {

// Where the program keeps db.mdb, dosdevices/ and a relative "sqlite:" order database, and
// where it runs. A portable program (as built) keeps them beside the executable. An installed
// one (a marker file beside the executable) keeps them in the user's data folder, filled from
// the supplied copies at the first start, and never writes beside the executable.
class AppFolders {
public:
    enum class Layout { Portable, Installed };

    // Name of the marker file; its first line, if any, is the folder of the supplied files
    // relative to the executable's folder (default kDefaultSupplied).
    static const QString kMarkerName;
    static const QString kDefaultSupplied;
    // The program's folder inside the user's data root.
    static const QString kDataFolderName;
    // The files copied into the user's data folder when missing.
    static const QStringList& suppliedFiles();

    AppFolders() = default;

    // Decides the layout from the marker in executableFolder; userDataRoot is the root of the
    // per-user data folders (~/.local/share).
    static AppFolders locate(const QString& executableFolder, const QString& userDataRoot);
    // The same for the running process, from its executable and QStandardPaths.
    static AppFolders locateForProcess();

    Layout layout() const { return m_layout; }
    bool isInstalled() const { return m_layout == Layout::Installed; }
    // All folders end in "/".
    const QString& executableFolder() const { return m_executableFolder; }
    // Where db.mdb and dosdevices/ are and relative "sqlite:" paths start.
    const QString& dataFolder() const { return m_dataFolder; }
    QString devicesFolder() const { return m_dataFolder + QStringLiteral("dosdevices/"); }
    // Installed: the folder of the supplied db.mdb and sound cues; empty when portable.
    const QString& suppliedFolder() const { return m_suppliedFolder; }

    // Installed: creates the data folder (0700) and its dosdevices/, and copies each supplied
    // file that is missing there (db.mdb with mode 0600), whole or not at all. Portable: does
    // nothing. Returns an empty text or what went wrong; what could be prepared is kept.
    QString prepare() const;
    // prepare(), then, when installed, makes the data folder the working directory.
    QString enter() const;

    // The folders of the running program: the executable's folder, portable, until set.
    static const AppFolders& current();
    static void setCurrent(const AppFolders& folders);

private:
    Layout m_layout = Layout::Portable;
    QString m_executableFolder;
    QString m_dataFolder;
    QString m_suppliedFolder;
};

} // namespace tv
