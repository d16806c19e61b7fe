#pragma once

// Persistence of controls in the registry store: a check box or an edit keeps its value under
// its objectName().

#include "settings/Registry.h"

class QAbstractButton;
class QLineEdit;

namespace settings {

// A stored 0 unchecks the box, 1 checks it; any other number or no value leaves it as it is.
void LoadCheckBoxState(HKEY root, const QString& path, QAbstractButton* box);
void SaveCheckBoxState(HKEY root, const QString& path, const QAbstractButton* box);
// A stored value (also an empty one) becomes the edit's text; no value leaves it as it is.
void LoadEditText(HKEY root, const QString& path, QLineEdit* edit);
void SaveEditText(HKEY root, const QString& path, const QLineEdit* edit);

} // namespace settings
