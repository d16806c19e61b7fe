#pragma once

// The drive selection box: one entry per drive letter of the drive table, its text starting
// with the letter ("C:  /", "D:  Data  (/mnt/data)"), its icon by drive type. The selected
// entry is the box's current drive.

#include <QComboBox>

#include <functional>

namespace views {

class TDriveComboBoxEx : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBoxEx(QWidget* parent = nullptr);

    // Lists every letter of the drive table, in letter order, and selects the first.
    void FillFromDriveTable();

    // The letter of the selected entry; null when nothing is selected.
    QChar Drive() const;
    // Selects the entry of the letter (any case); false, with the selection unchanged, when the
    // box has none.
    bool SetDrive(QChar letter);
    QChar DriveAt(int index) const;

    // Replaces the entries by a copy of another box's, with the same selection.
    void AssignFrom(const TDriveComboBoxEx& other);

    // Removes every entry whose letter refused() answers true for. After each removal the scan
    // starts again from the first entry.
    void RemoveEntriesWhere(const std::function<bool(char16_t letter)>& refused);

    // The text of an entry.
    static QString EntryText(QChar letter, const QString& label, const QString& nativeRoot);
    // The icon of a drive type (DRIVE_FIXED, DRIVE_REMOTE, ...).
    QIcon DriveIcon(unsigned driveType) const;
};

} // namespace views
