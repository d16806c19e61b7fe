#pragma once

// The directory box of the structure view: the folders of the real file system around the
// current folder, as Windows paths. It lists the chain of folders from the drive root down to
// the current folder, then the current folder's subfolders, each indented by its depth. A click
// on an entry (or Enter) makes it the current folder; every change of the current folder raises
// OnChange.
//
// Folders are read through the drive table's path mapping with the names exactly as the file
// system gives them, so a name with a backslash or with bytes that are not UTF-8 still leads
// to its folder.

#include <QListWidget>

#include <functional>

namespace views {

class TDirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TDirectoryListBox(QWidget* parent = nullptr);

    static constexpr int kItemHeight = 18;

    // The current folder ("C:\", "C:\Users\ann"); empty before the first one is set.
    QString Directory() const { return directory_; }
    // Makes a folder the current one and lists it; a trailing backslash beyond a drive root is
    // dropped. Raises OnChange when the folder differs from the current one (letters a to z
    // compared without case).
    void SetDirectory(const QString& windowsPath);
    // The drive letter of the current folder (null before the first one).
    QChar Drive() const;
    // Makes the drive's root the current folder.
    void SetDrive(QChar letter);
    // Reads the current folder's subfolders again.
    void Refresh();

    // The Windows path of an entry.
    QString EntryPath(int row) const;

    // The subfolders of a folder, as Windows paths, in the order of their names (ignoring
    // case). Symbolic links are not followed: a link to a folder is no folder here, as in the
    // analysis. Empty when the folder cannot be read.
    static QStringList SubFolders(const QString& windowsPath);

    std::function<void()> OnChange;
    // Where the subfolders come from instead of the file system, when set: a saved analysis
    // shows its own folders and never makes the box read the disk it describes.
    std::function<QStringList(const QString& windowsPath)> SubFolderSource;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill();
    void activate(int row);

    QString directory_;
    bool ignoreNextRelease_ = false;
};

} // namespace views
