#include "views/DriveComboBoxEx.h"

#include "platform/DriveTable.h"
#include "platform/Paths.h"

#include <QStyle>

namespace views {
namespace {

constexpr int kLetterRole = Qt::UserRole + 1;

QChar upperAZ(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') ? QChar(char16_t(u - 32)) : c;
}

} // namespace

TDriveComboBoxEx::TDriveComboBoxEx(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setIconSize(QSize(16, 16));
}

QIcon TDriveComboBoxEx::DriveIcon(unsigned driveType) const {
    switch (driveType) {
    case platform::DRIVE_REMOVABLE:
        return style()->standardIcon(QStyle::SP_DriveFDIcon);
    case platform::DRIVE_REMOTE:
        return style()->standardIcon(QStyle::SP_DriveNetIcon);
    case platform::DRIVE_CDROM:
        return style()->standardIcon(QStyle::SP_DriveCDIcon);
    default:
        return style()->standardIcon(QStyle::SP_DriveHDIcon);
    }
}

QString TDriveComboBoxEx::EntryText(QChar letter, const QString& label, const QString& nativeRoot) {
    QString text = QString(letter) + QStringLiteral(":  ");
    if (label.isEmpty())
        return text + nativeRoot;
    return text + label + QStringLiteral("  (") + nativeRoot + u')';
}

void TDriveComboBoxEx::FillFromDriveTable() {
    clear();
    for (const platform::DriveEntry& d : platform::Drives()) {
        const char16_t root[] = {d.letter, u':', u'\\', 0};
        std::u16string label;
        platform::GetVolumeInformationW(root, &label);
        const QString nativeRoot = platform::DisplayName(d.root);
        addItem(DriveIcon(platform::GetDriveTypeW(root)),
                EntryText(QChar(d.letter), QString::fromStdU16String(label), nativeRoot));
        setItemData(count() - 1, QVariant::fromValue(QChar(d.letter)), kLetterRole);
    }
    if (count() > 0)
        setCurrentIndex(0);
}

QChar TDriveComboBoxEx::DriveAt(int index) const {
    if (index < 0 || index >= count())
        return {};
    const QVariant v = itemData(index, kLetterRole);
    if (v.isValid())
        return v.value<QChar>();
    const QString text = itemText(index);
    return text.isEmpty() ? QChar() : upperAZ(text.front());
}

QChar TDriveComboBoxEx::Drive() const {
    return DriveAt(currentIndex());
}

bool TDriveComboBoxEx::SetDrive(QChar letter) {
    const QChar wanted = upperAZ(letter);
    for (int i = 0; i < count(); ++i) {
        if (DriveAt(i) == wanted) {
            setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

void TDriveComboBoxEx::AssignFrom(const TDriveComboBoxEx& other) {
    clear();
    for (int i = 0; i < other.count(); ++i) {
        addItem(other.itemIcon(i), other.itemText(i));
        setItemData(i, other.itemData(i, kLetterRole), kLetterRole);
    }
    setCurrentIndex(other.currentIndex());
}

void TDriveComboBoxEx::RemoveEntriesWhere(const std::function<bool(char16_t)>& refused) {
    int i = 0;
    while (i < count()) {
        const QChar letter = DriveAt(i);
        if (refused(letter.unicode())) {
            removeItem(i);
            i = 0;
        } else {
            ++i;
        }
    }
}

} // namespace views
