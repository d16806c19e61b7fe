#include "dialogs/options/ControlValues.h"

#include <QAbstractButton>
#include <QLineEdit>

namespace settings {

void LoadCheckBoxState(HKEY root, const QString& path, QAbstractButton* box) {
    if (!box || !RegValueExists(root, path, box->objectName()))
        return;
    const int32_t v = RegReadInteger(root, path, box->objectName());
    if (v == 0)
        box->setChecked(false);
    else if (v == 1)
        box->setChecked(true);
}

void SaveCheckBoxState(HKEY root, const QString& path, const QAbstractButton* box) {
    if (box)
        RegWriteInteger(root, path, box->objectName(), box->isChecked() ? 1 : 0);
}

void LoadEditText(HKEY root, const QString& path, QLineEdit* edit) {
    if (edit && RegValueExists(root, path, edit->objectName()))
        edit->setText(RegReadString(root, path, edit->objectName()));
}

void SaveEditText(HKEY root, const QString& path, const QLineEdit* edit) {
    if (edit)
        RegWriteString(root, path, edit->objectName(), edit->text());
}

} // namespace settings
